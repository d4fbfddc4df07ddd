#include "ryx/core/device.h"


#include "ryx/core/analog_data.h"

namespace ryx {

// The fast path must not hide a lock of its own (libatomic's, for instance).
static_assert(std::atomic<std::thread::id>::is_always_lock_free, "a thread id must be a lock-free atomic");

device::device(const QString& name, data_model_node* parent)
    : data_model_node(parent)
{
    set_name(name);
}

device::~device()
{
    prepare_deleting();
}

analog_data* device::add_channel(const QString& name, double rate)
{
    auto* channel = new analog_data(this, rate);
    channel->set_name(name);
    return channel;
}

void device::lock_ai(const QString&)
{
    const std::thread::id self = std::this_thread::get_id();
    if (m_owner.load(std::memory_order_relaxed) == self) {
        ++m_depth;
        return;
    }
    int expected = 0;
    if (!m_word.compare_exchange_strong(expected, 1, std::memory_order_acquire, std::memory_order_relaxed))
        wait_for_lock();
    m_owner.store(self, std::memory_order_relaxed);
    m_depth = 1;
}

void device::wait_for_lock()
{
    // Marks the lock contended, so that its release wakes the sleepers, and
    // takes it as soon as it is free. The release takes m_sleep before it wakes
    // anyone, so a waiter that found the lock held is asleep by then.
    std::unique_lock<std::mutex> sleep(m_sleep);
    while (m_word.exchange(2, std::memory_order_acquire) != 0)
        m_released.wait(sleep);
}

void device::unlock_ai(const QString&)
{
    if (m_owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
        return;
    if (--m_depth > 0)
        return;
    m_owner.store(std::thread::id(), std::memory_order_relaxed);
    if (m_word.exchange(0, std::memory_order_release) == 2) {
        const std::lock_guard<std::mutex> sleep(m_sleep);
        m_released.notify_all();
    }
}

int device::lock_depth() const
{
    return m_owner.load(std::memory_order_relaxed) == std::this_thread::get_id() ? m_depth : 0;
}

bool device::is_locked() const
{
    return m_word.load(std::memory_order_acquire) != 0;
}

} // namespace ryx
