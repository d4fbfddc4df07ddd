#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QVariant>
#include <atomic>
#include <complex>
#include <cstdint>
#include <iterator>
#include <list>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/math/filter_iir.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {
class resampler;
} // namespace ryx::math

namespace ryx::math::fftw {

// The base of the acquisition analysers: follows one source channel through a
// private elliptic anti-alias low-pass, decimates it by an integer factor so that
// the analysed band ends at `frequency`, collects frames of N decimated samples
// (N - zeros samples, then `zeros` zeros), windows and transforms each (real to
// complex, unscaled), keeps the last `average` half spectra (N/2 + 1 values each)
// and hands them to update(), which the derived analyser overrides to write the
// result vector (N/2 + 1 values).
//
// Acquisition runs from construction on (unless the settings say "start":
// false), and is started (optionally after a delay), stopped, or run single shot
// for exactly `average` frames.
//
// Settings (constructor object, set_parameter, set_freq/set_res):
//   frequency   analysed band, Hz: becomes rate / (2 x decimation), decimation >= 1
//   resolution  line spacing, Hz: frequency / (N / 2)
//   samples     N / 2, at most max_lines (larger requests are clamped)
//   zeros       zeros appended to each frame, at most N - 2
//   average     frames kept and averaged, 1 .. max_average (fewer when the frames
//               are long: the FIFO holds at most max_fifo_values values)
//   overlap     fraction of a frame shared with the next, 0 .. (N - zeros - 1) / (N - zeros)
//   window      0..9: rectangular (1.0), cosine, hann, bartlett_hann, hamming,
//               blackman, blackman_harris, flattop, half_rect, exponential
//   decay       the exponential window's w(N - 1); at or below 0 (or NaN): the
//               smallest positive normal double
//   single_shot exactly `average` frames after a start, then stop
//   delay       seconds of source signal skipped after a start
//
// All analysers share one output buffer `_out` and one mutex `using_out_mutex`
// (not recursive), which guards `_out`, FFTW planning and every analyser's
// acquisition state; other classes that use `_out` take the same mutex.
// A meta-object cast request for "std::vector<qreal>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT sngl : public QObject, public std::vector<qreal>
{
    Q_OBJECT
    Q_PROPERTY(QJsonArray data READ get_data_array NOTIFY changed)
    Q_PROPERTY(QJsonArray real READ get_real_array NOTIFY changed)
    Q_PROPERTY(QJsonArray imag READ get_imag_array NOTIFY changed)
    Q_PROPERTY(QJsonArray input_data READ get_input_array CONSTANT)
    Q_PROPERTY(QJsonArray win_buffer READ get_window_array CONSTANT)
    Q_PROPERTY(double acq_time READ acq_time CONSTANT)
    Q_PROPERTY(uint acq_samples READ acq_source_samples CONSTANT)
    Q_PROPERTY(double resolution READ resolution WRITE set_res NOTIFY res_changed)
    Q_PROPERTY(ryx::math::filter_iir* filter READ filter CONSTANT)

public:
    // Capacity of _out, in complex values.
    static constexpr std::size_t out_capacity = 1000001;
    // Most lines (N / 2) an analyser computes: N stays within _out.
    static constexpr std::uint64_t max_lines = 500000;
    // Most frames the FIFO keeps (the "avg" editor's own maximum), and most
    // values in all its frames: a larger `average` is lowered to fit.
    static constexpr std::uint64_t max_average = 1000;
    static constexpr std::uint64_t max_fifo_values = std::uint64_t(1) << 23;

    // The output of every transform and the envelope analyser's work area.
    static std::complex<double> _out[out_capacity];
    static QMutex using_out_mutex;

    sngl(ryx::analog_data* source, const QJsonObject& settings);
    sngl();
    ~sngl() override;

    void set_source(ryx::analog_data* source, const QJsonObject& settings);
    ryx::analog_data* source() const;
    ryx::math::filter_iir* filter() const { return m_filter; }

    virtual void init(const QJsonObject& settings);
    virtual QJsonObject config() const;
    virtual double resolution() const;
    virtual QJsonArray parameter_keys() const;
    virtual QJsonObject parameter(const QString& key) const;
    virtual bool set_parameter(const QString& key, const QVariant& value);
    virtual void init();
    virtual void update() {}
    virtual void preprocess() {}

    // N / 2.
    std::uint64_t samples() const { return m_fft_length / 2; }
    std::uint64_t fft_length() const { return m_fft_length; }
    double frequency() const { return m_frequency; }
    void set_freq(double value);
    void set_res(double value);
    double beta() const { return m_beta; }
    std::uint64_t average() const { return m_average; }
    double overlap() const { return m_overlap; }
    std::uint64_t overlap_samples() const { return m_overlap_samples; }
    int window() const { return m_window; }
    double decay() const { return m_decay; }
    std::uint64_t zeros() const { return m_zeros; }
    std::uint64_t decimation() const { return m_decimation; }
    bool is_single() const { return m_is_single; }
    bool running() const { return m_running; }
    std::uint64_t delay_samples() const { return m_delay_samples; }
    std::uint64_t frame_count() const { return m_frame_count; }
    // Counts the restarts of the frame sequence (a start, or a reconfiguration
    // that cleared the frames): frame_count() numbers the frames since the last.
    std::uint64_t generation() const { return m_generation; }
    // N + (average - 1) x (N - overlap_samples): decimated samples of a full average.
    double acq_samples() const;
    // acq_samples() / (2 x frequency), seconds.
    double acq_time() const;
    // decimation x N.
    unsigned int acq_source_samples() const;
    // Share of the current frame filled, 0 .. 1.
    double progress() const;
    // Appends the newest frame's N/2 + 1 values (nothing without a frame).
    template <class OutputIt>
    void get_data(OutputIt out) const
    {
        if (!m_frames.empty())
            std::copy(m_frames.back().begin(), m_frames.back().end(), out);
    }
    // Appends a copy of every frame, oldest first.
    void get_ffts(std::list<std::vector<std::complex<double>>>& out) const;
    // Refills the window coefficients and beta.
    void set_window_buffer();
    const std::list<std::vector<std::complex<double>>>& frames() const { return m_frames; }
    const std::vector<double>& window_buffer() const { return m_window_buffer; }

    QJsonArray get_data_array() const;
    QJsonArray get_real_array() const;
    QJsonArray get_imag_array() const;
    QJsonArray get_input_array() const;
    QJsonArray get_window_array() const;

public slots:
    void start();
    void start(double delay);
    void stop();
    bool is_running();
    void purge();

signals:
    void deleting();
    void changed();
    void finished();
    void freq_changed();
    void res_changed();
    void samples_changed();
    void progress_changed();
    void source_changed();
    void inited();

private slots:
    void data_recieved();
    void reset_filter();

protected:
    // The frames' FFT input: the windowed frame, then zeros (spen reuses it).
    std::vector<double>& fft_input() { return m_fft_input; }
    // The stored half spectra, oldest first.
    std::list<std::vector<std::complex<double>>>& stored_frames() { return m_frames; }
    // The 0 dB reference of the source's unit (1 without a source).
    double reference() const;

private:
    // What init() found changed; the signals go out once the mutex is released.
    struct init_result
    {
        bool frequency = false, resolution = false, samples = false, reset = false;
    };
    init_result init_locked();
    void emit_init(const init_result& r);
    void start_locked();
    // Rebuilds the buffers that purge() shrank before the next frame is filled.
    void rebuild_buffers();
    // Computes the frame held in input_buffer, under the mutex.
    void compute_frame();
    void read_settings(const QJsonObject& settings);

    std::vector<double> m_input_buffer;
    double m_frequency = 1000.0;
    double m_resolution = 1.0;
    std::uint64_t m_average = 1;
    double m_overlap = 0.0;
    std::uint64_t m_overlap_samples = 0;
    int m_window = 0;
    double m_beta = 1.0;
    std::uint64_t m_zeros = 0;
    std::uint64_t m_decimation = 1;
    bool m_is_single = false;
    std::atomic<bool> m_running{true};
    std::uint64_t m_delay_samples = 0;
    std::uint64_t m_sample_counter = 0;
    std::vector<double> m_window_buffer;
    double m_decay = 1.0;
    ryx::math::resampler* m_resampler = nullptr;
    ryx::math::filter_iir* m_filter = nullptr;
    std::list<std::vector<std::complex<double>>> m_frames;
    std::vector<double> m_fft_input;
    std::uint64_t m_fft_length = 2000;
    std::uint64_t m_frame_count = 0;
    bool m_purged = false;          // buffers shrunk by purge(), rebuilt on the next sample
    std::uint64_t m_generation = 0; // counts resets, so a run notices one made by a listener
    detail::lifeline m_life;

    // A run is decimated in pieces of at most this many samples, through these
    // buffers (allocated once).
    static constexpr std::uint64_t decimation_piece = 4096;
    std::vector<float> m_undecimated;
    std::vector<float> m_decimated;
    std::uint64_t frame_outputs_needed() const;
    std::uint64_t inputs_for(std::uint64_t outputs) const;
    std::size_t decimate(const double* x, std::size_t n);
    bool frame_done(QMutexLocker<QMutex>& lock, const detail::life_guard& alive);
};

} // namespace ryx::math::fftw
