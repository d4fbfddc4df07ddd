#include "ryx/math/spec.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/detail/amplitude.h"
#include "ryx/math/detail/fft_plans.h"
#include "ryx/math/mathFunctions.h"
#include "ryx/math/psd.h"

namespace ryx::math {

namespace {

// The index of the Nyquist line of a transform of `length` points; none (past
// every line) for an odd length.
std::uint64_t nyquist_line(std::uint64_t length)
{
    return length % 2 == 0 ? length / 2 : ~std::uint64_t(0);
}

bool known_type(int value)
{
    return value == spec::ausp || value == spec::spen || value == spec::phase || value == spec::psd
           || value == spec::undef;
}

} // namespace

spec::spec(types type, ryx::analog_data* source)
    : QObject(source), m_source(source), m_type(known_type(type) ? type : undef)
{
    m_fft = new ryx::math::fft(source);
    connect(m_fft, &fft::initialized, this, &spec::init, Qt::DirectConnection);
    connect(m_fft, &fft::frequency_changed, this, &spec::frequency_changed);
    connect(m_fft, &fft::resolution_changed, this, &spec::resolution_changed);
    connect(m_fft, &fft::window_changed, this, &spec::window_changed);
    connect(m_fft, &fft::lines_changed, this, &spec::lines_changed);
    connect(m_fft, &fft::overlap_changed, this, &spec::overlap_changed);
    connect(m_fft, &fft::progress, this, &spec::progress);
    if (source) {
        connect(source, &ryx::analog_data::rate_changed, this, &spec::init, Qt::DirectConnection);
        connect(source, &ryx::data_model_node::deleting, this, &spec::source_deleting, Qt::DirectConnection);
    }
    update_psd();
    init();
}

spec::~spec()
{
    if (m_fft)
        QObject::disconnect(m_fft, nullptr, this, nullptr);
    emit deleting();
    blockSignals(true);
    cleanup();
    release_psd();
    delete m_fft.data();
}

void spec::source_deleting()
{
    // The tree is going: no more frames, no more locks on its device.
    m_acquiring = false;
    if (m_source)
        QObject::disconnect(m_source, nullptr, this, nullptr);
    m_source = nullptr;
}

// Settings of the engine -------------------------------------------------------

double spec::frequency() const { return m_fft ? m_fft->frequency() : 0.0; }
double spec::resolution() const { return m_fft ? m_fft->resolution() : 0.0; }
fft::windows spec::window() const { return m_fft ? m_fft->window() : fft::rectangular; }
int spec::lines() const { return m_fft ? m_fft->lines() : 0; }
int spec::overlap() const { return m_fft ? m_fft->overlap() : 0; }
double spec::acq_time_buf() const { return m_fft && m_source ? m_fft->acq_time() : 0.0; }
double spec::acq_time() const { return acq_time_buf() * m_average; }
ryx::analog_data* spec::ad() const { return m_source && m_fft ? m_fft->ad() : nullptr; }
std::uint64_t spec::samples() const { return m_fft ? m_fft->samples() : 0; }

void spec::set_frequency(double value)
{
    if (m_fft && m_source)
        m_fft->set_frequency(value);
}

void spec::set_resolution(double value)
{
    if (m_fft && m_source)
        m_fft->set_resolution(value);
}

void spec::set_window(fft::windows value)
{
    if (m_fft && m_source)
        m_fft->set_window(value);
}

void spec::set_lines(int value)
{
    if (m_fft && m_source)
        m_fft->set_lines(value);
}

void spec::set_overlap(int value)
{
    if (m_fft && m_source)
        m_fft->set_overlap(value);
}

void spec::set_average(int value)
{
    if (value < 1 || value == m_average)
        return;
    m_average = value;
    const detail::life_guard alive(m_life);
    // The psd kind averages twice: its density follows the same setting, so
    // that the result does not depend on the order of set_type and set_average.
    if (m_psd)
        m_psd->set_average(value);
    if (!alive)
        return;
    init();
    if (alive)
        emit average_changed();
}

void spec::set_unit(ryx::units value)
{
    if (value == m_unit)
        return;
    const int code = static_cast<int>(value);
    if (code < 0 || code > 2)
        return;
    m_unit = value;
    emit unit_changed();
}

void spec::set_rate(double value)
{
    if (!m_source)
        return;
    const detail::life_guard alive(m_life);
    m_source->set_rate(value);
    if (alive && m_fft)
        m_fft->init();
}

void spec::stop_acq()
{
    m_acquiring = false;
}

// Type and the frame connection ------------------------------------------------

void spec::set_type(types value)
{
    if (!known_type(value) || value == m_type)
        return;
    m_type = value;
    update_psd();
    init();
}

void spec::release_psd()
{
    ryx::math::psd* const engine = m_psd.data();
    m_psd.clear();
    if (!engine)
        return;
    QObject::disconnect(engine, nullptr, this, nullptr);
    // The psd object survives being deleted from a slot on its own changed().
    delete engine;
}

void spec::update_psd()
{
    QObject::disconnect(m_frames);
    m_frames = QMetaObject::Connection();
    release_psd();
    if (!m_fft || !m_source)
        return;
    if (m_type == psd) {
        auto* engine = new ryx::math::psd(m_fft.data());
        m_psd = engine;
        engine->set_average(m_average);
        m_frames = connect(engine, &ryx::math::psd::changed, this, &spec::data_changed);
    } else {
        m_frames = connect(m_fft, &fft::changed, this, &spec::data_changed, Qt::DirectConnection);
    }
}

// Buffers ----------------------------------------------------------------------

void spec::cleanup()
{
    const ryx::device_lock lock(m_source);
    m_ring.release();
    m_target = nullptr;
    for (auto* buffer : {&m_analytic, &m_envelope_spectrum, &m_envelope_input}) {
        buffer->clear();
        buffer->shrink_to_fit();
    }
    m_envelope.clear();
    m_envelope.shrink_to_fit();
    std::vector<double>::clear();
    std::vector<double>::shrink_to_fit();
}

void spec::init()
{
    {
        const ryx::device_lock lock(m_source);
        cleanup();
        m_size = m_fft && m_source ? m_fft->size() : 0;
        m_ring.reset(m_average, static_cast<std::size_t>(m_size));
        std::vector<double>::resize(m_size, 0.0);
        m_target = m_ring.target(*this);
        if (m_type == spen) {
            const std::size_t twice = static_cast<std::size_t>(2 * m_size);
            m_envelope_input.assign(twice, {});
            m_envelope.assign(twice, 0.0);
            m_analytic.assign(twice, {});
            m_envelope_spectrum.assign(twice, {});
        }
    }
    const detail::life_guard alive(m_life);
    emit initialized();
    if (alive)
        emit acq_time_changed();
}

// Frames -----------------------------------------------------------------------

void spec::data_changed()
{
    if (!m_acquiring || !m_fft || !m_source)
        return;
    const detail::life_guard alive(m_life);
    {
        const ryx::device_lock lock(m_source);
        before_updating();
        const int k = m_ring.k();
        m_target = m_ring.target(*this);
        calculate();
        m_ring.mean_of_terms(*this, k);
        m_acquired_percent = m_ring.advance();
        emit acquired(m_acquired_percent);
        if (!alive)
            return;
        after_updating();
    }
    emit changed();
}

void spec::calculate()
{
    if (!m_fft || !m_target)
        return;
    const fft& engine = *m_fft;
    const std::uint64_t count = std::min<std::uint64_t>(m_size, engine.size_all());
    switch (m_type) {
    case ausp:
        calculate_ampl(engine.data(), m_target, count);
        break;
    case phase:
        calculate_phase(engine.data(), m_target, count);
        break;
    case psd:
        if (m_psd) {
            const std::size_t n = std::min<std::size_t>(m_size, m_psd->std::vector<double>::size());
            std::copy_n(m_psd->std::vector<double>::data(), n, m_target);
        }
        break;
    case spen:
        calculate_envelope();
        break;
    case undef:
        break;
    }
}

void spec::amplitudes(const std::complex<double>* spectrum, double* out, std::uint64_t count,
                      std::uint64_t length, std::uint64_t transform) const
{
    if (length / 2 == 0)
        return;
    const std::uint64_t n_max = std::min<std::uint64_t>(count, std::vector<double>::size());
    detail::line_amplitudes(spectrum, out, static_cast<std::size_t>(n_max), length, transform);
    if (m_unit != ryx::units::linear) {
        const double ref = m_source ? m_source->reference() : 1.0;
        for (std::uint64_t n = 0; n < n_max; ++n)
            out[n] = detail::in_unit(m_unit, ref, out[n]);
    }
}

void spec::calculate_ampl(const std::complex<double>* spectrum, double* out, std::uint64_t count) const
{
    if (!m_fft)
        return;
    // The scale is the frame's (N samples: zero padding adds points but no
    // signal); the Nyquist line is the transform's.
    const std::uint64_t transform = m_fft->transform_length();
    amplitudes(spectrum, out, count, m_fft->fft_length(), transform);
}

void spec::calculate_phase(const std::complex<double>* spectrum, double* out, std::uint64_t count) const
{
    const std::uint64_t n_max = std::min<std::uint64_t>(count, std::vector<double>::size());
    for (std::uint64_t n = 0; n < n_max; ++n)
        out[n] = std::atan2(spectrum[n].imag(), spectrum[n].real());
}

void spec::calculate_envelope()
{
    const std::uint64_t twice = 2 * m_size;
    if (!m_fft || m_size == 0 || m_envelope_input.size() < twice || twice > static_cast<std::uint64_t>(INT_MAX))
        return;
    const fft& engine = *m_fft;
    const std::uint64_t n = engine.fft_length();
    if (n == 0)
        return;

    // The analytic signal of the band: the published lines at twice their
    // one-sided amplitude (line 0 and the Nyquist line once), no negative
    // frequencies, resampled to 2 x size points over the frame.
    const std::uint64_t lines = std::min<std::uint64_t>(m_size, engine.size_all());
    const double scale = 2.0 / static_cast<double>(n);
    std::complex<double>* const input = m_envelope_input.data();
    for (std::uint64_t k = 0; k < lines; ++k)
        input[k] = engine[k] * scale;
    std::fill(input + lines, input + twice, std::complex<double>());
    input[0] *= 0.5;
    const std::uint64_t nyquist = nyquist_line(engine.transform_length());
    if (nyquist < lines)
        input[nyquist] *= 0.5;

    detail::fft_c2c(static_cast<int>(twice), +1, input, m_analytic.data());
    for (std::uint64_t i = 0; i < twice; ++i)
        m_envelope[i] = std::abs(m_analytic[i]);
    detail::fft_r2c(static_cast<int>(twice), m_envelope.data(), m_envelope_spectrum.data());
    // The envelope's own spectrum, on the amplitude scale of its 2 x size points.
    amplitudes(m_envelope_spectrum.data(), m_target, m_size, twice, twice);
}

double spec::get_power_density(double f0, double f1)
{
    const std::size_t m = std::vector<double>::size();
    if (m < 2 || !m_fft)
        return 0.0;
    const double r = m_fft->resolution();
    if (!(r > 0.0) || std::isnan(f0) || std::isnan(f1))
        return 0.0;
    const double last = static_cast<double>(m - 1);
    // Line indices of the band, kept within 1 .. m - 1: line 0 would divide by 0.
    const auto line = [&](double f) { return std::clamp(std::round(f / r), 0.0, last); };
    double i0 = line(f0);
    if (i0 == 0.0)
        i0 = 1.0;
    double i1 = std::min(line(f1), last);
    const auto from = static_cast<std::size_t>(std::max(1.0, std::min(i0, i1)));
    const auto to = static_cast<std::size_t>(std::max(i0, i1));
    const std::vector<double>& v = *this;
    double sum = 0.0;
    for (std::size_t n = from; n <= to; ++n)
        sum += v[n] * v[n] / (static_cast<double>(n) * r);
    return sum;
}

} // namespace ryx::math
