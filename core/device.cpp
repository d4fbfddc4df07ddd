#include "core/device.h"

#include <QThread>

#include "core/analog_data.h"

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
    const Qt::HANDLE self = QThread::currentThreadId();
    QMutexLocker guard(&m_state);
    if (m_depth > 0 && m_owner == self) {
        ++m_depth;
        return;
    }
    while (m_depth > 0)
        m_released.wait(&m_state);
    m_owner = self;
    m_depth = 1;
}

void device::unlock_ai(const QString&)
{
    const Qt::HANDLE self = QThread::currentThreadId();
    QMutexLocker guard(&m_state);
    if (m_depth == 0 || m_owner != self)
        return;
    if (--m_depth == 0) {
        m_owner = nullptr;
        m_released.wakeOne();
    }
}

int device::lock_depth() const
{
    const Qt::HANDLE self = QThread::currentThreadId();
    QMutexLocker guard(&m_state);
    return m_owner == self ? m_depth : 0;
}

bool device::is_locked() const
{
    QMutexLocker guard(&m_state);
    return m_depth > 0;
}

} // namespace ryx
