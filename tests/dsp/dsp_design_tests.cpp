// Butterworth and Chebyshev designs: SciPy goldens, prototype facts, and a sweep
// over orders 1..50 that must either load a stable cascade or refuse.
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ryx/dsp/Butterworth.h"
#include "ryx/dsp/ChebyshevI.h"
#include "ryx/dsp/ChebyshevII.h"
#include "dsp_test_util.h"

using namespace Dsp;
using dsp_test::ZpkCase;

namespace {

// Loads the design of a golden case into a filter of type F and compares it.
// Worst deviations seen, printed once the golden comparison is done.
double g_worstRootLow = 0;
double g_worstRootHigh = 0;
double g_worstResponseLow = 0;
double g_worstResponseHigh = 0;

template <class F, bool Band, class... Extra>
void compareWithGolden(const ZpkCase& c, Extra... extra)
{
    auto f = std::make_unique<F>();
    if constexpr (Band)
        f->setup(c.order, c.fs, c.f1, c.f2, extra...);
    else
        f->setup(c.order, c.fs, c.f1, extra...);

    const bool low = c.order <= 12;
    const double rootTolerance = low ? 1e-9 : 1e-6;
    const double responseTolerance = c.order <= 20 ? 1e-9 : 1e-6;

    const std::vector<PoleZeroPair> pz = f->getPoleZeros();
    const double poleDistance = dsp_test::rootDistance(c.poles, dsp_test::flatten(pz, true));
    const double zeroDistance = dsp_test::rootDistance(c.zeros, dsp_test::flatten(pz, false));
    EXPECT_LE(poleDistance, rootTolerance) << c.name();
    EXPECT_LE(zeroDistance, rootTolerance) << c.name();
    double& worstRoot = low ? g_worstRootLow : g_worstRootHigh;
    worstRoot = std::max({worstRoot, poleDistance, zeroDistance});

    for (int i = 1; i < 64; ++i) {
        const double fr = 0.5 * i / 64;
        const double expected = std::abs(c.response(fr));
        const double actual = std::abs(f->response(fr));
        ASSERT_NEAR(actual, expected, responseTolerance * std::max(1.0, expected)) << c.name() << " at " << fr;
        double& worstResponse = c.order <= 20 ? g_worstResponseLow : g_worstResponseHigh;
        worstResponse = std::max(worstResponse, std::fabs(actual - expected) / std::max(1.0, expected));
    }

    const LayoutBase& digital = f->getDigitalLayout();
    EXPECT_NEAR(std::abs(f->response(digital.getNormalW() / (2 * doublePi))), digital.getNormalGain(),
                1e-12 * digital.getNormalGain())
        << c.name();
    EXPECT_TRUE(dsp_test::stableAndFinite(*f)) << c.name();
}

template <template <int> class LP, template <int> class HP, template <int> class BP, template <int> class BS,
          class... Extra>
void compareFamily(const ZpkCase& c, Extra... extra)
{
    if (c.btype == "lowpass")
        compareWithGolden<LP<50>, false>(c, extra...);
    else if (c.btype == "highpass")
        compareWithGolden<HP<50>, false>(c, extra...);
    else if (c.btype == "bandpass")
        compareWithGolden<BP<50>, true>(c, extra...);
    else
        compareWithGolden<BS<50>, true>(c, extra...);
}

} // namespace

TEST(DspDesign, MatchesScipyButterworthAndChebyshev)
{
    const std::vector<ZpkCase> cases =
        dsp_test::readZpkFile(std::string(RYX_TEST_DATA_DIR) + "/dsp_butter_cheby1_cheby2_zpk.txt");
    ASSERT_GE(cases.size(), 180u);
    for (const ZpkCase& c : cases) {
        if (c.family == "butter")
            compareFamily<Butterworth::LowPass, Butterworth::HighPass, Butterworth::BandPass,
                          Butterworth::BandStop>(c);
        else if (c.family == "cheby1")
            compareFamily<ChebyshevI::LowPass, ChebyshevI::HighPass, ChebyshevI::BandPass,
                          ChebyshevI::BandStop>(c, c.value);
        else
            compareFamily<ChebyshevII::LowPass, ChebyshevII::HighPass, ChebyshevII::BandPass,
                          ChebyshevII::BandStop>(c, c.value);
    }
    std::cout << "[golden] worst root deviation: orders <= 12 " << g_worstRootLow << ", higher "
              << g_worstRootHigh << "; worst magnitude deviation: orders <= 20 " << g_worstResponseLow
              << ", higher " << g_worstResponseHigh << '\n';
}

TEST(DspPrototype, ButterworthPolesOnTheUnitCircle)
{
    for (int n : {1, 2, 5, 8, 50}) {
        Layout<50> storage;
        Butterworth::AnalogLowPass proto;
        proto.setStorage(storage);
        proto.design(n);
        ASSERT_EQ(proto.getNumPoles(), n);
        for (int i = 0; i < n / 2; ++i) {
            const complex_t p = proto[i].poles.first;
            EXPECT_NEAR(std::abs(p), 1, 1e-15);
            EXPECT_NEAR(std::arg(p), doublePi / 2 + (2 * i + 1) * doublePi / (2 * n), 1e-14);
            EXPECT_EQ(proto[i].poles.second, std::conj(p));
            EXPECT_EQ(proto[i].zeros.first, complex_t(infinity(), 0));
        }
        if (n & 1) {
            EXPECT_TRUE(proto[n / 2].isSinglePole());
            EXPECT_EQ(proto[n / 2].poles.first, complex_t(-1, 0));
        }
    }

    // Order 1: one real pole at -1, and one first-order section after the transform.
    Butterworth::LowPass<1> f;
    f.setup(1, 48000, 4000);
    ASSERT_EQ(f.getNumStages(), 1);
    EXPECT_EQ(f[0].getA2(), 0);
    EXPECT_EQ(f[0].getB2(), 0);
    EXPECT_EQ(f.getAnalogPrototype()[0].poles.first, complex_t(-1, 0));
}

TEST(DspPrototype, ChebyshevNormalsAndZeros)
{
    for (int n = 1; n <= 9; ++n) {
        ChebyshevI::LowPass<10> lp;
        lp.setup(n, 44100, 3000, 1.5);
        const double expected = (n & 1) ? 1.0 : std::pow(10., -1.5 / 20);
        EXPECT_NEAR(std::abs(lp.response(0)), expected, 1e-12) << n;
        // The ripple band: the pass band stays between -ripple dB and 0 dB.
        for (double fr = 0.0005; fr < 3000. / 44100; fr += 0.0005) {
            const double g = std::abs(lp.response(fr));
            EXPECT_LE(g, 1 + 1e-9) << n << ' ' << fr;
            EXPECT_GE(g, std::pow(10., -1.5 / 20) - 1e-9) << n << ' ' << fr;
        }

        Layout<50> storage;
        ChebyshevII::AnalogLowPass proto;
        proto.setStorage(storage);
        proto.design(n, 40);
        for (int i = 0; i < n / 2; ++i) {
            const complex_t z = proto[i].zeros.first;
            EXPECT_EQ(z.real(), 0);
            EXPECT_NEAR(z.imag(), 1 / std::cos((2 * i + 1) * doublePi / (2 * n)), 1e-12);
        }
        EXPECT_EQ(proto.getNormalW(), 0);
        EXPECT_EQ(proto.getNormalGain(), 1);
    }
}

TEST(DspPrototype, DesignCacheSkipsOnlyTheRebuild)
{
    ChebyshevI::BandStop<8> f;
    f.setup(7, 48000, 6000, 2000, 0.5);
    const std::vector<PoleZeroPair> first = f.getPoleZeros();
    std::vector<double> coefficients;
    for (int i = 0; i < f.getNumStages(); ++i)
        coefficients.push_back(f[i].getB0());
    f.setup(7, 48000, 6000, 2000, 0.5);
    for (int i = 0; i < f.getNumStages(); ++i)
        EXPECT_EQ(f[i].getB0(), coefficients[static_cast<std::size_t>(i)]);
    EXPECT_EQ(dsp_test::rootDistance(dsp_test::flatten(first, true), dsp_test::flatten(f.getPoleZeros(), true)), 0);

    // A new frequency with the cached prototype still transforms again.
    f.setup(7, 48000, 9000, 2000, 0.5);
    EXPECT_GT(dsp_test::rootDistance(dsp_test::flatten(first, true), dsp_test::flatten(f.getPoleZeros(), true)), 1e-3);
}

TEST(DspPrototype, ShelvesReachTheirGainAndUnitGainElsewhere)
{
    const double fs = 48000;
    for (int n : {1, 2, 3, 6}) {
        for (double gain : {-12.0, 6.0}) {
            const double g = std::pow(10., gain / 20);
            Butterworth::LowShelf<8> ls;
            ls.setup(n, fs, 1000, gain);
            EXPECT_NEAR(std::abs(ls.response(0)), g, 1e-9) << n << ' ' << gain;
            EXPECT_NEAR(std::abs(ls.response(0.5)), 1, 1e-12);

            Butterworth::HighShelf<8> hs;
            hs.setup(n, fs, 1000, gain);
            EXPECT_NEAR(std::abs(hs.response(0)), 1, 1e-12);
            EXPECT_NEAR(std::abs(hs.response(0.5)), g, 1e-9);

            Butterworth::BandShelf<8> bs;
            bs.setup(n, fs, 6000, 2000, gain);
            EXPECT_NEAR(std::abs(bs.response(0.5)), 1, 1e-9);
            EXPECT_NEAR(std::abs(bs.response(0)), 1, 1e-9);
            const double centre = bs.getDigitalLayout().getNormalW();
            EXPECT_EQ(centre, doublePi); // 6000/48000 < 0.25
            // The band centre (geometric, pre-warped) carries the shelf gain.
            const double lo = 2 * doublePi * 5000 / fs;
            const double hi = 2 * doublePi * 7000 / fs;
            const double wc = 2 * std::atan(std::sqrt(std::tan(lo / 2) * std::tan(hi / 2)));
            EXPECT_NEAR(std::abs(bs.response(wc / (2 * doublePi))), g, 1e-9);

            // Chebyshev shelves: the same unit gain at the far end, the shelf
            // within its ripple at the near end.
            ChebyshevI::LowShelf<8> c1;
            c1.setup(n, fs, 1000, gain, 1);
            EXPECT_NEAR(std::abs(c1.response(0.5)), 1, 1e-12);
            const double dc1 = 20 * std::log10(std::abs(c1.response(0)));
            EXPECT_LE(std::fabs(dc1 - gain), 1 + 1e-9) << n << ' ' << gain << ' ' << dc1;

            ChebyshevII::HighShelf<8> c2;
            c2.setup(n, fs, 1000, gain, 3);
            EXPECT_NEAR(std::abs(c2.response(0)), 1, 1e-12);
            EXPECT_TRUE(dsp_test::stableAndFinite(c2));
        }
    }

    // A 0 dB Butterworth shelf is an identity.
    Butterworth::LowShelf<4> flat;
    flat.setup(4, fs, 1000, 0);
    for (double fr : {0.0, 0.01, 0.2, 0.5})
        EXPECT_NEAR(std::abs(flat.response(fr)), 1, 1e-12);
}

TEST(DspPrototype, ChebyshevShelfRippleAtLeastTheGainUsesTheGain)
{
    // With ripple >= |gain|, Gb = 1 and eps = G - 1: the design still builds.
    for (double gain : {-3.0, 3.0}) {
        ChebyshevI::LowShelf<6> f;
        f.setup(4, 48000, 2000, gain, 5);
        EXPECT_TRUE(dsp_test::stableAndFinite(f)) << gain;
        ChebyshevI::LowShelf<6> g;
        g.setup(4, 48000, 2000, gain, std::fabs(gain));
        for (int i = 0; i < f.getNumStages(); ++i) {
            EXPECT_EQ(f[i].getA1(), g[i].getA1());
            EXPECT_EQ(f[i].getB1(), g[i].getB1());
        }
    }
}

TEST(DspRefusal, InvalidDesignsAreRefusedAndLoadNothing)
{
    auto expectRefused = [](auto&& setup, auto& filter, const std::string& condition) {
        try {
            setup();
            ADD_FAILURE() << "accepted, expected \"" << condition << '"';
        } catch (const CheckFailure& e) {
            EXPECT_EQ(e.condition(), condition);
        }
        EXPECT_EQ(filter.getNumStages(), 0);
        EXPECT_EQ(filter.getDigitalLayout().getNumPoles(), 0);
    };

    Butterworth::LowPass<50> lp;
    lp.setup(4, 48000, 1000);
    expectRefused([&] { lp.setup(0, 48000, 1000); }, lp, "numPoles >= 1 && numPoles <= getMaxPoles ()");
    lp.setup(4, 48000, 1000);
    expectRefused([&] { lp.setup(51, 48000, 1000); }, lp, "numPoles >= 1 && numPoles <= getMaxPoles ()");
    expectRefused([&] { lp.setup(4, 48000, 24000); }, lp, "polesInsideUnitCircle (m_digitalProto)");
    expectRefused([&] { lp.setup(4, 48000, 30000); }, lp, "polesInsideUnitCircle (m_digitalProto)");
    expectRefused([&] { lp.setup(4, 48000, 0); }, lp, "polesInsideUnitCircle (m_digitalProto)");
    expectRefused([&] { lp.setup(4, 48000, -100); }, lp, "polesInsideUnitCircle (m_digitalProto)");
    expectRefused([&] { lp.setup(4, 48000, NAN); }, lp, "!Dsp::is_nan (pole)");
    // After a refusal the same valid request designs again from scratch.
    lp.setup(4, 48000, 1000);
    EXPECT_TRUE(dsp_test::stableAndFinite(lp));

    ChebyshevI::LowPass<8> c1;
    expectRefused([&] { c1.setup(4, 48000, 1000, 0); }, c1, "rippleDb > 0");
    expectRefused([&] { c1.setup(4, 48000, 1000, -1); }, c1, "rippleDb > 0");
    ChebyshevII::HighPass<8> c2;
    expectRefused([&] { c2.setup(4, 48000, 1000, 0); }, c2, "stopBandDb > 0");
    expectRefused([&] { c2.setup(3, 48000, 1000, NAN); }, c2, "stopBandDb > 0");

    // Band designs of order 50 double to 100 poles; the band storage holds them.
    Butterworth::BandPass<50> bp;
    bp.setup(50, 48000, 12000, 4000);
    EXPECT_EQ(bp.getNumStages(), 50);
    EXPECT_TRUE(dsp_test::stableAndFinite(bp));
}

namespace {

// Tally of one sweep: what loaded, what was refused and why.
struct Sweep
{
    int loaded = 0;
    std::map<std::string, std::set<int>> refusedOrders; // condition -> orders
    std::map<std::string, std::string> example;         // condition -> one request

    template <class F, class... Args>
    void run(const std::string& name, F& f, int order, Args... args)
    {
        std::ostringstream request;
        ((request << ' ' << args), ...);
        try {
            f.setup(order, args...);
        } catch (const CheckFailure& e) {
            refusedOrders[e.condition()].insert(order);
            example.emplace(e.condition(), name + " order " + std::to_string(order) + request.str());
            EXPECT_EQ(f.getNumStages(), 0) << name;
            return;
        }
        ++loaded;
        ASSERT_TRUE(dsp_test::stableAndFinite(f)) << name << " order " << order << request.str();
        const LayoutBase& d = f.getDigitalLayout();
        ASSERT_NEAR(std::abs(f.response(d.getNormalW() / (2 * doublePi))) / d.getNormalGain(), 1, 1e-9)
            << name << " order " << order << request.str();
    }

    // The refusals the designs are known to make inside the swept ranges: a new
    // refusal, or one that disappears, fails the sweep.
    static std::map<std::string, std::set<int>> expectedRefusals(const std::string& name)
    {
        std::set<int> all;
        for (int o = 1; o <= 50; ++o)
            all.insert(o);
        // A Chebyshev I shelf of 0 dB gain: its prototype's poles come out NaN,
        // and it is refused at every order.
        if (name == "Chebyshev I low-shelf gain 0.000000")
            return {{"!Dsp::is_nan (pole)", all}};
        return {};
    }

    void report(const std::string& name) const
    {
        EXPECT_EQ(refusedOrders, expectedRefusals(name)) << name << ": refusals differ from the known ones";
        std::cout << "[sweep] " << name << ": " << loaded << " loaded";
        for (const auto& [condition, orders] : refusedOrders) {
            std::cout << "; refused \"" << condition << "\" at orders";
            for (int o : orders)
                std::cout << ' ' << o;
            std::cout << " (e.g. " << example.at(condition) << ")";
        }
        std::cout << '\n';
    }
};

const double kCutoffs[] = {1e-4, 1e-3, 0.01, 0.1, 0.25, 0.4, 0.49, 0.4999};
const double kBands[][2] = {{1e-3, 5e-4}, {0.01, 0.005}, {0.1, 0.05}, {0.25, 0.2}, {0.45, 0.05}, {0.49, 0.01}};

// Low-pass and high-pass style setups: all orders at fixed cut-offs, then random draws.
template <class F, class... Extra>
void sweepCutoff(const std::string& name, Extra... extra)
{
    Sweep s;
    auto f = std::make_unique<F>();
    const double fs = 48000;
    for (int order = 1; order <= 50; ++order)
        for (double c : kCutoffs)
            s.run(name, *f, order, fs, c * fs, extra...);
    std::mt19937 gen(42);
    std::uniform_int_distribution<int> order(1, 50);
    std::uniform_real_distribution<double> rate(11025, 192000);
    std::uniform_real_distribution<double> frac(1e-5, 0.5 - 1e-5);
    for (int i = 0; i < 150; ++i) {
        const double r = rate(gen);
        s.run(name, *f, order(gen), r, frac(gen) * r, extra...);
    }
    s.report(name);
}

template <class F, class... Extra>
void sweepBand(const std::string& name, Extra... extra)
{
    Sweep s;
    auto f = std::make_unique<F>();
    const double fs = 48000;
    for (int order = 1; order <= 50; ++order)
        for (const auto& b : kBands)
            s.run(name, *f, order, fs, b[0] * fs, b[1] * fs, extra...);
    std::mt19937 gen(43);
    std::uniform_int_distribution<int> order(1, 50);
    std::uniform_real_distribution<double> rate(11025, 192000);
    std::uniform_real_distribution<double> frac(1e-4, 0.5 - 1e-4);
    for (int i = 0; i < 150; ++i) {
        const double r = rate(gen);
        const double centre = frac(gen);
        const double width = std::uniform_real_distribution<double>(1e-4, 2 * std::min(centre, 0.5 - centre))(gen);
        s.run(name, *f, order(gen), r, centre * r, width * r, extra...);
    }
    s.report(name);
}

} // namespace

TEST(DspSweep, ButterworthOrders1To50)
{
    sweepCutoff<Butterworth::LowPass<50>>("Butterworth low-pass");
    sweepCutoff<Butterworth::HighPass<50>>("Butterworth high-pass");
    sweepBand<Butterworth::BandPass<50>>("Butterworth band-pass");
    sweepBand<Butterworth::BandStop<50>>("Butterworth band-stop");
    for (double gain : {-24.0, -6.0, 0.0, 24.0}) {
        sweepCutoff<Butterworth::LowShelf<50>>("Butterworth low-shelf " + std::to_string(gain) + " dB", gain);
        sweepCutoff<Butterworth::HighShelf<50>>("Butterworth high-shelf " + std::to_string(gain) + " dB", gain);
        sweepBand<Butterworth::BandShelf<50>>("Butterworth band-shelf " + std::to_string(gain) + " dB", gain);
    }
}

TEST(DspSweep, ChebyshevIOrders1To50)
{
    for (double ripple : {0.001, 0.01, 1.0, 12.0}) {
        const std::string r = " ripple " + std::to_string(ripple);
        sweepCutoff<ChebyshevI::LowPass<50>>("Chebyshev I low-pass" + r, ripple);
        sweepCutoff<ChebyshevI::HighPass<50>>("Chebyshev I high-pass" + r, ripple);
        sweepBand<ChebyshevI::BandPass<50>>("Chebyshev I band-pass" + r, ripple);
        sweepBand<ChebyshevI::BandStop<50>>("Chebyshev I band-stop" + r, ripple);
    }
    for (double gain : {-24.0, 0.0, 6.0})
        sweepCutoff<ChebyshevI::LowShelf<50>>("Chebyshev I low-shelf gain " + std::to_string(gain), gain, 1.0);
}

TEST(DspSweep, ChebyshevIIOrders1To50)
{
    for (double stop : {3.0, 48.0, 60.0}) {
        const std::string r = " stop " + std::to_string(stop);
        sweepCutoff<ChebyshevII::LowPass<50>>("Chebyshev II low-pass" + r, stop);
        sweepCutoff<ChebyshevII::HighPass<50>>("Chebyshev II high-pass" + r, stop);
        sweepBand<ChebyshevII::BandPass<50>>("Chebyshev II band-pass" + r, stop);
        sweepBand<ChebyshevII::BandStop<50>>("Chebyshev II band-stop" + r, stop);
    }
    for (double gain : {-24.0, 6.0})
        sweepBand<ChebyshevII::BandShelf<50>>("Chebyshev II band-shelf gain " + std::to_string(gain), gain, 20.0);
}
