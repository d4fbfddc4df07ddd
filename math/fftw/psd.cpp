#include "ryx/math/fftw/psd.h"

namespace ryx::math::fftw {

psd::psd(ryx::analog_data* source, const QJsonObject& settings) : ausp(source, settings) {}

psd::psd() = default;

void psd::line_terms(const std::complex<double>* x, double* out, std::size_t count) const
{
    const double p = static_cast<double>(fft_length()) * 0.5;
    for (std::size_t k = 0; k < count; ++k)
        out[k] = std::norm(x[k]) / p;
    // Lines 0 and N/2 have no mirror line sharing their energy.
    const std::size_t half = static_cast<std::size_t>(fft_length() / 2);
    if (count > 0)
        out[0] *= 0.5;
    if (half > 0 && half < count)
        out[half] *= 0.5;
}

void psd::update()
{
    average_lines();
    apply_view(10.0);
}

} // namespace ryx::math::fftw
