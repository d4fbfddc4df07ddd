#pragma once

#include "ryx/dsp/Layout.h"

namespace Dsp {
namespace detail {

// Fills an analog Chebyshev low-shelf layout (the computation that both Chebyshev
// families share). gainDb: shelf gain, dB; rippleDb: ripple (type I) or stop-band
// value (type II), dB.
void designChebyshevLowShelf(LayoutBase& layout, int numPoles, double gainDb, double rippleDb);

} // namespace detail
} // namespace Dsp
