#include "ryx/math/fftw/orsp.h"

#include <QMutexLocker>
#include <cmath>

namespace ryx::math::fftw {

namespace {

bool valid_harm_freq(double value)
{
    return std::isfinite(value) && value > 0.0;
}

} // namespace

orsp::orsp(ryx::analog_data* source, const QJsonObject& settings) : ausp(source, settings)
{
    read_order_settings(settings);
    const QMutexLocker lock(&using_out_mutex);
    follow_geometry();
    const std::size_t kept = kept_lines();
    if (kept < size())
        resize(kept);
}

orsp::orsp() = default;

void orsp::read_order_settings(const QJsonObject& settings)
{
    const QJsonValue harm = settings.value(QStringLiteral("harm_freq"));
    const QJsonValue order = settings.value(QStringLiteral("max_order"));
    const QMutexLocker lock(&using_out_mutex);
    if (harm.isDouble() && valid_harm_freq(harm.toDouble()))
        m_harm_freq = harm.toDouble();
    if (order.isDouble() && order.toDouble() >= 0.0 && order.toDouble() < 1e18)
        m_max_order = static_cast<std::size_t>(order.toDouble());
}

void orsp::init(const QJsonObject& settings)
{
    ausp::init(settings);
    read_order_settings(settings);
    const QMutexLocker lock(&using_out_mutex);
    follow_geometry();
}

void orsp::init()
{
    sngl::init();
    const QMutexLocker lock(&using_out_mutex);
    follow_geometry();
}

double orsp::resolution() const
{
    return m_order_resolution;
}

void orsp::follow_geometry()
{
    m_order_resolution = sngl::resolution() / m_harm_freq;
    // Without a source no geometry was made: the result keeps its length.
    m_full_length = filter() ? fft_length() / 2 + 1 : size();
}

std::size_t orsp::kept_lines() const
{
    const double lines = static_cast<double>(m_max_order) / m_order_resolution;
    // Also catches a zero order resolution (infinite or NaN quotient).
    if (!(lines < static_cast<double>(m_full_length)))
        return static_cast<std::size_t>(m_full_length);
    return static_cast<std::size_t>(std::llround(lines));
}

void orsp::update()
{
    ausp::update();
    resize(kept_lines(), 0.0);
}

void orsp::set_harm_freq(double value)
{
    if (!valid_harm_freq(value))
        return;
    {
        const QMutexLocker lock(&using_out_mutex);
        if (std::fabs(value - m_harm_freq) <= 1e-9)
            return;
        m_harm_freq = value;
        m_order_resolution = sngl::resolution() / m_harm_freq;
    }
    emit harm_freq_changed();
}

void orsp::set_max_order(std::size_t value)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        if (value == m_max_order)
            return;
        m_max_order = value;
    }
    emit max_order_changed();
}

} // namespace ryx::math::fftw
