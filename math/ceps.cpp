#include "ryx/math/ceps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

#include "ryx/core/device_lock.h"
#include "ryx/math/detail/fft_plans.h"

namespace ryx::math {

ceps::ceps(ryx::analog_data* source) : QObject(source), m_source(source)
{
    m_fft = new ryx::math::fft(source);
    m_fft->set_frequency(1000.0);
    set_time(1.0);
    connect(m_fft, &fft::changed, this, &ceps::data_changed);
    connect(m_fft, &fft::initialized, this, &ceps::init);
    connect(m_fft, &fft::frequency_changed, this, &ceps::frequency_changed);
    connect(m_fft, &fft::window_changed, this, &ceps::window_changed);
    connect(m_fft, &fft::progress, this, &ceps::progress);
    if (source)
        connect(source, &ryx::data_model_node::deleting, this, &ceps::source_deleting, Qt::DirectConnection);
    init();
}

ceps::~ceps()
{
    if (m_fft)
        QObject::disconnect(m_fft, nullptr, this, nullptr);
    emit deleting();
    blockSignals(true);
    cleanup();
    delete m_fft.data();
}

void ceps::source_deleting()
{
    // The tree is going: no more frames, no more locks on its device.
    m_acquiring = false;
    if (m_source)
        QObject::disconnect(m_source, nullptr, this, nullptr);
    m_source = nullptr;
}

double ceps::time() const
{
    const double r = m_fft ? m_fft->resolution() : 0.0;
    return r > 0.0 ? 1.0 / r : 0.0;
}

void ceps::set_time(double value)
{
    if (!(std::fabs(value - m_time) > 1e-9) || !(value > 0.0) || !std::isfinite(1.0 / value))
        return;
    m_time = value;
    const double before = time();
    const detail::life_guard alive(m_life);
    if (m_fft && m_source)
        m_fft->set_resolution(1.0 / value);
    // The engine snaps (or refuses) the resolution: tell only of a new reading.
    if (alive && std::fabs(time() - before) > 1e-9)
        emit time_changed();
}

double ceps::frequency() const { return m_fft ? m_fft->frequency() : 0.0; }
fft::windows ceps::window() const { return m_fft ? m_fft->window() : fft::rectangular; }
std::uint64_t ceps::samples() const { return m_fft ? m_fft->samples() : 0; }

void ceps::set_frequency(double value)
{
    if (m_fft && m_source)
        m_fft->set_frequency(value);
}

void ceps::set_window(fft::windows value)
{
    if (m_fft && m_source)
        m_fft->set_window(value);
}

void ceps::set_rate(double)
{
}

void ceps::stop_acq()
{
    m_acquiring = false;
}

void ceps::cleanup()
{
    const ryx::device_lock lock(m_source);
    m_log_spectrum.clear();
    m_log_spectrum.shrink_to_fit();
    std::vector<double>::clear();
    std::vector<double>::shrink_to_fit();
}

void ceps::init()
{
    {
        const ryx::device_lock lock(m_source);
        cleanup();
        m_size = m_fft && m_source ? m_fft->size() : 0;
        std::vector<double>::resize(m_size, 0.0);
        // The inverse transform reads size / 2 + 1 values and overwrites them.
        m_log_spectrum.assign(m_size, {});
    }
    emit initialized();
}

void ceps::calculate()
{
    if (!m_fft || m_size == 0 || m_size > static_cast<std::uint64_t>(INT_MAX))
        return;
    const fft& engine = *m_fft;
    const std::uint64_t lines = std::min<std::uint64_t>({m_size, engine.size(), engine.size_all()});
    const double norm = static_cast<double>(m_size);
    // A zero line has no logarithm: the floor keeps the cepstrum finite.
    const double floor = std::numeric_limits<double>::min();
    for (std::uint64_t k = 0; k < lines; ++k)
        m_log_spectrum[k] = {std::log(std::max(std::abs(engine[k]) / norm, floor)), 0.0};
    std::fill(m_log_spectrum.begin() + static_cast<std::ptrdiff_t>(lines), m_log_spectrum.end(),
              std::complex<double>());
    double* const out = std::vector<double>::data();
    detail::fft_c2r(static_cast<int>(m_size), m_log_spectrum.data(), out);
    for (std::uint64_t q = 0; q < m_size; ++q)
        out[q] /= norm;
}

void ceps::data_changed()
{
    if (!m_acquiring || !m_fft || !m_source)
        return;
    {
        const ryx::device_lock lock(m_source);
        before_updating();
        calculate();
        after_updating();
    }
    emit changed();
}

} // namespace ryx::math
