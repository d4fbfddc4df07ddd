#pragma once

#include <memory>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math::detail {

// Common ground of the differentiator and the integrator: a derived channel that
// runs each source run through `taps` cascaded first-order stages whose state
// carries over from run to run.
//
// Setting: `taps`, the number of stages, an integer 1..max_taps (the editor's
// own range), default 1; saved as the "taps" attribute. Other values are
// refused, wherever they come from.
//
// Without a usable rate (not a positive normal number) a run comes out as zeros
// and the stages are left as they are. A non-finite sample makes non-finite only
// the outputs computed from it; the stages then recover.
//
// Ownership: a derived channel is a child of its source channel in the host's
// tree, and the source deletes it. A channel built without a source has no
// stage state and passes runs through unchanged.
class RYX_MATH_EXPORT staged : public ryx::analog_data
{
    Q_OBJECT
    Q_PROPERTY(int taps READ taps WRITE set_taps NOTIFY taps_changed)

public:
    ~staged() override;

    static constexpr int max_taps = 100;

    int taps() const { return m_taps; }
    // Replaces the stage state by `taps` zeros, under the device lock.
    void init();
    // Transforms [first, last) in place, updating the stages, without publishing.
    // Without stage state (a channel built without a source) nothing is changed.
    void process(std::vector<double>::iterator first, std::vector<double>::iterator last);

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;
    void set_data(const_iterator first, const_iterator last) override;

public slots:
    // Number of cascaded stages; values outside 1..max_taps and unchanged values
    // are ignored.
    void set_taps(int value);

signals:
    // Part of the interface; the channel does not emit it.
    void taps_changed();

protected:
    staged(ryx::analog_data* source, bool temporary);
    // One run through the stages: rate is the channel's rate, s the stage state.
    virtual void transform(double* x, double* end, double rate, std::vector<double>& s) const = 0;
    // Translated "Taps" in the derived class's context.
    virtual QString taps_label() const = 0;

private:
    int m_taps = 1;
    std::unique_ptr<std::vector<double>> m_state;
};

} // namespace ryx::math::detail
