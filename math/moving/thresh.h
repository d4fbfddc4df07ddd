#pragma once

#include <QtGlobal>
#include <utility>
#include <vector>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving threshold: 1 while every sample of the window is at or above `level`,
// else 0 (a NaN sample is never at or above it). Each change of that state is
// announced by triggered(active, position): on activation position is the index
// of the oldest sample of the window, where the run at or above the level began;
// on deactivation it is the index of the sample that broke it. Indices count
// samples since construction or reset().
class RYX_MATH_EXPORT thresh : public per_sample<thresh, data>
{
    Q_OBJECT
    // Threshold level, in the channel's unit.
    Q_PROPERTY(double level READ level WRITE set_level NOTIFY level_changed)

public:
    thresh(ryx::analog_data* source, bool temporary);
    ~thresh() override;

    double level() const { return m_level; }

public slots:
    // A new level recounts the window against it and leaves the state inactive
    // without announcing it; the next sample announces activation if the whole
    // window is at or above the new level.
    void set_level(double value);

    void remove_value(double x) override;
    void add_value(double x) override;
    double get_value() const override;
    void reset_time() override;

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;

signals:
    void level_changed();
    void triggered(bool active, qulonglong position);

protected:
    // Changes found while a run is processed are announced once the run is done,
    // before it is published, so that a listener cannot pull the window away
    // from under the loop.
    void slide(double* first, double* last) override;

private:
    int m_count = 0; // samples of the window at or above the level
    double m_level = 1.0;
    bool m_state = false;
    bool m_deferring = false;
    std::vector<std::pair<bool, qulonglong>> m_events;
};

extern template class per_sample<thresh, data>;

} // namespace ryx::math::moving
