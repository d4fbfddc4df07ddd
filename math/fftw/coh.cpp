#include "ryx/math/fftw/coh.h"

#include <algorithm>

namespace ryx::math::fftw {

coh::coh(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings)
    : dbl(source_0, source_1, settings, nullptr, nullptr)
{
}

coh::coh() : dbl(new sngl(), new sngl(), {})
{
    adopt_analysers();
}

void coh::pairing_restarted()
{
    m_terms.clear();
}

void coh::update()
{
    const side& a = paired(0);
    const side& b = paired(1);
    const std::size_t n = result_lines();
    assign(n, 0.0);
    const std::size_t lines = std::min(n, frame_lines());
    if (lines == 0)
        return;
    // Pairs of another length belong to an earlier configuration.
    if (!m_terms.empty() && m_terms[m_terms.size() - 1].size() != lines)
        m_terms.clear();
    std::vector<term>& row = m_terms.push(lines, static_cast<std::size_t>(average()));
    for (std::size_t k = 0; k < lines; ++k) {
        const std::complex<double> x0 = a.frame[k];
        const std::complex<double> x1 = b.frame[k];
        const double re = x0.real() * x1.real() + x0.imag() * x1.imag();
        const double im = x0.imag() * x1.real() - x0.real() * x1.imag();
        row[k] = term{std::norm(x0), std::norm(x1), {re, im}};
    }
    m_sums.assign(lines, term{0.0, 0.0, {0.0, 0.0}});
    term* const s = m_sums.data();
    for (std::size_t r = 0; r < m_terms.size(); ++r) {
        const term* const t = m_terms[r].data();
        for (std::size_t k = 0; k < lines; ++k) {
            s[k].power_0 += t[k].power_0;
            s[k].power_1 += t[k].power_1;
            s[k].cross += t[k].cross;
        }
    }
    double* const y = std::vector<double>::data();
    for (std::size_t k = 0; k < lines; ++k) {
        const double d = s[k].power_0 * s[k].power_1;
        y[k] = d > 0.0 ? std::norm(s[k].cross) / d : 0.0;
    }
}

} // namespace ryx::math::fftw
