#pragma once

#include <QString>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"

namespace ryx {

// Holds a device's lock for the lifetime of the guard, so that an exception or an
// early return can never leave the device locked. Built on a channel, it takes
// the lock of the channel's root device; a channel without a device at its root
// locks nothing. A slot run under the guard may delete the device's tree: the
// guard then has nothing left to release and touches nothing. It allocates
// nothing: the tag is shared with the caller's string, not copied.
class device_lock
{
public:
    explicit device_lock(ryx::device* dev, const QString& tag = QString()) : m_tag(tag)
    {
        if (dev) {
            dev->lock_ai(m_tag);
            m_device.watch(dev); // under the lock, as node guards want
        }
    }
    explicit device_lock(ryx::analog_data* channel, const QString& tag = QString())
        : device_lock(channel ? channel->root_device() : nullptr, tag)
    {
    }
    ~device_lock() { unlock(); }

    // Releases the lock before the guard goes out of scope; later calls do nothing.
    void unlock()
    {
        if (auto* dev = static_cast<ryx::device*>(m_device.node())) {
            m_device.release();
            dev->unlock_ai(m_tag);
        }
    }

    device_lock(const device_lock&) = delete;
    device_lock& operator=(const device_lock&) = delete;

private:
    ryx::node_guard m_device;
    QString m_tag;
};

} // namespace ryx
