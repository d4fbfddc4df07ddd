#include "ryx/math/fftw/pfc.h"

#include "ryx/math/fftw/phase.h"

namespace ryx::math::fftw {

pfc::pfc(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings)
    : dbl(source_0, source_1, settings, pairable(source_0, source_1) ? new phase(source_0, {}) : nullptr,
          pairable(source_0, source_1) ? new phase(source_1, {}) : nullptr)
{
}

pfc::pfc() : dbl(new phase(), new phase(), {})
{
    adopt_analysers();
}

void pfc::update()
{
    const side& a = paired(0);
    const side& b = paired(1);
    const std::size_t n = result_lines();
    resize(n);
    const auto* const p = qobject_cast<const phase*>(fft0());
    const double turn = p && p->view() == phase::deg ? 360.0 : 6.283185307179586;
    const int range = p ? p->range() : phase::zero_based;
    double* const y = std::vector<double>::data();
    for (std::size_t k = 0; k < n; ++k) {
        double d = a.result[k] - b.result[k];
        if (d < 0.0 && range == phase::positive)
            d = d + turn;
        if (d >= 0.0 && range == phase::negative)
            d = d - turn;
        y[k] = d;
    }
}

} // namespace ryx::math::fftw
