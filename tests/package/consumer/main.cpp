#include <cstdio>
#include <vector>

#include "core/device.h"
#include "core/analog_data.h"
#include "math/mathFunctions.h"

int main()
{
    ryx::device dev("consumer");
    ryx::analog_data* ch = dev.add_channel("x", 100.0);
    const std::vector<double> run{3.0, 4.0};
    ch->set_data(run.cbegin(), run.cend());
    const double r = mathFunctions::rms(ch->cbegin(), ch->cend());
    std::printf(r > 3.5354 && r < 3.5356 ? "ok\n" : "wrong\n");
    return 0;
}
