#pragma once

#include <QObject>
#include <QString>
#include <vector>

#include "ryx/ryx_core_export.h"

namespace ryx {

// A node of the host's data-model tree. A node owns its child nodes: deleting a
// node first announces deleting() while the node is still whole, then deletes its
// children (each announcing its own deletion), then leaves its parent.
class RYX_CORE_EXPORT data_model_node : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE set_name NOTIFY name_changed)

public:
    explicit data_model_node(data_model_node* parent = nullptr);
    ~data_model_node() override;

    QString name() const { return m_name; }
    void set_name(const QString& value);

    data_model_node* parent_node() const { return m_parent; }
    // The root of the tree; a device when the node hangs below one.
    data_model_node* root();
    const std::vector<data_model_node*>& child_nodes() const { return m_children; }

    // Announces the deletion and deletes what the node owns. Every derived
    // destructor calls it first; later calls do nothing.
    void prepare_deleting();
    bool is_deleting() const { return m_deleting; }

signals:
    void deleting();
    void name_changed();
    void child_added(ryx::data_model_node* child);

private:
    void attach_child(data_model_node* child);
    void detach_child(data_model_node* child);

    QString m_name;
    data_model_node* m_parent = nullptr;
    std::vector<data_model_node*> m_children;
    bool m_deleting = false;
};

} // namespace ryx
