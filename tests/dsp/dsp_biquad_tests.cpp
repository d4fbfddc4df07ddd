// Sections, cascades, processing state and the engine's checks.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "ryx/dsp/Biquad.h"
#include "ryx/dsp/Butterworth.h"
#include "ryx/dsp/Cascade.h"
#include "ryx/dsp/RBJ.h"
#include "ryx/dsp/State.h"
#include "dsp_test_util.h"

using namespace Dsp;

// Counts heap allocations made by this thread, to show that processing allocates nothing.
namespace {
thread_local long g_allocations = 0;
}

void* operator new(std::size_t size)
{
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

// Expects a Dsp::CheckFailure with exactly this condition text.
template <class F>
void expectCheck(F&& f, const std::string& condition, const std::string& file = std::string())
{
    try {
        f();
        ADD_FAILURE() << "no exception, expected \"" << condition << "\"";
    } catch (const CheckFailure& e) {
        EXPECT_EQ(e.condition(), condition);
        if (!file.empty()) {
            EXPECT_EQ(e.file(), file);
        }
        EXPECT_NE(std::string(e.what()).find(condition), std::string::npos);
    }
}

// A textbook Direct Form II run over normalised sections, without denormal guard.
std::vector<double> referenceDf2(const Cascade& c, std::vector<double> x)
{
    std::vector<double> w1(static_cast<std::size_t>(c.getNumStages()), 0.0);
    std::vector<double> w2(w1);
    for (double& v : x) {
        for (int i = 0; i < c.getNumStages(); ++i) {
            const Biquad& s = c[i];
            const std::size_t k = static_cast<std::size_t>(i);
            const double w = v - s.getA1() * w1[k] - s.getA2() * w2[k];
            v = s.getB0() * w + s.getB1() * w1[k] + s.getB2() * w2[k];
            w2[k] = w1[k];
            w1[k] = w;
        }
    }
    return x;
}

} // namespace

TEST(DspTypes, PairsAndPredicates)
{
    EXPECT_TRUE(ComplexPair(complex_t(2, 0)).isReal());
    expectCheck([] { ComplexPair p(complex_t(1, 1)); }, "isReal()", "Types.h");

    EXPECT_TRUE(ComplexPair(complex_t(1, 2), complex_t(1, -2)).isMatchedPair());
    EXPECT_FALSE(ComplexPair(complex_t(1, 2), complex_t(1, 2)).isMatchedPair());
    EXPECT_TRUE(ComplexPair(complex_t(0.5, 0), complex_t(-0.5, 0)).isMatchedPair());
    EXPECT_FALSE(ComplexPair(complex_t(0.5, 0), complex_t(0, 0)).isMatchedPair());
    EXPECT_TRUE(ComplexPair(complex_t(NAN, 0), complex_t(0, 0)).is_nan());

    const PoleZeroPair single(complex_t(0.5, 0), complex_t(-1, 0));
    EXPECT_TRUE(single.isSinglePole());
    EXPECT_EQ(single.poles.second, complex_t(0, 0));
    const PoleZeroPair two(complex_t(0.1, 0.2), complex_t(-1, 0), complex_t(0.1, -0.2), complex_t(-1, 0));
    EXPECT_FALSE(two.isSinglePole());
    EXPECT_EQ(two.poles.second, complex_t(0.1, -0.2));
    EXPECT_EQ(two.zeros.first, complex_t(-1, 0));
}

TEST(DspCheck, FailureCarriesConditionFileAndFunction)
{
    Biquad s;
    try {
        s.setCoefficients(1, NAN, 0, 1, 0, 0);
        FAIL() << "expected a CheckFailure";
    } catch (const std::logic_error& e) {
        const CheckFailure* f = dynamic_cast<const CheckFailure*>(&e);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->condition(),
                  "!Dsp::is_nan (a0) && !Dsp::is_nan (a1) && !Dsp::is_nan (a2) && "
                  "!Dsp::is_nan (b0) && !Dsp::is_nan (b1) && !Dsp::is_nan (b2)");
        EXPECT_EQ(f->file(), "Biquad.cpp");
        EXPECT_EQ(f->function(), "Dsp::BiquadBase::setCoefficients");
    }
    // The refused call left the section as it was.
    EXPECT_EQ(s.getB0(), 1);
    EXPECT_EQ(s.getA1(), 0);
}

TEST(DspBiquad, CoefficientsAreNormalisedByA0)
{
    Biquad s;
    s.setCoefficients(2, 0.5, 0.25, 4, 3, 1);
    EXPECT_EQ(s.getA0(), 2);
    EXPECT_EQ(s.getA1(), 0.25);
    EXPECT_EQ(s.getA2(), 0.125);
    EXPECT_EQ(s.getB0(), 2);
    EXPECT_EQ(s.getB1(), 1.5);
    EXPECT_EQ(s.getB2(), 0.5);

    // a0 = 0 would store infinite coefficients.
    EXPECT_THROW(s.setCoefficients(0, 1, 1, 1, 1, 1), CheckFailure);
    EXPECT_EQ(s.getA0(), 2);

    s.applyScale(2);
    EXPECT_EQ(s.getB0(), 4);
    EXPECT_EQ(s.getB2(), 1);
    EXPECT_EQ(s.getA1(), 0.25);

    s.setIdentity();
    for (double f : {0.0, 0.1, 0.37, 0.5})
        EXPECT_NEAR(std::abs(s.response(f) - complex_t(1, 0)), 0, 1e-15);
}

TEST(DspBiquad, PoleZeroFormsAndTheirChecks)
{
    Biquad s;
    s.setOnePole(complex_t(0.5, 0), complex_t(-0.25, 0));
    EXPECT_EQ(s.getA1(), -0.5);
    EXPECT_EQ(s.getA2(), 0);
    EXPECT_EQ(s.getB0(), 0.25);
    EXPECT_EQ(s.getB1(), 1);
    EXPECT_EQ(s.getB2(), 0);
    expectCheck([&] { s.setOnePole(complex_t(0.5, 0.1), 0); }, "pole.imag() == 0");
    expectCheck([&] { s.setOnePole(0.5, complex_t(0, 1)); }, "zero.imag() == 0");

    const complex_t p(0.3, 0.4);
    const complex_t z(-0.6, 0.8);
    s.setTwoPole(p, z, std::conj(p), std::conj(z));
    EXPECT_DOUBLE_EQ(s.getA1(), -0.6);
    EXPECT_DOUBLE_EQ(s.getA2(), 0.25);
    EXPECT_DOUBLE_EQ(s.getB1(), 1.2);
    EXPECT_DOUBLE_EQ(s.getB2(), 1.0);
    s.setTwoPole(0.5, -1, -0.25, 1);
    EXPECT_DOUBLE_EQ(s.getA1(), -0.25);
    EXPECT_DOUBLE_EQ(s.getA2(), -0.125);
    EXPECT_DOUBLE_EQ(s.getB1(), 0);
    EXPECT_DOUBLE_EQ(s.getB2(), -1);

    expectCheck([&] { s.setTwoPole(p, z, complex_t(0.3, 0.5), std::conj(z)); }, "pole2 == std::conj (pole1)",
                "Biquad.cpp");
    expectCheck([&] { s.setTwoPole(0.5, z, complex_t(0.2, 0.1), std::conj(z)); }, "pole2.imag() == 0");
    expectCheck([&] { s.setTwoPole(p, z, std::conj(p), z); }, "zero2 == std::conj (zero1)");
    expectCheck([&] { s.setTwoPole(p, 0.5, std::conj(p), complex_t(0, 1)); }, "zero2.imag() == 0");
}

TEST(DspBiquad, PoleStateRecoversPolesZerosAndGain)
{
    const complex_t p(0.3, 0.4);
    const complex_t z(-0.6, 0.8);
    BiquadPoleState in;
    in.poles = ComplexPair(p, std::conj(p));
    in.zeros = ComplexPair(z, std::conj(z));
    in.gain = 0.75;
    const Biquad s(in);
    const BiquadPoleState out(s);
    EXPECT_LT(dsp_test::rootDistance({p, std::conj(p)}, {out.poles.first, out.poles.second}), 1e-15);
    EXPECT_LT(dsp_test::rootDistance({z, std::conj(z)}, {out.zeros.first, out.zeros.second}), 1e-15);
    EXPECT_DOUBLE_EQ(out.gain, 0.75);

    Biquad single;
    single.setOnePole(0.5, -0.25);
    const BiquadPoleState one(single);
    EXPECT_TRUE(one.isSinglePole());
    EXPECT_EQ(one.poles.first, complex_t(0.5, 0));
    EXPECT_EQ(one.zeros.first, complex_t(-0.25, 0));
    ASSERT_EQ(single.getPoleZeros().size(), 1u);
}

TEST(DspBiquad, ResponseMatchesTransferFunction)
{
    Biquad s;
    s.setCoefficients(1.5, -0.9, 0.4, 0.3, 0.2, 0.1);
    for (double f : {0.0, 0.05, 0.2, 0.31, 0.5}) {
        const complex_t z = std::polar(1.0, 2 * doublePi * f);
        const complex_t expected = (0.3 + 0.2 / z + 0.1 / (z * z)) / (1.5 - 0.9 / z + 0.4 / (z * z));
        EXPECT_NEAR(std::abs(s.response(f) - expected), 0, 1e-14) << f;
    }
}

TEST(DspCascade, OddLayoutEndsWithSinglePoleStage)
{
    Layout<5> layout;
    LayoutBase& l = layout;
    l.addPoleZeroConjugatePairs(complex_t(0.5, 0.3), complex_t(-1, 0));
    l.addPoleZeroConjugatePairs(complex_t(0.2, 0.6), complex_t(-1, 0));
    l.add(0.4, -1);
    l.setNormal(0, 2);

    CascadeStages<3> c;
    c.setLayout(l);
    ASSERT_EQ(c.getNumStages(), 3);
    EXPECT_EQ(c[2].getA2(), 0);
    EXPECT_EQ(c[2].getB2(), 0);
    EXPECT_NEAR(std::abs(c.response(0)), 2, 1e-14);

    const std::vector<PoleZeroPair> pz = c.getPoleZeros();
    ASSERT_EQ(pz.size(), 3u);
    EXPECT_FALSE(pz[0].isSinglePole());
    EXPECT_TRUE(pz[2].isSinglePole());
    EXPECT_NEAR(pz[2].poles.first.real(), 0.4, 1e-15);

    // The whole gain correction sits in the first stage.
    EXPECT_EQ(c[1].getB0(), 1);
    EXPECT_EQ(c[2].getB1(), 1);
}

TEST(DspCascade, StorageAndScaleChecks)
{
    Layout<6> layout;
    LayoutBase& l = layout;
    for (int i = 0; i < 3; ++i)
        l.addPoleZeroConjugatePairs(std::polar(0.5, 0.3 * (i + 1)), complex_t(-1, 0));

    CascadeStages<2> small;
    expectCheck([&] { small.setLayout(l); }, "m_numStages <= m_maxStages", "Cascade.cpp");
    EXPECT_EQ(small.getNumStages(), 0);

    CascadeStages<2> empty;
    expectCheck([&] { empty.applyScale(2); }, "m_numStages > 0");
    EXPECT_EQ(empty.response(0.1), complex_t(1, 0));

    // A single-pole stage anywhere but last is not a valid chain.
    Layout<4> bad;
    LayoutBase& b = bad;
    b.add(0.5, -1);
    CascadeStages<2> one;
    one.setLayout(b);
    EXPECT_EQ(one.getPoleZeros().size(), 1u);
}

TEST(DspState, GuardAlternatesForLifeAndSurvivesReset)
{
    // Pole and zero at the origin: a one-sample delay, y[n] = x[n-1] + guard[n-1].
    Layout<1> layout;
    static_cast<LayoutBase&>(layout).add(0, 0);
    CascadeStages<1> delay;
    delay.setLayout(layout);
    CascadeStages<1>::State<DirectFormII> state;

    std::vector<double> x = {0, 0, 0, 0.5, -2, 0};
    const std::vector<double> in = x;
    state.process(static_cast<int>(x.size()), x.data(), delay);
    EXPECT_EQ(x[0], 0);
    for (std::size_t i = 1; i < x.size(); ++i)
        EXPECT_EQ(x[i], in[i - 1] + (i % 2 ? -1e-8 : 1e-8)) << i;

    // Reset clears the delay line but the guard goes on: six samples later the
    // next one again adds -1e-8.
    state.reset();
    std::vector<double> y = {0, 0, 0};
    state.process(3, y.data(), delay);
    EXPECT_EQ(y[0], 0);
    EXPECT_EQ(y[1], -1e-8);
    EXPECT_EQ(y[2], 1e-8);

    // A single identity section outputs its input plus the guard.
    BiquadBase section;
    section.setIdentity();
    BiquadBase::State<DirectFormII> single;
    std::vector<double> z = {0, 0, 1};
    single.process(3, z.data(), section);
    EXPECT_EQ(z[0], -1e-8);
    EXPECT_EQ(z[1], 1e-8);
    EXPECT_EQ(z[2], 1 - 1e-8);
}

TEST(DspState, FreshFilterTurnsSilenceIntoTinyNonZeroOutput)
{
    Butterworth::LowPass<4> f;
    f.setup(4, 48000, 1000);
    Butterworth::LowPass<4>::State<DirectFormII> state;
    std::vector<double> x(64, 0.0);
    state.process(64, x.data(), f);
    EXPECT_DOUBLE_EQ(x[0], -1e-8 * f[0].getB0() * f[1].getB0());
    for (double v : x) {
        EXPECT_NE(v, 0);
        EXPECT_LT(std::fabs(v), 1e-7);
    }
}

TEST(DspState, MatchesPlainDirectFormIIAndAnySplit)
{
    Butterworth::BandPass<6> f;
    f.setup(6, 44100, 3000, 800);
    using State = Butterworth::BandPass<6>::State<DirectFormII>;

    std::mt19937 gen(11);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> input(4000);
    for (double& v : input)
        v = dist(gen);

    const std::vector<double> reference = referenceDf2(f, input);

    std::vector<double> whole = input;
    State s1;
    s1.process(static_cast<int>(whole.size()), whole.data(), f);
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_NEAR(whole[i], reference[i], 1e-6) << i;

    std::vector<double> single = input;
    State s2;
    for (double& v : single)
        v = s2.process(v, f);
    EXPECT_EQ(single, whole);

    std::vector<double> uneven = input;
    State s3;
    std::uniform_int_distribution<int> run(0, 97);
    for (std::size_t at = 0; at < uneven.size();) {
        const int n = std::min<int>(run(gen), static_cast<int>(uneven.size() - at));
        s3.process(n, uneven.data() + at, f);
        at += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(uneven, whole);
}

TEST(DspState, ResetRepeatsTheBlockUpToTheGuard)
{
    Butterworth::HighPass<8> f;
    f.setup(8, 8000, 500);
    ChannelsState<1, Butterworth::HighPass<8>::State<DirectFormII>> state;
    EXPECT_EQ(state.getNumChannels(), 1);

    const std::vector<double> input = {1, 0.5, -0.25, 0.75, 0, -1, 0.125, 0.5};
    for (std::size_t length : {std::size_t(8), std::size_t(7)}) {
        std::vector<double> first(input.begin(), input.begin() + static_cast<long>(length));
        std::vector<double> second = first;
        double* c1[] = {first.data()};
        double* c2[] = {second.data()};
        state.reset();
        state.process(static_cast<int>(length), c1, f);
        state.reset();
        state.process(static_cast<int>(length), c2, f);
        if (length % 2 == 0) {
            EXPECT_EQ(first, second); // same guard phase
        } else {
            EXPECT_NE(first, second); // the guard's sign carried on
            for (std::size_t i = 0; i < length; ++i)
                EXPECT_NEAR(first[i], second[i], 1e-7);
        }
    }

    // Counts of zero or less leave the samples alone.
    std::vector<double> untouched = input;
    double* c[] = {untouched.data()};
    state.process(0, c, f);
    state.process(-5, c, f);
    EXPECT_EQ(untouched, input);
}

TEST(DspState, FloatPathComputesInDoubleAndNarrowsEachOutput)
{
    Butterworth::LowPass<6> f;
    f.setup(5, 44100, 2500);
    using State = Butterworth::LowPass<6>::State<DirectFormII>;

    std::vector<float> fl(500);
    std::vector<double> db(500);
    for (std::size_t i = 0; i < fl.size(); ++i) {
        fl[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
        db[i] = fl[i];
    }
    State sf;
    State sd;
    sf.process(static_cast<int>(fl.size()), fl.data(), f);
    sd.process(static_cast<int>(db.size()), db.data(), f);
    for (std::size_t i = 0; i < fl.size(); ++i)
        ASSERT_EQ(fl[i], static_cast<float>(db[i])) << i;
}

TEST(DspState, UndesignedCascadePassesSamplesThrough)
{
    Butterworth::LowPass<4> f;
    Butterworth::LowPass<4>::State<DirectFormII> state;
    std::vector<double> x = {1, 2, 3};
    state.process(3, x.data(), f);
    EXPECT_EQ(x, (std::vector<double>{1, 2, 3}));
}

TEST(DspState, ProcessingAllocatesNothing)
{
    Butterworth::BandStop<10> f;
    f.setup(10, 48000, 5000, 1000);
    ChannelsState<1, Butterworth::BandStop<10>::State<DirectFormII>> state;
    std::vector<double> x(100000, 0.5);
    std::vector<float> y(100000, 0.5f);
    double* cx[] = {x.data()};
    float* cy[] = {y.data()};

    const long before = g_allocations;
    state.process(static_cast<int>(x.size()), cx, f);
    state.process(static_cast<int>(y.size()), cy, f);
    state.reset();
    f.setup(9, 48000, 6000, 1500); // redesign: no allocation either
    EXPECT_EQ(g_allocations, before);
}

namespace {

// A random chain of `stages` sections: conjugate pole pairs anywhere inside the
// unit circle (up to radius 0.995), zeros on, inside or outside it, a single
// real pole last when `single` is set, and the gain normalised at a random angle.
template <int Max>
void randomChain(CascadeStages<Max>& c, int stages, bool single, std::mt19937& gen)
{
    Layout<2 * Max> layout;
    LayoutBase& l = layout;
    std::uniform_real_distribution<double> radius(0.05, 0.995);
    std::uniform_real_distribution<double> angle(0, doublePi);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < (single ? stages - 1 : stages); ++i) {
        const complex_t zero = std::polar(i % 3 == 0 ? 1.0 : 1.5 * radius(gen), angle(gen));
        l.addPoleZeroConjugatePairs(std::polar(radius(gen), angle(gen)), zero);
    }
    if (single)
        l.add(0.99 * u(gen), u(gen));
    l.setNormal(angle(gen), 1 + 0.5 * u(gen));
    c.setLayout(l);
    ASSERT_EQ(c.getNumStages(), stages);
}

// The first index where two blocks differ in any bit (NaN included), or -1.
template <typename Sample>
long firstDifference(const std::vector<Sample>& a, const std::vector<Sample>& b)
{
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(Sample)) != 0)
            return static_cast<long>(i);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

// Filters the input in place through random splits (empty, odd, longer than a
// tile) with the block kernels.
template <class State, class Chain, typename Sample>
void processInSplits(State& state, std::vector<Sample>& x, const Chain& c, std::mt19937& gen)
{
    std::uniform_int_distribution<int> run(0, 1300);
    for (std::size_t at = 0; at < x.size();) {
        const int n = std::min<int>(run(gen), static_cast<int>(x.size() - at));
        state.process(n, x.data() + at, c);
        at += static_cast<std::size_t>(n);
    }
}

template <int Max, typename Sample>
void expectKernelsMatchGenericLoop(int cases, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int k = 0; k < cases; ++k) {
        const int stages = 1 + k % Max;
        const bool single = k % 3 == 1;
        CascadeStages<Max> c;
        randomChain(c, stages, single, gen);
        typename CascadeStages<Max>::template State<DirectFormII> reference;
        typename CascadeStages<Max>::template State<DirectFormII> kernels;

        // Noise with bursts of silence (the guard alone drives the chain) and of
        // large values, and a second block that must carry on from the first.
        for (int block = 0; block < 2; ++block) {
            std::vector<Sample> input(3001 + static_cast<std::size_t>(block) * 777);
            for (std::size_t i = 0; i < input.size(); ++i)
                input[i] = static_cast<Sample>((i / 500) % 3 == 1 ? 0.0 : (i / 500) % 3 == 2 ? 1e5 * u(gen) : u(gen));
            std::vector<Sample> expected = input;
            reference.processGeneric(static_cast<int>(expected.size()), expected.data(), c);
            std::vector<Sample> actual = input;
            processInSplits(kernels, actual, c, gen);
            const long at = firstDifference(actual, expected);
            ASSERT_EQ(at, -1) << "case " << k << ", " << stages << " sections" << (single ? " (single pole last)" : "")
                              << ", block " << block << ": " << actual[static_cast<std::size_t>(at)] << " instead of "
                              << expected[static_cast<std::size_t>(at)];
        }
    }
}

} // namespace

// The kernels keep each section's operations in the plain loop's order, so the
// output must match it bit for bit, whatever the section count and the splits.
TEST(DspKernels, MatchTheGenericLoopBitForBit)
{
    expectKernelsMatchGenericLoop<10, double>(60, 21);
    expectKernelsMatchGenericLoop<10, float>(30, 22);
    // Chains whose storage is no longer than one kernel's, and one just longer.
    expectKernelsMatchGenericLoop<1, double>(3, 23);
    expectKernelsMatchGenericLoop<3, double>(6, 24);
    expectKernelsMatchGenericLoop<4, double>(8, 25);
    expectKernelsMatchGenericLoop<5, double>(10, 26);
    // Chains that take two and three groups of sections.
    expectKernelsMatchGenericLoop<13, double>(13, 27);
}

TEST(DspKernels, SingleSectionMatchesTheGenericLoopBitForBit)
{
    std::mt19937 gen(31);
    std::uniform_real_distribution<double> u(-1, 1);
    std::uniform_real_distribution<double> f(10, 23990);
    std::uniform_real_distribution<double> q(0.1, 20);
    for (int k = 0; k < 40; ++k) {
        RBJ::BandPass2 bandPass;
        RBJ::LowShelf shelf;
        RBJ::AllPass allPass;
        bandPass.setup(48000, f(gen), q(gen));
        shelf.setup(48000, f(gen), 24 * u(gen), 1);
        allPass.setup(48000, f(gen), q(gen));
        const BiquadBase* sections[] = {&bandPass, &shelf, &allPass};
        const BiquadBase& section = *sections[k % 3];

        BiquadBase::State<DirectFormII> reference;
        BiquadBase::State<DirectFormII> kernel;
        std::vector<double> input(2500);
        for (double& v : input)
            v = u(gen);
        std::vector<double> expected = input;
        reference.processGeneric(static_cast<int>(expected.size()), expected.data(), section);
        std::vector<double> actual = input;
        processInSplits(kernel, actual, section, gen);
        ASSERT_EQ(firstDifference(actual, expected), -1) << "case " << k;
    }
}
