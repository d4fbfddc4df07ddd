#include "ryx/math/fftw/phase.h"

#include <QChar>
#include <QMutexLocker>
#include <algorithm>
#include <complex>

#include "ryx/math/editor.h"

namespace ryx::math::fftw {

namespace {

const QString view_key = QStringLiteral("phase_view");
const QString range_key = QStringLiteral("phase_range");

constexpr double pi = 3.141592653589793;
constexpr double degrees_per_radian = 57.29577951308232;

bool read_int(const QJsonObject& settings, const QString& key, int& out)
{
    const QJsonValue v = settings.value(key);
    if (!v.isDouble())
        return false;
    out = v.toInt(out);
    return true;
}

// The texts of the three ranges in the unit of the view.
QStringList range_items(int view)
{
    const QString plus_minus(QChar(0x00B1));
    if (view == phase::deg)
        return {plus_minus + QStringLiteral("180"), QStringLiteral("0 - 180"), QStringLiteral("-180 - 0")};
    const QString pi_sign(QChar(0x03C0));
    return {plus_minus + pi_sign, QStringLiteral("0 - ") + pi_sign,
            QStringLiteral("-") + pi_sign + QStringLiteral(" - 0")};
}

} // namespace

phase::phase(ryx::analog_data* source, const QJsonObject& settings) : sngl(source, settings)
{
    read_int(settings, QStringLiteral("view"), m_view);
    read_int(settings, QStringLiteral("range"), m_range);
}

phase::phase() = default;

void phase::init(const QJsonObject& settings)
{
    sngl::init(settings);
    int view = m_view;
    int range = m_range;
    const bool new_view = read_int(settings, QStringLiteral("view"), view) || read_int(settings, view_key, view);
    const bool new_range =
        read_int(settings, QStringLiteral("range"), range) || read_int(settings, range_key, range);
    if (new_view || new_range) {
        const QMutexLocker lock(&using_out_mutex);
        m_view = view;
        m_range = range;
    }
}

QJsonArray phase::parameter_keys() const
{
    QJsonArray keys = sngl::parameter_keys();
    if (!keys.isEmpty()) {
        keys.insert(keys.size() - 1, view_key);
        keys.insert(keys.size() - 1, range_key);
    }
    return keys;
}

QJsonObject phase::parameter(const QString& key) const
{
    if (key == view_key)
        return editor::choice(m_view, phase::tr("View"), {phase::tr("rad"), phase::tr("deg")});
    if (key == range_key)
        return editor::choice(m_range, phase::tr("Range"), range_items(m_view));
    return sngl::parameter(key);
}

bool phase::set_parameter(const QString& key, const QVariant& value)
{
    if (sngl::set_parameter(key, value))
        return true;
    if (key == view_key)
        show(value.toInt(), m_range);
    else if (key == range_key)
        show(m_view, value.toInt());
    else
        return false;
    return true;
}

void phase::set_view(views value)
{
    show(value, m_range);
}

void phase::set_range(ranges value)
{
    show(m_view, value);
}

void phase::show(int view, int range)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        m_view = view;
        m_range = range;
        update();
    }
    // Emitted without the mutex: a listener may reconfigure any analyser.
    emit changed();
}

void phase::update()
{
    std::fill(begin(), end(), 0.0);
    const auto& frames = stored_frames();
    if (!frames.empty()) {
        const double offset = m_range == positive ? pi : m_range == negative ? -pi : 0.0;
        const double l = static_cast<double>(frames.size());
        double* y = data();
        for (const auto& x : frames) {
            const std::size_t count = std::min(size(), x.size());
            for (std::size_t k = 0; k < count; ++k) {
                double a = std::arg(x[k]);
                // The principal argument lies in (-pi, pi]: a negative zero
                // imaginary part on the negative axis reads +pi.
                if (a == -pi)
                    a = pi;
                y[k] += (a + offset) / l;
            }
        }
    }
    if (m_view == deg) {
        for (double& v : *this)
            v *= degrees_per_radian;
    }
}

} // namespace ryx::math::fftw
