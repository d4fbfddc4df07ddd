// The RBJ cookbook sections: closed-form identities over a grid of frequencies and Q.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ryx/dsp/RBJ.h"

using namespace Dsp;

namespace {

// Sections at 20 Hz lose about eleven digits to 1 - cos(w0), hence 1e-9 below.
const double kRate = 48000;
const double kFrequencies[] = {20, 100, 1000, 5000, 15000, 23000};
const double kQs[] = {1.0 / 16, 0.5, 0.7071, 1, 4, 16};

double gainAt(const BiquadBase& s, double hz)
{
    return std::abs(s.response(hz / kRate));
}

// The exact angle where the cookbook puts the peak: w0.
double atCentre(const BiquadBase& s, double hz)
{
    return gainAt(s, hz);
}

} // namespace

TEST(DspRbj, PassAndStopIdentities)
{
    for (double f : kFrequencies) {
        for (double q : kQs) {
            const std::string at = "f " + std::to_string(f) + " q " + std::to_string(q);
            RBJ::LowPass lp;
            lp.setup(kRate, f, q);
            EXPECT_NEAR(gainAt(lp, 0), 1, 1e-9) << at;
            EXPECT_NEAR(gainAt(lp, kRate / 2), 0, 1e-9) << at;
            EXPECT_NEAR(atCentre(lp, f), q, 1e-9 * q) << at; // |H(w0)| = Q for the 2nd-order low-pass

            RBJ::HighPass hp;
            hp.setup(kRate, f, q);
            EXPECT_NEAR(gainAt(hp, kRate / 2), 1, 1e-9) << at;
            EXPECT_NEAR(gainAt(hp, 0), 0, 1e-9) << at;

            RBJ::BandPass1 bp1;
            bp1.setup(kRate, f, q);
            EXPECT_NEAR(atCentre(bp1, f), q, 1e-9 * q) << at;

            RBJ::BandPass2 bp2;
            bp2.setup(kRate, f, q);
            EXPECT_NEAR(atCentre(bp2, f), 1, 1e-9) << at;
            EXPECT_NEAR(gainAt(bp2, 0), 0, 1e-9) << at;

            RBJ::BandStop bs;
            bs.setup(kRate, f, q);
            EXPECT_NEAR(atCentre(bs, f), 0, 1e-9) << at;
            EXPECT_NEAR(gainAt(bs, 0), 1, 1e-9) << at;
            EXPECT_NEAR(gainAt(bs, kRate / 2), 1, 1e-9) << at;

            RBJ::AllPass ap;
            ap.setup(kRate, f, q);
            for (double g = 0; g <= kRate / 2; g += kRate / 64)
                EXPECT_NEAR(gainAt(ap, g), 1, 1e-9) << at << " at " << g;
            EXPECT_TRUE(ap.isStable()) << at;
        }
    }
}

TEST(DspRbj, ShelfIdentities)
{
    for (double f : kFrequencies) {
        for (double gain : {-24.0, -6.0, 0.0, 3.0, 24.0}) {
            for (double slope : {0.25, 0.5, 1.0}) {
                const std::string at = "f " + std::to_string(f) + " gain " + std::to_string(gain) + " slope " +
                                       std::to_string(slope);
                const double g = std::pow(10., gain / 20);
                RBJ::LowShelf ls;
                ls.setup(kRate, f, gain, slope);
                EXPECT_NEAR(gainAt(ls, 0), g, 1e-9 * g) << at;
                EXPECT_NEAR(gainAt(ls, kRate / 2), 1, 1e-9) << at;
                // Half the gain (in dB) at the corner frequency.
                EXPECT_NEAR(gainAt(ls, f), std::sqrt(g), 1e-9 * g) << at;

                RBJ::HighShelf hs;
                hs.setup(kRate, f, gain, slope);
                EXPECT_NEAR(gainAt(hs, 0), 1, 1e-9) << at;
                EXPECT_NEAR(gainAt(hs, kRate / 2), g, 1e-9 * g) << at;
            }
            for (double octaves : {0.0625, 1.0, 4.0}) {
                // A band reaching past the Nyquist frequency makes AL huge and the
                // cookbook sums lose their digits; such bands are not checked here.
                if (f * std::pow(2., octaves / 2) > 0.45 * kRate)
                    continue;
                const double g = std::pow(10., gain / 20);
                RBJ::BandShelf bs;
                bs.setup(kRate, f, gain, octaves);
                EXPECT_NEAR(gainAt(bs, f), g, 1e-9 * std::max(1.0, g)) << f << ' ' << gain << ' ' << octaves;
                EXPECT_NEAR(gainAt(bs, 0), 1, 1e-9);
                EXPECT_NEAR(gainAt(bs, kRate / 2), 1, 1e-9);
            }
        }
    }
}

TEST(DspRbj, ZeroDecibelShelvesAreIdentities)
{
    RBJ::LowShelf ls;
    ls.setup(kRate, 1000, 0, 1);
    RBJ::HighShelf hs;
    hs.setup(kRate, 3000, 0, 0.5);
    RBJ::BandShelf bs;
    bs.setup(kRate, 2000, 0, 2);
    for (const BiquadBase* s : std::vector<const BiquadBase*>{&ls, &hs, &bs}) {
        EXPECT_EQ(s->getB0(), 1);
        EXPECT_EQ(s->getB1(), s->getA1());
        EXPECT_EQ(s->getB2(), s->getA2());
    }
}

TEST(DspRbj, RefusedRequestsKeepTheSection)
{
    RBJ::BandShelf bs;
    bs.setup(kRate, 1000, 6, 1);
    const double b0 = bs.getB0();
    try {
        bs.setup(kRate, 0, 6, 1);
        FAIL() << "centre 0 accepted";
    } catch (const CheckFailure& e) {
        EXPECT_EQ(e.condition(), "!Dsp::is_nan (AL)");
        EXPECT_EQ(e.file(), "RBJ.cpp");
        EXPECT_EQ(e.function(), "Dsp::RBJ::BandShelf::setup");
    }
    EXPECT_EQ(bs.getB0(), b0);

    // At or beyond the Nyquist frequency, or at 0 Hz, the section would be
    // unstable (or marginal): refused.
    RBJ::LowPass lp;
    lp.setup(kRate, 1000, 1);
    const double a1 = lp.getA1();
    for (double f : {0.0, kRate / 2, 30000.0, -100.0}) {
        try {
            lp.setup(kRate, f, 1);
            ADD_FAILURE() << f << " accepted";
        } catch (const CheckFailure& e) {
            EXPECT_EQ(e.condition(), "candidate.isStable ()") << f;
        }
        EXPECT_EQ(lp.getA1(), a1);
    }
    // A resonance of 0 makes the coefficients infinite.
    EXPECT_THROW(lp.setup(kRate, 1000, 0), CheckFailure);

    // A slope too steep for the gain has no real solution.
    RBJ::LowShelf ls;
    EXPECT_THROW(ls.setup(kRate, 1000, 20, 4), CheckFailure);
}
