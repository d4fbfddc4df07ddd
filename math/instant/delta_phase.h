#pragma once

#include <memory>

#include "ryx/math/instant/last_front.h"

namespace ryx::math::instant {

class freq;

// Phase of a second channel relative to a first one, degrees in [0, 360), from
// the distance between the last rising zero crossings of the two channels.
// The object is itself the front tracker of the second channel; it owns a
// tracker and a freq measurement of the first. Both histories are kept 1.1
// periods of the tracked frequency long; the tracked frequency follows the
// measured one whenever the ratio measured / tracked leaves (1.0, 1.2].
// Each phase is kept in `values` and value is their mean.
class RYX_MATH_EXPORT delta_phase : public last_front
{
    Q_OBJECT

public:
    // settings apply to the object itself (on the second channel); the tracker
    // and the freq measurement of the first channel run with default settings.
    delta_phase(ryx::analog_data* first, ryx::analog_data* second, const QJsonObject& settings);
    ~delta_phase() override;

public slots:
    // Retimes the freq measurement; the histories keep following the frequency.
    void set_time(double t) override;

protected:
    void calculate() override;

private:
    void retune_all();

    std::unique_ptr<last_front> m_tracker;
    std::unique_ptr<freq> m_freq;
};

} // namespace ryx::math::instant
