#include "ryx/math/psd.h"

#include <algorithm>
#include <complex>
#include <limits>

#include "ryx/core/device_lock.h"

namespace ryx::math {

psd::psd(ryx::analog_data* source) : QObject(source)
{
    attach(source);
    if (!source)
        return;
    {
        const ryx::device_lock lock(m_root_device);
        m_fft = new ryx::math::fft(source);
        m_owns_engines = true;
        init();
    }
    connect_engine(true);
}

psd::psd(ryx::math::fft* engine) : QObject(engine ? engine->ad() : nullptr)
{
    m_owns_engines = false;
    m_window_power = 0.0;
    m_fft = engine;
    if (!engine)
        return;
    attach(engine->ad());
    {
        const ryx::device_lock lock(m_root_device);
        init();
    }
    connect_engine(false);
}

psd::~psd()
{
    emit deleting();
    if (m_fft)
        QObject::disconnect(m_fft, nullptr, this, nullptr);
    cleanup();
    if (m_owns_engines && m_fft) {
        ryx::math::fft* const engine = m_fft;
        m_fft = nullptr;
        delete engine;
    }
}

void psd::attach(ryx::analog_data* source)
{
    m_source = source;
    m_root_device = source ? source->root_device() : nullptr;
    if (source)
        connect(source, &ryx::data_model_node::deleting, this, &psd::source_deleting, Qt::DirectConnection);
}

void psd::connect_engine(bool forward_progress)
{
    using ryx::math::fft;
    connect(m_fft, &fft::changed, this, &psd::data_changed);
    connect(m_fft, &fft::initialized, this, &psd::init);
    if (forward_progress)
        connect(m_fft, &fft::progress, this, &psd::progress);
    connect(m_fft, &fft::deleting, this, &psd::engine_deleting, Qt::DirectConnection);
    connect(m_fft, &fft::frequency_changed, this, &psd::frequency_changed);
    connect(m_fft, &fft::resolution_changed, this, &psd::resolution_changed);
    connect(m_fft, &fft::window_changed, this, &psd::window_changed);
    connect(m_fft, &fft::lines_changed, this, &psd::lines_changed);
}

void psd::engine_deleting()
{
    // The engine's source went, or its owner deleted it: nothing more comes.
    m_fft = nullptr;
}

void psd::source_deleting()
{
    // The tree is going: its device must not be locked any more.
    m_source = nullptr;
    m_root_device = nullptr;
}

double psd::frequency() const { return m_fft ? m_fft->frequency() : 0.0; }
double psd::resolution() const { return m_fft ? m_fft->resolution() : 0.0; }
ryx::math::fft::windows psd::window() const { return m_fft ? m_fft->window() : ryx::math::fft::rectangular; }
int psd::lines() const { return m_fft ? m_fft->lines() : 0; }
double psd::acq_time() const { return m_fft ? m_fft->acq_time() * m_average : 0.0; }
std::uint64_t psd::samples() const { return m_fft ? m_fft->samples() : 0; }

double psd::density_scale(const ryx::math::fft& engine, double window_power)
{
    const double d = window_power * engine.fs() * static_cast<double>(engine.fft_length());
    return d > 0.0 ? 2.0 / d : 0.0;
}

std::uint64_t psd::nyquist_line(const ryx::math::fft& engine)
{
    const std::uint64_t n = engine.transform_length();
    return n % 2 == 0 ? n / 2 : std::numeric_limits<std::uint64_t>::max();
}

double psd::mean_square_window(const ryx::math::fft& engine)
{
    const double* const w = engine.window_data();
    const std::uint64_t n = engine.fft_length();
    if (!w || n == 0)
        return 1.0;
    double sum = 0.0;
    for (std::uint64_t i = 0; i < n; ++i)
        sum += w[i] * w[i];
    return sum / static_cast<double>(n);
}

void psd::set_frequency(double value)
{
    if (!m_fft)
        return;
    const detail::life_guard alive(m_life);
    m_fft->set_frequency(value);
    if (alive)
        init();
}

void psd::set_resolution(double value)
{
    if (!m_fft)
        return;
    const detail::life_guard alive(m_life);
    m_fft->set_resolution(value);
    if (alive)
        init();
}

void psd::set_lines(int value)
{
    if (!m_fft)
        return;
    const detail::life_guard alive(m_life);
    m_fft->set_lines(value);
    if (alive)
        init();
}

void psd::set_window(ryx::math::fft::windows value)
{
    // The engine's initialized() rebuilds this object.
    if (m_fft)
        m_fft->set_window(value);
}

void psd::set_average(int value)
{
    if (value < 1 || value == m_average)
        return;
    m_average = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit average_changed();
}

void psd::stop_acq()
{
    m_acquiring = false;
}

void psd::cleanup()
{
    const ryx::device_lock lock(m_root_device);
    m_ring.release();
    m_target = nullptr;
    std::vector<double>::clear();
    std::vector<double>::shrink_to_fit();
}

void psd::init()
{
    if (!m_fft)
        return;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device);
        cleanup();
        m_size = m_fft->size();
        m_window_power = mean_square_window(*m_fft);
        m_ring.reset(m_average, m_size);
        std::vector<double>::assign(m_size, 0.0);
        m_target = m_ring.target(*this);
        emit initialized();
    }
    if (alive)
        emit acq_time_changed();
}

void psd::calculate()
{
    if (!m_fft || !m_target)
        return;
    const std::complex<double>* const x = m_fft->std::vector<std::complex<double>>::data();
    const std::uint64_t m = std::min<std::uint64_t>(
        {static_cast<std::uint64_t>(std::vector<double>::size()), m_fft->size(), m_fft->size_all()});
    if (m == 0)
        return;
    const double scale = density_scale(*m_fft, m_window_power);
    for (std::uint64_t n = 0; n < m; ++n)
        m_target[n] = std::norm(x[n]) * scale;
    // Line 0 and the Nyquist line have no mirror image to fold in.
    m_target[0] *= 0.5;
    const std::uint64_t nyquist = nyquist_line(*m_fft);
    if (nyquist < m)
        m_target[nyquist] *= 0.5;
    m_cnt = m_fft->samples();
}

void psd::data_changed()
{
    if (!m_acquiring || !m_fft || std::vector<double>::empty() || m_ring.empty())
        return;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_root_device);
        before_updating();
        const int k = m_ring.k();
        m_target = m_ring.target(*this);
        calculate();
        m_ring.mean_of_sum(*this, k);
        m_acquired_percent = m_ring.advance();
        emit acquired(m_acquired_percent);
        if (!alive)
            return;
        after_updating();
    }
    emit changed();
}

} // namespace ryx::math
