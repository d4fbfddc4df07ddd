#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <vector>

#include "ryx/ryx_core_export.h"

namespace ryx {

class data_model_node;

// Watches a node from a stack frame while the code it calls may delete the node,
// at the cost of a few stores and no allocation: node() turns null as soon as
// the node announces its deletion. It also walks the node's children as they
// were when the walk started, skipping those deleted meanwhile (children added
// meanwhile come after the walk's end), so that a child or a listener may
// delete or add nodes while the walk goes on.
//
// The guards of a node are not synchronised: in a tree below a device, attach
// and release them only while holding the device lock, as the publication of a
// run and ryx::device_lock do.
class node_guard
{
public:
    node_guard() = default;
    explicit node_guard(data_model_node* node) { watch(node); }
    ~node_guard() { release(); }

    node_guard(const node_guard&) = delete;
    node_guard& operator=(const node_guard&) = delete;

    // Watches another node (none for null).
    inline void watch(data_model_node* node);
    // Stops watching; node() is null afterwards.
    inline void release();
    data_model_node* node() const { return m_node; }

    // Starts a walk over the watched node's present children.
    inline void start_children();
    // The next child of the walk that is still there; null at the walk's end or
    // once the watched node is being deleted.
    inline data_model_node* next_child();

private:
    friend class data_model_node;

    data_model_node* m_node = nullptr;
    node_guard* m_next = nullptr;   // the next guard of the same node
    node_guard** m_link = nullptr;  // the pointer that points at this guard
    std::size_t m_child = 0;        // the walk: next child index ...
    std::size_t m_child_end = 0;    // ... and the end of the children it covers
};

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

    // Whether the node is a channel (a ryx::analog_data), known without a cast.
    bool is_channel() const { return m_channel; }

signals:
    void deleting();
    void name_changed();
    void child_added(ryx::data_model_node* child);

protected:
    void set_channel() { m_channel = true; }

private:
    friend class node_guard;

    void attach_child(data_model_node* child);
    void detach_child(data_model_node* child);
    // Tells every guard watching this node that it is going.
    void drop_guards();

    QString m_name;
    data_model_node* m_parent = nullptr;
    std::vector<data_model_node*> m_children;
    node_guard* m_guards = nullptr; // the guards watching this node, newest first
    bool m_deleting = false;
    bool m_channel = false;
};

void node_guard::watch(data_model_node* node)
{
    release();
    if (!node)
        return;
    m_node = node;
    m_child = m_child_end = 0;
    m_link = &node->m_guards;
    m_next = node->m_guards;
    if (m_next)
        m_next->m_link = &m_next;
    node->m_guards = this;
}

void node_guard::release()
{
    if (!m_node)
        return;
    *m_link = m_next;
    if (m_next)
        m_next->m_link = m_link;
    m_node = nullptr;
    m_next = nullptr;
    m_link = nullptr;
}

void node_guard::start_children()
{
    m_child = 0;
    m_child_end = m_node ? m_node->m_children.size() : 0;
}

data_model_node* node_guard::next_child()
{
    if (!m_node || m_child >= m_child_end)
        return nullptr;
    return m_node->m_children[m_child++];
}

} // namespace ryx
