#include "ryx/math/fftw/corr.h"

#include <algorithm>
#include <cmath>

#include "ryx/core/analog_data.h"
#include "ryx/math/detail/fft_plans.h"

namespace ryx::math::fftw {

corr::corr(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings)
    : dbl(source_0, source_1, settings, nullptr, nullptr)
{
    if (!fft0() || !fft1())
        return; // no common device: nothing to correlate
    const QJsonValue time_value = settings.value(QLatin1String("time"));
    const double time = time_value.isDouble() ? time_value.toDouble() : 1.0;
    const double h = source_0->get_rate() * 0.5;
    const double lags = std::round(time * h);
    // A NaN, negative or huge time still gives a usable frame.
    m_lags = lags >= 1.0 ? static_cast<std::int32_t>(std::min(lags, static_cast<double>(max_lags))) : 1;
    settings.insert(QStringLiteral("frequency"), h);
    settings.insert(QStringLiteral("samples"), 2 * m_lags - 1);
    settings.insert(QStringLiteral("zeros"), m_lags - 1);
    settings.insert(QStringLiteral("average"), 1);
    dbl::init(settings);
    dbl::init();
}

double corr::resolution() const
{
    return fft0() ? 0.5 / fft0()->frequency() : 1.0;
}

void corr::update()
{
    const side& a = paired(0);
    const side& b = paired(1);
    const std::size_t g = frame_lines();
    assign(static_cast<std::size_t>(m_lags), 0.0);
    if (g < 2 || !fft0())
        return;
    // The frame's N: every value of the half spectrum enters the transform.
    const std::size_t n = 2 * g - 2;
    m_cross.resize(g);
    m_lagged.resize(n);
    const double d = fft0()->beta() * static_cast<double>(g);
    for (std::size_t k = 0; k < g; ++k) {
        const std::complex<double> x0 = a.frame[k];
        const std::complex<double> x1 = b.frame[k];
        const double re = x0.real() * x1.real() + x0.imag() * x1.imag();
        const double im = x0.imag() * x1.real() - x0.real() * x1.imag();
        m_cross[k] = {re / d, im / d};
    }
    detail::fft_c2r(static_cast<int>(n), m_cross.data(), m_lagged.data());
    std::copy_n(m_lagged.begin(), std::min(n, size()), begin());
}

} // namespace ryx::math::fftw
