#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <complex>
#include <cstdint>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/units.h"
#include "ryx/math/detail/averaging_ring.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/math/fft.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {

class psd;

// The spectrum analyser of one channel: the object is the vector of its lines,
// value k at k x resolution Hz, averaged linearly over the last `average` frames
// of its own FFT engine (the mean of the frames received so far until the ring
// is full).
//
// Kinds (`type`):
//   ausp   amplitude spectrum: a sine of amplitude A on a line reads A x c and a
//          DC offset D reads D x c on line 0, c the window's calibration (its
//          factor times the mean of its raw values: 1.051 rectangular, about
//          1.035 for the others); |X| / (N / 2) with line 0 and the Nyquist line
//          halved, N the frame's length after decimation.
//   spen   envelope spectrum: the amplitude spectrum of the magnitude of the
//          frame's analytic signal (band-limited to the published lines), so a
//          carrier A modulated to depth m by a tone reads A x c on line 0 and
//          m x A x c at the modulation frequency.
//   phase  phase of each line, radians, -pi .. pi.
//   psd    one-sided power spectral density (squared unit per Hz) of a psd
//          object fed by the same engine, averaged again here.
//   undef  nothing is computed.
// `unit` applies to ausp and spen: linear, dB re the source's reference(), or
// RMS (amplitude / sqrt 2).
//
// Settings: frequency, resolution, lines, window and overlap belong to the
// engine (see fft.h); average >= 1 (smaller values are ignored). Bad values are
// ignored silently. Once the source announces its deletion the object is inert.
// A listener of changed(), acquired() or progress() may delete the object.
// A meta-object cast request for "std::vector<qreal>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT spec : public QObject, public std::vector<qreal>
{
    Q_OBJECT
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double resolution READ resolution WRITE set_resolution NOTIFY resolution_changed)
    Q_PROPERTY(ryx::math::fft::windows window READ window WRITE set_window NOTIFY window_changed)
    Q_PROPERTY(int lines READ lines WRITE set_lines NOTIFY lines_changed)
    Q_PROPERTY(int average READ average WRITE set_average NOTIFY average_changed)
    Q_PROPERTY(int overlap READ overlap WRITE set_overlap NOTIFY overlap_changed)
    Q_PROPERTY(ryx::units unit READ unit WRITE set_unit NOTIFY unit_changed)
    Q_PROPERTY(double acq_time READ acq_time NOTIFY acq_time_changed)

public:
    enum types : int { ausp = 0, spen = 1, phase = 2, psd = 3, undef = 255 };
    Q_ENUM(types)

    spec(types type, ryx::analog_data* source);
    ~spec() override;

    double frequency() const;
    double resolution() const;
    ryx::math::fft::windows window() const;
    int lines() const;
    int average() const { return m_average; }
    int overlap() const;
    ryx::units unit() const { return m_unit; }
    ryx::units get_unit() const { return m_unit; }
    // Seconds of signal the average spans: the engine's acq_time() x average.
    double acq_time() const;
    // Seconds of signal one frame advances.
    double acq_time_buf() const;

    types type() const { return m_type; }
    void set_type(types value);

    // The source channel; null once it is gone.
    ryx::analog_data* ad() const;
    // The engine's samples since its last init().
    std::uint64_t samples() const;
    // The engine (null once it is gone).
    ryx::math::fft* engine() const { return m_fft.data(); }
    double acq() const { return m_acquired_percent; }

    // out[n] = the amplitude of spectrum[n] (a frame of the engine) in the
    // current unit, for n < count and n < the published length.
    void calculate_ampl(const std::complex<double>* spectrum, double* out, std::uint64_t count) const;
    // out[n] = arg(spectrum[n]), radians, for the same n.
    void calculate_phase(const std::complex<double>* spectrum, double* out, std::uint64_t count) const;
    // Sets up the one connection that delivers frames, creating or dropping the
    // psd object as the type needs.
    void update_psd();
    // Releases the ring and the envelope buffers; empties the published vector.
    void cleanup();

    // Writes this frame's spectrum (size values) to the target slot.
    virtual void calculate();
    // Run before and after each update, under the device lock.
    virtual void before_updating() {}
    virtual void after_updating() {}

public slots:
    void set_frequency(double value);
    void set_resolution(double value);
    void set_window(ryx::math::fft::windows value);
    void set_lines(int value);
    void set_average(int value);
    void set_overlap(int value);
    void set_unit(ryx::units value);
    // Stops taking frames, for good.
    void stop_acq();
    // Band power from f0 to f1 (Hz) of the published lines: sum of
    // value[n]^2 / (n x resolution); line 0 is never included.
    double get_power_density(double f0, double f1);

signals:
    void frequency_changed();
    void resolution_changed();
    void window_changed();
    void lines_changed();
    void average_changed();
    void overlap_changed();
    void unit_changed();
    void acq_time_changed();
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
    void calculate_envelope();
    // The amplitudes of the lines of a transform of `transform` points over a
    // frame of `length` samples, in the current unit (see detail/amplitude.h).
    void amplitudes(const std::complex<double>* spectrum, double* out, std::uint64_t count,
                    std::uint64_t length, std::uint64_t transform) const;
    void release_psd();

    QPointer<ryx::math::fft> m_fft;
    bool m_acquiring = true;
    int m_average = 1;
    ryx::units m_unit = ryx::units::linear;
    double m_acquired_percent = 0.0;
    ryx::analog_data* m_source = nullptr;
    detail::averaging_ring<double> m_ring;
    double* m_target = nullptr;
    std::vector<std::complex<double>> m_analytic;
    std::vector<std::complex<double>> m_envelope_spectrum;
    std::uint64_t m_size = 0;
    QPointer<ryx::math::psd> m_psd;
    std::vector<std::complex<double>> m_envelope_input;
    std::vector<double> m_envelope;
    types m_type = undef;
    QMetaObject::Connection m_frames; // the one connection delivering frames
    detail::lifeline m_life;
};

} // namespace ryx::math
