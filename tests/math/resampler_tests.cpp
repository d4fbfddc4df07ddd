#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

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

} // namespace

TEST(resampler, stage_chains_split_ratios_into_steps_of_at_most_64)
{
    resampler r(1);
    using chain = std::vector<std::pair<int, int>>;
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
