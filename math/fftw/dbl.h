#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariant>
#include <complex>
#include <cstdint>
#include <vector>

#include "ryx/math/detail/lifeline.h"
#include "ryx/math/detail/row_ring.h"
#include "ryx/math/fftw/sngl.h"
#include "ryx/ryx_math_export.h"

namespace ryx {
class analog_data;
class device;
} // namespace ryx

namespace ryx::math::fftw {

// The base of the two-channel analysers: two single-channel analysers, one per
// source channel, configured alike, started and stopped together; the derived
// class computes its result (update()) from each pair of frames of the same
// moment.
//
// Frame pairing: frame k of analyser 0 is paired with frame k of analyser 1,
// whatever the lengths of the host's runs and the order in which it feeds the
// two channels. The frames of the analyser that is ahead wait in a queue (at
// most max_pending frames, and max_pending_values values) until their partners
// arrive; update() runs once per pair and changed() follows it. Frames are
// numbered from the analysers' last start or reconfiguration; when only one of
// them restarts, the pairing starts afresh from the next frame of each.
// finished() and inited() come once both analysers have sent theirs (the k-th
// of each); progress_changed() on every second progress signal of either.
//
// Missing analysers: sources on different devices (or on none) leave the pair
// unpaired, with no analysers; an analyser's deletion drops both. Every
// operation then skips what is missing: samples() 0, an empty result.
//
// Ownership: analysers made for a source are children of that source channel
// (they go with it); the analysers that a derived class's parameterless
// constructor makes are children of this object. The object itself has no
// parent.
//
// The device lock of the sources' device brackets every reconfiguration; the
// analysers' own mutex is taken inside it.
// A meta-object cast request for "std::vector<qreal>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT dbl : public QObject, public std::vector<qreal>
{
    Q_OBJECT
    Q_PROPERTY(QJsonArray data READ data NOTIFY changed)
    Q_PROPERTY(double acq_time READ acq_time CONSTANT)
    Q_PROPERTY(double resolution READ resolution CONSTANT)
    Q_PROPERTY(QObject* fft0 READ fft0_object CONSTANT)
    Q_PROPERTY(QObject* fft1 READ fft1_object CONSTANT)

public:
    // Frames waiting for their partners: at most this many, and at most
    // max_pending_values values in all (long frames queue fewer).
    static constexpr std::size_t max_pending = 512;
    static constexpr std::size_t max_pending_values = std::size_t(1) << 23;

    // Builds (or, when given, initialises) one analyser per source with the
    // settings. "average" (default 1) is the number of frame pairs the
    // history-keeping analysers average.
    dbl(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings, sngl* fft0, sngl* fft1);
    // For analysers built by the caller (both must be given); no device lock.
    dbl(sngl* fft0, sngl* fft1, QJsonObject settings);
    ~dbl() override;

    virtual double resolution() const;
    virtual QJsonObject config() const;
    virtual QJsonArray parameter_keys() const;
    virtual QJsonObject parameter(const QString& key) const;
    // Sets the key on analyser 0 and, when it took it, on analyser 1; "avg" also
    // sets the averaging of the pairs.
    virtual bool set_parameter(const QString& key, const QVariant& value);
    virtual void init(const QJsonObject& settings);
    // Computes the result from the current pair (paired()).
    virtual void update() = 0;

    // Zeroes the result at analyser 0's length and restarts the counts and the
    // pairing (the progress count is kept).
    void init();

    void set_source_0(ryx::analog_data* source, const QJsonObject& settings);
    void set_source_1(ryx::analog_data* source, const QJsonObject& settings);
    ryx::analog_data* source_0() const;
    ryx::analog_data* source_1() const;

    void lock_device_data();
    void unlock_device_data();

    std::uint64_t samples() const;
    double frequency() const;
    double acq_time() const;
    double progress() const;
    QJsonArray data() const;
    int average() const { return m_average; }
    sngl* fft0() const { return m_fft0; }
    sngl* fft1() const { return m_fft1; }
    QObject* fft0_object() const { return m_fft0; }
    QObject* fft1_object() const { return m_fft1; }
    ryx::device* device() const { return m_device; }

    std::uint64_t changed_count() const { return m_changed_count; }
    std::uint64_t finished_count() const { return m_finished_count; }
    std::uint64_t progress_count() const { return m_progress_count; }
    std::uint64_t inited_count() const { return m_inited_count; }

public slots:
    void start();
    void start(double delay);
    void stop();

signals:
    void deleting();
    void changed();
    void finished();
    void progress_changed();
    void source_changed();
    void inited();

protected:
    // One side of the pair update() works on: the analyser's result vector and
    // its frame (N/2 + 1 values; frame_size 0 when there is none), either the
    // analyser's own or a copy kept while the partner was awaited.
    struct side
    {
        const double* result = nullptr;
        std::size_t result_size = 0;
        const std::complex<double>* frame = nullptr;
        std::size_t frame_size = 0;
    };
    const side& paired(int index) const { return m_pair[index & 1]; }
    // Lines both results hold, and both frames (0 when either is missing).
    std::size_t result_lines() const;
    std::size_t frame_lines() const;

    // For the parameterless constructors of derived classes: this object owns
    // the analysers it was given.
    void adopt_analysers();
    // Whether two sources can be paired: both on one device. A derived class
    // that builds its own analysers builds them only then.
    static bool pairable(ryx::analog_data* source_0, ryx::analog_data* source_1);
    // The frame sequence restarted (a start, a reconfiguration, a new source):
    // a class that keeps a history of pairs clears it here.
    virtual void pairing_restarted() {}

private slots:
    void fft_changed();
    void fft_deleted();
    void fft_finished();
    void fft_progress_changed();
    void fft_inited();
    void device_deleted();

private:
    // Gives analyser `index` (0 or 1) the source, the other one the same
    // settings; a null source releases both.
    void attach(int index, ryx::analog_data* source, const QJsonObject& settings);
    void connect_analysers();
    void disconnect_analysers();
    void connect_device();
    void disconnect_device();
    void reset_result();
    // 0 or 1 for a signal of analyser 0 or 1, -1 for anything else.
    int side_of(const QObject* sender) const;
    // A signal of the k-th pair of this kind: true when both analysers have now
    // sent it k times.
    bool count_pair(std::uint64_t (&per_side)[2], int index);

    // Pairing.
    void restart_pairing();
    void follow_restarts();
    void take_frame(int index);
    void queue_frame(int index, std::uint64_t number);
    void set_live(int index);
    void set_queued(int index, std::size_t slot);
    void publish(std::size_t done);
    // Reconfigured through this object: counts moved, the pairing restarts,
    // the result is recomputed from the analysers' current state.
    void after_reconfiguration(std::uint64_t changed_before);

    sngl* m_fft0 = nullptr;
    sngl* m_fft1 = nullptr;
    int m_average = 1;
    ryx::device* m_device = nullptr;
    std::uint64_t m_changed_count = 0;
    std::uint64_t m_finished_count = 0;
    std::uint64_t m_progress_count = 0;
    std::uint64_t m_inited_count = 0;

    std::uint64_t m_finished_sides[2] = {0, 0};
    std::uint64_t m_inited_sides[2] = {0, 0};
    bool m_reset_seen[2] = {false, false};
    bool m_reconfiguring = false;

    // Frame numbers: frame_count() of analyser i minus m_base[i], within
    // generation m_generation[i]; m_last[i] the newest number taken.
    std::uint64_t m_generation[2] = {0, 0};
    std::uint64_t m_base[2] = {0, 0};
    std::uint64_t m_last[2] = {0, 0};

    // The queue of the analyser that is ahead: its frames m_first_pending,
    // m_first_pending + 1, ..., oldest first.
    detail::row_ring<double> m_pending_results;
    detail::row_ring<std::complex<double>> m_pending_frames;
    std::uint64_t m_first_pending = 0;
    int m_pending_side = 0;

    side m_pair[2];
    detail::lifeline m_life;
};

} // namespace ryx::math::fftw
