#include <cmath>
#include <cstdio>
#include <vector>

#include "core/analog_data.h"
#include "core/device.h"
#include "dsp/Butterworth.h"
#include "math/filter_iir.h"
#include "math/mathFunctions.h"

// Builds against the installed package: a channel, a derived filter channel and
// the design engine directly.
int main()
{
    ryx::device dev("consumer");
    ryx::analog_data* ch = dev.add_channel("x", 1000.0);
    auto* lowpass = new ryx::math::filter_iir(ch, false);
    const std::vector<double> run{3.0, 4.0};
    ch->set_data(run.cbegin(), run.cend());
    const double r = mathFunctions::rms(ch->cbegin(), ch->cend());

    Dsp::Butterworth::LowPass<4> design;
    design.setup(4, 1000.0, 100.0);
    const double g = std::abs(design.response(0.1));

    const bool ok = r > 3.5354 && r < 3.5356 && lowpass->size() == 2 && std::fabs(g - std::sqrt(0.5)) < 1e-9
                    && std::fabs(lowpass->response(0.1) - std::sqrt(0.5)) < 1e-9;
    std::printf(ok ? "ok\n" : "wrong\n");
    return 0;
}
