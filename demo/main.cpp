// A minimal host: one device with a 1 kHz channel fed with a 50 Hz sine plus
// offset in runs of 100 samples, as an acquisition device would deliver it.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QObject>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/analog_data.h"
#include "core/device.h"
#include "math/mathFunctions.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);

    ryx::device dev("demo device");
    ryx::analog_data* ch = dev.add_channel("vibration", 1000.0);

    const double rate = ch->get_rate();
    std::vector<double> signal(1000);
    for (std::size_t i = 0; i < signal.size(); ++i)
        signal[i] = 0.5 + 2.0 * std::sin(2.0 * M_PI * 50.0 * static_cast<double>(i) / rate);

    std::size_t runs = 0;
    std::vector<double> last_stats;
    QObject::connect(ch, &ryx::analog_data::data_changed, [&] {
        ++runs;
        ch->lock_device(QString());
        last_stats = {mathFunctions::mean(ch->cbegin(), ch->cend()),
                      mathFunctions::rms(ch->cbegin(), ch->cend()),
                      mathFunctions::max(ch->cbegin(), ch->cend()),
                      mathFunctions::min(ch->cbegin(), ch->cend())};
        ch->unlock_device(QString());
    });

    for (std::size_t at = 0; at < signal.size(); at += 100)
        ch->set_data(signal.cbegin() + static_cast<std::ptrdiff_t>(at),
                     signal.cbegin() + static_cast<std::ptrdiff_t>(at + 100));

    std::printf("device '%s', channel '%s' at %.0f Hz: %zu runs received\n",
                qPrintable(dev.name()), qPrintable(ch->name()), rate, runs);
    std::printf("last run (one 50 Hz period x 5): mean %.4f  rms %.4f  max %.4f  min %.4f\n",
                last_stats[0], last_stats[1], last_stats[2], last_stats[3]);
    std::printf("whole signal: mean %.4f (expected 0.5), var %.4f, kurtosis %.4f\n",
                mathFunctions::mean(signal.cbegin(), signal.cend()),
                mathFunctions::var(signal.cbegin(), signal.cend()),
                mathFunctions::kurt(signal.cbegin(), signal.cend()));
    std::printf("channel settings: %s\n",
                QJsonDocument(ch->settings()).toJson(QJsonDocument::Compact).constData());
    return 0;
}
