#pragma once

#include <vector>

#include "ryx/dsp/Types.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

struct BiquadPoleState;

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

        template <typename Sample>
        void process(int numSamples, Sample* dest, const BiquadBase& section)
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
