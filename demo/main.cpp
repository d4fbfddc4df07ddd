// A minimal host: one device with a 1 kHz vibration channel fed in runs of 100
// samples (a 50 Hz sine of amplitude 2 on an offset of 0.5, plus a 300 Hz
// disturbance), with the library's objects attached as a host would attach them:
// an IIR low-pass channel, a differentiator and an integrator, sliding-window
// channels and block measurements. Prints what each publishes.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/math/diff.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/peak_to_peak.h"
#include "ryx/math/instant/rms.h"
#include "ryx/math/intg.h"
#include "ryx/math/mathFunctions.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/rms.h"

namespace {

void line(const char* what, double value, const char* expected)
{
    std::printf("  %-44s %10.4f   %s\n", what, value, expected);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    ryx::device dev("demo device");
    ryx::analog_data* ch = dev.add_channel("vibration", 1000.0);
    const double rate = ch->get_rate();

    // Derived channels hang below the source and are owned by it.
    auto* lowpass = new ryx::math::filter_iir(ch, false);
    lowpass->set_order(4);
    lowpass->set_frequency(100.0);
    auto* velocity = new ryx::math::intg(lowpass, false);
    auto* jerk = new ryx::math::diff(lowpass, false);
    auto* moving_mean = new ryx::math::moving::avg(ch, false);
    auto* moving_rms = new ryx::math::moving::rms(lowpass, false);
    moving_rms->set_time(0.2);

    // Block measurements are owned by the host; one block of 1 s each.
    const QJsonObject one_second{{"time", 1.0}};
    ryx::math::instant::avg mean(ch, one_second);
    ryx::math::instant::rms rms_raw(ch, one_second);
    ryx::math::instant::rms rms_filtered(lowpass, one_second);
    ryx::math::instant::peak_to_peak p2p(lowpass, one_second);
    ryx::math::instant::freq frequency(lowpass, one_second);

    std::vector<double> signal(3000);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        signal[i] = 0.5 + 2.0 * std::sin(2.0 * M_PI * 50.0 * t) + 0.5 * std::sin(2.0 * M_PI * 300.0 * t);
    }
    for (std::size_t at = 0; at < signal.size(); at += 100)
        ch->set_data(signal.cbegin() + static_cast<std::ptrdiff_t>(at),
                     signal.cbegin() + static_cast<std::ptrdiff_t>(at + 100));

    const double g50 = lowpass->response(50.0 / rate);
    const double g300 = lowpass->response(300.0 / rate);
    std::printf("device '%s', channel '%s' at %.0f Hz, 3 s fed in runs of 100 samples\n\n",
                qPrintable(dev.name()), qPrintable(ch->name()), rate);
    std::printf("IIR channel '%s': Butterworth low-pass, order 4, 100 Hz\n", qPrintable(lowpass->name()));
    line("gain at 50 Hz", g50, "(pass band)");
    // A 4th-order Butterworth falls 80 dB a decade: about -50 dB at 3 times the cut-off.
    const QByteArray stop = QStringLiteral("(stop band: %1 dB)").arg(20.0 * std::log10(g300), 0, 'f', 1).toUtf8();
    line("gain at 300 Hz", g300, stop.constData());
    std::printf("\nblock measurements over the last second\n");
    line("mean of the source", mean.get_value(), "expected 0.5");
    line("RMS of the source", rms_raw.get_value(), "expected sqrt(0.25 + 2 + 0.125) = 1.5411");
    line("RMS after the low-pass", rms_filtered.get_value(), "about sqrt(0.25 + 2 g50^2)");
    line("peak to peak after the low-pass", p2p.get_value(), "about 4 g50");
    line("frequency after the low-pass, Hz", frequency.get_value(), "expected 50");
    std::printf("\nsliding-window channels, last sample\n");
    line("moving mean of the source (1 s window)", moving_mean->back(), "expected 0.5");
    line("moving RMS after the low-pass (0.2 s)", moving_rms->back(), "as the block RMS");
    std::printf("\nderivative and integral channels of the low-passed signal, last run\n");
    const auto jmax = mathFunctions::max(jerk->cbegin(), jerk->cend());
    line("largest derivative in the run, 1/s", jmax, "about 2 g50 * 2 pi 50");
    line("integral, last sample", velocity->back(), "grows with the 0.5 offset: 0.5 t");
    std::printf("\nsettings descriptor of the IIR channel:\n%s\n",
                QJsonDocument(lowpass->settings()).toJson(QJsonDocument::Compact).constData());
    return 0;
}
