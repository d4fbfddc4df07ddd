#pragma once

#include <cstdint>

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

class delta_phase;

// Position of the most recent rising zero crossing in a history of the source:
// at every block end the history (held in the block) takes in the source's
// current run, and the crossing is searched backwards from its end. The front
// tracker of delta_phase.
class RYX_MATH_EXPORT last_front : public value
{
    Q_OBJECT

public:
    last_front(ryx::analog_data* source, const QJsonObject& settings);
    ~last_front() override;

    // Samples between the last rising zero crossing and the end of the history,
    // 1 being the newest sample; -1 while none is known.
    std::int64_t front_position() const { return m_front; }
    // Frequency, Hz, the history length was last tuned to (1.1 periods of it).
    double tracking_frequency() const { return m_tracking; }

protected:
    void calculate() override;
    // The history takes its length in samples once the source has a rate.
    void rate_arrived() override;

    // Takes the source's current run into the history and searches the front.
    void update_front();
    // For a frequency f > 0 differing from the tracked one by more than 1e-9 Hz:
    // tracks f, makes the history 1.1 periods long and forgets the front.
    void retune(double f);

    std::int64_t m_front = -1;
    double m_tracking = 100.0;

    friend class delta_phase;
};

} // namespace ryx::math::instant
