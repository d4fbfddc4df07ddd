#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "ryx/core/data_model_node.h"

namespace ryx {

class analog_data;

// An acquisition device: the root of a tree of channels. Its lock brackets every
// read of source samples and every reconfiguration touching them. The lock is
// recursive: one thread may nest brackets, and it is released when the count of
// nested brackets returns to zero. Prefer the scoped ryx::device_lock
// (ryx/core/device_lock.h) to bare lock_ai/unlock_ai pairs.
//
// The lock belongs to a thread, identified by its id: a thread must release
// every lock it takes before it ends. One that ends while holding it leaves the
// device locked for good (others wait forever), and a later thread that the
// system gives the same id would find itself the holder. The scoped guard makes
// that impossible for any code that unwinds normally.
class RYX_CORE_EXPORT device : public data_model_node
{
    Q_OBJECT

public:
    explicit device(const QString& name = QString(), data_model_node* parent = nullptr);
    ~device() override;

    // Adds a channel sampled at rate Hz; the device owns it.
    analog_data* add_channel(const QString& name, double rate);

    // The tag names the caller ("set array" for array uploads, empty otherwise).
    void lock_ai(const QString& tag);
    // An unlock by a thread that does not hold the lock is ignored.
    void unlock_ai(const QString& tag);

    // Nesting depth of the lock held by the calling thread (0 when it holds none).
    int lock_depth() const;
    // Whether any thread holds the lock.
    bool is_locked() const;

private:
    void wait_for_lock();

    // m_word is 0 when the lock is free, 1 when a thread holds it, 2 when one
    // holds it and others may be waiting. Taking or releasing the lock
    // uncontended is one atomic exchange on it; waiters sleep on m_released
    // under m_sleep. The holder alone writes m_owner (itself on entry, no thread
    // on exit) and m_depth; a thread reading m_owner sees itself there only if it
    // holds the lock.
    std::atomic<int> m_word{0};
    std::atomic<std::thread::id> m_owner{};
    int m_depth = 0;
    std::mutex m_sleep;
    std::condition_variable m_released;
};

} // namespace ryx
