#include "ryx/core/device.h"


#include "ryx/core/analog_data.h"

namespace ryx {

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
    std::unique_lock<std::mutex> guard(m_state);
    if (m_depth > 0 && m_owner == self) {
        ++m_depth;
        return;
    }
    m_released.wait(guard, [this] { return m_depth == 0; });
    m_owner = self;
    m_depth = 1;
}

void device::unlock_ai(const QString&)
{
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> guard(m_state);
    if (m_depth == 0 || m_owner != self)
        return;
    if (--m_depth == 0) {
        m_owner = std::thread::id();
        guard.unlock();
        m_released.notify_one();
    }
}

int device::lock_depth() const
{
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(m_state);
    return m_owner == self ? m_depth : 0;
}

bool device::is_locked() const
{
    std::lock_guard<std::mutex> guard(m_state);
    return m_depth > 0;
}

} // namespace ryx
