#pragma once

#include <QPointer>
#include <QString>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"

namespace ryx {

// Holds a device's lock for the lifetime of the guard, so that an exception or an
// early return can never leave the device locked. Built on a channel, it takes
// the lock of the channel's root device; a channel without a device at its root
// locks nothing. A slot run under the guard may delete the device's tree: the
// guard then has nothing left to release and touches nothing.
class device_lock
{
public:
    explicit device_lock(ryx::device* dev, const QString& tag = QString()) : m_device(dev), m_tag(tag)
    {
        if (dev)
            dev->lock_ai(m_tag);
    }
    explicit device_lock(ryx::analog_data* channel, const QString& tag = QString())
        : device_lock(channel ? qobject_cast<ryx::device*>(channel->root()) : nullptr, tag)
    {
    }
    ~device_lock() { unlock(); }

    // Releases the lock before the guard goes out of scope; later calls do nothing.
    void unlock()
    {
        if (ryx::device* dev = m_device) {
            m_device.clear();
            dev->unlock_ai(m_tag);
        }
    }

    device_lock(const device_lock&) = delete;
    device_lock& operator=(const device_lock&) = delete;

private:
    QPointer<ryx::device> m_device;
    QString m_tag;
};

} // namespace ryx
