#include "ryx/dsp/PoleFilter.h"

#include <cmath>

namespace Dsp {

namespace {

bool isInfinity(const complex_t& c)
{
    return c == complex_t(infinity(), 0);
}

bool isFinite(const complex_t& c)
{
    return std::isfinite(c.real()) && std::isfinite(c.imag());
}

bool polesInsideUnitCircle(const LayoutBase& layout)
{
    const int numPoles = layout.getNumPoles();
    for (int i = 0; i < (numPoles + 1) / 2; ++i) {
        const PoleZeroPair& pair = layout[i];
        if (!isFinite(pair.poles.first) || !(std::abs(pair.poles.first) < 1))
            return false;
        if (2 * i + 1 < numPoles && (!isFinite(pair.poles.second) || !(std::abs(pair.poles.second) < 1)))
            return false;
    }
    return true;
}

// The poles as the sections will run them: coefficients rounded from poles
// within about 1e-8 of the unit circle can put a pole on it.
bool sectionsStable(const Cascade& cascade)
{
    for (int i = 0; i < cascade.getNumStages(); ++i)
        if (!cascade[i].isStable())
            return false;
    return true;
}

bool zerosFinite(const LayoutBase& layout)
{
    for (int i = 0; i < (layout.getNumPoles() + 1) / 2; ++i)
        if (!isFinite(layout[i].zeros.first) || !isFinite(layout[i].zeros.second))
            return false;
    return true;
}

} // namespace

std::vector<PoleZeroPair> PoleFilterBase2::getPoleZeros() const
{
    std::vector<PoleZeroPair> vpz;
    const int pairs = (m_digitalProto.getNumPoles() + 1) / 2;
    vpz.reserve(static_cast<std::size_t>(pairs));
    for (int i = 0; i < pairs; ++i)
        vpz.push_back(m_digitalProto[i]);
    return vpz;
}

void PoleFilterBase2::loadDigitalLayout()
{
    // Poles on or outside the unit circle (a cutoff at or beyond the Nyquist
    // frequency, or at 0) would make an unstable filter.
    Dsp_check (polesInsideUnitCircle (m_digitalProto));
    Dsp_check (zerosFinite (m_digitalProto));
    setLayout(m_digitalProto);
    Dsp_check (sectionsStable (*this));
}

LowPassTransform::LowPassTransform(double fc, LayoutBase& digital, const LayoutBase& analog)
{
    digital.reset();

    // prewarp
    f = std::tan(doublePi * fc);

    const int numPoles = analog.getNumPoles();
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const PoleZeroPair& pair = analog[i];
        digital.addPoleZeroConjugatePairs(transform(pair.poles.first), transform(pair.zeros.first));
    }

    if (numPoles & 1) {
        const PoleZeroPair& pair = analog[pairs];
        digital.add(transform(pair.poles.first), transform(pair.zeros.first));
    }

    digital.setNormal(analog.getNormalW(), analog.getNormalGain());
}

complex_t LowPassTransform::transform(complex_t c)
{
    if (isInfinity(c))
        return complex_t(-1, 0);

    // frequency transform
    c = f * c;

    // bilinear low pass transform
    return (1. + c) / (1. - c);
}

HighPassTransform::HighPassTransform(double fc, LayoutBase& digital, const LayoutBase& analog)
{
    digital.reset();

    // prewarp
    f = 1. / std::tan(doublePi * fc);

    const int numPoles = analog.getNumPoles();
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const PoleZeroPair& pair = analog[i];
        digital.addPoleZeroConjugatePairs(transform(pair.poles.first), transform(pair.zeros.first));
    }

    if (numPoles & 1) {
        const PoleZeroPair& pair = analog[pairs];
        digital.add(transform(pair.poles.first), transform(pair.zeros.first));
    }

    digital.setNormal(doublePi - analog.getNormalW(), analog.getNormalGain());
}

complex_t HighPassTransform::transform(complex_t c)
{
    if (isInfinity(c))
        return complex_t(1, 0);

    // frequency transform
    c = f * c;

    // bilinear high pass transform
    return -(1. + c) / (1. - c);
}

namespace {

// Band edges in radians per sample, kept strictly inside (0, pi).
void bandEdges(double fc, double fw, double& wc2, double& wc)
{
    const double ww = 2 * doublePi * fw;
    wc2 = 2 * doublePi * fc - (ww / 2);
    wc = wc2 + ww;

    if (wc2 < 1e-8)
        wc2 = 1e-8;
    if (wc > doublePi - 1e-8)
        wc = doublePi - 1e-8;
}

} // namespace

BandPassTransform::BandPassTransform(double fc, double fw, LayoutBase& digital, const LayoutBase& analog)
{
    digital.reset();

    bandEdges(fc, fw, wc2, wc);

    a = std::cos((wc + wc2) * 0.5) / std::cos((wc - wc2) * 0.5);
    b = 1 / std::tan((wc - wc2) * 0.5);
    a2 = a * a;
    b2 = b * b;
    ab = a * b;
    ab_2 = 2 * ab;

    const int numPoles = analog.getNumPoles();
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const PoleZeroPair& pair = analog[i];
        const ComplexPair p1 = transform(pair.poles.first);
        const ComplexPair z1 = transform(pair.zeros.first);
        const ComplexPair p2 = transform(pair.poles.second);
        const ComplexPair z2 = transform(pair.zeros.second);
        (void)z2;

        Dsp_check (p2.first == std::conj (p1.first));
        Dsp_check (p2.second == std::conj (p1.second));

        digital.addPoleZeroConjugatePairs(p1.first, z1.first);
        digital.addPoleZeroConjugatePairs(p1.second, z1.second);
    }

    if (numPoles & 1) {
        const ComplexPair poles = transform(analog[pairs].poles.first);
        const ComplexPair zeros = transform(analog[pairs].zeros.first);
        digital.add(poles, zeros);
    }

    const double wn = analog.getNormalW();
    digital.setNormal(2 * std::atan(std::sqrt(std::tan((wc + wn) * 0.5) * std::tan((wc2 + wn) * 0.5))),
                      analog.getNormalGain());
}

ComplexPair BandPassTransform::transform(complex_t c)
{
    if (isInfinity(c))
        return ComplexPair(complex_t(-1, 0), complex_t(1, 0));

    c = (1. + c) / (1. - c); // bilinear

    complex_t v = 0;
    const double k = b2 * (a2 - 1);
    v = std::sqrt(4. * (k + 1) * c * c + 8. * (k - 1) * c + 4. * (k + 1));

    complex_t u = -v + ab_2 * c + ab_2;
    v = v + ab_2 * c + ab_2;

    const complex_t d = 2. * (b - 1) * c + 2. * (1 + b);

    return ComplexPair(u / d, v / d);
}

BandStopTransform::BandStopTransform(double fc, double fw, LayoutBase& digital, const LayoutBase& analog)
{
    digital.reset();

    bandEdges(fc, fw, wc2, wc);

    a = std::cos((wc + wc2) * .5) / std::cos((wc - wc2) * .5);
    b = std::tan((wc - wc2) * .5);
    a2 = a * a;
    b2 = b * b;

    const int numPoles = analog.getNumPoles();
    const int pairs = numPoles / 2;
    for (int i = 0; i < pairs; ++i) {
        const PoleZeroPair& pair = analog[i];
        const ComplexPair p = transform(pair.poles.first);
        const ComplexPair z = transform(pair.zeros.first);
        const ComplexPair pc = transform(pair.poles.second);
        ComplexPair zc = transform(pair.zeros.second);

        // A zero at infinity and its conjugate map to the same pair; order them
        // as conjugates.
        if (zc.first == z.first)
            std::swap(zc.first, zc.second);

        Dsp_check (pc.first == std::conj (p.first));
        Dsp_check (pc.second == std::conj (p.second));
        Dsp_check (zc.first == std::conj (z.first));
        Dsp_check (zc.second == std::conj (z.second));

        digital.addPoleZeroConjugatePairs(p.first, z.first);
        digital.addPoleZeroConjugatePairs(p.second, z.second);
    }

    if (numPoles & 1) {
        const ComplexPair poles = transform(analog[pairs].poles.first);
        const ComplexPair zeros = transform(analog[pairs].zeros.first);
        digital.add(poles, zeros);
    }

    // The pass band nearest to the centre holds the normal gain.
    if (fc < 0.25)
        digital.setNormal(doublePi, analog.getNormalGain());
    else
        digital.setNormal(0, analog.getNormalGain());
}

ComplexPair BandStopTransform::transform(complex_t c)
{
    if (isInfinity(c))
        c = -1;
    else
        c = (1. + c) / (1. - c); // bilinear

    const complex_t s = std::sqrt(4. * (b2 + a2 - 1) * c * c + 8. * (b2 - a2 + 1) * c + 4. * (a2 + b2 - 1));
    const complex_t d = (b + 1) + (b - 1) * c;

    return ComplexPair((0.5 * s + a - a * c) / d, (-0.5 * s + a - a * c) / d);
}

} // namespace Dsp
