#pragma once

#include "ryx/math/fftw/ausp.h"

namespace ryx::math::fftw {

// The averaged power spectrum of one channel: line k is the mean over the
// stored frames of |X[k]|^2 / (N / 2), lines 0 and N / 2 halved once after the
// sum. Views as the amplitude spectrum's, dB being 10 log10(y / reference).
class RYX_MATH_EXPORT psd : public ausp
{
    Q_OBJECT

public:
    psd(ryx::analog_data* source, const QJsonObject& settings);
    psd();

    void update() override;

protected:
    // |X[k]|^2 / (N / 2), lines 0 and N / 2 halved.
    void line_terms(const std::complex<double>* x, double* out, std::size_t count) const override;
};

} // namespace ryx::math::fftw
