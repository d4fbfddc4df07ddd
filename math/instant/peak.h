#pragma once

#include <memory>

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

class max;
class min;
class offset;

// The larger distance of the extremes from their midpoint, combined from three
// owned measurements on the same source (a max, a min and an offset, each with
// default settings). After every run of the source, value becomes
// max(|max - offset|, |min - offset|) of their last results and changed() is
// emitted; the peak's own slot runs before theirs, so it sees their results up
// to the previous run. The peak's own block cycle keeps the same combination as
// its block result, with the usual averaging and single shot.
class RYX_MATH_EXPORT peak : public value
{
    Q_OBJECT

public:
    peak(ryx::analog_data* source, const QJsonObject& settings);
    ~peak() override;

public slots:
    // Also retimes the max, the min and the offset, in that order.
    void set_time(double t) override;

protected:
    void calculate() override;

protected slots:
    void data_changed() override;

private:
    double combined() const;

    std::unique_ptr<max> m_max;
    std::unique_ptr<min> m_min;
    std::unique_ptr<offset> m_offset;
};

} // namespace ryx::math::instant
