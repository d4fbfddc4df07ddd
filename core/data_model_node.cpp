#include "ryx/core/data_model_node.h"

#include <QPointer>
#include <algorithm>

namespace ryx {

data_model_node::data_model_node(data_model_node* parent)
    : QObject(parent), m_parent(parent)
{
    if (m_parent)
        m_parent->attach_child(this);
}

data_model_node::~data_model_node()
{
    prepare_deleting();
    // A guard taken while the node was already going (by a child's destructor,
    // say) is gone by now; none may outlive the node.
    drop_guards();
    m_parent = nullptr;
}

void data_model_node::set_name(const QString& value)
{
    if (value == m_name)
        return;
    m_name = value;
    emit name_changed();
}

data_model_node* data_model_node::root()
{
    data_model_node* node = this;
    while (node->m_parent)
        node = node->m_parent;
    return node;
}

void data_model_node::prepare_deleting()
{
    if (m_deleting)
        return;
    m_deleting = true;
    // Code further up the stack that still works on this node stops here.
    drop_guards();
    emit deleting();

    // Stop receiving anything from the parent at once; the parent pointer itself
    // stays until the node is gone, so that a destructor can still take the lock.
    if (m_parent)
        m_parent->detach_child(this);

    // Children go while this node is still whole, so that their destructors may
    // still reach the parent (its lock, its rate). Deleting one child may delete
    // others, hence the guarded copy.
    const QObjectList owned = children();
    std::vector<QPointer<QObject>> guarded(owned.begin(), owned.end());
    for (auto& child : guarded)
        delete child.data();
}

void data_model_node::attach_child(data_model_node* child)
{
    m_children.push_back(child);
    emit child_added(child);
}

void data_model_node::detach_child(data_model_node* child)
{
    const auto found = std::find(m_children.begin(), m_children.end(), child);
    if (found == m_children.end())
        return;
    const auto index = static_cast<std::size_t>(found - m_children.begin());
    m_children.erase(found);
    // Walks over the children keep their place: the children after the one that
    // left move down by one.
    for (node_guard* guard = m_guards; guard; guard = guard->m_next) {
        if (index < guard->m_child)
            --guard->m_child;
        if (index < guard->m_child_end)
            --guard->m_child_end;
    }
}

void data_model_node::drop_guards()
{
    node_guard* guard = m_guards;
    m_guards = nullptr;
    while (guard) {
        node_guard* const next = guard->m_next;
        guard->m_node = nullptr;
        guard->m_next = nullptr;
        guard->m_link = nullptr;
        guard = next;
    }
}

} // namespace ryx
