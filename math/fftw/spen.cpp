#include "ryx/math/fftw/spen.h"

#include <QMutexLocker>
#include <cmath>

#include "ryx/math/detail/fft_plans.h"

namespace ryx::math::fftw {

spen::spen(ryx::analog_data* source, const QJsonObject& settings) : ausp(source, settings)
{
    const QMutexLocker lock(&using_out_mutex);
    m_analytic.assign(static_cast<std::size_t>(fft_length()), {});
}

spen::spen() : m_analytic(static_cast<std::size_t>(fft_length())) {}

spen::~spen() = default;

void spen::init()
{
    sngl::init();
    const QMutexLocker lock(&using_out_mutex);
    m_analytic.resize(static_cast<std::size_t>(fft_length()));
}

// Runs under the analysers' mutex with _out holding the frame's lines 0 .. N/2.
void spen::preprocess()
{
    const std::size_t n = static_cast<std::size_t>(fft_length());
    std::vector<double>& input = fft_input();
    if (n < 2 || n > out_capacity || input.size() < n) {
        ausp::preprocess();
        return;
    }
    // A frame may come between a new geometry and init()'s resize of the buffer.
    if (m_analytic.size() != n)
        m_analytic.resize(n);

    // One-sided spectrum of the analytic signal: the positive lines doubled, line
    // 0 and line N/2 kept single, the negative lines zero; 1/N for the inverse.
    const double scale = 2.0 / static_cast<double>(n);
    const std::size_t half = n / 2;
    for (std::size_t i = 0; i <= half; ++i)
        m_analytic[i] = scale * _out[i];
    for (std::size_t i = half + 1; i < n; ++i)
        m_analytic[i] = 0.0;
    m_analytic[0] *= 0.5;
    m_analytic[half] *= 0.5;

    const int length = static_cast<int>(n);
    detail::fft_c2c(length, +1, m_analytic.data(), _out);
    for (std::size_t i = 0; i < n; ++i)
        input[i] = std::abs(_out[i]);
    detail::fft_r2c(length, input.data(), _out);
    ausp::preprocess();
}

} // namespace ryx::math::fftw
