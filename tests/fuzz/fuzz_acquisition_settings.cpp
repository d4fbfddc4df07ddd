// Settings objects and editor changes for the acquisition analysers: a settings
// object parsed from the bytes as JSON or assembled from hostile values under
// the known keys, then set_parameter calls, start/stop/purge, rate changes and
// runs of samples, and the deletion of the source while the analyser lives on.
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/fftw/sngl.h"

namespace f = ryx::math::fftw;

namespace {

const char* const keys[] = {"frequency", "freq", "resolution", "res", "samples", "zeros", "average", "avg",
                            "overlap", "window", "decay", "is_single", "single_shot", "start", "delay",
                            "view", "ausp_view", "phase_view", "range", "phase_range", "harm_freq", "max_order"};
constexpr int key_count = sizeof(keys) / sizeof(keys[0]);

QJsonValue hostile(ryx::fuzz::input& bytes)
{
    switch (bytes.pick(4)) {
    case 0: return bytes.number();
    case 1: return static_cast<double>(static_cast<std::int32_t>(bytes.word()));
    case 2: return bool(bytes.byte() & 1);
    default: return bytes.text();
    }
}

f::sngl* make(int, ryx::analog_data* a, const QJsonObject& s)
{
    return new f::sngl(a, s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    ryx::fuzz::input bytes(data, size);
    const int kind = bytes.byte();
    QJsonObject settings;
    if (bytes.byte() & 1) {
        settings = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data) + 2,
                                                      static_cast<qsizetype>(size - 2)))
                       .object();
    } else {
        for (int k = bytes.pick(8); k > 0; --k)
            settings[keys[bytes.pick(key_count)]] = hostile(bytes);
    }
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* a = dev->add_channel("a", 100.0 * (1 + bytes.pick(1024)));
    QPointer<f::sngl> analyser = make(kind, a, settings);

    while (!bytes.empty() && analyser) {
        switch (bytes.pick(9)) {
        case 0:
        case 1: {
            const auto run = bytes.run(4096);
            if (a)
                a->set_data(run.cbegin(), run.cend());
            break;
        }
        case 2:
            analyser->set_parameter(QString::fromLatin1(keys[bytes.pick(key_count)]), hostile(bytes).toVariant());
            break;
        case 3:
            if (bytes.pick(2))
                analyser->start(bytes.number());
            else
                analyser->start();
            break;
        case 4: analyser->stop(); break;
        case 5: analyser->purge(); break;
        case 6:
            if (a)
                a->set_rate(bytes.number());
            break;
        case 7:
            if (bytes.pick(2)) {
                analyser->set_freq(bytes.number());
            } else {
                analyser->set_res(bytes.number());
            }
            break;
        default:
            if (bytes.pick(16) == 0) {
                dev.reset(); // the analyser is a QObject child of its channel: it goes too
                a = nullptr;
            } else {
                analyser->init(settings);
            }
            break;
        }
    }
    return 0;
}
