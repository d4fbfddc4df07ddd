#include "ryx/math/instant/delta_phase.h"

#include <QPointer>

#include <cmath>

#include "ryx/math/instant/freq.h"

namespace ryx::math::instant {

delta_phase::delta_phase(ryx::analog_data* first, ryx::analog_data* second, const QJsonObject& settings)
    : last_front(second, settings)
{
    m_tracker = std::make_unique<last_front>(first, QJsonObject());
    m_freq = std::make_unique<freq>(first, QJsonObject());
}

delta_phase::~delta_phase()
{
    prepare_deleting();
}

void delta_phase::set_time(double t)
{
    m_freq->set_time(t);
    retune_all();
}

void delta_phase::retune_all()
{
    const double f = m_freq->get_value();
    // Retuning announces the new block length: a listener may delete us there.
    const QPointer<delta_phase> self(this);
    retune(f);
    if (self)
        m_tracker->retune(f);
}

void delta_phase::calculate()
{
    // This object's own history and front, as the tracker keeps them for the
    // first channel.
    update_front();
    m_outcome = block_outcome::none;
    if (!m_tracker->source())
        return; // the first channel is gone

    const double f = m_freq->get_value();
    double tracked = 0.0;
    std::int64_t b = 0;
    {
        const auto lock = m_tracker->source_lock();
        tracked = m_tracker->m_tracking;
        b = m_tracker->m_front;
    }

    const double r = f / tracked;
    if (!(r > 1.0 && r <= 1.2)) {
        retune_all();
        return;
    }
    const std::int64_t a = m_front;
    if (a <= 0 || b <= 0)
        return; // a front is not known yet
    const double r_src = rate();
    if (!(r_src > 0.0))
        return;
    // Cycles by which the second channel's front precedes the first's.
    const double x = static_cast<double>(a - b) * f / r_src;
    if (x > 1.0)
        return;
    double phase = std::fmod(360.0 * x, 360.0);
    if (phase < 0.0)
        phase += 360.0;
    if (phase >= 360.0)
        phase = 0.0;
    keep_result(phase);
    m_value = kept_mean();
    m_outcome = block_outcome::kept;
}

} // namespace ryx::math::instant
