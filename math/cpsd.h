#pragma once

#include <QObject>
#include <complex>
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

// One-sided cross power spectral density of two channels a and b, averaged over
// the last `average` frame pairs: the object is the vector of its complex lines,
// value k at k x resolution Hz, in (unit of a) x (unit of b) per Hz.
//
// Frame k of a's engine is paired with frame k of b's, whatever the lengths of
// the runs and whichever channel the host feeds first: the spectra of the engine
// that is ahead wait in a queue until their partners arrive. Each pair gives
//   S[k] = 2 conj(A[k]) B[k] / (window_power x fs x N),
// with line 0 and the Nyquist line not doubled and window_power, fs and N those
// of a's engine: the cross density of Welch's method. Two engines of different
// lengths are compared over the shorter. Averaging, settings and lifetime are
// those of psd; settings go to both engines.
// A meta-object cast request for "std::vector<std::complex<double>>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT cpsd : public QObject, public std::vector<std::complex<double>>
{
    Q_OBJECT
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double resolution READ resolution WRITE set_resolution NOTIFY resolution_changed)
    Q_PROPERTY(ryx::math::fft::windows window READ window WRITE set_window NOTIFY window_changed)
    Q_PROPERTY(int lines READ lines WRITE set_lines NOTIFY lines_changed)
    Q_PROPERTY(double acq_time READ acq_time NOTIFY acq_time_changed)
    Q_PROPERTY(int average READ average WRITE set_average NOTIFY average_changed)

public:
    using value_type = std::complex<double>;

    // Frames of the engine that is ahead kept waiting for their partners; beyond
    // this, or beyond max_pending_values values in all, the oldest are dropped
    // (a channel that stopped while the other runs).
    static constexpr std::size_t max_pending = 512;
    static constexpr std::size_t max_pending_values = std::size_t(1) << 23;

    // Creates and owns an engine on each channel; a is the parent.
    cpsd(ryx::analog_data* a, ryx::analog_data* b);
    // Borrows the engines; a's source is the parent.
    cpsd(ryx::math::fft* a, ryx::math::fft* b);
    ~cpsd() override;

    double frequency() const;
    double resolution() const;
    ryx::math::fft::windows window() const;
    int lines() const;
    double acq_time() const;
    int average() const { return m_average; }

    ryx::analog_data* ad() const { return m_source; }
    ryx::math::fft* engine_a() const { return m_fft_a; }
    ryx::math::fft* engine_b() const { return m_fft_b; }
    std::uint64_t samples() const;
    double acq() const { return m_acquired_percent; }
    std::uint64_t cnt() const { return m_cnt; }
    double window_power() const { return m_window_power; }
    int ring_index() const { return m_ring.ring_index(); }
    bool ring_full() const { return m_ring.ring_full(); }
    // Frames waiting for their partner now.
    std::size_t pending() const { return m_pending_count; }

    void cleanup();
    // Writes the cross density of the engines' current frames into the target slot.
    virtual void calculate();
    virtual void before_updating() {}
    virtual void after_updating() {}

public slots:
    void set_frequency(double value);
    void set_resolution(double value);
    void set_window(ryx::math::fft::windows value);
    void set_lines(int value);
    void set_average(int value);
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
    // Updates from the engines' current frames when both have computed as many.
    virtual void data_changed();
    void init();
    void frame_a();
    void frame_b();
    void source_deleting();

private:
    void attach(ryx::analog_data* source);
    void connect_engines(bool forward_progress);
    // A frame of one engine arrived: pairs it with its partner or queues it.
    void take_frame(bool from_a);
    // Takes one pair of spectra into the ring and publishes.
    // Takes one pair of spectra into the ring, drops the first `done` queued
    // frames, and publishes.
    void update(const value_type* a, const value_type* b, std::size_t done);
    void push_pending(const value_type* spectrum, std::size_t lines);
    void drop_pending(std::size_t count);
    void compute(const value_type* a, const value_type* b);
    std::uint64_t frame_count(bool of_a) const;
    std::uint64_t lines_used() const;

    ryx::device* m_root_device = nullptr;
    ryx::math::fft* m_fft_a = nullptr;
    ryx::math::fft* m_fft_b = nullptr;
    bool m_acquiring = true;
    int m_average = 8;
    double m_acquired_percent = 0.0;
    ryx::analog_data* m_source = nullptr;
    detail::averaging_ring<value_type> m_ring;
    value_type* m_target = nullptr;
    std::uint64_t m_size = 0;
    bool m_owns_engines = true;
    double m_window_power = 0.0;
    std::uint64_t m_cnt = 0;

    // Frame pairing: each engine's frames() when this object was last
    // initialised, and a ring of spectra of the engine that is ahead, oldest at
    // the head, holding its frames first_pending, first_pending + 1, ...
    std::uint64_t m_base_a = 0;
    std::uint64_t m_base_b = 0;
    std::vector<std::vector<value_type>> m_pending;
    std::size_t m_pending_head = 0;
    std::size_t m_pending_count = 0;
    std::uint64_t m_first_pending = 0;
    bool m_pending_from_a = true;
    detail::lifeline m_life;
};

} // namespace ryx::math
