#include "ryx/math/orsp.h"

#include <QJsonObject>
#include <algorithm>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/detail/amplitude.h"
#include "ryx/math/instant/freq.h"

namespace ryx::math {

orsp::orsp(ryx::analog_data* source) : QObject(source), m_source(source)
{
    const ryx::device_lock lock(m_source);
    m_fft = new fft(source);
    m_freq_meter = new instant::freq(source, QJsonObject());
    m_order_max = m_fft->size();
    m_search_freq = m_fft->frequency() * 0.25;

    connect(m_fft, &fft::frequency_changed, this, &orsp::frequency_changed);
    connect(m_fft, &fft::resolution_changed, this, &orsp::resolution_changed);
    connect(m_fft, &fft::window_changed, this, &orsp::window_changed);
    connect(m_fft, &fft::lines_changed, this, &orsp::lines_changed);
    connect(m_fft, &fft::overlap_changed, this, &orsp::overlap_changed);
    connect(m_fft, &fft::progress, this, &orsp::progress);
    connect(m_fft, &fft::initialized, this, &orsp::init);
    connect(m_fft, &fft::changed, this, &orsp::data_changed);
    if (m_source)
        connect(m_source, &ryx::data_model_node::deleting, this, &orsp::source_deleting, Qt::DirectConnection);

    set_search_type(manual);
    init();
}

orsp::~orsp()
{
    emit deleting();
    cleanup();
    // The meter and the engine serve this object alone: they go with it rather
    // than framing and transforming the channel for nobody.
    delete m_freq_meter;
    m_freq_meter = nullptr;
    if (m_fft) {
        QObject::disconnect(m_fft, nullptr, this, nullptr);
        delete m_fft.data();
    }
}

void orsp::source_deleting()
{
    m_source = nullptr;
}

std::uint64_t orsp::engine_size() const
{
    return m_fft ? m_fft->size() : 0;
}

double orsp::frequency() const { return m_fft ? m_fft->frequency() : 0.0; }
double orsp::resolution() const { return m_fft ? m_fft->resolution() : 0.0; }
fft::windows orsp::window() const { return m_fft ? m_fft->window() : fft::rectangular; }
int orsp::lines() const { return m_fft ? m_fft->lines() : 0; }
int orsp::overlap() const { return m_fft ? m_fft->overlap() : 0; }
double orsp::acq_time() const { return m_fft ? m_fft->acq_time() : 0.0; }
std::uint64_t orsp::samples() const { return m_fft ? m_fft->samples() : 0; }

void orsp::set_frequency(double value) { if (m_fft) m_fft->set_frequency(value); }
void orsp::set_resolution(double value) { if (m_fft) m_fft->set_resolution(value); }
void orsp::set_window(fft::windows value) { if (m_fft) m_fft->set_window(value); }
void orsp::set_lines(int value) { if (m_fft) m_fft->set_lines(value); }
void orsp::set_overlap(int value) { if (m_fft) m_fft->set_overlap(value); }

void orsp::cleanup()
{
    const ryx::device_lock lock(m_source);
    m_ring.release();
    m_target = nullptr;
    clear();
}

void orsp::init()
{
    const ryx::device_lock lock(m_source);
    const detail::life_guard alive(m_life);
    cleanup();
    const std::uint64_t size = engine_size();
    if (m_fft && m_fft->frequency() < m_search_freq) {
        m_search_freq = m_fft->frequency();
        emit search_freq_changed();
        if (!alive)
            return;
    }
    const double r = resolution();
    const double idx = r > 0.0 ? std::trunc(m_search_freq / r) : 0.0;
    m_freq_idx = idx >= 1.0 ? static_cast<std::uint64_t>(std::min(idx, 1e18)) : 0;
    if (size == 0)
        m_freq_idx = 0;
    else if (m_freq_idx >= size)
        m_freq_idx = size - 1;

    // order_max x freq_idx, without overflowing, cut at the engine's lines.
    m_len = m_freq_idx != 0 && m_order_max > size / m_freq_idx ? size : m_order_max * m_freq_idx;
    m_len = std::min(m_len, size);
    if (m_len == 0)
        m_len = 1;

    m_ring.reset(m_average, m_len);
    m_frame.assign(m_len, std::complex<double>());
    m_target = m_ring.target(m_frame);
    assign(m_len, std::pair<double, double>(0.0, 0.0));
    m_spectrum.assign(size, 0.0);
    m_search_first = 0;
    m_search_last = std::min<std::uint64_t>(m_len, m_spectrum.size());
    m_acquired_percent = 0.0;

    emit initialized();
    if (!alive)
        return;
    emit acq_time_changed();
}

void orsp::calculate()
{
    if (!m_fft)
        return;
    const std::complex<double>* x = m_fft->data();
    const std::uint64_t size = std::min<std::uint64_t>(engine_size(), m_fft->size_all());
    const std::uint64_t n_frame = m_fft->fft_length();
    const std::uint64_t n_transform = m_fft->transform_length();
    const std::uint64_t lines = std::min<std::uint64_t>(size, m_spectrum.size());
    for (std::uint64_t i = 0; i < lines; ++i)
        m_spectrum[i] = detail::line_amplitude(x[i], i, n_frame, n_transform);

    const detail::life_guard alive(m_life);
    if (m_search_type == max)
        find_max_freq();
    else if (m_search_type == first)
        find_first_freq();
    if (!alive || m_freq_idx == 0)
        return;

    // A new fundamental has re-initialised the ring: write to its current slot.
    m_target = m_ring.target(m_frame);
    const double reference = m_source ? m_source->reference() : 1.0;
    const std::uint64_t count = std::min({m_len, lines, static_cast<std::uint64_t>(m_frame.size())});
    for (std::uint64_t n = 0; n < count; ++n)
        m_target[n] = {detail::in_unit(m_unit, reference, m_spectrum[n]), std::arg(x[n]) * 180.0 / M_PI};
}

void orsp::data_changed()
{
    if (!m_acquiring || !m_fft)
        return;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_source);
        before_updating();
        calculate();
        if (!alive)
            return;
        // k is taken after the search, which may have restarted the ring.
        const int k = m_ring.k();
        m_ring.mean_of_terms(m_frame, k);
        const std::size_t count = std::min(m_frame.size(), size());
        for (std::size_t n = 0; n < count; ++n)
            (*this)[n] = {m_frame[n].real(), m_frame[n].imag()};
        m_acquired_percent = m_ring.advance();
        emit acquired(m_acquired_percent);
        if (!alive)
            return;
        after_updating();
    }
    emit changed();
}

void orsp::adopt(std::uint64_t i)
{
    if (i == 0 || i == m_freq_idx || i >= engine_size())
        return;
    m_freq_idx = i;
    m_search_freq = resolution() * static_cast<double>(i);
    const detail::life_guard alive(m_life);
    emit search_freq_changed();
    if (alive)
        init();
}

void orsp::find_max_freq()
{
    if (m_spectrum.empty())
        return;
    const std::uint64_t last = std::min<std::uint64_t>(m_search_last, m_spectrum.size());
    if (m_search_first >= last)
        return;
    std::uint64_t best = m_search_first;
    for (std::uint64_t i = m_search_first + 1; i < last; ++i)
        if (m_spectrum[i] > m_spectrum[best])
            best = i;
    adopt(best);
}

void orsp::find_first_freq()
{
    if (m_spectrum.empty())
        return;
    const std::uint64_t last = std::min<std::uint64_t>(m_search_last, m_spectrum.size());
    std::uint64_t i = m_search_first;
    while (i < last && !(m_spectrum[i] >= m_threshold))
        ++i;
    if (i >= last)
        return; // no line reaches the threshold: the fundamental stays as it is
    while (i + 1 < m_spectrum.size() && m_spectrum[i + 1] > m_spectrum[i])
        ++i;
    adopt(i);
}

void orsp::set_search_type(search_types value)
{
    if (value == m_search_type || (value != manual && value != max && value != first && value != undef))
        return;
    m_search_type = value;
    const detail::life_guard alive(m_life);
    const std::uint64_t size = engine_size();
    if (value == manual) {
        const double r = resolution();
        const double whole = std::trunc(m_search_freq);
        const double q = r > 0.0 ? std::trunc(whole / r) : 0.0;
        if (q >= 1.0 && q < static_cast<double>(size)) {
            const auto i = static_cast<std::uint64_t>(q);
            if (i != m_freq_idx) {
                m_freq_idx = i;
                m_search_freq = r * q;
                emit search_freq_changed();
                if (!alive)
                    return;
                init();
            }
        }
    } else if (size >= 1 && size != m_order_max) {
        // Automatic searches publish the whole spectrum.
        m_order_max = size;
        emit order_max_changed();
        if (!alive)
            return;
        init();
    }
    if (alive)
        emit search_type_changed();
}

void orsp::set_order_max(unsigned long value)
{
    if (value == m_order_max || value < 1 || value > engine_size())
        return;
    m_order_max = value;
    const detail::life_guard alive(m_life);
    emit order_max_changed();
    if (alive)
        init();
}

void orsp::set_search_freq(double value)
{
    if (!(std::fabs(m_search_freq - value) > 1e-9) || !(value >= 0.0) || !(value <= frequency()))
        return;
    m_search_freq = value;
    const double r = resolution();
    m_freq_idx = r > 0.0 ? static_cast<std::uint64_t>(std::trunc(value / r)) : 0;
    const detail::life_guard alive(m_life);
    emit search_freq_changed();
    if (alive)
        init();
}

void orsp::set_freq_idx(int value)
{
    if (value <= 0)
        return;
    adopt(static_cast<std::uint64_t>(value));
}

void orsp::handle_freqmeter_changed()
{
    if (m_freq_meter)
        set_search_freq(m_freq_meter->get_value());
}

void orsp::set_threshold(double value)
{
    if (!(std::fabs(m_threshold - value) > 1e-9))
        return;
    m_threshold = value;
    emit threshold_changed();
}

void orsp::set_average(int value)
{
    if (value <= 0 || value == m_average)
        return;
    m_average = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit average_changed();
}

void orsp::set_unit(ryx::units value)
{
    if (value == m_unit || static_cast<int>(value) < 0 || static_cast<int>(value) > 2)
        return;
    m_unit = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit unit_changed();
}

void orsp::set_rate(double value)
{
    if (m_source)
        m_source->set_rate(value);
}

void orsp::stop_acq()
{
    m_acquiring = false;
}

} // namespace ryx::math
