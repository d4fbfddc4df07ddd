#pragma once

#include "ryx/math/fftw/dbl.h"

namespace ryx::math::fftw {

// Phase frequency response: channel 0's averaged phase spectrum minus channel
// 1's, line by line, in the view of analyser 0 (rad, or deg) and folded into its
// range: with `positive` a negative difference gains one turn, with `negative`
// a non-negative one loses one, with `zero_based` it stays as it is. Both
// analysers are phase spectra configured alike; the settings also take
// "view"/"phase_view" and "range"/"phase_range".
class RYX_MATH_EXPORT pfc : public dbl
{
    Q_OBJECT

public:
    pfc(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings);
    // Two analysers without sources, owned by this object.
    pfc();

    void update() override;
};

} // namespace ryx::math::fftw
