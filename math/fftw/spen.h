#pragma once

#include <complex>
#include <vector>

#include "ryx/math/fftw/ausp.h"

namespace ryx::math::fftw {

// The envelope spectrum of one channel: each windowed frame is replaced by its
// Hilbert envelope (the magnitude of its analytic signal, neither windowed nor
// stripped of its mean) before it is transformed and stored, and the stored
// spectra are shown as by the amplitude spectrum. A carrier of amplitude A
// modulated to depth m by a tone on a line reads A on line 0 and m x A at the
// modulation frequency.
class RYX_MATH_EXPORT spen : public ausp
{
    Q_OBJECT

public:
    spen(ryx::analog_data* source, const QJsonObject& settings);
    spen();
    ~spen() override;

    using ausp::init;
    void init() override;
    void preprocess() override;

private:
    // The analytic signal's one-sided spectrum, N values.
    std::vector<std::complex<double>> m_analytic;
};

} // namespace ryx::math::fftw
