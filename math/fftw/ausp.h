#pragma once

#include "ryx/math/fftw/sngl.h"

namespace ryx::math::fftw {

// The averaged amplitude spectrum of one channel: line k (at k x resolution Hz)
// is the mean over the stored frames of |X[k]| / (N / 2), lines 0 and N / 2
// halved, so that a sine of amplitude A on a line reads A and a DC offset D
// reads D (rectangular window; the other windows carry their amplitude factor).
//
// Views (`view`, also the settings key "view" and the editor key "ausp_view"):
//   linear  amplitude in the source's unit
//   dB      20 log10(amplitude / reference), reference the source's 0 dB level
//   rms     amplitude / sqrt 2
// Any other value shows the linear amplitude. Everything else (acquisition,
// settings, editor) is the single-channel analyser's.
class RYX_MATH_EXPORT ausp : public sngl
{
    Q_OBJECT

public:
    enum views : int { linear = 0, dB = 1, rms = 2 };
    Q_ENUM(views)

    ausp(ryx::analog_data* source, const QJsonObject& settings);
    ausp();

    using sngl::init;
    void init(const QJsonObject& settings) override;
    QJsonArray parameter_keys() const override;
    QJsonObject parameter(const QString& key) const override;
    bool set_parameter(const QString& key, const QVariant& value) override;
    void update() override;

    int view() const { return m_view; }

public slots:
    // Stores the view and recomputes the result from the stored frames.
    void set_view(ryx::math::fftw::ausp::views value);

protected:
    // y[k] = the sum over the L stored frames of |X[k]| / (N / 2) / L (amplitude)
    // or |X[k]|^2 / (N / 2) / L (power), for every line of the result, oldest
    // frame first; then line 0 and line N / 2 (when present) are halved.
    void average_lines(bool power);
    // Applies the view to every line, dB being db_factor x log10(y / reference).
    void apply_view(double db_factor);

private:
    // Stores the view and recomputes the result under the analysers' mutex, then
    // emits changed() without it (a listener may reconfigure any analyser).
    void show(int value);

    int m_view = linear;
    // One frame's line terms; grows with the lines, never per frame.
    std::vector<double> m_terms;
};

} // namespace ryx::math::fftw
