#include "ryx/math/fftw/cross.h"

#include <algorithm>
#include <cmath>

namespace ryx::math::fftw {

cross::cross(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings)
    : dbl(source_0, source_1, settings, nullptr, nullptr)
{
}

cross::cross() : dbl(new sngl(), new sngl(), {})
{
    adopt_analysers();
}

void cross::pairing_restarted()
{
    m_entries.clear();
}

void cross::update()
{
    const side& a = paired(0);
    const side& b = paired(1);
    const std::size_t n = result_lines();
    assign(n, 0.0);
    const std::size_t lines = std::min(n, frame_lines());
    if (lines == 0 || !fft0())
        return;
    if (!m_entries.empty() && m_entries[m_entries.size() - 1].size() != lines)
        m_entries.clear();
    // N/2 of the frames: a line's amplitude is |X| / (N/2).
    const double half = static_cast<double>(fft0()->fft_length() / 2);
    std::vector<double>& row = m_entries.push(lines, static_cast<std::size_t>(average()));
    for (std::size_t k = 0; k < lines; ++k) {
        const std::complex<double> x0 = a.frame[k];
        const std::complex<double> x1 = b.frame[k];
        const double re = x0.real() * x1.real() + x0.imag() * x1.imag();
        const double im = x0.imag() * x1.real() - x0.real() * x1.imag();
        row[k] = std::hypot(re, im) / half / half;
    }
    double* const y = std::vector<double>::data();
    for (std::size_t r = 0; r < m_entries.size(); ++r) {
        const double* const e = m_entries[r].data();
        for (std::size_t k = 0; k < lines; ++k)
            y[k] += e[k];
    }
    const double count = static_cast<double>(m_entries.size());
    for (std::size_t k = 0; k < lines; ++k)
        y[k] /= count;
}

} // namespace ryx::math::fftw
