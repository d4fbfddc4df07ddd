#pragma once

#include "ryx/math/fftw/sngl.h"

namespace ryx::math::fftw {

// The averaged phase spectrum of one channel: line k is the arithmetic mean over
// the stored frames of arg(X[k]) + offset (no unwrapping), in radians or degrees.
// The range is a constant offset, not a modulo:
//   zero_based  arguments as they are, (-pi, pi]
//   positive    every argument plus pi, (0, 2 pi]
//   negative    every argument minus pi, (-2 pi, 0]
// Settings keys "view"/"phase_view" and "range"/"phase_range"; values outside
// the enums read as rad and zero_based.
class RYX_MATH_EXPORT phase : public sngl
{
    Q_OBJECT

public:
    enum views : int { rad = 0, deg = 1 };
    Q_ENUM(views)
    enum ranges : int { zero_based = 0, positive = 1, negative = 2 };
    Q_ENUM(ranges)

    phase(ryx::analog_data* source, const QJsonObject& settings);
    phase();

    using sngl::init;
    void init(const QJsonObject& settings) override;
    QJsonArray parameter_keys() const override;
    QJsonObject parameter(const QString& key) const override;
    bool set_parameter(const QString& key, const QVariant& value) override;
    void update() override;

    int view() const { return m_view; }
    int range() const { return m_range; }

public slots:
    void set_view(ryx::math::fftw::phase::views value);
    void set_range(ryx::math::fftw::phase::ranges value);

private:
    // Stores view and range and recomputes the result under the analysers'
    // mutex, then emits changed() without it.
    void show(int view, int range);

    int m_view = rad;
    int m_range = zero_based;
};

} // namespace ryx::math::fftw
