#pragma once

#include <memory>

#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

namespace detail {
class extremes_follower;
}

// The larger distance of the extremes from their midpoint, combined from the
// results of an owned max, min and offset on the same source (each with
// default settings but the block duration). The three read the same extremes
// of the same blocks, so one owned measurement follows the source for them and
// keeps all three results. After every run of the source, value becomes
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
    // Also retimes the max, the min and the offset.
    void set_time(double t) override;

protected:
    void calculate() override;

protected slots:
    void data_changed() override;

private:
    double combined() const;

    std::unique_ptr<detail::extremes_follower> m_extremes; // the max, the min and the offset
};

} // namespace ryx::math::instant
