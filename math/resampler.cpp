#include "ryx/math/resampler.h"

#include <algorithm>
#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

namespace ryx::math {

namespace detail {

// One rate-conversion stage: a rational one (exact ratio in/out) or, for an input
// rate that no rational stage can leave, a fractional one (ratio held as a double).
//
// Both kinds only decimate: every output needs at least one new input, and an
// output comes out on the input that completes it. So a stage consumes every
// input it is offered, and its outputs do not depend on how its input is split
// into calls. Between two outputs a rational stage takes in/out inputs rounded
// down or up (its output instants advance by exactly in/out inputs); the stage
// counts the inputs since its last output so that the chain can tell how many
// more it needs at least before the next one.
struct resampler_stage
{
    int in_rate = 0;
    int out_rate = 0;
    std::unique_ptr<Resampler> rational;
    std::unique_ptr<VResampler> fractional;
    // Fewest inputs between two outputs.
    int min_gap = 1;
    // Inputs consumed since the last output (at most min_gap); -1 when unknown.
    int since = -1;

    // Fewest further inputs before the next output can come out.
    int needs() const { return since < 0 ? 1 : std::max(1, min_gap - since); }

    // Offers one input frame with room for one output frame. True when a frame
    // came out.
    bool step(float* in, float* out)
    {
        const auto [consumed, produced] = convert(in, 1, out, 1);
        note(consumed, produced == 1);
        return produced == 1;
    }

    // Converts count frames from in and writes the outputs to out, which has room
    // for count frames. Returns the number of outputs.
    int run(float* in, int count, float* out, int channels)
    {
        // The bulk goes in one call. Where outputs are at least two inputs apart,
        // the last min_gap inputs go one output at a time, which places the last
        // output if it falls among them; if it does not, the next output may come
        // on the very next input, which is what an unknown count gives.
        const int bulk = min_gap > 1 ? std::max(0, count - min_gap) : count;
        int produced = 0;
        if (bulk > 0) {
            const auto [consumed, made] = convert(in, bulk, out, bulk);
            produced = made;
            if (made > 0)
                since = -1;
            else
                note(consumed, false);
        }
        const std::size_t width = static_cast<std::size_t>(channels);
        for (int done = bulk; done < count;) {
            const auto [consumed, made] =
                convert(in + static_cast<std::size_t>(done) * width, count - done,
                        out + static_cast<std::size_t>(produced) * width, 1);
            note(consumed, made == 1);
            produced += made;
            done += consumed;
            if (consumed == 0)
                break;
        }
        return produced;
    }

private:
    void note(int consumed, bool output)
    {
        if (output)
            since = 0;
        else if (since >= 0)
            since = std::min(min_gap, since + consumed);
    }

    std::pair<int, int> convert(float* in, int inputs, float* out, int room)
    {
        return rational ? convert(*rational, in, inputs, out, room)
                        : convert(*fractional, in, inputs, out, room);
    }

    template <class Converter>
    static std::pair<int, int> convert(Converter& c, float* in, int inputs, float* out, int room)
    {
        c.inp_count = static_cast<unsigned>(inputs);
        c.inp_data = in;
        c.out_count = static_cast<unsigned>(room);
        c.out_data = out;
        c.process();
        return {inputs - static_cast<int>(c.inp_count), room - static_cast<int>(c.out_count)};
    }
};

} // namespace detail

namespace {

using detail::resampler_stage;

constexpr unsigned half_filter_length = 32;
// A rational stage converts in -> out when in <= 64 * out and its reduced output
// rate out / gcd(in, out) is at most 1000 (the number of filter phases it tables).
constexpr int max_division = 64;
constexpr int max_reduced_output = 1000;
// Output rates of fractional stages are multiples of this, so that exact stages
// of 64 follow.
constexpr int fractional_grid = 4096;
// Input frames gathered at most before the stages run: a run of this many frames
// costs the stages about what a much longer one does.
constexpr int run_capacity = 1024;

// Most chains carry one channel: no library call for a single value.
void copy_frame(const float* from, float* to, std::size_t width)
{
    if (width == 1)
        *to = *from;
    else
        std::copy_n(from, width, to);
}

struct planned_stage
{
    int in_rate;
    int out_rate;
    bool fractional;
};

// a -> a/64+1 until a <= 64, then a -> 1: the established chain, whose results
// stored analyses rely on.
std::vector<planned_stage> split_by_64(int ratio)
{
    std::vector<planned_stage> chain;
    int a = ratio;
    for (;;) {
        const int b = a / max_division + 1;
        const int f = a > max_division ? b : 1;
        chain.push_back({a, f, false});
        if (f == 1)
            return chain;
        a = b;
    }
}

int largest_divisor_up_to(int a, int limit)
{
    for (int d = std::min(a, limit); d > 1; --d)
        if (a % d == 0)
            return d;
    return 1;
}

// Lowest rate b a rational stage can take a to, or 0 when there is none. With
// g = gcd(a, b), c = a/g and k = b/g, the stage needs k <= 1000 and a <= 64 b,
// i.e. k >= ceil(c/64): the best b for a divisor c is (a/c) * ceil(c/64), which
// exists for c <= 64000.
int lowest_rational_target(int a)
{
    int best = 0;
    const auto consider = [&](int c) {
        const int k = (c + max_division - 1) / max_division;
        if (c < 2 || k > max_reduced_output)
            return;
        const int b = (a / c) * k;
        if (best == 0 || b < best)
            best = b;
    };
    for (int d = 1; static_cast<long long>(d) * d <= a; ++d) {
        if (a % d == 0) {
            consider(d);
            consider(a / d);
        }
    }
    return best;
}

// The chain for ratios split_by_64 cannot build: exact integer divisions first,
// rational stages where the rate has no divisor up to 64, and a fractional
// stage onto a multiple of 4096 for a prime rate above 64000 (no rational stage
// can leave such a rate: k >= a/64 > 1000).
std::vector<planned_stage> divide_out(int ratio)
{
    std::vector<planned_stage> chain;
    int a = ratio;
    while (a > max_division) {
        int b;
        bool fractional = false;
        if (const int d = largest_divisor_up_to(a, max_division); d > 1) {
            b = a / d;
        } else if (const int t = lowest_rational_target(a); t > 0) {
            b = t;
        } else {
            b = a / fractional_grid * fractional_grid;
            fractional = true;
        }
        chain.push_back({a, b, fractional});
        a = b;
    }
    chain.push_back({a, 1, false});
    return chain;
}

// Creates and primes the stages of a chain; empty when a stage refuses its rates.
std::vector<std::unique_ptr<resampler_stage>> build(const std::vector<planned_stage>& chain,
                                                    int channels)
{
    std::vector<std::unique_ptr<resampler_stage>> stages;
    std::vector<float> silence(static_cast<std::size_t>(channels), 0.0f);
    std::vector<float> discard(static_cast<std::size_t>(channels), 0.0f);
    for (const planned_stage& p : chain) {
        auto s = std::make_unique<resampler_stage>();
        s->in_rate = p.in_rate;
        s->out_rate = p.out_rate;
        int refused;
        int priming;
        if (p.fractional) {
            s->fractional = std::make_unique<VResampler>();
            refused = s->fractional->setup(static_cast<double>(p.out_rate) / p.in_rate,
                                           static_cast<unsigned>(channels), half_filter_length);
            priming = refused ? 0 : s->fractional->inpsize();
        } else {
            s->rational = std::make_unique<Resampler>();
            refused = s->rational->setup(static_cast<unsigned>(p.in_rate),
                                         static_cast<unsigned>(p.out_rate),
                                         static_cast<unsigned>(channels), half_filter_length);
            priming = refused ? 0 : s->rational->inpsize();
        }
        if (refused)
            return {};
        if (!p.fractional)
            s->min_gap = std::max(1, p.in_rate / p.out_rate);
        // Fill the stage's filter with silence so that its first outputs are aligned.
        for (int i = 0; i < priming; ++i)
            s->step(silence.data(), discard.data());
        stages.push_back(std::move(s));
    }
    return stages;
}

} // namespace

resampler::resampler(int channels, QObject* parent)
    : QObject(parent), m_channels(channels),
      // A negative count converts to a huge size: std::length_error.
      m_out(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(channels)), 0.0f)
{
}

resampler::~resampler() = default;

// The single-channel fast path of process(float*) counts in m_next.
inline void resampler::take_gathered()
{
    const std::ptrdiff_t values = m_next - m_gathered.data();
    m_count = static_cast<int>(m_channels == 1 ? values : values / m_channels);
}

inline void resampler::place_next()
{
    float* start = m_gathered.data();
    m_next = start + static_cast<std::ptrdiff_t>(m_count) * m_channels;
    m_last = m_channels == 1 && !m_stages.empty() ? start + (m_due - 1) : start;
}

// The last stage needs at least needs() more inputs; the stage before must produce
// that many outputs, which takes it at least needs() inputs for the first and
// min_gap for each further one; and so on back to the chain's input.
inline void resampler::plan_next_run()
{
    long long frames = m_stages.back()->needs();
    for (auto s = m_stages.rbegin() + 1; s != m_stages.rend() && frames < run_capacity; ++s)
        frames = (*s)->needs() + (frames - 1) * (*s)->min_gap;
    m_due = static_cast<int>(std::min<long long>(frames, run_capacity));
}

// Runs every stage over all the frames gathered; the last stage's outputs are left
// in m_between. Returns their number.
inline int resampler::run()
{
    float* in = m_gathered.data();
    int count = m_count;
    std::size_t side = 0;
    for (const auto& stage : m_stages) {
        float* out = m_between[side].data();
        count = count > 0 ? stage->run(in, count, out, m_channels) : 0;
        in = out;
        side ^= 1;
    }
    m_count = 0;
    plan_next_run();
    place_next();
    return count;
}

void resampler::clear()
{
    m_stages.clear();
    m_refused = false;
    m_count = 0;
    m_due = 0;
    place_next();
}

bool resampler::setup(int ratio)
{
    clear();
    m_refused = true;
    if (ratio < 1 || m_channels < 1)
        return false;
    m_stages = build(split_by_64(ratio), m_channels);
    if (m_stages.empty())
        m_stages = build(divide_out(ratio), m_channels);
    m_refused = m_stages.empty();
    if (m_refused)
        return false;
    const std::size_t size = static_cast<std::size_t>(run_capacity) * static_cast<std::size_t>(m_channels);
    m_gathered.resize(size);
    m_between[0].resize(size);
    m_between[1].resize(size);
    plan_next_run();
    place_next();
    return true;
}

// Frames of several channels, the frame that makes the stages run, and any frame
// without a stage.
bool resampler::process_due(float* frame)
{
    if (m_stages.empty())
        return !m_refused;
    take_gathered();
    const std::size_t width = static_cast<std::size_t>(m_channels);
    copy_frame(frame, m_gathered.data() + static_cast<std::size_t>(m_count) * width, width);
    if (++m_count < m_due) {
        place_next();
        return false;
    }
    // The chain emits at most once per input frame, and only on the last one here.
    if (run() == 0)
        return false;
    const float* last = m_between[(m_stages.size() - 1) & 1].data();
    copy_frame(last, m_out.data(), width);
    copy_frame(last, frame, width);
    return true;
}

int resampler::process(const float* input, int frames, float* output)
{
    if (frames <= 0)
        return 0;
    const std::size_t width = static_cast<std::size_t>(m_channels);
    if (m_stages.empty()) {
        if (m_refused)
            return 0;
        std::copy_n(input, static_cast<std::size_t>(frames) * width, output);
        return frames;
    }
    take_gathered();
    const float* results = m_between[(m_stages.size() - 1) & 1].data();
    int written = 0;
    while (frames > 0) {
        const int take = std::min(frames, run_capacity - m_count);
        std::copy_n(input, static_cast<std::size_t>(take) * width,
                    m_gathered.data() + static_cast<std::size_t>(m_count) * width);
        input += static_cast<std::size_t>(take) * width;
        frames -= take;
        m_count += take;
        // Run when the buffer is full or the chain may have emitted; otherwise the
        // frames wait for the next call.
        if (m_count < run_capacity && m_count < m_due)
            continue;
        const int made = run();
        std::copy_n(results, static_cast<std::size_t>(made) * width,
                    output + static_cast<std::size_t>(written) * width);
        written += made;
    }
    place_next();
    if (written > 0)
        std::copy_n(output + static_cast<std::size_t>(written - 1) * width, width, m_out.data());
    return written;
}

float resampler::out(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_out.size())
        return 0.0f;
    return m_out[static_cast<std::size_t>(index)];
}

std::vector<std::pair<int, int>> resampler::stages() const
{
    std::vector<std::pair<int, int>> rates;
    rates.reserve(m_stages.size());
    for (const auto& stage : m_stages)
        rates.emplace_back(stage->in_rate, stage->out_rate);
    return rates;
}

} // namespace ryx::math
