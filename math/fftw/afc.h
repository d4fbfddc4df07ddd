#pragma once

#include "ryx/math/fftw/dbl.h"

namespace ryx::math::fftw {

// Amplitude frequency response: channel 0's averaged amplitude spectrum over
// channel 1's, line by line. In the dB view of analyser 0 the difference of the
// two dB spectra, in every other view their ratio. Both analysers are amplitude
// spectra (ausp) configured alike; the settings also take "view"/"ausp_view".
//
// A line where channel 1 reads 0 (or -infinity dB), so that the ratio or the
// difference is infinite or undefined, reads 0: no response is measured there.
class RYX_MATH_EXPORT afc : public dbl
{
    Q_OBJECT

public:
    afc(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings);
    // Two analysers without sources, owned by this object.
    afc();

    void update() override;
};

} // namespace ryx::math::fftw
