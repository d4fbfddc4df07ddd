#include "ryx/math/fftw/afc.h"

#include <cmath>

#include "ryx/math/fftw/ausp.h"

namespace ryx::math::fftw {

afc::afc(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings)
    : dbl(source_0, source_1, settings, pairable(source_0, source_1) ? new ausp(source_0, {}) : nullptr,
          pairable(source_0, source_1) ? new ausp(source_1, {}) : nullptr)
{
}

afc::afc() : dbl(new ausp(), new ausp(), {})
{
    adopt_analysers();
}

void afc::update()
{
    const side& a = paired(0);
    const side& b = paired(1);
    const std::size_t n = result_lines();
    resize(n);
    const auto* const spectrum = qobject_cast<const ausp*>(fft0());
    const bool in_db = spectrum && spectrum->view() == ausp::dB;
    double* const y = std::vector<double>::data();
    for (std::size_t k = 0; k < n; ++k) {
        const double r = in_db ? a.result[k] - b.result[k] : a.result[k] / b.result[k];
        // Channel 1 without amplitude: no ratio, and no infinity on the line.
        const bool undefined = in_db ? b.result[k] == -HUGE_VAL : b.result[k] == 0.0;
        y[k] = undefined ? 0.0 : r;
    }
}

} // namespace ryx::math::fftw
