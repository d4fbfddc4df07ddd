#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <memory>
#include <stdexcept>
#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

#include "ryx/math/resampler.h"

using ryx::math::resampler;

namespace {

// Counts how many of n inputs produce an output.
int outputs(resampler& r, int n)
{
    int count = 0;
    for (int i = 0; i < n; ++i) {
        float frame = 0.0f;
        count += r.process(&frame) ? 1 : 0;
    }
    return count;
}

using chain = std::vector<std::pair<int, int>>;

// The a -> a/64+1 -> ... -> 1 chain, computed here independently of the class.
chain split_by_64(int ratio)
{
    chain c;
    for (int a = ratio;;) {
        const int f = a >= 65 ? a / 64 + 1 : 1;
        c.emplace_back(a, f);
        if (f == 1)
            return c;
        a = f;
    }
}

// Whether a zita-resampler rational stage converts in -> out, as measured on the
// library: it divides by at most 64 and tables at most 1000 filter phases
// (the reduced output rate out / gcd(in, out)).
bool rational_stage_converts(int in, int out)
{
    return in <= 64LL * out && out / std::gcd(in, out) <= 1000;
}

// Amplitude of the component at w radians per sample, by projection on sine and
// cosine; exact for a whole number of periods.
double amplitude(const std::vector<float>& x, std::size_t from, std::size_t to, double w)
{
    double a = 0.0, b = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        a += x[i] * std::sin(w * static_cast<double>(i));
        b += x[i] * std::cos(w * static_cast<double>(i));
    }
    return 2.0 * std::hypot(a, b) / static_cast<double>(to - from);
}

} // namespace

TEST(resampler, stage_chains_split_ratios_into_steps_of_at_most_64)
{
    resampler r(1);
    r.setup(1);
    EXPECT_EQ(r.stages(), (chain{{1, 1}}));
    r.setup(4);
    EXPECT_EQ(r.stages(), (chain{{4, 1}}));
    r.setup(64);
    EXPECT_EQ(r.stages(), (chain{{64, 1}}));
    r.setup(100);
    EXPECT_EQ(r.stages(), (chain{{100, 2}, {2, 1}}));
    r.setup(1000);
    EXPECT_EQ(r.stages(), (chain{{1000, 16}, {16, 1}}));
    r.setup(5000);
    EXPECT_EQ(r.stages(), (chain{{5000, 79}, {79, 2}, {2, 1}}));
    r.setup(0);
    EXPECT_TRUE(r.stages().empty());
}

TEST(resampler, output_counts_follow_the_ratio)
{
    resampler r(1);
    r.setup(1);
    EXPECT_EQ(outputs(r, 100), 100);
    r.setup(4);
    EXPECT_EQ(outputs(r, 400), 100);
    r.setup(100);
    outputs(r, 1000);
    EXPECT_EQ(outputs(r, 10000), 100);
    r.setup(5000);
    EXPECT_EQ(outputs(r, 50000), 10);

    r.clear();
    float frame = 3.5f;
    EXPECT_TRUE(r.process(&frame)); // no stage: passes through
    EXPECT_EQ(frame, 3.5f);
}

TEST(resampler, out_holds_the_frame_left_to_the_caller)
{
    resampler r(1);
    r.setup(4);
    int found = 0;
    for (int i = 0; i < 2000 && found < 5; ++i) {
        float frame = static_cast<float>(std::sin(0.01 * i));
        if (r.process(&frame)) {
            EXPECT_EQ(r.out(0), frame);
            ++found;
        }
    }
    EXPECT_EQ(found, 5);
    EXPECT_EQ(r.out(1), 0.0f);
    EXPECT_EQ(r.out(-1), 0.0f);
}

TEST(resampler, a_sine_below_the_new_nyquist_keeps_its_amplitude)
{
    // Ratio 4 at 1000 Hz: new Nyquist 125 Hz; ratio 100 at 51200 Hz: 256 Hz.
    struct scenario { int ratio; double rate; double f; };
    for (const scenario s : {scenario{4, 1000.0, 40.0}, scenario{100, 51200.0, 80.0}, scenario{1, 1000.0, 100.0}}) {
        resampler r(1);
        r.setup(s.ratio);
        std::vector<float> out;
        const int n = s.ratio * 4000;
        for (int i = 0; i < n; ++i) {
            float frame = static_cast<float>(std::sin(2.0 * M_PI * s.f * i / s.rate));
            if (r.process(&frame))
                out.push_back(frame);
        }
        ASSERT_GT(out.size(), 2000u);
        // Amplitude by projection on sine and cosine at the output rate, over the
        // second half of the output (whole periods are not needed at this length).
        const double w = 2.0 * M_PI * s.f * s.ratio / s.rate;
        double a = 0.0, b = 0.0;
        const std::size_t from = out.size() / 2;
        for (std::size_t i = from; i < out.size(); ++i) {
            a += out[i] * std::sin(w * static_cast<double>(i));
            b += out[i] * std::cos(w * static_cast<double>(i));
        }
        const double count = static_cast<double>(out.size() - from);
        const double amplitude = 2.0 * std::hypot(a, b) / count;
        const double dB = 20.0 * std::log10(amplitude);
        EXPECT_NEAR(dB, 0.0, 0.1) << "ratio " << s.ratio;
    }
}

TEST(resampler, negative_channel_count_is_a_length_error)
{
    EXPECT_THROW(resampler(-1), std::length_error);
    resampler none(0);
    none.setup(4);
    EXPECT_TRUE(none.stages().empty());
}

TEST(resampler, every_ratio_decimates_by_exactly_its_value)
{
    std::vector<int> ratios;
    for (int q = 1; q <= 130; ++q)
        ratios.push_back(q);
    for (int q = 256; q <= (1 << 19); q *= 2)
        ratios.push_back(q);
    // Around the first rates whose a/64+1 step needs more than 1000 filter phases,
    // large primes (no rational stage leaves a prime above 64000), products of two
    // primes above 64 (no divisor up to 64), and the largest ratios.
    for (int q : {63999, 64000, 64001, 64007, 64013, 64030, 64031, 65535, 65536, 65537, 66000,
                  991 * 997, 67 * 67 * 67, 67 * 1009, 999983, 999999, 1000000})
        ratios.push_back(q);
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> near(64000, 66000), any(1, 1000000);
    for (int i = 0; i < 8; ++i)
        ratios.push_back(near(random));
    for (int i = 0; i < 12; ++i)
        ratios.push_back(any(random));

    resampler r(1);
    for (const int ratio : ratios) {
        SCOPED_TRACE(::testing::Message() << "ratio " << ratio);
        ASSERT_TRUE(r.setup(ratio));
        const chain c = r.stages();
        ASSERT_FALSE(c.empty());
        EXPECT_EQ(c.front().first, ratio);
        EXPECT_EQ(c.back().second, 1);
        for (std::size_t i = 0; i < c.size(); ++i) {
            EXPECT_LE(c[i].first, 64LL * c[i].second) << "stage " << i;
            EXPECT_TRUE(c[i].second < c[i].first || c[i].first == 1) << "stage " << i;
            if (i + 1 < c.size()) {
                EXPECT_EQ(c[i].second, c[i + 1].first) << "stage " << i;
            }
        }
        // Where every stage of the a/64+1 chain converts, that chain is kept.
        const chain part = split_by_64(ratio);
        if (std::all_of(part.begin(), part.end(),
                        [](const auto& s) { return rational_stage_converts(s.first, s.second); })) {
            EXPECT_EQ(c, part);
        }

        // Within one frame of inputs/ratio after every input, over a few periods.
        const long long n = 3LL * ratio + ratio / 2;
        long long count = 0;
        double worst = 0.0;
        for (long long i = 1; i <= n; ++i) {
            float frame = 0.0f;
            count += r.process(&frame) ? 1 : 0;
            const double deviation = static_cast<double>(count) - static_cast<double>(i) / ratio;
            if (std::abs(deviation) > std::abs(worst))
                worst = deviation;
        }
        EXPECT_LE(std::abs(worst), 1.0);
        EXPECT_NEAR(static_cast<double>(count), static_cast<double>(n) / ratio, 1.0);
    }
}

TEST(resampler, a_chain_with_a_fractional_stage_filters_like_the_others)
{
    // 64013 is a prime above 64000: the chain starts with a fractional stage onto
    // a multiple of 4096. Channel 0 carries a sine at 0.1 of the output rate,
    // channel 1 one at 2.7 of it (folding to 0.3 if let through).
    const int ratio = 64013;
    resampler r(2);
    ASSERT_TRUE(r.setup(ratio));
    ASSERT_NE(r.stages(), split_by_64(ratio));
    const double pass = 0.1, stop = 2.7; // cycles per output frame
    std::vector<float> low, high;
    const long long n = 300LL * ratio;
    for (long long i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / ratio; // in output frames
        float frame[2] = {static_cast<float>(std::sin(2.0 * M_PI * pass * t)),
                          static_cast<float>(std::sin(2.0 * M_PI * stop * t))};
        if (r.process(frame)) {
            EXPECT_EQ(r.out(1), frame[1]);
            low.push_back(frame[0]);
            high.push_back(frame[1]);
        }
    }
    ASSERT_NEAR(static_cast<double>(low.size()), 300.0, 1.0);
    // Skip the filters' settling (about 35 output frames), then 20 whole periods.
    const double low_dB = 20.0 * std::log10(amplitude(low, 100, 300, 2.0 * M_PI * pass));
    EXPECT_NEAR(low_dB, 0.0, 0.01);
    double peak = 0.0;
    for (std::size_t i = 100; i < 300; ++i)
        peak = std::max(peak, static_cast<double>(std::abs(high[i])));
    EXPECT_LT(20.0 * std::log10(peak + 1e-30), -100.0);
}

TEST(resampler, a_refused_setup_lets_nothing_through)
{
    resampler r(1);
    ASSERT_TRUE(r.setup(4));
    for (const int ratio : {0, -1, -65536}) {
        SCOPED_TRACE(::testing::Message() << "ratio " << ratio);
        EXPECT_FALSE(r.setup(ratio));
        EXPECT_TRUE(r.stages().empty());
        for (int i = 0; i < 10; ++i) {
            float frame = 3.5f;
            EXPECT_FALSE(r.process(&frame));
            EXPECT_EQ(frame, 3.5f);
        }
    }
    // clear() returns to the unset state, which passes frames through.
    r.clear();
    float frame = 2.5f;
    EXPECT_TRUE(r.process(&frame));
    EXPECT_EQ(frame, 2.5f);
    // A refused setup leaves the resampler usable.
    EXPECT_FALSE(r.setup(0));
    EXPECT_TRUE(r.setup(4));
    EXPECT_EQ(outputs(r, 400), 100);

    resampler none(0);
    EXPECT_FALSE(none.setup(4));
    EXPECT_FALSE(none.process(nullptr));
}

namespace {

// The chain of a resampler driven stage by stage, one frame per stage call: each
// zita-resampler stage set up with half filter length 32, primed with inpsize()
// frames of silence, then offered each frame with room for one output. A stage
// that no rational converter accepts is a fractional one (ratio out/in).
class stage_by_stage
{
public:
    stage_by_stage(const chain& stages, int channels)
        : m_channels(channels), m_frame(static_cast<std::size_t>(channels)),
          m_out(static_cast<std::size_t>(channels))
    {
        const std::vector<float> silence(static_cast<std::size_t>(channels), 0.0f);
        for (const auto& [in, out] : stages) {
            stage s;
            s.rational = std::make_unique<Resampler>();
            if (s.rational->setup(in, out, channels, 32) != 0) {
                s.rational.reset();
                s.fractional = std::make_unique<VResampler>();
                EXPECT_EQ(s.fractional->setup(static_cast<double>(out) / in, channels, 32), 0);
            }
            const int priming = s.rational ? s.rational->inpsize() : s.fractional->inpsize();
            for (int i = 0; i < priming; ++i) {
                m_frame = silence;
                s.step(m_frame.data(), m_out.data());
            }
            m_stages.push_back(std::move(s));
        }
    }

    // True when a decimated frame came out; it is then in `frame`.
    bool process(float* frame)
    {
        std::copy(frame, frame + m_channels, m_frame.begin());
        for (stage& s : m_stages) {
            if (!s.step(m_frame.data(), m_out.data()))
                return false;
            m_frame = m_out;
        }
        std::copy(m_frame.begin(), m_frame.end(), frame);
        return true;
    }

private:
    struct stage
    {
        std::unique_ptr<Resampler> rational;
        std::unique_ptr<VResampler> fractional;

        template <class C>
        static bool offer(C& c, float* in, float* out)
        {
            c.inp_count = 1;
            c.inp_data = in;
            c.out_count = 1;
            c.out_data = out;
            c.process();
            return c.out_count == 0;
        }
        bool step(float* in, float* out)
        {
            return rational ? offer(*rational, in, out) : offer(*fractional, in, out);
        }
    };
    int m_channels;
    std::vector<float> m_frame, m_out;
    std::vector<stage> m_stages;
};

// A decimated frame and the input frames (counted from 1) it came out within: the
// one it came out on, or the first and last of the run that returned it.
struct emitted
{
    long long first;
    long long last;
    std::vector<float> values;
    bool operator==(const emitted& o) const
    {
        return first == o.first && last == o.last && values == o.values;
    }
};

std::vector<float> noise(long long frames, int channels, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> x(static_cast<std::size_t>(frames * channels));
    for (float& v : x)
        v = value(random);
    return x;
}

std::vector<emitted> stage_by_stage_output(const chain& stages, int channels, const std::vector<float>& x)
{
    stage_by_stage reference(stages, channels);
    std::vector<emitted> out;
    std::vector<float> frame(static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i * channels < x.size(); ++i) {
        std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(i * channels), channels, frame.begin());
        if (reference.process(frame.data()))
            out.push_back({static_cast<long long>(i) + 1, static_cast<long long>(i) + 1, frame});
    }
    return out;
}

// Feeds x in runs of the given lengths (cycled), a length of 1 meaning one frame
// per process(float*) call, others one process(input, frames, output) call.
std::vector<emitted> fed_in_runs(resampler& r, int channels, const std::vector<float>& x,
                                 const std::vector<int>& runs)
{
    std::vector<emitted> out;
    std::vector<float> buffer(x.size());
    const long long total = static_cast<long long>(x.size()) / channels;
    long long at = 0;
    for (std::size_t k = 0; at < total; ++k) {
        const long long n = std::min<long long>(runs[k % runs.size()], total - at);
        const float* from = x.data() + at * channels;
        if (runs[k % runs.size()] == 1) {
            std::vector<float> frame(from, from + channels);
            const std::vector<float> before = frame;
            if (r.process(frame.data())) {
                out.push_back({at + 1, at + 1, frame});
                for (int c = 0; c < channels; ++c)
                    EXPECT_EQ(r.out(c), frame[static_cast<std::size_t>(c)]);
            } else {
                EXPECT_EQ(frame, before) << "input " << at + 1;
            }
        } else {
            const int made = r.process(from, static_cast<int>(n), buffer.data());
            EXPECT_LE(made, n);
            for (int j = 0; j < made; ++j)
                out.push_back({at + 1, at + n, std::vector<float>(buffer.begin() + j * channels,
                                                          buffer.begin() + (j + 1) * channels)});
            if (made > 0) {
                for (int c = 0; c < channels; ++c)
                    EXPECT_EQ(r.out(c), out.back().values[static_cast<std::size_t>(c)]);
            }
        }
        at += n;
    }
    return out;
}

// The same decimated frames in the same order, each returned by the call that
// passed the input frame it comes out on.
void expect_same_frames(const std::vector<emitted>& got, const std::vector<emitted>& want,
                        const std::string& what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].values, want[i].values) << what << ", decimated frame " << i;
        ASSERT_TRUE(got[i].first <= want[i].first && want[i].first <= got[i].last)
            << what << ", decimated frame " << i << " came out on input " << want[i].first
            << ", returned for inputs " << got[i].first << " to " << got[i].last;
    }
}

struct conversion
{
    int ratio;
    int channels;
    long long frames;
};

// Decimation by 2 and 4, 100 (100 -> 2 -> 1), 5000 (stages of 63.3, 39.5 and 2
// frames per output), a prime (997 -> 16 -> 1), 65536 (exact divisions by 64) and
// the prime 64013 (a fractional first stage), mono and stereo.
const conversion conversions[] = {
    {1, 1, 3000},       {2, 1, 5000},       {2, 2, 5000},        {4, 1, 6000},
    {100, 1, 30000},    {100, 2, 30000},    {5000, 1, 60000},    {997, 1, 40000},
    {65536, 1, 300000}, {64013, 1, 330000}, {64013, 2, 200000},
};

std::string name(const conversion& c)
{
    return "ratio " + std::to_string(c.ratio) + ", " + std::to_string(c.channels) + " channels";
}

} // namespace

TEST(resampler, one_frame_per_call_gives_the_stages_output_on_the_same_inputs)
{
    for (const conversion& c : conversions) {
        SCOPED_TRACE(name(c));
        resampler r(c.channels);
        ASSERT_TRUE(r.setup(c.ratio));
        const auto x = noise(c.frames, c.channels, 7u + static_cast<unsigned>(c.ratio));
        const auto want = stage_by_stage_output(r.stages(), c.channels, x);
        ASSERT_GE(want.size(), 2u);
        // Exact frame for frame: the same input frame yields each decimated frame.
        EXPECT_TRUE(fed_in_runs(r, c.channels, x, {1}) == want);
    }
}

TEST(resampler, runs_of_any_length_give_the_same_frames)
{
    // Odd splits, runs longer than the internal buffer, and single frames between.
    const std::vector<std::vector<int>> splits = {
        {1024}, {3, 1, 1, 7, 1, 1, 1, 1025, 2, 1, 333}, {4096, 1, 1, 1, 5}, {2, 1}, {999, 1, 17, 2049}};
    for (const conversion& c : conversions) {
        const auto x = noise(c.frames, c.channels, 11u + static_cast<unsigned>(c.ratio));
        resampler r(c.channels);
        ASSERT_TRUE(r.setup(c.ratio));
        const auto want = stage_by_stage_output(r.stages(), c.channels, x);
        for (std::size_t k = 0; k < splits.size(); ++k) {
            resampler fed(c.channels);
            ASSERT_TRUE(fed.setup(c.ratio));
            expect_same_frames(fed_in_runs(fed, c.channels, x, splits[k]), want,
                               name(c) + ", split " + std::to_string(k));
        }
    }
}

TEST(resampler, setup_again_starts_afresh_and_clear_passes_runs_through)
{
    const int channels = 2;
    const auto x = noise(20000, channels, 5u);
    resampler fresh(channels);
    ASSERT_TRUE(fresh.setup(100));
    const auto want = fed_in_runs(fresh, channels, x, {1});

    // Frames left gathered by an earlier chain do not reach the new one.
    resampler r(channels);
    ASSERT_TRUE(r.setup(64013));
    std::vector<float> sink(x.size());
    r.process(x.data(), 5000, sink.data());
    ASSERT_TRUE(r.setup(100));
    EXPECT_TRUE(fed_in_runs(r, channels, x, {1}) == want);
    r.process(x.data(), 77, sink.data());
    ASSERT_TRUE(r.setup(100));
    EXPECT_TRUE(fed_in_runs(r, channels, x, {1}) == want);

    // Without a stage runs come through whole, frames are copied as they are, and
    // out() keeps the last decimated frame.
    const float held0 = r.out(0), held1 = r.out(1);
    r.clear();
    std::vector<float> copy(x.size(), 0.0f);
    EXPECT_EQ(r.process(x.data(), 300, copy.data()), 300);
    EXPECT_TRUE(std::equal(x.begin(), x.begin() + 600, copy.begin()));
    EXPECT_EQ(r.out(0), held0);
    EXPECT_EQ(r.out(1), held1);
    EXPECT_EQ(r.process(x.data(), 0, copy.data()), 0);

    // After a refused setup no frame comes out and the output is left alone.
    EXPECT_FALSE(r.setup(0));
    std::fill(copy.begin(), copy.end(), 9.0f);
    EXPECT_EQ(r.process(x.data(), 300, copy.data()), 0);
    EXPECT_EQ(copy[0], 9.0f);
    ASSERT_TRUE(r.setup(100));
    EXPECT_TRUE(fed_in_runs(r, channels, x, {1}) == want);
}
