#include "ryx/core/analog_data.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <functional>

#include "ryx/core/device.h"
#include "ryx/core/device_lock.h"

namespace ryx {

namespace {

bool valid_unit(int value)
{
    return value >= 0 && value <= 2;
}

// A rate is a positive, normal, finite number of samples per second; anything
// else (0, NaN, infinity, a subnormal) means the channel has no rate.
bool valid_rate(double value)
{
    return std::isnormal(value) && value > 0.0;
}

QString tr_host(const char* text)
{
    return QCoreApplication::translate("ryx::analog_data", text);
}

} // namespace

analog_data::analog_data(analog_data* parent, bool temporary)
    : data_model_node(parent), m_device(parent ? parent->root_device() : nullptr), m_temporary(temporary)
{
    set_channel();
    if (parent) {
        m_rate = parent->get_rate();
        m_unit = parent->unit();
        m_reference = parent->reference();
    }
}

analog_data::analog_data(device* owner, double rate)
    : data_model_node(owner), m_device(owner), m_rate(valid_rate(rate) ? rate : 0.0)
{
    set_channel();
}

analog_data::~analog_data()
{
    prepare_deleting();
}

void analog_data::set_unit(ryx::units value)
{
    if (!valid_unit(static_cast<int>(value)) || value == m_unit)
        return;
    m_unit = value;
    emit unit_changed();
}

void analog_data::set_reference(double value)
{
    if (std::isfinite(value) && value > 0.0)
        m_reference = value;
}

void analog_data::lock_device(const QString& tag)
{
    if (device* d = root_device())
        d->lock_ai(tag);
}

void analog_data::unlock_device(const QString& tag)
{
    if (device* d = root_device())
        d->unlock_ai(tag);
}

void analog_data::purge()
{
    const device_lock lock(this);
    clear();
}

std::vector<analog_data*> analog_data::child_channels() const
{
    std::vector<analog_data*> result;
    for (data_model_node* node : child_nodes())
        if (auto* channel = qobject_cast<analog_data*>(node))
            result.push_back(channel);
    return result;
}

bool analog_data::is_checkable()
{
    return !m_temporary;
}

void analog_data::save(QDomElement& element)
{
    element.setAttribute("name", name());
    element.setAttribute("unit", static_cast<int>(m_unit));
}

void analog_data::save_childs(QDomElement& element)
{
    QDomDocument document = element.ownerDocument();
    for (analog_data* child : child_channels()) {
        if (child->is_temporary())
            continue;
        QDomElement node = document.createElement("channel");
        child->save(node);
        child->save_childs(node);
        element.appendChild(node);
    }
}

void analog_data::load(const QDomElement& element)
{
    if (element.hasAttribute("name"))
        set_name(element.attribute("name"));
    bool ok = false;
    const int u = element.attribute("unit").toInt(&ok);
    if (ok && valid_unit(u))
        set_unit(static_cast<ryx::units>(u));
}

void analog_data::load_childs(const QDomElement& element)
{
    // Saved children are matched with the existing ones in order.
    QDomElement node = element.firstChildElement("channel");
    for (analog_data* child : child_channels()) {
        if (child->is_temporary())
            continue;
        if (node.isNull())
            break;
        child->load(node);
        child->load_childs(node);
        node = node.nextSiblingElement("channel");
    }
}

void analog_data::get_state(QJsonObject& state)
{
    state["name"] = name();
    state["rate"] = m_rate;
    state["unit"] = static_cast<int>(m_unit);
}

QJsonObject analog_data::settings() const
{
    QJsonObject result;
    result["10_name"] = QJsonObject{{"type", "string"}, {"value", name()}, {"label", tr_host("Name")}};
    result["12_unit"] = QJsonObject{
        {"type", "combobox"},
        {"value", static_cast<int>(m_unit)},
        {"label", tr_host("Unit")},
        {"items", QJsonArray{tr_host("linear"), tr_host("dB"), tr_host("RMS")}}};
    return result;
}

bool analog_data::set_parameter(const QString& name, const QVariant& value)
{
    if (name == QLatin1String("name")) {
        set_name(value.toString());
        return true;
    }
    if (name == QLatin1String("unit")) {
        bool ok = false;
        const int u = value.toInt(&ok);
        if (ok && valid_unit(u))
            set_unit(static_cast<ryx::units>(u));
        return true;
    }
    return false;
}

void analog_data::set_data(const_iterator first, const_iterator last)
{
    // The whole publication is one bracket of the device lock: derived channels
    // and listeners read this run, and keep their own state, under it. A listener
    // or a child may delete this channel, its siblings or the whole tree, or add
    // channels, meanwhile: the guard tells whether this channel is still there,
    // and the run goes to the children present when it was published that are
    // still there. Nothing here allocates once the vector has its capacity.
    const device_lock lock(m_device);
    node_guard self(this);

    if (first != cbegin() || last != cend()) {
        const double* from = first == last ? nullptr : &*first;
        const bool inside = from && std::greater_equal<const double*>()(from, data())
                            && std::less<const double*>()(from, data() + size());
        if (inside) {
            // A run inside our own vector: move it to the front, no reallocation.
            const auto count = last - first;
            std::copy(first, last, begin());
            resize(static_cast<size_type>(count));
        } else {
            assign(first, last);
        }
    }

    emit data_changed();

    self.start_children();
    while (data_model_node* node = self.next_child()) {
        if (node->is_channel() && !node->is_deleting())
            static_cast<analog_data*>(node)->set_data(cbegin(), cend());
    }
}

double analog_data::reference() const
{
    return m_reference;
}

void analog_data::set_rate(double value)
{
    if (!valid_rate(value))
        return;
    m_rate = value;
    // Listeners of any channel in the tree may delete channels, this one
    // included: each step goes on only with what still exists.
    const QPointer<analog_data> self(this);
    emit rate_changed();
    if (!self)
        return;
    std::vector<QPointer<analog_data>> children;
    for (analog_data* child : child_channels())
        children.emplace_back(child);
    for (const QPointer<analog_data>& child : children) {
        if (!self)
            return;
        if (child && !child->is_deleting())
            child->set_rate(value);
    }
}

} // namespace ryx
