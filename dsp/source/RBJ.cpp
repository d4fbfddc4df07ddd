#include "ryx/dsp/RBJ.h"

#include <array>
#include <cmath>

namespace Dsp {
namespace RBJ {

namespace {

// Sets the section only if the new coefficients are finite and the poles lie
// strictly inside the unit circle; otherwise the section keeps its old values.
void setStableCoefficients(BiquadBase& section, double a0, double a1, double a2, double b0, double b1,
                           double b2)
{
    BiquadBase candidate;
    candidate.setCoefficients(a0, a1, a2, b0, b1, b2);
    Dsp_check (candidate.isStable ());
    section = candidate;
}

// The pass, stop and all-pass sections share the denominator (1 + AL, -2 cs, 1 - AL)
// with AL = sn / (2 q); numerator(cs, AL) gives (b0, b1, b2).
template <class Numerator>
void setQSection(BiquadBase& section, double sampleRate, double frequency, double q, Numerator numerator)
{
    const double w0 = 2 * doublePi * frequency / sampleRate;
    const double cs = std::cos(w0);
    const double sn = std::sin(w0);
    const double AL = sn / (2 * q);
    const std::array<double, 3> b = numerator(cs, AL);
    setStableCoefficients(section, 1 + AL, -2 * cs, 1 - AL, b[0], b[1], b[2]);
}

// The low shelf (mirror = 1), and the high shelf (mirror = -1) as its mirror
// image about a quarter of the sample rate: cos w0 and the odd coefficients b1,
// a1 change sign. Negation is exact, so both keep the cookbook's rounding.
void setShelf(BiquadBase& section, double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope,
              double mirror)
{
    const double A = std::pow(10, gainDb / 40);
    const double w0 = 2 * doublePi * cutoffFrequency / sampleRate;
    const double cs = mirror * std::cos(w0);
    const double sn = std::sin(w0);
    const double AL = sn / 2 * std::sqrt((A + 1 / A) * (1 / shelfSlope - 1) + 2);
    const double sq = 2 * std::sqrt(A) * AL;
    const double b0 = A * ((A + 1) - (A - 1) * cs + sq);
    const double b1 = mirror * 2 * A * ((A - 1) - (A + 1) * cs);
    const double b2 = A * ((A + 1) - (A - 1) * cs - sq);
    const double a0 = (A + 1) + (A - 1) * cs + sq;
    const double a1 = mirror * -2 * ((A - 1) + (A + 1) * cs);
    const double a2 = (A + 1) + (A - 1) * cs - sq;
    setStableCoefficients(section, a0, a1, a2, b0, b1, b2);
}

} // namespace

double octaveBandwidthTerm(double w0, double octaves)
{
    return std::sinh(0.34657359027997264 * octaves * w0 / std::sin(w0)); // ln 2 / 2
}

double bandwidthToQ(double sampleRate, double centerFrequency, double octaves)
{
    const double w0 = 2 * doublePi * centerFrequency / sampleRate;
    return 1.0 / (2.0 * octaveBandwidthTerm(w0, octaves));
}

void LowPass::setup(double sampleRate, double cutoffFrequency, double q)
{
    setQSection(*this, sampleRate, cutoffFrequency, q, [](double cs, double) { return std::array<double, 3>{(1 - cs) / 2, 1 - cs, (1 - cs) / 2}; });
}

void HighPass::setup(double sampleRate, double cutoffFrequency, double q)
{
    setQSection(*this, sampleRate, cutoffFrequency, q, [](double cs, double) { return std::array<double, 3>{(1 + cs) / 2, -(1 + cs), (1 + cs) / 2}; });
}

void BandPass1::setup(double sampleRate, double centerFrequency, double bandWidth)
{
    setQSection(*this, sampleRate, centerFrequency, bandWidth, [bandWidth](double, double AL) {
        return std::array<double, 3>{bandWidth * AL, 0, -bandWidth * AL}; // b0 = sn / 2
    });
}

void BandPass2::setup(double sampleRate, double centerFrequency, double bandWidth)
{
    setQSection(*this, sampleRate, centerFrequency, bandWidth, [](double, double AL) { return std::array<double, 3>{AL, 0, -AL}; });
}

void BandStop::setup(double sampleRate, double centerFrequency, double bandWidth)
{
    setQSection(*this, sampleRate, centerFrequency, bandWidth, [](double cs, double) { return std::array<double, 3>{1, -2 * cs, 1}; });
}

void LowShelf::setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope)
{
    setShelf(*this, sampleRate, cutoffFrequency, gainDb, shelfSlope, 1);
}

void HighShelf::setup(double sampleRate, double cutoffFrequency, double gainDb, double shelfSlope)
{
    setShelf(*this, sampleRate, cutoffFrequency, gainDb, shelfSlope, -1);
}

void BandShelf::setup(double sampleRate, double centerFrequency, double gainDb, double bandWidth)
{
    const double A = std::pow(10, gainDb / 40);
    const double w0 = 2 * doublePi * centerFrequency / sampleRate;
    const double cs = std::cos(w0);
    const double sn = std::sin(w0);
    const double AL = sn * octaveBandwidthTerm(w0, bandWidth);
    Dsp_check (!Dsp::is_nan (AL));
    const double b0 = 1 + AL * A;
    const double b1 = -2 * cs;
    const double b2 = 1 - AL * A;
    const double a0 = 1 + AL / A;
    const double a1 = -2 * cs;
    const double a2 = 1 - AL / A;
    setStableCoefficients(*this, a0, a1, a2, b0, b1, b2);
}

void AllPass::setup(double sampleRate, double phaseFrequency, double q)
{
    setQSection(*this, sampleRate, phaseFrequency, q, [](double cs, double AL) { return std::array<double, 3>{1 - AL, -2 * cs, 1 + AL}; });
}

} // namespace RBJ
} // namespace Dsp
