#pragma once

#include <QObject>
#include <cstdint>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/math/detail/averaging_ring.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/math/fft.h"
#include "ryx/ryx_math_export.h"

namespace ryx {
class device;
}

namespace ryx::math {

// One-sided power spectral density of a channel, averaged over the last
// `average` frames of an FFT engine: the object is the vector of its lines,
// value k at k x resolution Hz, in squared channel units per Hz.
//
// Each frame X of N samples (window w, decimated rate fs) gives the periodogram
//   P[k] = 2 |X[k]|^2 / (fs x sum w^2) = 2 |X[k]|^2 / (window_power x fs x N),
// with line 0, and the Nyquist line when it is published, not doubled: the same
// density as Welch's method, so that the lines sum to the signal's mean square
// over the resolution (Parseval). The published vector is the mean of the frames
// received so far, from the first on, and then slides over the last `average`.
//
// The engine is either created on the source channel and owned, or borrowed
// (an amplitude spectrum lends its own). Settings go to the engine:
//   frequency, resolution, lines, window: as the engine takes them
//   average: spectra averaged, >= 1 (smaller values are ignored)
// If the engine or the source goes away, the object stays as it is and inert. A
// listener of changed() or acquired() may delete the object.
// A meta-object cast request for "std::vector<double>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT psd : public QObject, public std::vector<double>
{
    Q_OBJECT
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double resolution READ resolution WRITE set_resolution NOTIFY resolution_changed)
    Q_PROPERTY(ryx::math::fft::windows window READ window WRITE set_window NOTIFY window_changed)
    Q_PROPERTY(int lines READ lines WRITE set_lines NOTIFY lines_changed)
    Q_PROPERTY(double acq_time READ acq_time NOTIFY acq_time_changed)
    Q_PROPERTY(int average READ average WRITE set_average NOTIFY average_changed)

public:
    // Creates and owns an engine on the source; the source is the parent.
    explicit psd(ryx::analog_data* source);
    // Borrows the engine; its source is the parent.
    explicit psd(ryx::math::fft* engine);
    ~psd() override;

    double frequency() const;
    double resolution() const;
    ryx::math::fft::windows window() const;
    int lines() const;
    // Seconds of signal the average spans: the engine's acq_time() x average.
    double acq_time() const;
    int average() const { return m_average; }

    ryx::analog_data* ad() const { return m_source; }
    ryx::math::fft* engine() const { return m_fft; }
    // The engine's samples since its last init().
    std::uint64_t samples() const;
    // The last acquired() percentage.
    double acq() const { return m_acquired_percent; }
    // The engine's samples() when the last frame was taken.
    std::uint64_t cnt() const { return m_cnt; }
    // Mean square of the engine's window values (1 without a window).
    double window_power() const { return m_window_power; }
    int ring_index() const { return m_ring.ring_index(); }
    bool ring_full() const { return m_ring.ring_full(); }

    // Releases the ring and empties the published vector.
    void cleanup();
    // Writes the engine's current frame as a density into the target slot.
    virtual void calculate();
    // Run before and after each frame update, under the device lock.
    virtual void before_updating() {}
    virtual void after_updating() {}

    // 2 / (window_power x fs x N) for the engine's frame: the one-sided density
    // scale of |X|^2 (0 when there is nothing to scale).
    static double density_scale(const ryx::math::fft& engine, double window_power);
    // Index of the line at the Nyquist frequency, which is not doubled; past
    // every line when the transform length is odd.
    static std::uint64_t nyquist_line(const ryx::math::fft& engine);
    // Mean square of the engine's window values; 1 without a window.
    static double mean_square_window(const ryx::math::fft& engine);

public slots:
    void set_frequency(double value);
    void set_resolution(double value);
    void set_window(ryx::math::fft::windows value);
    void set_lines(int value);
    void set_average(int value);
    // Stops taking frames, for good.
    void stop_acq();

signals:
    void frequency_changed();
    void resolution_changed();
    void window_changed();
    void lines_changed();
    void acq_time_changed();
    void average_changed();
    void initialized();
    void changed();
    void acquired(double percent);
    void deleting();
    void progress(double value);

private slots:
    virtual void data_changed();
    void init();
    void engine_deleting();
    void source_deleting();

private:
    void attach(ryx::analog_data* source);
    void connect_engine(bool forward_progress);

    ryx::device* m_root_device = nullptr;
    ryx::math::fft* m_fft = nullptr;
    bool m_acquiring = true;
    int m_average = 8;
    double m_acquired_percent = 0.0;
    ryx::analog_data* m_source = nullptr;
    detail::averaging_ring<double> m_ring;
    double* m_target = nullptr;
    std::uint64_t m_size = 0;
    bool m_owns_engines = true;
    double m_window_power = 0.0;
    std::uint64_t m_cnt = 0;
    detail::lifeline m_life;
};

} // namespace ryx::math
