#include "ryx/math/fft.h"

#include <QDebug>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "ryx/core/device_lock.h"
#include "ryx/math/detail/fft_plans.h"
#include "ryx/math/detail/window_table.h"
#include "ryx/math/filter_iir.h"

namespace ryx::math {

namespace {

// Largest decimation: a band narrower than this fraction of the rate is refused.
constexpr double max_decimation = 1 << 30;

// trunc(x) as an int within [1, limit]; x is positive or NaN.
std::int64_t whole_quotient(double x, std::int64_t limit)
{
    if (!(x >= 1.0))
        return 1;
    if (x >= static_cast<double>(limit))
        return limit;
    return static_cast<std::int64_t>(x);
}

} // namespace

fft::fft(ryx::analog_data* source) : QObject(source)
{
    m_filter = new filter_iir(source, true);
    m_root_device = m_filter->root_device();
    {
        const ryx::device_lock lock(m_root_device);
        detail::fft_thread_safe_planner();
        set_frequency(200.0);
        init();
    }
    connect(m_filter, &ryx::analog_data::data_changed, this, &fft::data_changed, Qt::DirectConnection);
    connect(m_filter, &ryx::analog_data::rate_changed, this, &fft::init, Qt::DirectConnection);
    connect(m_filter, &ryx::data_model_node::deleting, this, &fft::reset_ad, Qt::DirectConnection);
}

fft::~fft()
{
    emit deleting();
    blockSignals(true);
    {
        const ryx::device_lock lock(m_filter ? m_root_device : nullptr);
        cleanup();
    }
    if (m_filter) {
        QObject::disconnect(m_filter, nullptr, nullptr, nullptr);
        delete m_filter;
        m_filter = nullptr;
    }
}

ryx::analog_data* fft::ad() const
{
    return m_filter ? qobject_cast<ryx::analog_data*>(m_filter->parent()) : nullptr;
}

double fft::source_rate() const
{
    if (!m_filter)
        return 0.0;
    const double rate = m_filter->get_rate();
    return std::isfinite(rate) && rate > 0.0 ? rate : 0.0;
}

double fft::acq_time() const
{
    const double rate = source_rate();
    if (rate <= 0.0)
        return 0.0;
    return (1.0 - m_overlap / 100.0) * static_cast<double>(m_frame_length) / rate;
}

void fft::set_frequency(double value)
{
    const ryx::device_lock lock(m_root_device);
    const double rate = source_rate();
    if (std::isnan(value) || rate <= 0.0)
        return;
    if (value > rate / 2.0)
        value = rate / 2.0;
    if (!(std::fabs(m_frequency - value) > 1e-9 && value > 0.0 && value <= rate / 2.0))
        return;
    const double ratio = rate * 0.5 / value;
    if (ratio >= max_decimation)
        return; // a band this narrow would need more frames than memory holds
    m_frequency = value;
    m_decimation = static_cast<int>(whole_quotient(ratio, INT_MAX));
    m_fs = rate / m_decimation;
    m_nyquist = 0.5 * m_fs;
    // The old resolution snapped so that fs is a whole multiple of it.
    m_resolution = m_fs / static_cast<double>(whole_quotient(m_fs / m_resolution, INT_MAX));
    m_lines = static_cast<int>(std::lround(m_frequency / m_resolution));
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit frequency_changed();
}

void fft::set_resolution(double value)
{
    const ryx::device_lock lock(m_root_device);
    if (!(std::fabs(m_resolution - value) > 1e-9 && value > 0.0 && value < m_nyquist))
        return;
    const double snapped = m_fs / static_cast<double>(whole_quotient(m_fs / value, INT_MAX));
    if (source_rate() / snapped > static_cast<double>(max_frame_length))
        return; // a frame longer than the engine keeps
    m_resolution = snapped;
    m_lines = static_cast<int>(std::lround(m_frequency / m_resolution));
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit resolution_changed();
}

void fft::set_lines(int value)
{
    if (value <= 0 || value == m_lines)
        return;
    const detail::life_guard alive(m_life);
    set_resolution(m_frequency / value);
    if (alive)
        emit lines_changed();
}

void fft::set_window(windows value)
{
    if (value == m_window || value < rectangular || value > half_rect)
        return;
    m_window = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit window_changed();
}

void fft::set_overlap(int value)
{
    if (value < 0 || value > 99 || value == m_overlap)
        return;
    m_overlap = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit overlap_changed();
}

void fft::set_zero_padding_coef(double value)
{
    if (!(std::fabs(value - m_zero_padding_coef) > 1e-9) || !(value >= 0.0)
        || !((value + 1.0) * static_cast<double>(std::max<std::uint64_t>(m_fft_length, 1))
             <= static_cast<double>(max_transform_length)))
        return; // a transform longer than the engine keeps
    m_zero_padding_coef = value;
    init();
}

void fft::cleanup()
{
    const ryx::device_lock lock(m_root_device);
    m_raw_frame.clear();
    m_raw_frame.shrink_to_fit();
    m_window_data.clear();
    m_window_data.shrink_to_fit();
    m_padded_frame.clear();
    m_padded_frame.shrink_to_fit();
    std::vector<std::complex<double>>::clear();
    std::vector<std::complex<double>>::shrink_to_fit();
}

void fft::init()
{
    const ryx::device_lock lock(m_root_device);
    init_locked();
    emit initialized();
}

void fft::init_locked()
{
    cleanup();
    m_frame_fill = 0;
    m_samples = 0;
    m_frames = 0;
    const double rate = source_rate();
    if (rate <= 0.0) {
        // No rate, no frames: the geometry stays empty until the source has one.
        m_frame_length = m_fft_length = m_bin_count = m_transform_length = 0;
        m_overlap_samples = 0;
        m_size = 0;
        return;
    }

    m_nyquist = m_fs * 0.5;
    if (m_resolution > m_nyquist && m_nyquist > 0.0)
        m_resolution = m_nyquist;
    m_fs = rate / m_decimation;
    // A rate raised since the band was set could make the frame longer than
    // the engine keeps: the resolution is coarsened to fit.
    const double finest = rate / static_cast<double>(max_frame_length);
    if (m_resolution < finest)
        m_resolution = m_fs / static_cast<double>(whole_quotient(m_fs / finest, INT_MAX));

    m_frame_length = static_cast<std::uint64_t>(whole_quotient(rate / m_resolution, max_frame_length));
    m_fft_length = static_cast<std::uint64_t>(std::ceil(m_fs / m_resolution));
    m_fft_length = std::clamp<std::uint64_t>(m_fft_length, 1, max_frame_length + 1);
    m_bin_count = m_fft_length / 2 + 1;
    // The analysers index the spectrum up to size: it never passes the bins.
    if (m_lines < 0)
        m_lines = 0;
    m_size = static_cast<std::uint64_t>(m_lines) < m_bin_count ? m_lines + 1 : static_cast<int>(m_bin_count);
    m_overlap_samples = static_cast<std::uint64_t>(
        static_cast<std::int32_t>(m_overlap * static_cast<std::int32_t>(m_frame_length)) / 100);

    // Keep only the samples the frame will use when every frame's picks fall
    // on picks of the frame before (frames and their advance whole multiples
    // of the decimation): a quarter of the copying at decimation 4. Otherwise
    // the frame keeps all L filtered samples and picks them when it is full.
    const auto dec = static_cast<std::uint64_t>(m_decimation);
    m_picking = dec > 1 && m_frame_length % dec == 0 && (m_frame_length - m_overlap_samples) % dec == 0
                && m_fft_length >= m_frame_length / dec;
    m_raw_frame.assign(m_picking ? m_frame_length / dec : m_frame_length, 0.0);
    m_window_data.resize(m_fft_length);
    detail::fill_window(static_cast<detail::window_kind>(m_window), m_window_data.data(), m_window_data.size());

    const double coef = m_zero_padding_coef + 1.0;
    auto padded = static_cast<std::uint64_t>(static_cast<double>(m_fft_length) * coef);
    padded = std::clamp<std::uint64_t>(padded, m_fft_length, std::max(m_fft_length, max_transform_length));
    m_transform_length = padded;
    m_padded_frame.assign(padded, 0.0);
    // The published length, but never shorter than the transform's half spectrum.
    auto published = static_cast<std::uint64_t>(coef * static_cast<double>(m_bin_count));
    published = std::min<std::uint64_t>(published, max_transform_length / 2 + 1);
    std::vector<std::complex<double>>::resize(std::max<std::uint64_t>(published, padded / 2 + 1));

    if (m_filter) {
        m_filter->reset();
        m_filter->set_kind(filter_iir::elliptic);
        m_filter->set_type(filter_iir::lowpass);
        m_filter->set_order(10);
        m_filter->set_frequency(m_size * m_resolution);
        m_filter->set_ripple(0.0);
        m_filter->set_slope(1.0);
    }
    m_samples = 0;
}

void fft::decimate(const double* first, double* out, std::size_t count, int, int step)
{
    if (step < 1)
        return;
    const std::size_t n = count / static_cast<std::size_t>(step);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = first[i * static_cast<std::size_t>(step)];
}

void fft::data_changed()
{
    if (!m_filter)
        return;
    const ryx::device_lock lock(m_root_device);
    const unsigned long k = static_cast<unsigned long>(m_filter->std::vector<double>::size());
    m_samples += k;
    adcopy(k);
}

void fft::adcopy(unsigned long n)
{
    if (!m_filter)
        return;
    const std::vector<double>& run = *m_filter;
    const double* const base = run.data();
    const std::size_t total = run.size();
    std::size_t left = std::min<std::size_t>(n, total);
    const double* from = base + (total - left);
    const detail::life_guard alive(m_life);
    // A listener may delete the engine or the filter, or store another run in
    // the filter; what remains of this run is then dropped.
    const auto same_run = [&] {
        return alive && m_filter && m_filter->std::vector<double>::data() == base
               && m_filter->std::vector<double>::size() == total;
    };
    while (left > 0) {
        if (m_frame_length == 0)
            return;
        std::size_t chunk = std::min<std::size_t>(left, m_frame_length);
        left -= chunk;
        while (chunk > 0) {
            if (m_frame_length == 0)
                return;
            if (m_frame_fill >= m_frame_length) {
                calc();
                if (!same_run())
                    return;
                continue;
            }
            const std::size_t take = std::min<std::size_t>(chunk, m_frame_length - m_frame_fill);
            append(from, take);
            m_frame_fill += take;
            from += take;
            chunk -= take;
            if (m_frame_fill == m_frame_length && chunk > 0) {
                calc();
                if (!same_run())
                    return;
            }
        }
        calc();
        if (!same_run())
            return;
    }
}

void fft::calc()
{
    const std::uint64_t length = m_frame_length;
    if (length == 0) {
        emit progress(0.0);
        return;
    }
    if (m_frame_fill < length || m_size == 0) {
        if (m_frame_fill >= length)
            m_frame_fill = m_overlap_samples; // nothing to publish: the frame is dropped
        emit progress(static_cast<double>(m_frame_fill) / static_cast<double>(length));
        return;
    }
    compute_frame();
}

void fft::append(const double* from, std::size_t take)
{
    if (!m_picking) {
        std::memcpy(m_raw_frame.data() + m_frame_fill, from, take * sizeof(double));
        return;
    }
    // Samples at frame positions fill .. fill + take - 1; the picks are the
    // positions that are whole multiples of the decimation.
    const auto dec = static_cast<std::uint64_t>(m_decimation);
    const std::uint64_t first = (m_frame_fill + dec - 1) / dec;
    const std::uint64_t last = std::min<std::uint64_t>((m_frame_fill + take + dec - 1) / dec, m_raw_frame.size());
    double* const picks = m_raw_frame.data();
    for (std::uint64_t i = first; i < last; ++i)
        picks[i] = from[i * dec - m_frame_fill]; // the sample at frame position i x dec
}

bool fft::compute_frame()
{
    const std::uint64_t length = m_frame_length;
    const std::uint64_t n = m_fft_length;
    double* const padded = m_padded_frame.data();
    std::uint64_t picked = 0;
    if (length >= static_cast<std::uint64_t>(m_decimation))
        picked = std::min<std::uint64_t>(length / static_cast<std::uint64_t>(m_decimation), n);
    // Decimation and window in one pass (the same products as picking first
    // and windowing after): the frame is read once.
    const double* __restrict const raw = m_raw_frame.data();
    const double* __restrict const w = m_window_data.data();
    double* __restrict const out = padded;
    if (m_decimation == 1 || m_picking) {
        for (std::uint64_t i = 0; i < picked; ++i)
            out[i] = raw[i] * w[i];
    } else {
        const auto step = static_cast<std::uint64_t>(m_decimation);
        for (std::uint64_t i = 0; i < picked; ++i)
            out[i] = raw[i * step] * w[i];
    }
    // When rounding makes N one more than the picked samples, the last is 0
    // rather than a value of the previous frame.
    for (std::uint64_t i = picked; i < n; ++i)
        out[i] = 0.0 * w[i];

    detail::fft_r2c(static_cast<int>(m_transform_length), padded, std::vector<std::complex<double>>::data());

    if (m_picking) {
        // The picks at and after the next frame's start are its first picks.
        const std::uint64_t from = (length - m_overlap_samples) / static_cast<std::uint64_t>(m_decimation);
        if (from < picked)
            std::memmove(m_raw_frame.data(), m_raw_frame.data() + from, (picked - from) * sizeof(double));
    } else if (m_overlap_samples > 0) {
        std::memmove(m_raw_frame.data(), m_raw_frame.data() + (length - m_overlap_samples),
                     m_overlap_samples * sizeof(double));
    }
    m_frame_fill = m_overlap_samples;
    ++m_frames;

    const detail::life_guard alive(m_life);
    emit changed();
    if (!alive)
        return false;
    emit progress(1.0);
    return static_cast<bool>(alive);
}

void fft::set_rate(double value)
{
    if (!m_filter)
        return;
    const detail::life_guard alive(m_life);
    static_cast<ryx::analog_data*>(m_filter)->set_rate(value);
    if (alive)
        init();
}

void fft::reset_ad()
{
    qDebug() << "reseting filter ad";
    m_filter = nullptr;
    m_root_device = nullptr; // the tree is going: nothing here locks it any more
}

} // namespace ryx::math
