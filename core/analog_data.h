#pragma once

#include <QDomElement>
#include <QJsonObject>
#include <QString>
#include <QVariant>
#include <vector>

#include "ryx/core/data_model_node.h"
#include "ryx/core/units.h"

namespace ryx {

class device;

// A channel of sampled values. The vector holds the channel's latest run. A
// channel built on another channel (a derived channel) is its child in the tree:
// it runs at the parent's rate and receives every run the parent publishes
// through its virtual set_data. The parent owns it and deletes it.
//
// Settings: `rate`, samples per second, a positive normal number (a device
// channel is created with its rate, 0 meaning none when the given one is not
// valid; a derived channel takes its parent's; set_rate ignores invalid values); `unit` 0 linear, 1 dB
// relative to reference(), 2 RMS, default linear; reference() > 0, default 1.
class RYX_CORE_EXPORT analog_data : public data_model_node, public std::vector<double>
{
    Q_OBJECT
    Q_PROPERTY(double rate READ get_rate WRITE set_rate NOTIFY rate_changed)
    Q_PROPERTY(ryx::units unit READ unit WRITE set_unit NOTIFY unit_changed)

public:
    using const_iterator = std::vector<double>::const_iterator;

    // A derived channel below parent (null: a free-standing channel at rate 0).
    // A temporary channel is the private helper of an analysis object: it is
    // neither checkable nor saved with its parent's children.
    explicit analog_data(analog_data* parent = nullptr, bool temporary = false);
    // A device's own channel.
    analog_data(device* owner, double rate);
    ~analog_data() override;

    double get_rate() const { return m_rate; }
    bool is_temporary() const { return m_temporary; }

    ryx::units unit() const { return m_unit; }
    void set_unit(ryx::units value);
    void set_reference(double value);

    // The root device's lock reached through this channel; nothing is locked
    // when the tree has no device at its root.
    void lock_device(const QString& tag);
    void unlock_device(const QString& tag);
    // The device at the root of this channel's tree; null when there is none.
    // A channel stays in the tree it was built in, so this never changes.
    device* root_device() const { return m_device; }

    // Drops the buffered run.
    void purge();

    // The child channels that receive this channel's runs.
    std::vector<analog_data*> child_channels() const;

public slots:
    virtual bool is_checkable();
    virtual void save(QDomElement& element);
    virtual void save_childs(QDomElement& element);
    virtual void load(const QDomElement& element);
    virtual void load_childs(const QDomElement& element);
    virtual void get_state(QJsonObject& state);
    virtual QJsonObject settings() const;
    virtual bool set_parameter(const QString& name, const QVariant& value);
    // Stores the run [first, last) (which may lie inside this channel's own
    // vector), emits data_changed() and pushes the run into every child channel,
    // all under the device lock.
    virtual void set_data(const_iterator first, const_iterator last);
    virtual double reference() const;
    virtual void set_rate(double value);

signals:
    void data_changed();
    void rate_changed();
    void unit_changed();

private:
    device* m_device = nullptr;
    double m_rate = 0.0;
    double m_reference = 1.0;
    ryx::units m_unit = ryx::units::linear;
    bool m_temporary = false;
};

} // namespace ryx
