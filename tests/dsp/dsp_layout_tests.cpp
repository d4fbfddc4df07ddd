// Pole/zero layouts and the four digital transforms.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ryx/dsp/Butterworth.h"
#include "ryx/dsp/ChebyshevII.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/PoleFilter.h"
#include "dsp_test_util.h"

using namespace Dsp;

namespace {

std::string conditionOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const CheckFailure& e) {
        return e.condition();
    }
    return "(no exception)";
}

// An analog Butterworth prototype of order n in its own storage.
struct Prototype
{
    explicit Prototype(int n)
    {
        proto.setStorage(storage);
        proto.design(n);
    }

    Layout<50> storage;
    Butterworth::AnalogLowPass proto;
};

} // namespace

TEST(DspLayout, AddingPolesAndItsChecks)
{
    Layout<4> storage;
    LayoutBase& l = storage;
    EXPECT_EQ(l.getMaxPoles(), 4);
    l.addPoleZeroConjugatePairs(complex_t(0.1, 0.2), complex_t(0, 1));
    EXPECT_EQ(l.getNumPoles(), 2);
    EXPECT_EQ(l[0].poles.second, complex_t(0.1, -0.2));
    EXPECT_EQ(l[0].zeros.second, complex_t(0, -1));

    EXPECT_EQ(conditionOf([&] { l.add(complex_t(0.5, 0.5), -1); }), "isReal()");
    EXPECT_EQ(conditionOf([&] { l.add(complex_t(NAN, 0), -1); }), "!Dsp::is_nan (pole)");
    EXPECT_EQ(conditionOf([&] { l.add(ComplexPair(0.5, 0), ComplexPair(-1, 1)); }), "poles.isMatchedPair ()");
    EXPECT_EQ(conditionOf([&] { l.add(ComplexPair(0.5, 0.25), ComplexPair(complex_t(0, 1), 1)); }),
              "zeros.isMatchedPair ()");
    EXPECT_EQ(l.getNumPoles(), 2); // nothing was added by the refused calls

    l.add(0.5, -1);
    EXPECT_EQ(l.getNumPoles(), 3);
    EXPECT_TRUE(l[1].isSinglePole());
    // No pole may follow a single real pole.
    EXPECT_EQ(conditionOf([&] { l.add(0.25, -1); }), "!(m_numPoles&1)");
    EXPECT_EQ(conditionOf([&] { l.addPoleZeroConjugatePairs(0.25, -1); }), "!(m_numPoles&1)");
    EXPECT_EQ(conditionOf([&] { l.getPair(2); }), "pairIndex >= 0 && pairIndex < (m_numPoles+1)/2");
    EXPECT_EQ(conditionOf([&] { l.getPair(-1); }), "pairIndex >= 0 && pairIndex < (m_numPoles+1)/2");

    // The storage is never overrun.
    l.reset();
    l.addPoleZeroConjugatePairs(0.1, -1);
    l.addPoleZeroConjugatePairs(0.2, -1);
    EXPECT_EQ(conditionOf([&] { l.addPoleZeroConjugatePairs(0.3, -1); }), "m_numPoles + 2 <= m_maxPoles");

    l.setNormal(1.5, 0.25);
    l.reset();
    EXPECT_EQ(l.getNumPoles(), 0);
    EXPECT_EQ(l.getNormalW(), 1.5);
    EXPECT_EQ(l.getNormalGain(), 0.25);
}

TEST(DspTransform, LowAndHighPassMapInfinityAndKeepOddPoleLast)
{
    for (int n : {1, 4, 7}) {
        Prototype p(n);
        Layout<50> storage;
        LayoutBase& digital = storage;

        LowPassTransform(0.1, digital, p.proto);
        ASSERT_EQ(digital.getNumPoles(), n);
        for (const complex_t& z : dsp_test::flatten(dsp_test::readLayout(digital), false))
            EXPECT_EQ(z, complex_t(-1, 0));
        if (n & 1) {
            EXPECT_TRUE(digital[n / 2].isSinglePole());
            EXPECT_EQ(digital[n / 2].poles.first.imag(), 0);
        }
        EXPECT_EQ(digital.getNormalW(), 0);

        HighPassTransform(0.1, digital, p.proto);
        ASSERT_EQ(digital.getNumPoles(), n);
        for (const complex_t& z : dsp_test::flatten(dsp_test::readLayout(digital), false))
            EXPECT_EQ(z, complex_t(1, 0));
        EXPECT_EQ(digital.getNormalW(), doublePi);
    }
}

TEST(DspTransform, BandTransformsDoubleThePoles)
{
    for (int n : {1, 2, 5}) {
        Prototype p(n);
        Layout<100> storage;
        LayoutBase& digital = storage;

        BandPassTransform(0.2, 0.05, digital, p.proto);
        ASSERT_EQ(digital.getNumPoles(), 2 * n);
        int minusOne = 0;
        int plusOne = 0;
        for (const complex_t& z : dsp_test::flatten(dsp_test::readLayout(digital), false)) {
            minusOne += z == complex_t(-1, 0);
            plusOne += z == complex_t(1, 0);
        }
        EXPECT_EQ(minusOne, n);
        EXPECT_EQ(plusOne, n);
        // Normal angle: the pre-warped geometric centre of the band edges.
        const double lo = 2 * doublePi * 0.175;
        const double hi = 2 * doublePi * 0.225;
        EXPECT_NEAR(digital.getNormalW(), 2 * std::atan(std::sqrt(std::tan(lo / 2) * std::tan(hi / 2))), 1e-14);

        BandStopTransform(0.2, 0.05, digital, p.proto);
        ASSERT_EQ(digital.getNumPoles(), 2 * n);
        // Butterworth zeros at infinity land on the unit circle at the centre.
        for (const complex_t& z : dsp_test::flatten(dsp_test::readLayout(digital), false))
            EXPECT_NEAR(std::abs(z), 1, 1e-14);
        if (n & 1) {
            // The odd pole's image: one explicit pair, last.
            const PoleZeroPair& last = digital[n - 1];
            EXPECT_FALSE(last.isSinglePole());
            EXPECT_TRUE(last.poles.isMatchedPair());
        }
    }
}

TEST(DspTransform, BandEdgesAreClampedInsideZeroToPi)
{
    Prototype p(3);
    auto poles = [&](auto transform, double fc, double fw) {
        Layout<100> storage;
        transform(fc, fw, static_cast<LayoutBase&>(storage), p.proto);
        return dsp_test::flatten(dsp_test::readLayout(storage), true);
    };
    auto bp = [](double fc, double fw, LayoutBase& d, const LayoutBase& a) { BandPassTransform(fc, fw, d, a); };
    auto bs = [](double fc, double fw, LayoutBase& d, const LayoutBase& a) { BandStopTransform(fc, fw, d, a); };

    // Lower edge below 1e-8 rad: the same as a band whose lower edge is 1e-8.
    {
        const double upper = 2 * doublePi * (0.001 + 0.005);
        const double lower = 1e-8;
        const double fc = (upper + lower) / (4 * doublePi);
        const double fw = (upper - lower) / (2 * doublePi);
        EXPECT_LT(dsp_test::rootDistance(poles(bp, fc, fw), poles(bp, 0.001, 0.01)), 1e-9);
        EXPECT_LT(dsp_test::rootDistance(poles(bs, fc, fw), poles(bs, 0.001, 0.01)), 1e-9);
    }
    // Upper edge above pi - 1e-8: the same as a band whose upper edge is pi - 1e-8.
    {
        const double lower = 2 * doublePi * (0.49 - 0.02);
        const double upper = doublePi - 1e-8;
        const double fc = (upper + lower) / (4 * doublePi);
        const double fw = (upper - lower) / (2 * doublePi);
        EXPECT_LT(dsp_test::rootDistance(poles(bp, fc, fw), poles(bp, 0.49, 0.04)), 1e-9);
    }
}

TEST(DspTransform, BandStopNormalSwitchesAtAQuarterOfTheRate)
{
    Prototype p(2);
    Layout<100> storage;
    LayoutBase& digital = storage;
    BandStopTransform(std::nextafter(0.25, 0.0), 0.05, digital, p.proto);
    EXPECT_EQ(digital.getNormalW(), doublePi);
    BandStopTransform(0.25, 0.05, digital, p.proto);
    EXPECT_EQ(digital.getNormalW(), 0);
}

TEST(DspTransform, ChebyshevIIBandStopPairsConjugateZeros)
{
    ChebyshevII::BandStop<9> f;
    f.setup(9, 48000, 9000, 3000, 40);
    const LayoutBase& d = f.getDigitalLayout();
    ASSERT_EQ(d.getNumPoles(), 18);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(d[i].zeros.second, std::conj(d[i].zeros.first)) << i;
        EXPECT_NEAR(std::abs(d[i].zeros.first), 1, 1e-12) << i;
    }
}
