#pragma once

#include <QObject>
#include <QPointer>
#include <complex>
#include <cstdint>
#include <utility>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/units.h"
#include "ryx/math/detail/averaging_ring.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/math/fft.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {

namespace instant {
class freq;
}

// The order spectrum of one channel: the lines 0 .. order_max x freq_idx of its
// own FFT engine, each as (amplitude, phase in degrees, -180 .. 180), so that
// line n is order n / freq_idx of the fundamental (the search frequency). The
// fundamental is set by hand (`manual`) or found in each new spectrum: the
// highest line (`max`) or the first peak at or above `threshold` (`first`);
// a new fundamental re-initialises the object and restarts the average.
//
// Amplitudes have the amplitude spectrum's scale: a harmonic of amplitude A on
// a line reads A x c (c the window's calibration), in `unit` (linear, dB re the
// source's reference, RMS). The searches and `threshold` work on the linear
// amplitudes. Results are averaged linearly over the last `average` frames
// (amplitude and phase each), from the first frame on.
//
// The object owns its engine and its frequency meter (the meter is there for
// the host: handle_freqmeter_changed() adopts its reading as the fundamental).
// Once the source announces its deletion the object is inert; a listener of
// changed() or acquired() may delete it.
// A meta-object cast request for "std::vector<std::pair<qreal,qreal>>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT orsp : public QObject, public std::vector<std::pair<qreal,qreal>>
{
    Q_OBJECT
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double resolution READ resolution WRITE set_resolution NOTIFY resolution_changed)
    Q_PROPERTY(ryx::math::fft::windows window READ window WRITE set_window NOTIFY window_changed)
    Q_PROPERTY(int lines READ lines WRITE set_lines NOTIFY lines_changed)
    Q_PROPERTY(int overlap READ overlap WRITE set_overlap NOTIFY overlap_changed)
    Q_PROPERTY(int average READ average WRITE set_average NOTIFY average_changed)
    Q_PROPERTY(ryx::units unit READ unit WRITE set_unit NOTIFY unit_changed)
    Q_PROPERTY(double acq_time READ acq_time NOTIFY acq_time_changed)
    Q_PROPERTY(double threshold READ threshold WRITE set_threshold NOTIFY threshold_changed)
    Q_PROPERTY(search_types search_type READ search_type NOTIFY search_type_changed)
    Q_PROPERTY(double search_freq READ search_freq NOTIFY search_freq_changed)
    Q_PROPERTY(size_t order_max READ order_max NOTIFY order_max_changed)

public:
    enum search_types : int { manual = 0, max = 1, first = 2, undef = 255 };
    Q_ENUM(search_types)

    explicit orsp(ryx::analog_data* source);
    ~orsp() override;

    double frequency() const;
    double resolution() const;
    ryx::math::fft::windows window() const;
    int lines() const;
    int overlap() const;
    int average() const { return m_average; }
    ryx::units unit() const { return m_unit; }
    // Seconds of signal one frame advances (not multiplied by average).
    double acq_time() const;
    double threshold() const { return m_threshold; }
    search_types search_type() const { return m_search_type; }
    double search_freq() const { return m_search_freq; }
    size_t order_max() const { return static_cast<size_t>(m_order_max); }
    std::uint64_t freq_idx() const { return m_freq_idx; }
    // Published lines.
    std::uint64_t len() const { return m_len; }
    // The linear amplitude of every engine line in the last frame.
    const std::vector<double>& spectrum() const { return m_spectrum; }

    void set_search_type(ryx::math::orsp::search_types value);
    void set_order_max(unsigned long value);
    void set_search_freq(double value);
    void set_freq_idx(int value);
    // Adopts the frequency meter's reading as the fundamental (as set_search_freq).
    void handle_freqmeter_changed();
    void find_max_freq();
    void find_first_freq();

    ryx::analog_data* ad() const { return m_source; }
    std::uint64_t samples() const;
    ryx::math::fft* engine() const { return m_fft.data(); }
    ryx::math::instant::freq* freq_meter() const { return m_freq_meter; }
    void cleanup();

    virtual void calculate();
    virtual void before_updating() {}
    virtual void after_updating() {}

public slots:
    void set_frequency(double value);
    void set_resolution(double value);
    void set_window(ryx::math::fft::windows value);
    void set_lines(int value);
    void set_overlap(int value);
    void set_average(int value);
    void set_unit(ryx::units value);
    void set_threshold(double value);
    void stop_acq();

signals:
    void frequency_changed();
    void resolution_changed();
    void window_changed();
    void lines_changed();
    void average_changed();
    void overlap_changed();
    void unit_changed();
    void acq_time_changed();
    void threshold_changed();
    void search_type_changed();
    void order_max_changed();
    void search_freq_changed();
    void initialized();
    void changed();
    void acquired(double percent);
    void deleting();
    void progress(double value);

private slots:
    virtual void data_changed();
    virtual void set_rate(double value);
    void init();
    void source_deleting();

private:
    // Takes line i as the fundamental when it is a usable new one.
    void adopt(std::uint64_t i);
    std::uint64_t engine_size() const;

    QPointer<ryx::math::fft> m_fft;
    ryx::math::instant::freq* m_freq_meter = nullptr;
    bool m_acquiring = true;
    ryx::analog_data* m_source = nullptr;
    detail::averaging_ring<std::complex<double>> m_ring; // (amplitude, phase) per line
    std::complex<double>* m_target = nullptr;
    std::vector<std::complex<double>> m_frame; // this frame, or the mean of the ring
    std::vector<double> m_spectrum;
    std::uint64_t m_len = 0;
    double m_threshold = 0.1;
    search_types m_search_type = undef;
    std::uint64_t m_order_max = 0;
    double m_search_freq = 0.0;
    std::uint64_t m_search_first = 0; // the search range: spectrum lines [first, last)
    std::uint64_t m_search_last = 0;
    int m_average = 1;
    double m_acquired_percent = 0.0;
    ryx::units m_unit = ryx::units::linear;
    std::uint64_t m_freq_idx = 0;
    detail::lifeline m_life;
};

} // namespace ryx::math
