#pragma once

#include <QObject>
#include <QPointer>
#include <complex>
#include <cstdint>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/math/fft.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {

// The real cepstrum of a channel, one per frame of its own FFT engine: the
// object is the vector of `size` values (the engine's published line count),
// value q at quefrency q / (size x resolution) s,
//   c = (1 / size) x the size-point inverse real DFT of the half spectrum
//       ln(max(|X[k]| / size, smallest normal double)), k = 0 .. size / 2,
// X the frame's spectrum (numpy.fft.irfft of the logged magnitudes). The floor keeps every value finite when a line is 0
// (a silent channel). No averaging.
//
// Settings:
//   time       s, > 0: the span of quefrencies, 1 / resolution (the engine snaps
//              the resolution, so time() reads 1 / the engine's resolution)
//   frequency  Hz, the engine's band (1000 after construction, at most rate / 2)
//   window     the engine's frame window
// Once the source announces its deletion the object is inert. A listener of
// changed() or progress() may delete the object.
// A meta-object cast request for "std::vector<qreal>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT ceps : public QObject, public std::vector<qreal>
{
    Q_OBJECT
    Q_PROPERTY(double time READ time WRITE set_time NOTIFY time_changed)
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(ryx::math::fft::windows window READ window WRITE set_window NOTIFY window_changed)

public:
    explicit ceps(ryx::analog_data* source);
    ~ceps() override;

    double time() const;
    void set_time(double value);
    double frequency() const;
    void set_frequency(double value);
    ryx::math::fft::windows window() const;
    void set_window(ryx::math::fft::windows value);

    ryx::analog_data* ad() const { return m_source; }
    std::uint64_t samples() const;
    ryx::math::fft* engine() const { return m_fft.data(); }

    // Releases the spectrum buffer and empties the published vector.
    void cleanup();
    // Computes the cepstrum of the engine's current frame.
    virtual void calculate();
    // Run before and after each update, under the device lock.
    virtual void before_updating() {}
    virtual void after_updating() {}

public slots:
    // Stops taking frames, for good.
    void stop_acq();

signals:
    void time_changed();
    void frequency_changed();
    void window_changed();
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
    QPointer<ryx::math::fft> m_fft;
    bool m_acquiring = true;
    double m_time = 0.0;
    ryx::analog_data* m_source = nullptr;
    std::vector<std::complex<double>> m_log_spectrum;
    std::uint64_t m_size = 0;
    detail::lifeline m_life;
};

} // namespace ryx::math
