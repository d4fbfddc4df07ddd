#include "ryx/math/fftw/ausp.h"

#include <QMutexLocker>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

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

void ausp::line_terms(const std::complex<double>* x, double* out, std::size_t count) const
{
    detail::line_amplitudes(x, out, count, fft_length(), fft_length());
}

void ausp::preprocess()
{
    const std::size_t lines = static_cast<std::size_t>(fft_length() / 2 + 1);
    if (lines > out_capacity)
        return;
    if (!m_rows.empty() && m_rows.size() >= average()) {
        m_rows.splice(m_rows.end(), m_rows, m_rows.begin());
        m_rows.back().resize(lines);
    } else {
        m_rows.emplace_back(lines);
    }
    while (m_rows.size() > average())
        m_rows.pop_front();
    line_terms(_out, m_rows.back().data(), lines);
}

bool ausp::rows_hold_frames() const
{
    const auto& stored = frames();
    if (m_rows.size() < stored.size())
        return false;
    auto row = std::prev(m_rows.end(), static_cast<std::ptrdiff_t>(stored.size()));
    for (const auto& x : stored) {
        if (row->size() != x.size())
            return false;
        // The first two terms tell a frame's row from any other frame's.
        double first[2] = {0.0, 0.0};
        const std::size_t count = std::min<std::size_t>(2, x.size());
        line_terms(x.data(), first, count);
        if (std::memcmp(first, row->data(), count * sizeof(double)) != 0)
            return false;
        ++row;
    }
    return true;
}

void ausp::average_lines()
{
    std::fill(begin(), end(), 0.0);
    const auto& stored = frames();
    if (stored.empty())
        return;
    if (!rows_hold_frames()) {
        // Frames taken without this class's preprocess (a derived class that
        // reworks _out and does not call it): the rows are formed again.
        while (m_rows.size() > stored.size())
            m_rows.pop_front();
        while (m_rows.size() < stored.size())
            m_rows.emplace_back();
        auto row = m_rows.begin();
        for (const auto& x : stored) {
            row->resize(x.size());
            line_terms(x.data(), row->data(), x.size());
            ++row;
        }
    }
    const double l = static_cast<double>(stored.size());
    double* const y = data();
    auto row = std::prev(m_rows.end(), static_cast<std::ptrdiff_t>(stored.size()));
    for (; row != m_rows.end(); ++row) {
        const std::size_t count = std::min(size(), row->size());
        const double* const t = row->data();
        for (std::size_t k = 0; k < count; ++k)
            y[k] += t[k] / l;
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
    average_lines();
    apply_view(20.0);
}

} // namespace ryx::math::fftw
