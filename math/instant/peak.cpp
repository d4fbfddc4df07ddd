#include "ryx/math/instant/peak.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

#include "ryx/math/instant/max.h"

namespace ryx::math::instant {

namespace detail {

// A max, a min and an offset in one: it follows the source in blocks of its own
// and keeps, at each block's end, the block's largest and smallest sample and
// their midpoint, all 0 until the first block ends and after a retiming. Its
// block is never shown, so the runs are only read, not copied into it.
class extremes_follower : public max
{
public:
    explicit extremes_follower(ryx::analog_data* source) : max(source, QJsonObject()) {}
    ~extremes_follower() override { prepare_deleting(); }

    double largest() const { return m_largest; }
    double smallest() const { return m_smallest; }
    double midpoint() const { return m_midpoint; }

    void set_time(double t) override
    {
        recreate_block(t, [this] {
            m_samples.clear();
            m_largest = 0.0;
            m_smallest = 0.0;
            m_midpoint = 0.0;
        });
    }

protected:
    void copy_data(const double* from, std::size_t position, std::size_t n) override
    {
        if (position == 0)
            m_samples.clear();
        m_samples.add(from, n);
    }

    void calculate() override
    {
        const bool none = m_samples.empty();
        const double hi = none ? 0.0 : m_samples.largest();
        const double lo = none ? 0.0 : m_samples.smallest();
        m_largest = hi;
        m_smallest = lo;
        m_midpoint = none ? 0.0 : (hi + lo) * 0.5;
        m_value = hi;
    }

private:
    published<double> m_largest = 0.0;
    published<double> m_smallest = 0.0;
    published<double> m_midpoint = 0.0;
};

} // namespace detail

peak::peak(ryx::analog_data* source, const QJsonObject& settings) : value(source, settings)
{
    // Built after the peak's own connection to the source: its slot runs after it.
    m_extremes = std::make_unique<detail::extremes_follower>(source);
    // It measures over the peak's own block duration, as set_time keeps it;
    // built with the defaults it would use 0.1 s whatever the settings asked for.
    m_extremes->set_time(get_time());
    set_default_name(QStringLiteral("peak"));
}

peak::~peak()
{
    prepare_deleting();
}

void peak::set_time(double t)
{
    // A listener may delete the peak from time_changed().
    const QPointer<peak> self(this);
    value::set_time(t);
    if (!self)
        return;
    m_extremes->set_time(t);
}

double peak::combined() const
{
    const double mid = m_extremes->midpoint();
    return std::max(std::fabs(m_extremes->largest() - mid), std::fabs(m_extremes->smallest() - mid));
}

void peak::calculate()
{
    m_value = combined();
}

void peak::data_changed()
{
    const life_guard self(this);
    value::data_changed();
    if (!self || !is_running() || !source())
        return;
    m_value = combined();
    emit changed();
}

} // namespace ryx::math::instant
