// The smallest host: a device with one channel, a low-pass filter channel on it
// and a moving RMS of the filtered signal, fed in runs as an acquisition card
// delivers them.
#include <cmath>
#include <cstdio>
#include <vector>

#include <ryx/core/device.h>
#include <ryx/math/filter_iir.h>
#include <ryx/math/moving/rms.h>

int main()
{
    ryx::device card("card");
    ryx::analog_data* input = card.add_channel("input", 1000.0); // 1000 samples/s

    // Derived channels belong to their source: the device deletes them.
    auto* lowpass = new ryx::math::filter_iir(input);            // Butterworth, order 1, 100 Hz
    lowpass->set_order(4);
    lowpass->set_frequency(50.0);                                 // Hz
    auto* level = new ryx::math::moving::rms(lowpass, false);     // 1 s window
    level->set_time(0.5);                                         // s

    std::vector<double> run(100);
    for (int k = 0; k < 20; ++k) {                                // 2 s in runs of 100
        for (std::size_t i = 0; i < run.size(); ++i) {
            const double t = (k * 100.0 + static_cast<double>(i)) / 1000.0;
            run[i] = std::sin(2.0 * M_PI * 10.0 * t) + 0.5 * std::sin(2.0 * M_PI * 200.0 * t);
        }
        input->set_data(run.cbegin(), run.cend());                // publishes to both channels
    }
    // The 10 Hz sine passes, the 200 Hz one is filtered out: RMS about 1/sqrt(2).
    std::printf("moving RMS after the low-pass: %.3f\n", level->back());
    return 0;
}
