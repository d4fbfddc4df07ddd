#include "ryx/dsp/Biquad.h"

#include <cmath>
#include <limits>

namespace Dsp {

namespace {

bool allFinite(double a, double b, double c, double d, double e, double f)
{
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d)
        && std::isfinite(e) && std::isfinite(f);
}

} // namespace

complex_t BiquadBase::response(double normalizedFrequency) const
{
    const double w = 2 * doublePi * normalizedFrequency;
    const complex_t z1 = std::polar(1., -w);
    const complex_t z2 = std::polar(1., -2 * w);
    const complex_t numerator = m_b0 + m_b1 * z1 + m_b2 * z2;
    const complex_t denominator = 1. + m_a1 * z1 + m_a2 * z2;
    return numerator / denominator;
}

std::vector<PoleZeroPair> BiquadBase::getPoleZeros() const
{
    return std::vector<PoleZeroPair>(1, BiquadPoleState(*this));
}

bool BiquadBase::isStable() const
{
    // Jury's conditions for 1 + a1 z^-1 + a2 z^-2.
    return std::fabs(m_a2) < 1 && std::fabs(m_a1) < 1 + m_a2;
}

void BiquadBase::setCoefficients(double a0, double a1, double a2, double b0, double b1, double b2)
{
    Dsp_check (!Dsp::is_nan (a0) && !Dsp::is_nan (a1) && !Dsp::is_nan (a2) &&
               !Dsp::is_nan (b0) && !Dsp::is_nan (b1) && !Dsp::is_nan (b2));

    const double na1 = a1 / a0;
    const double na2 = a2 / a0;
    const double nb1 = b1 / a0;
    const double nb2 = b2 / a0;
    const double nb0 = b0 / a0;
    // An infinite argument or a0 == 0 would store NaN or infinite coefficients.
    Dsp_check (allFinite (a0, na1, na2, nb0, nb1, nb2));

    m_a0 = a0;
    m_a1 = na1;
    m_a2 = na2;
    m_b1 = nb1;
    m_b2 = nb2;
    m_b0 = nb0;
}

void BiquadBase::setOnePole(complex_t pole, complex_t zero)
{
    Dsp_check (pole.imag() == 0);
    Dsp_check (zero.imag() == 0);

    const double a0 = 1;
    const double a1 = -pole.real();
    const double a2 = 0;
    const double b0 = -zero.real();
    const double b1 = 1;
    const double b2 = 0;
    setCoefficients(a0, a1, a2, b0, b1, b2);
}

void BiquadBase::setTwoPole(complex_t pole1, complex_t zero1, complex_t pole2, complex_t zero2)
{
    const double a0 = 1;
    double a1;
    double a2;
    if (pole1.imag() != 0) {
        Dsp_check (pole2 == std::conj (pole1));
        a1 = -2 * pole1.real();
        a2 = pole1.real() * pole1.real() + pole1.imag() * pole1.imag();
    } else {
        Dsp_check (pole2.imag() == 0);
        a1 = -(pole1.real() + pole2.real());
        a2 = pole1.real() * pole2.real();
    }

    const double b0 = 1;
    double b1;
    double b2;
    if (zero1.imag() != 0) {
        Dsp_check (zero2 == std::conj (zero1));
        b1 = -2 * zero1.real();
        b2 = zero1.real() * zero1.real() + zero1.imag() * zero1.imag();
    } else {
        Dsp_check (zero2.imag() == 0);
        b1 = -(zero1.real() + zero2.real());
        b2 = zero1.real() * zero2.real();
    }

    setCoefficients(a0, a1, a2, b0, b1, b2);
}

void BiquadBase::setPoleZeroPair(const PoleZeroPair& pair)
{
    if (pair.isSinglePole())
        setOnePole(pair.poles.first, pair.zeros.first);
    else
        setTwoPole(pair.poles.first, pair.zeros.first, pair.poles.second, pair.zeros.second);
}

void BiquadBase::setPoleZeroForm(const BiquadPoleState& bps)
{
    setPoleZeroPair(bps);
    applyScale(bps.gain);
}

void BiquadBase::setIdentity()
{
    setCoefficients(1, 0, 0, 1, 0, 0);
}

void BiquadBase::applyScale(double scale)
{
    m_b0 *= scale;
    m_b1 *= scale;
    m_b2 *= scale;
}

Biquad::Biquad(const BiquadPoleState& bps)
{
    setPoleZeroForm(bps);
}

BiquadPoleState::BiquadPoleState(const BiquadBase& s)
{
    // Work on the de-normalised coefficients.
    const double a0 = s.getA0();
    const double a1 = s.getA1() * a0;
    const double a2 = s.getA2() * a0;
    const double b0 = s.getB0() * a0;
    const double b1 = s.getB1() * a0;
    const double b2 = s.getB2() * a0;

    // A numerator whose leading coefficient vanishes delays the signal: its
    // zeros lie at infinity (a pure delay has no finite zero at all). They are
    // reported as infinite, never as the NaN of 0/0.
    const double infinity = std::numeric_limits<double>::infinity();
    if (a2 == 0 && b2 == 0) {
        // single pole
        poles.first = -a1;
        // With no numerator at all there is nothing to factor: NaN, refused below.
        zeros.first = b1 != 0 ? -b0 / b1 : (b0 != 0 ? infinity : std::numeric_limits<double>::quiet_NaN());
        poles.second = 0;
        zeros.second = 0;
        Dsp_check (!zeros.is_nan());
    } else if (b0 == 0 && (b1 != 0 || b2 != 0)) {
        const complex_t c = std::sqrt(complex_t(a1 * a1 - 4 * a0 * a2, 0));
        poles.first = -(a1 + c) / (2. * a0);
        poles.second = (c - a1) / (2. * a0);
        Dsp_check (!poles.is_nan());
        // b1 z + b2: one finite zero when b1 is not 0, the rest at infinity.
        zeros.first = b1 != 0 ? complex_t(-b2 / b1) : complex_t(infinity);
        zeros.second = infinity;
    } else {
        {
            const complex_t c = std::sqrt(complex_t(a1 * a1 - 4 * a0 * a2, 0));
            const double d = 2. * a0;
            poles.first = -(a1 + c) / d;
            poles.second = (c - a1) / d;
            Dsp_check (!poles.is_nan());
        }
        {
            const complex_t c = std::sqrt(complex_t(b1 * b1 - 4 * b0 * b2, 0));
            const double d = 2. * b0;
            zeros.first = -(b1 + c) / d;
            zeros.second = (c - b1) / d;
            Dsp_check (!zeros.is_nan());
        }
    }

    gain = b0 / a0;
}

} // namespace Dsp
