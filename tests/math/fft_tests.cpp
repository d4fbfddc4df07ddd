#include <QSignalSpy>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "ryx/math/fft.h"
#include "support/host.h"

using ryx::math::fft;
using ryx::test::host;

namespace {

TEST(FftEngine, WorkedExampleAtOneKilohertz)
{
    host h(1000.0);
    fft engine(h.channel());
    EXPECT_EQ(engine.decimation(), 2);
    EXPECT_DOUBLE_EQ(engine.fs(), 500.0);
    EXPECT_DOUBLE_EQ(engine.nyquist(), 250.0);
    EXPECT_DOUBLE_EQ(engine.resolution(), 10.0);
    EXPECT_EQ(engine.lines(), 20);
    EXPECT_EQ(engine.frame_length(), 100u);
    EXPECT_EQ(engine.fft_length(), 50u);
    EXPECT_EQ(engine.bin_count(), 26u);
    EXPECT_EQ(engine.size(), 21u);
    EXPECT_EQ(engine.size_all(), 26u);
    EXPECT_EQ(engine.ad(), h.channel());
}

TEST(FftEngine, ToneOnALineLandsOnItsBin)
{
    host h(1000.0);
    fft engine(h.channel());
    QSignalSpy frames(&engine, &fft::changed);
    // 50 Hz: line 5 of the 10 Hz grid; the anti-alias filter passes it.
    h.push(h.channel(), ryx::test::sine(2000, 1000.0, 50.0, 1.0), 64);
    ASSERT_EQ(frames.count(), 20);
    std::size_t peak = 0;
    for (std::size_t k = 0; k < engine.size(); ++k)
        if (std::abs(engine[k]) > std::abs(engine[peak]))
            peak = k;
    EXPECT_EQ(peak, 5u);
}

} // namespace
