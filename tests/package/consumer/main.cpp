#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include <ryx/core/analog_data.h>
#include <ryx/core/device.h>
#include <ryx/math/mathFunctions.h>
#include <ryx/ryx_math_version.h>
#if __has_include(<ryx/math/filter_iir.h>)
#include <ryx/dsp/Butterworth.h>
#include <ryx/math/filter_iir.h>
#define HAVE_DSP 1
#endif

// Builds against the installed package with the host's own core/, math/ and dsp/
// folders on its include path: a channel, and with the design engine installed a
// derived filter channel and a design used directly.
int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], RYX_MATH_VERSION_STRING) != 0) {
        std::printf("version header %s, project %s\n", RYX_MATH_VERSION_STRING, argv[1]);
        return 1;
    }
    ryx::device dev("consumer");
    ryx::analog_data* ch = dev.add_channel("x", 1000.0);
#ifdef HAVE_DSP
    auto* lowpass = new ryx::math::filter_iir(ch, false);
#endif
    const std::vector<double> run{3.0, 4.0};
    ch->set_data(run.cbegin(), run.cend());
    const double r = mathFunctions::rms(ch->cbegin(), ch->cend());
    bool ok = r > 3.5354 && r < 3.5356;
#ifdef HAVE_DSP
    Dsp::Butterworth::LowPass<4> design;
    design.setup(4, 1000.0, 100.0);
    const double g = std::abs(design.response(0.1));
    ok = ok && lowpass->size() == 2 && std::fabs(g - std::sqrt(0.5)) < 1e-9
         && std::fabs(lowpass->response(0.1) - std::sqrt(0.5)) < 1e-9;
#endif
    std::printf(ok ? "ok\n" : "wrong\n");
    return 0;
}
