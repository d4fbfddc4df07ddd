#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "ryx/dsp/Types.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

struct BiquadPoleState;

// The block kernels' steps are lambdas called from a few places; they must be
// inlined for their locals to stay in registers.
#if defined(__GNUC__)
#define Dsp_always_inline __attribute__((always_inline))
#else
#define Dsp_always_inline
#endif

namespace detail {

// Filters a block in place through Stages consecutive sections, a count fixed
// at compile time. The sections and their delay lines are copied into locals
// for the block, where the compiler keeps them in registers: the recursion
// never waits for a delay line to make the round trip through memory, and no
// sample stored can alias them. The delay lines are written back once, at the
// end. Each sample goes through StateType::process1 section after section, as
// in the one-section-at-a-time loop, so the output is the same to the last bit.
// With Guarded the guard flips before each sample and the first section adds
// it; without, every section adds 0.
//
// The sections work skewed in time: at step t section j takes sample t - j,
// from the output section j - 1 left at step t - 1. The sections of one step
// are independent, so a sample's long way through the chain never holds up
// the next ones, and few samples need to be in flight to keep the arithmetic
// units busy.
template <int Stages, bool Guarded, class Section, class StateType, typename Sample, std::size_t... I>
void runStages(int numSamples, Sample* dest, const Section* sections, StateType* states, double& guard,
               std::index_sequence<I...>)
{
    if (numSamples <= 0)
        return;
    constexpr int last = Stages - 1;
    const Section s[Stages] = {sections[I]...};
    StateType w[Stages] = {states[I]...};
    double g = guard;
    double carry[Stages] = {}; // carry[j]: the output of section j, next for section j + 1
    const auto step = [&](int t, auto every) Dsp_always_inline {
        // From the last section back: each reads its carry before the section
        // ahead of it replaces it.
        (
            [&] {
                constexpr int j = last - static_cast<int>(I);
                const int sample = t - j;
                if constexpr (!decltype(every)::value) {
                    if (sample < 0 || sample >= numSamples)
                        return;
                }
                double in;
                if constexpr (j == 0) {
                    if constexpr (Guarded)
                        g = -g;
                    in = static_cast<double>(dest[sample]);
                } else {
                    in = carry[j - 1];
                }
                const double out = w[j].process1(in, s[j], Guarded && j == 0 ? g : 0.0);
                if constexpr (j == last)
                    dest[sample] = static_cast<Sample>(out);
                else
                    carry[j] = out;
            }(),
            ...);
    };
    // Filling the chain, every section busy, draining it.
    for (int t = 0; t < std::min(last, numSamples); ++t)
        step(t, std::false_type());
    for (int t = last; t < numSamples; ++t)
        step(t, std::true_type());
    for (int t = numSamples; t < numSamples + last; ++t)
        step(t, std::false_type());
    ((states[I] = w[I]), ...);
    guard = g;
}

template <int Stages, bool Guarded, class Section, class StateType, typename Sample>
void runStages(int numSamples, Sample* dest, const Section* sections, StateType* states, double& guard)
{
    static_assert(Stages >= 1, "a block goes through at least one section");
    runStages<Stages, Guarded>(numSamples, dest, sections, states, guard, std::make_index_sequence<Stages>());
}

} // namespace detail

// One second-order section
//   H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2)
// stored as a0 followed by a1, a2, b1, b2, b0 divided by a0.
class RYX_MATH_EXPORT BiquadBase
{
public:
    // Running state of a single section for one channel: the delay line of the
    // given form plus its own denormal guard.
    template <class StateType>
    class State : public StateType
    {
    public:
        void reset() { StateType::reset(); }

        // Runs one sample; the guard's sign flips at every sample so that a
        // silent input never decays into denormal numbers.
        double process(double in, const BiquadBase& section)
        {
            m_denormalGuard = -m_denormalGuard;
            return StateType::process1(in, section, m_denormalGuard);
        }

        // Filters a block in place, with the delay line held in registers.
        template <typename Sample>
        void process(int numSamples, Sample* dest, const BiquadBase& section)
        {
            StateType::template processBlock<1, true>(numSamples, dest, &section, static_cast<StateType*>(this),
                                                      m_denormalGuard);
        }

        // The same block, same output, with the delay line read and written in
        // memory at every sample: the plain loop, kept as the reference of the
        // register kernel and its baseline in the benchmarks.
        template <typename Sample>
        void processGeneric(int numSamples, Sample* dest, const BiquadBase& section)
        {
            double guard = m_denormalGuard; // a local cannot alias the samples
            for (int i = 0; i < numSamples; ++i) {
                guard = -guard;
                dest[i] = static_cast<Sample>(StateType::process1(static_cast<double>(dest[i]), section, guard));
            }
            m_denormalGuard = guard;
        }

    private:
        double m_denormalGuard = 1e-8;
    };

    // A new section passes its input through unchanged until it is designed.
    BiquadBase() { setIdentity(); }

    // The normalising factor a0 and the normalised coefficients.
    double getA0() const { return m_a0; }
    double getA1() const { return m_a1; }
    double getA2() const { return m_a2; }
    double getB0() const { return m_b0; }
    double getB1() const { return m_b1; }
    double getB2() const { return m_b2; }

    // Frequency response; normalizedFrequency in cycles per sample (0 ... 0.5).
    complex_t response(double normalizedFrequency) const;

    // The section's poles, zeros and gain as one pair.
    std::vector<PoleZeroPair> getPoleZeros() const;

    // True if both poles lie strictly inside the unit circle.
    bool isStable() const;

    // Note the argument order, which differs from the storage order.
    void setCoefficients(double a0, double a1, double a2, double b0, double b1, double b2);

    // A first-order section: H(z) = (-zero + z^-1) / (1 - pole z^-1); both real.
    void setOnePole(complex_t pole, complex_t zero);

    // A second-order section from two poles and two zeros, each either a conjugate
    // pair or two reals.
    void setTwoPole(complex_t pole1, complex_t zero1, complex_t pole2, complex_t zero2);

    void setPoleZeroPair(const PoleZeroPair& pair);

    void setPoleZeroForm(const BiquadPoleState& bps);

    void setIdentity();

    // Multiplies the numerator (b0, b1, b2) by scale.
    void applyScale(double scale);

protected:
    double m_a0;
    double m_a1;
    double m_a2;
    double m_b1;
    double m_b2;
    double m_b0;
};

// A section whose coefficients are set by a design before use.
class RYX_MATH_EXPORT Biquad : public BiquadBase
{
public:
    Biquad() = default;
    explicit Biquad(const BiquadPoleState& bps);
};

// The poles, zeros and gain (b0) of one section.
struct RYX_MATH_EXPORT BiquadPoleState : PoleZeroPair
{
    BiquadPoleState() = default;
    explicit BiquadPoleState(const BiquadBase& s);

    double gain = 1;
};

} // namespace Dsp
