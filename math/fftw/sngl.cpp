#include "ryx/math/fftw/sngl.h"

#include <QMutexLocker>
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "ryx/math/detail/fft_plans.h"
#include "ryx/math/detail/window_table.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/resampler.h"

namespace ryx::math::fftw {

std::complex<double> sngl::_out[sngl::out_capacity];
QMutex sngl::using_out_mutex;

namespace {

// Largest decimation the analysers use: a band this narrow is a setting error.
constexpr double max_decimation = 1 << 30;

// round(x) half away from zero, as an unsigned count within [0, limit]; NaN gives 0.
std::uint64_t rounded(double x, double limit)
{
    if (!(x > 0.0))
        return 0;
    return static_cast<std::uint64_t>(std::round(std::min(x, limit)));
}

QJsonArray to_array(const std::vector<double>& v)
{
    QJsonArray out;
    for (double x : v)
        out.append(x);
    return out;
}

} // namespace

sngl::sngl(ryx::analog_data* source, const QJsonObject& settings) : QObject(source)
{
    m_resampler = new ryx::math::resampler(1, this);
    m_undecimated.resize(decimation_piece);
    m_decimated.resize(decimation_piece);
    detail::fft_thread_safe_planner();
    set_source(source, settings);
}

sngl::sngl() : QObject(nullptr)
{
    m_resampler = new ryx::math::resampler(1, this);
    m_undecimated.resize(decimation_piece);
    m_decimated.resize(decimation_piece);
}

sngl::~sngl()
{
    filter_iir* const f = m_filter;
    m_filter = nullptr;
    emit source_changed();
    if (f) {
        QObject::disconnect(f, nullptr, this, nullptr);
        delete f;
    }
    emit deleting();
}

void sngl::set_source(ryx::analog_data* source, const QJsonObject& settings)
{
    if (m_filter) {
        filter_iir* const f = m_filter;
        delete f; // its deleting() reaches reset_filter()
        m_filter = nullptr;
    }
    if (!source)
        return;
    m_filter = new filter_iir(source, true);
    m_filter->set_kind(filter_iir::elliptic);
    m_filter->set_type(filter_iir::lowpass);
    m_filter->set_order(12);
    m_filter->set_ripple(0.001);
    m_filter->set_slope(0.0);
    connect(m_filter, &ryx::analog_data::data_changed, this, &sngl::data_recieved, Qt::DirectConnection);
    connect(m_filter, &ryx::data_model_node::deleting, this, &sngl::reset_filter, Qt::DirectConnection);
    emit source_changed();
    init(settings);
}

ryx::analog_data* sngl::source() const
{
    return m_filter ? qobject_cast<ryx::analog_data*>(m_filter->parent_node()) : nullptr;
}

void sngl::reset_filter()
{
    m_filter = nullptr;
    emit source_changed();
}

double sngl::reference() const
{
    if (ryx::analog_data* s = source())
        return s->reference();
    return m_filter ? m_filter->reference() : 1.0;
}

// Settings -----------------------------------------------------------------------

void sngl::read_settings(const QJsonObject& settings)
{
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        const QString key = it.key();
        const QJsonValue v = it.value();
        if (key == QLatin1String("frequency") || key == QLatin1String("freq")) {
            if (v.isDouble())
                m_frequency = v.toDouble();
        } else if (key == QLatin1String("resolution") || key == QLatin1String("res")) {
            if (v.isDouble())
                m_resolution = v.toDouble();
        } else if (key == QLatin1String("samples")) {
            // N = 2 x lines, at most max_lines lines: N stays within _out.
            if (v.isDouble())
                m_fft_length = 2 * rounded(std::trunc(v.toDouble()), static_cast<double>(max_lines));
        } else if (key == QLatin1String("zeros")) {
            if (v.isDouble())
                m_zeros = rounded(std::trunc(v.toDouble()), 2.0 * max_lines);
        } else if (key == QLatin1String("average") || key == QLatin1String("avg")) {
            if (v.isDouble())
                m_average = std::max<std::uint64_t>(1, rounded(std::trunc(v.toDouble()), INT_MAX));
        } else if (key == QLatin1String("overlap")) {
            if (v.isDouble())
                m_overlap = std::clamp(v.toDouble(), 0.0, 1.0);
        } else if (key == QLatin1String("window")) {
            if (v.isDouble())
                m_window = v.toInt();
        } else if (key == QLatin1String("decay")) {
            m_decay = v.isDouble() ? v.toDouble() : 0.0;
        } else if (key == QLatin1String("is_single") || key == QLatin1String("single_shot")) {
            if (v.isBool())
                m_is_single = v.toBool();
        } else if (key == QLatin1String("start")) {
            if (v.isBool())
                m_running = v.toBool();
        }
    }
}

void sngl::init(const QJsonObject& settings)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        m_resolution = 0.0;
        m_fft_length = 0;
        m_fft_input.clear();
        read_settings(settings);
    }
    init();
    const QJsonValue delay = settings.value(QLatin1String("delay"));
    if (delay.isDouble() && m_filter) {
        const QMutexLocker lock(&using_out_mutex);
        m_delay_samples = rounded(delay.toDouble() * m_filter->get_rate(), 9007199254740992.0);
    }
}

void sngl::init()
{
    init_result r;
    {
        const QMutexLocker lock(&using_out_mutex);
        r = init_locked();
    }
    emit_init(r);
}

sngl::init_result sngl::init_locked()
{
    init_result r;
    if (!m_filter)
        return r;
    const double rate = m_filter->get_rate();

    // 1-2: the band ends at rate / (2 x decimation).
    const double q = rate / (2.0 * m_frequency);
    m_decimation = std::max<std::uint64_t>(1, rounded(q, max_decimation));
    const double f = rate / static_cast<double>(m_decimation) / 2.0;
    if (!(std::fabs(f - m_frequency) <= 1e-9)) {
        m_frequency = f;
        r.frequency = true;
    }

    // 3-5: N from the resolution, else from the samples, else 1000; at least 2,
    // at most 2 x max_lines.
    double m = 0.0;
    if (m_resolution != 0.0)
        m = 2.0 * std::round(m_frequency / m_resolution);
    else
        m = m_fft_length != 0 ? static_cast<double>(m_fft_length) : 1000.0;
    if (!(m >= 3.0))
        m = 2.0;
    m = std::min(m, 2.0 * static_cast<double>(max_lines));
    const auto n = static_cast<std::uint64_t>(m);
    const double res = m_frequency / static_cast<double>(n / 2);
    if (!(std::fabs(m_resolution - res) <= 1e-9)) {
        m_resolution = res;
        r.resolution = true;
        r.reset = true;
    }
    if (n != m_fft_input.size()) {
        m_fft_length = n;
        r.samples = true;
        r.reset = true;
    }
    // A frame holds at least two samples.
    m_zeros = std::min<std::uint64_t>(m_zeros, m_fft_length - 2);

    // 6: overlap within the frame; a negative share is as much as the frame allows.
    const double held = static_cast<double>(m_fft_length - m_zeros);
    const double ov = std::round(m_overlap * held);
    if (ov >= 0.0 && ov < held) {
        m_overlap_samples = static_cast<std::uint64_t>(ov);
    } else {
        m_overlap_samples = m_fft_length - m_zeros - 1;
        m_overlap = (held - 1.0) / held;
    }

    // The FIFO holds `average` frames of N/2 + 1 values: at most max_average
    // frames and max_fifo_values values in all, whatever a settings object asks.
    const std::uint64_t lines = m_fft_length / 2 + 1;
    const std::uint64_t most = std::max<std::uint64_t>(1, std::min<std::uint64_t>(max_average, max_fifo_values / lines));
    m_average = std::clamp<std::uint64_t>(m_average, 1, most);
    while (m_frames.size() > m_average)
        m_frames.pop_front();

    set_window_buffer();

    if (r.reset) {
        m_filter->reset();
        m_filter->set_frequency(rate * 0.5);
        m_resampler->setup(static_cast<int>(m_decimation));
        m_input_buffer.clear();
        m_input_buffer.reserve(m_fft_length);
        m_fft_input.assign(m_fft_length, 0.0);
        m_sample_counter = 0;
        m_frames.clear();
        assign(m_fft_length / 2 + 1, 0.0);
        m_frame_count = 0;
        m_purged = false;
        ++m_generation;
    }
    return r;
}

void sngl::emit_init(const init_result& r)
{
    const detail::life_guard alive(m_life);
    if (r.frequency)
        emit freq_changed();
    if (alive && r.resolution)
        emit res_changed();
    if (alive && r.samples)
        emit samples_changed();
    if (alive && r.reset) {
        emit inited();
        if (alive)
            emit changed();
        if (alive)
            emit progress_changed();
    }
}

void sngl::set_freq(double value)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        m_frequency = value;
    }
    init();
}

void sngl::set_res(double value)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        m_resolution = value;
    }
    init();
}

void sngl::set_window_buffer()
{
    const std::size_t n = m_fft_length;
    m_window_buffer.resize(n, 0.0);
    double* const w = m_window_buffer.data();
    if (m_window == 0)
        std::fill(w, w + n, 1.0);
    else if (m_window >= 1 && m_window <= 8)
        detail::fill_window(static_cast<detail::window_kind>(m_window), w, n);
    else if (m_window == 9)
        detail::fill_exponential_window(w, n, m_decay);
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += w[i];
    m_beta = n > 0 ? sum / static_cast<double>(n) : 0.0;
}

double sngl::resolution() const
{
    return m_resolution;
}

QJsonArray sngl::parameter_keys() const
{
    if (!m_filter)
        return {};
    QJsonArray keys{"freq", "res", "samples", "avg", "overlap", "window"};
    if (m_window == 9)
        keys.append("decay");
    keys.append("acq_time");
    return keys;
}

QJsonObject sngl::parameter(const QString& key) const
{
    const auto number = [](double value, double min, double max, int prec, const QString& label) {
        return QJsonObject{{"type", "double"}, {"value", value}, {"min", min},
                           {"max", max},      {"prec", prec},   {"label", label}};
    };
    if (key == QLatin1String("freq")) {
        const ryx::analog_data* s = source();
        return number(m_frequency, 0.0, s ? s->get_rate() * 0.5 : 0.0, 3, tr("Frequency"));
    }
    if (key == QLatin1String("res"))
        return number(m_resolution, m_frequency / 1000000.0, m_frequency / 10.0, 6, tr("Resolution"));
    if (key == QLatin1String("samples"))
        return number(static_cast<double>(samples()), 10.0, static_cast<double>(max_lines), 0, tr("Samples"));
    if (key == QLatin1String("acq_time"))
        return QJsonObject{{"value", acq_time()}, {"label", tr("Acq. time")}};
    if (key == QLatin1String("acq_samples"))
        return QJsonObject{{"value", acq_samples()}, {"label", tr("Acq. samples")}};
    if (key == QLatin1String("avg"))
        return number(static_cast<double>(static_cast<int>(std::min<std::uint64_t>(m_average, INT_MAX))), 1.0,
                      1000.0, 0, tr("Average"));
    if (key == QLatin1String("overlap"))
        return number(m_overlap, 0.0, 0.99, 2, tr("Overlap"));
    if (key == QLatin1String("window")) {
        const QJsonArray items{tr("Rectangular"), tr("Cosine"), tr("Hann"), tr("Bartlett_hann"), tr("Hamming"),
                               tr("Blackman"), tr("Blackman_harris"), tr("Flattop"), tr("Half_rect"),
                               tr("Exponential")};
        return QJsonObject{{"type", "combobox"}, {"value", m_window}, {"items", items}, {"label", tr("Window")}};
    }
    if (key == QLatin1String("decay"))
        return number(m_decay, 0.0, 1.0, 3, tr("Decay"));
    return {};
}

QJsonObject sngl::config() const
{
    QJsonObject out;
    const QJsonArray keys = parameter_keys();
    for (const QJsonValue& k : keys)
        out.insert(k.toString(), parameter(k.toString()).value(QLatin1String("value")));
    return out;
}

bool sngl::set_parameter(const QString& key, const QVariant& value)
{
    {
        const QMutexLocker lock(&using_out_mutex);
        if (key == QLatin1String("freq")) {
            m_frequency = value.toDouble();
        } else if (key == QLatin1String("res")) {
            m_resolution = value.toDouble();
        } else if (key == QLatin1String("samples")) {
            // Lines within 1 .. max_lines: N stays within _out.
            const int lines = std::clamp(value.toInt(), 1, static_cast<int>(max_lines));
            m_resolution = m_frequency / lines;
        } else if (key == QLatin1String("avg")) {
            m_average = static_cast<std::uint64_t>(std::max(1, value.toInt()));
        } else if (key == QLatin1String("overlap")) {
            m_overlap = value.toDouble();
        } else if (key == QLatin1String("window")) {
            m_window = value.toInt();
            set_window_buffer();
        } else if (key == QLatin1String("decay")) {
            m_decay = value.toDouble();
            if (m_window == 9)
                set_window_buffer();
        } else if (key == QLatin1String("is_single") || key == QLatin1String("single_shot")) {
            m_is_single = value.toBool();
        } else {
            return false;
        }
    }
    init();
    return true;
}

// Acquisition --------------------------------------------------------------------

void sngl::start_locked()
{
    if (m_filter) {
        m_filter->reset();
        m_filter->set_frequency(m_frequency);
    }
    m_input_buffer.clear();
    m_running = true;
    m_sample_counter = 0;
    m_frames.clear();
    m_frame_count = 0;
    if (m_fft_input.size() < m_fft_length)
        m_fft_input.resize(m_fft_length, 0.0);
    if (m_window_buffer.size() < m_fft_length)
        set_window_buffer();
    if (m_purged)
        rebuild_buffers();
    ++m_generation;
}

void sngl::start()
{
    const QMutexLocker lock(&using_out_mutex);
    start_locked();
}

void sngl::start(double delay)
{
    const QMutexLocker lock(&using_out_mutex);
    m_delay_samples = rounded(delay * m_frequency * 2.0, 9007199254740992.0);
    start_locked();
}

void sngl::stop()
{
    m_running = false;
}

bool sngl::is_running()
{
    return m_running;
}

void sngl::purge()
{
    const QMutexLocker lock(&using_out_mutex);
    if (m_filter)
        m_filter->purge();
    m_input_buffer.assign(1, 0.0);
    m_fft_input.assign(1, 0.0);
    m_window_buffer.assign(1, 0.0);
    m_frames.clear();
    m_purged = true;
}

void sngl::rebuild_buffers()
{
    m_input_buffer.clear();
    m_input_buffer.reserve(m_fft_length);
    m_fft_input.assign(m_fft_length, 0.0);
    set_window_buffer();
    m_purged = false;
}

void sngl::compute_frame()
{
    const std::uint64_t n = m_fft_length;
    const std::uint64_t held = m_input_buffer.size();
    const double* const x = m_input_buffer.data();
    const double* const w = m_window_buffer.data();
    double* const in = m_fft_input.data();
    for (std::uint64_t j = 0; j < held; ++j)
        in[j] = x[j] * w[j];
    std::fill(in + held, in + n, 0.0);

    std::fill(_out, _out + std::min<std::uint64_t>(n, out_capacity), std::complex<double>());
    detail::fft_r2c(static_cast<int>(n), in, _out);
    preprocess();

    // The oldest frame's storage takes the new one once the FIFO is full.
    const std::size_t lines = static_cast<std::size_t>(n / 2 + 1);
    if (m_frames.size() >= m_average && !m_frames.empty()) {
        m_frames.splice(m_frames.end(), m_frames, m_frames.begin());
        m_frames.back().assign(_out, _out + lines);
    } else {
        m_frames.emplace_back(_out, _out + lines);
    }
    while (m_frames.size() > m_average)
        m_frames.pop_front();
    update();
    ++m_frame_count;
}

void sngl::data_recieved()
{
    const detail::life_guard alive(m_life);
    QMutexLocker lock(&using_out_mutex);
    if (m_filter && m_running) {
        // A listener may delete the filter (with the source) or give the
        // analyser another source: the run is read only while its filter stays.
        filter_iir* const filter = m_filter;
        const std::vector<double>& run = *filter;
        // The run goes through the decimator in pieces that cannot complete the
        // frame in progress; the frame's last output is taken sample by sample,
        // so that the frame's listeners, which may reconfigure or stop the
        // analyser, find the decimator where feeding it sample by sample would
        // have left it. The decimator's outputs do not depend on how its input
        // is split.
        std::size_t i = 0;
        while (m_filter == filter && m_running && i < run.size()) {
            const std::uint64_t left = run.size() - i;
            if (m_sample_counter < m_delay_samples) {
                // Outputs ready within the delay are not analysed.
                const std::size_t take = static_cast<std::size_t>(
                    std::min<std::uint64_t>({m_delay_samples - m_sample_counter, left, decimation_piece}));
                decimate(run.data() + i, take);
                m_sample_counter += take;
                i += take;
                continue;
            }
            const std::uint64_t needed = frame_outputs_needed();
            std::size_t made;
            if (needed == 1) {
                float x = static_cast<float>(run[i]);
                ++m_sample_counter;
                ++i;
                if (!m_resampler->process(&x))
                    continue;
                m_decimated[0] = m_resampler->out(0);
                made = 1;
            } else {
                const std::size_t take =
                    static_cast<std::size_t>(std::min<std::uint64_t>(inputs_for(needed - 1), left));
                made = decimate(run.data() + i, take);
                m_sample_counter += take;
                i += take;
            }
            for (std::size_t k = 0; k < made && m_filter == filter && m_running; ++k) {
                if (m_purged)
                    rebuild_buffers();
                m_input_buffer.push_back(static_cast<double>(m_decimated[k]));
                if (m_input_buffer.size() == m_fft_length - m_zeros && !frame_done(lock, alive))
                    return;
            }
        }
    }
    lock.unlock();
    if (alive)
        emit progress_changed();
}

// The outputs that complete the frame in progress (at least 1).
std::uint64_t sngl::frame_outputs_needed() const
{
    const std::uint64_t frame = m_fft_length - m_zeros;
    const std::uint64_t held = m_purged ? 0 : m_input_buffer.size();
    return held < frame ? frame - held : 1;
}

// Inputs (at most decimation_piece) that give at most `outputs` >= 1 decimated
// samples: at decimation d the outputs come about d inputs apart, never fewer
// than d / 2 (at most one per input), so (outputs - 1) such gaps and one input
// cannot hold one more.
std::uint64_t sngl::inputs_for(std::uint64_t outputs) const
{
    const std::uint64_t gap = std::max<std::uint64_t>(1, m_decimation / 2);
    if (outputs - 1 >= decimation_piece / gap)
        return decimation_piece;
    return (outputs - 1) * gap + 1;
}

// Passes x[0 .. n), n <= decimation_piece, through the decimator; returns the
// number of outputs, which are in m_decimated.
std::size_t sngl::decimate(const double* x, std::size_t n)
{
    for (std::size_t j = 0; j < n; ++j)
        m_undecimated[j] = static_cast<float>(x[j]);
    const int made = m_resampler->process(m_undecimated.data(), static_cast<int>(n), m_decimated.data());
    return made > 0 ? static_cast<std::size_t>(made) : 0;
}

// A frame is complete: computes it and tells the listeners, which run without
// the mutex and may reconfigure, restart, stop or delete the analyser. False
// when the analyser is gone.
bool sngl::frame_done(QMutexLocker<QMutex>& lock, const detail::life_guard& alive)
{
    compute_frame();
    const bool finished_now = m_frame_count % m_average == 0;
    const std::uint64_t generation = m_generation;

    lock.unlock();
    emit changed();
    if (alive)
        emit progress_changed();
    if (alive && finished_now)
        emit finished();
    if (!alive)
        return false;
    lock.relock();
    // Reconfigured or restarted meanwhile: the frame state is new, and the rest
    // of the run starts filling it.
    if (!m_filter || generation != m_generation)
        return true;
    if (m_is_single && m_frames.size() == m_average)
        m_running = false;
    if (m_running) {
        // The last overlap_samples values start the next frame.
        const std::size_t keep = std::min<std::size_t>(m_overlap_samples, m_input_buffer.size());
        std::memmove(m_input_buffer.data(), m_input_buffer.data() + (m_input_buffer.size() - keep),
                     keep * sizeof(double));
        m_input_buffer.resize(keep);
    }
    return true;
}

// Read-outs ----------------------------------------------------------------------

double sngl::acq_samples() const
{
    const double n = static_cast<double>(m_fft_length);
    return n + (static_cast<double>(m_average) - 1.0) * (n - static_cast<double>(m_overlap_samples));
}

double sngl::acq_time() const
{
    return acq_samples() / (2.0 * m_frequency);
}

unsigned int sngl::acq_source_samples() const
{
    const double v = static_cast<double>(m_decimation) * static_cast<double>(m_fft_length);
    return v >= static_cast<double>(UINT_MAX) ? UINT_MAX : static_cast<unsigned int>(v);
}

double sngl::progress() const
{
    return m_fft_length == 0 ? 0.0 : static_cast<double>(m_input_buffer.size()) / static_cast<double>(m_fft_length);
}

void sngl::get_ffts(std::list<std::vector<std::complex<double>>>& out) const
{
    for (const auto& f : m_frames)
        out.push_back(f);
}

QJsonArray sngl::get_data_array() const
{
    return to_array(*this);
}

QJsonArray sngl::get_real_array() const
{
    QJsonArray out;
    if (!m_frames.empty())
        for (const auto& c : m_frames.back())
            out.append(c.real());
    return out;
}

QJsonArray sngl::get_imag_array() const
{
    QJsonArray out;
    if (!m_frames.empty())
        for (const auto& c : m_frames.back())
            out.append(c.imag());
    return out;
}

QJsonArray sngl::get_input_array() const
{
    return to_array(m_input_buffer);
}

QJsonArray sngl::get_window_array() const
{
    return to_array(m_window_buffer);
}

} // namespace ryx::math::fftw
