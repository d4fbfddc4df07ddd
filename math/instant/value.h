#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "ryx/core/device_lock.h"
#include "ryx/ryx_math_export.h"

namespace ryx {
class analog_data;
}

namespace ryx::math::instant {

namespace detail {

// A number the data thread writes and any thread may read: relaxed atomic
// loads and stores, which cost what plain ones do. Only one thread writes, so
// the compound assignments need no read-modify-write instruction.
template <class T>
class published
{
public:
    published(T v = T()) : m_value(v) {}
    published& operator=(T v)
    {
        m_value.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator T() const { return m_value.load(std::memory_order_relaxed); }
    published& operator+=(T v) { return *this = *this + v; }
    published& operator-=(T v) { return *this = *this - v; }

private:
    std::atomic<T> m_value;
};

} // namespace detail

// Base of the scalar block measurements. It follows one source channel, copies
// each run into a block of `time` seconds (N samples), computes one result per
// full block and keeps the last `avg_cnt` results for averaging.
//
// A measurement supplies the hooks: before_copying_data sees a chunk of the
// block just before new samples overwrite it, after_copying_data sees the same
// chunk holding the new samples, calculate turns the kept state into the block
// result; a measurement that only observes the new samples may instead take
// copy_data, which writes the chunk and observes it in one read. A chunk never
// crosses the end of the block.
//
// Ownership: a measurement belongs to whoever created it, not to its source. It
// follows the source until the source announces deleting(); from then on it
// holds no source and stays inert.
//
// Threads: the data run executes on the thread that publishes the source's
// runs, under the source's device lock; the block's shape and the source link
// only change under that lock, so the setters may be called from any thread.
// The getters too: the results, the kept list and the settings the data run
// reads are published atomically or read under a lock.
class RYX_MATH_EXPORT value : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ get_name WRITE set_name NOTIFY name_changed)
    Q_PROPERTY(double time READ get_time WRITE set_time NOTIFY time_changed)
    Q_PROPERTY(double value READ get_value NOTIFY changed)
    Q_PROPERTY(double avg_value READ get_avg_value NOTIFY changed)
    Q_PROPERTY(unsigned int avg_cnt READ get_avg_cnt WRITE set_avg_cnt NOTIFY avg_cnt_changed)
    Q_PROPERTY(QList<qreal> values READ get_values)
    Q_PROPERTY(double acq_time READ get_acq_time)
    Q_PROPERTY(QJsonArray data READ get_data)
    Q_PROPERTY(double dt READ get_dt)
    Q_PROPERTY(double ptr READ get_ptr)

public:
    using iterator = std::vector<double>::const_iterator;

    // Settings: "time" (block duration, s, > 0; default 0.1), "avg" (results
    // averaged, 1..max_avg_cnt, other values read as 1; default 1), "start" (run at once; default true),
    // "single_shot" (stop after avg results; default false), "delay" (s of
    // source skipped before the first block; default 0), "name" (display name;
    // default: the measurement's own name).
    value(ryx::analog_data* source, const QJsonObject& settings);
    ~value() override;

    QString get_name() const;
    double get_time() const { return m_time; }
    // Result of the last full block.
    double get_value() const { return m_value; }
    // Mean of the kept results; 0 when none is kept.
    double get_avg_value() const;
    unsigned int get_avg_cnt() const { return m_avg_cnt; }
    // Kept results, oldest first.
    QList<qreal> get_values() const;
    // Seconds needed for a full average: avg_cnt x time.
    double get_acq_time() const;
    // The block's samples, index 0 first.
    QJsonArray get_data() const;
    // Sample interval of the source, s; 0 without a source.
    double get_dt() const;
    // How far into the current block, s.
    double get_ptr() const;

    bool is_running() const { return m_running; }
    // The block length in samples (0 until a source with a rate sets it).
    std::size_t block_size() const;

    // The longest block accepted, in samples; longer durations are clamped.
    static constexpr std::size_t max_block = std::size_t(1) << 23;
    // The shortest block, in samples.
    static constexpr std::size_t min_block = 10;
    // The most results kept for averaging: about 12 days of 1 s blocks, in
    // 8 MiB; far more than any display averages, but a bound on the memory a
    // saved setting can claim.
    static constexpr unsigned int max_avg_cnt = 1u << 20;

protected:
    // The chunk [first, last) of the block, about to be overwritten.
    virtual void before_copying_data(iterator first, iterator last);
    // The same chunk, now holding the new samples.
    virtual void after_copying_data(iterator first, iterator last);
    // Writes the n samples from `from` into the block from `position` on (a
    // chunk as the hooks above see it) and shows them to the measurement: by
    // default before_copying_data, the copy and after_copying_data. A
    // measurement that only observes the incoming samples may copy and observe
    // them in one read instead. fill_position() is the chunk's start
    // throughout.
    virtual void copy_data(const double* from, std::size_t position, std::size_t n);
    // Stores the result of the full block in m_value.
    virtual void calculate() = 0;

signals:
    void name_changed();
    void time_changed();
    void avg_cnt_changed();
    // A block result is available.
    void changed();
    // Acquisition stopped after a result (single shot done, or stopped meanwhile).
    void finished();

public slots:
    // Starts acquiring unless already running (then returns false). Empties the
    // kept results; delay (s) >= 0 replaces the number of source samples to skip,
    // a negative delay keeps it. The block is continued where it stood.
    bool start(double delay);
    bool start();
    // Both only switch acquisition off; nothing is cleared or emitted.
    void stop();
    void stop_acq();
    void set_name(const QString& name);
    // Block duration t, s. The block becomes round(t x rate) samples, at least
    // min_block and at most max_block (time then reads the clamped duration);
    // it is re-created empty and the results are cleared. A change within 1e-9 s,
    // a NaN or a missing source is ignored.
    virtual void set_time(double t);
    // 0 keeps no results at all; counts above max_avg_cnt are ignored.
    void set_avg_cnt(unsigned int count);

protected slots:
    // One data run of the source.
    virtual void data_changed();

private slots:
    void disconnect_from_ad();

protected:
    // Tells whether the measurement still exists after a call that may delete
    // it (a listener of its signals). Unlike a QPointer it counts no
    // references: the destructor marks the guards of the runs in progress.
    // Only the data run creates one, under the source's device lock.
    class life_guard
    {
    public:
        explicit life_guard(value* owner) : m_owner(owner), m_outer(owner->m_life) { owner->m_life = this; }
        ~life_guard()
        {
            if (m_alive)
                m_owner->m_life = m_outer;
        }
        explicit operator bool() const { return m_alive; }

        life_guard(const life_guard&) = delete;
        life_guard& operator=(const life_guard&) = delete;

    private:
        friend class value;
        value* m_owner;
        life_guard* m_outer; // the guard of an enclosing run, if a listener started one
        bool m_alive = true;
    };

    // What the block cycle does once calculate() has run: keep m_value as the
    // block's result, or nothing when calculate produced no result or already
    // kept one itself through keep_result().
    enum class block_outcome { result, kept, none };

    // Re-creates the block for duration t as set_time describes; under the same
    // lock runs reset_state, which clears what a measurement derives from the
    // block. Returns whether the block was re-created.
    bool recreate_block(double t, const std::function<void()>& reset_state);
    // Appends a result to the kept list, stops a completed single shot and
    // trims the list to avg_cnt.
    void keep_result(double result);
    // Mean of the kept results.
    double kept_mean() const;
    // Switches acquisition off under the device lock; each destructor calls it
    // first, so that a run in progress on another thread completes before the
    // measurement's members go.
    void prepare_deleting();
    // Holds the source's device lock while the returned guard lives; locks
    // nothing without a source.
    ryx::device_lock source_lock() const;
    // Called when the source's rate changes: a block sized without a rate takes
    // its duration now (resize_block).
    virtual void rate_arrived();
    // Re-creates the block for the current duration, even though the duration is
    // unchanged: through set_time, or only the block and the results.
    void resize_block(bool block_only = false);
    bool sized_without_rate() const { return m_sized_without_rate; }
    // Sets the display name unless one was given in the settings.
    void set_default_name(const QString& name);

    ryx::analog_data* source() const { return m_source; }
    double rate() const;
    // Block position where the next sample goes.
    std::size_t fill_position() const { return m_fill; }
    std::vector<double>& block() { return m_block; }
    const std::vector<double>& block() const { return m_block; }

    detail::published<double> m_value = 0.0;
    block_outcome m_outcome = block_outcome::result;

private:
    detail::published<double> m_time = 0.0;
    QString m_name;
    ryx::analog_data* m_source = nullptr;
    std::vector<double> m_block;
    std::size_t m_fill = 0;
    mutable QMutex m_values_mutex; // guards m_values between the data run and readers
    QList<qreal> m_values;
    std::atomic<unsigned int> m_avg_cnt{1};
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_single_shot{false};
    std::atomic<std::uint64_t> m_delay{0};
    bool m_name_given = false;
    bool m_sized_without_rate = false; // the block was sized while the source had no rate
    bool m_force_resize = false;       // set_time re-creates the block even for the same duration
    life_guard* m_life = nullptr;      // the innermost run in progress on this measurement
};

} // namespace ryx::math::instant
