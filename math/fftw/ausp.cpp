#include "ryx/math/fftw/ausp.h"

#include <QMutexLocker>
#include <algorithm>
#include <cmath>

#include "ryx/math/detail/amplitude.h"
#include "ryx/math/editor.h"

namespace ryx::math::fftw {

namespace {

const QString view_key = QStringLiteral("ausp_view");

// Reads an integer setting; false when the key is absent or not a number.
bool read_int(const QJsonObject& settings, const QString& key, int& out)
{
    const QJsonValue v = settings.value(key);
    if (!v.isDouble())
        return false;
    out = v.toInt(out);
    return true;
}

} // namespace

ausp::ausp(ryx::analog_data* source, const QJsonObject& settings) : sngl(source, settings)
{
    read_int(settings, QStringLiteral("view"), m_view);
}

ausp::ausp() = default;

void ausp::init(const QJsonObject& settings)
{
    sngl::init(settings);
    int value = m_view;
    if (read_int(settings, QStringLiteral("view"), value) || read_int(settings, view_key, value)) {
        const QMutexLocker lock(&using_out_mutex);
        m_view = value;
    }
}

QJsonArray ausp::parameter_keys() const
{
    QJsonArray keys = sngl::parameter_keys();
    if (!keys.isEmpty())
        keys.insert(keys.size() - 1, view_key);
    return keys;
}

QJsonObject ausp::parameter(const QString& key) const
{
    if (key == view_key)
        return editor::choice(m_view, ausp::tr("Axis Y"), {ausp::tr("Unit"), ausp::tr("dB"), ausp::tr("Rms")});
    return sngl::parameter(key);
}

bool ausp::set_parameter(const QString& key, const QVariant& value)
{
    if (sngl::set_parameter(key, value))
        return true;
    if (key != view_key)
        return false;
    show(value.toInt());
    return true;
}

void ausp::set_view(views value)
{
    show(value);
}

void ausp::show(int value)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        m_view = value;
        update();
    }
    emit changed();
}

void ausp::average_lines(bool power)
{
    std::fill(begin(), end(), 0.0);
    const auto& frames = stored_frames();
    const std::uint64_t n = fft_length();
    const std::size_t half = static_cast<std::size_t>(n / 2);
    if (!frames.empty()) {
        const double l = static_cast<double>(frames.size());
        const double p = static_cast<double>(n) * 0.5;
        double* const y = data();
        for (const auto& x : frames) {
            const std::size_t count = std::min(size(), x.size());
            if (m_terms.size() < count)
                m_terms.resize(count);
            double* const t = m_terms.data();
            if (power) {
                for (std::size_t k = 0; k < count; ++k)
                    t[k] = std::norm(x[k]) / p;
                // Lines 0 and N/2 have no mirror line sharing their energy.
                if (count > 0)
                    t[0] *= 0.5;
                if (half > 0 && half < count)
                    t[half] *= 0.5;
            } else {
                // |X| / (N/2), lines 0 and N/2 halved.
                detail::line_amplitudes(x.data(), t, count, n, n);
            }
            // Halving each term or the sum is the same: a factor of 1/2 is exact.
            for (std::size_t k = 0; k < count; ++k)
                y[k] += t[k] / l;
        }
    }
}

void ausp::apply_view(double db_factor)
{
    if (m_view == dB) {
        const double ref = reference();
        for (double& y : *this)
            y = db_factor * std::log10(y / ref);
    } else if (m_view == rms) {
        for (double& y : *this)
            y /= 1.4142135623730951;
    }
}

void ausp::update()
{
    average_lines(false);
    apply_view(20.0);
}

} // namespace ryx::math::fftw
