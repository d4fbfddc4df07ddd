#pragma once

#include <cstdint>

#include "ryx/core/units.h"
#include "ryx/math/instant/value.h"

namespace ryx::math::instant {

// Amplitude about the block mean: the largest distance of a block sample from
// the block's mean, linear or in dB relative to the source's reference() (unit
// dB; the other units read linear). The result does not depend on how the
// source's runs split the block.
class RYX_MATH_EXPORT ampl : public value
{
    Q_OBJECT
    Q_PROPERTY(ryx::units unit READ get_unit WRITE set_unit NOTIFY unit_changed)

public:
    // Settings as value, plus "view": the unit as an int (0 linear, 1 dB, 2 rms;
    // default 0), and "dc": an initial mean, replaced by the first chunk.
    ampl(ryx::analog_data* source, const QJsonObject& settings);
    ~ampl() override;

    ryx::units get_unit() const { return m_unit; }

signals:
    void unit_changed();

public slots:
    void set_time(double t) override;
    // Values outside the enumeration are ignored.
    void set_unit(ryx::units unit);

protected:
    void before_copying_data(iterator first, iterator last) override;
    void after_copying_data(iterator first, iterator last) override;
    void calculate() override;

private:
    double m_sum = 0.0; // sum of the block's current contents
    double m_dc = 0.0;  // block mean after the last chunk
    detail::published<ryx::units> m_unit = ryx::units::linear; // read by the data run
};

} // namespace ryx::math::instant
