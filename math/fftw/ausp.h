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
    // Forms the new frame's line terms once, so that each frame costs one
    // frame of magnitudes however many frames are averaged. A derived class
    // that reworks _out calls this last.
    void preprocess() override;

    int view() const { return m_view; }

public slots:
    // Stores the view and recomputes the result from the stored frames.
    void set_view(ryx::math::fftw::ausp::views value);

protected:
    // A frame's term of each line: |X[k]| / (N / 2), lines 0 and N / 2 halved.
    virtual void line_terms(const std::complex<double>* x, double* out, std::size_t count) const;
    // y[k] = the sum over the L stored frames, oldest first, of term[k] / L, for
    // every line of the result. Halving a term or the sum is the same (a factor
    // of 1/2 is exact), so for the amplitude this is the sum of
    // |X[k]| / (N / 2) / L with lines 0 and N / 2 then halved.
    void average_lines();
    // Applies the view to every line, dB being db_factor x log10(y / reference).
    void apply_view(double db_factor);

private:
    // Whether the newest rows are the stored frames' terms.
    bool rows_hold_frames() const;
    // Stores the view and recomputes the result under the analysers' mutex, then
    // emits changed() without it (a listener may reconfigure any analyser).
    void show(int value);

    int m_view = linear;
    // The line terms of the newest frames, oldest first, at most `average`
    // rows: the newest L rows are those of the L stored frames, since both
    // take every frame and drop the oldest beyond `average` at the same time.
    // The storage of a dropped row takes the next frame.
    std::list<std::vector<double>> m_rows;
};

} // namespace ryx::math::fftw
