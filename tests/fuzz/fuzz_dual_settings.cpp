// Settings objects and editor changes for the two-channel analysers: a settings
// object parsed from the bytes as JSON or assembled from hostile values under
// the known keys (the correlation's "time" included), then runs of samples fed
// to either channel in any order, set_parameter, init, start/stop, new sources
// (the other channel, none, a channel of another device), and the deletion of
// an analyser, a channel or the whole device while the analyser lives on.
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <algorithm>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/fftw/afc.h"
#include "ryx/math/fftw/coh.h"
#include "ryx/math/fftw/corr.h"
#include "ryx/math/fftw/cross.h"
#include "ryx/math/fftw/pfc.h"

namespace f = ryx::math::fftw;

namespace {

const char* const keys[] = {"frequency", "freq", "resolution", "res", "samples", "zeros", "average", "avg",
                            "overlap", "window", "decay", "is_single", "single_shot", "start", "delay",
                            "view", "ausp_view", "phase_view", "range", "phase_range", "time"};
constexpr int key_count = sizeof(keys) / sizeof(keys[0]);

f::dbl* make(int kind, ryx::analog_data* a, ryx::analog_data* b, const QJsonObject& s)
{
    switch (kind % 8) {
    case 0: return new f::afc(a, b, s);
    case 1: return new f::pfc(a, b, s);
    case 2: return new f::coh(a, b, s);
    case 3: return new f::corr(a, b, s);
    case 4: return new f::cross(a, b, s);
    case 5: return new f::coh();
    case 6: return new f::afc();
    default: return new f::cross();
    }
}

// Keeps the settings' sizes within what the harness's timeout allows: frames
// of up to 2^14 points, and the correlation's lags to match.
void tame(QJsonObject& settings)
{
    const auto clamp = [&](const char* key, double lo, double hi) {
        const QString k = QString::fromLatin1(key);
        if (settings.contains(k) && settings.value(k).isDouble())
            settings[k] = std::clamp(settings.value(k).toDouble(), lo, hi);
    };
    clamp("zeros", 0.0, 64.0);
    clamp("samples", -10.0, 8192.0);
    clamp("time", -1.0, 0.1);
    if (settings.contains(QLatin1String("resolution")) || settings.contains(QLatin1String("res")))
        settings.remove(QLatin1String("resolution")), settings.remove(QLatin1String("res"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    ryx::fuzz::input bytes(data, size);
    const int kind = bytes.byte();
    QJsonObject settings = bytes.settings(keys, key_count);
    tame(settings);
    auto dev = std::make_unique<ryx::device>("fuzz");
    auto other = std::make_unique<ryx::device>("other");
    QPointer<ryx::analog_data> ch[2] = {dev->add_channel("a", 100.0 * (1 + bytes.pick(512))),
                                        dev->add_channel("b", 100.0 * (1 + bytes.pick(512)))};
    ryx::analog_data* foreign = other->add_channel("c", 1000.0);
    QPointer<f::dbl> analyser = make(kind, bytes.pick(8) == 0 ? foreign : ch[0].data(), ch[1], settings);
    const std::unique_ptr<f::dbl> owner(analyser.data());

    while (!bytes.empty() && analyser) {
        switch (bytes.pick(10)) {
        case 0:
        case 1:
        case 2: {
            const auto run = bytes.run(4096);
            if (ryx::analog_data* c = ch[bytes.pick(2)])
                c->set_data(run.cbegin(), run.cend());
            break;
        }
        case 3:
            analyser->set_parameter(QString::fromLatin1(keys[bytes.pick(key_count - 1)]), bytes.json_value().toVariant());
            break;
        case 4:
            if (bytes.pick(2))
                analyser->start(bytes.number());
            else
                analyser->start();
            break;
        case 5:
            if (bytes.pick(2))
                analyser->stop();
            else
                analyser->init();
            break;
        case 6: {
            const int which = bytes.pick(4);
            ryx::analog_data* s = which == 0 ? nullptr : which == 1 ? foreign : ch[bytes.pick(2)].data();
            if (bytes.pick(2))
                analyser->set_source_0(s, settings);
            else
                analyser->set_source_1(s, settings);
            break;
        }
        case 7:
            if (bytes.pick(4) == 0) {
                if (f::sngl* a = bytes.pick(2) ? analyser->fft0() : analyser->fft1())
                    delete a;
            } else {
                analyser->init(settings);
            }
            break;
        default:
            if (bytes.pick(8) == 0) {
                dev.reset(); // the analysers are children of their channels: they go too
            } else if (bytes.pick(8) == 0) {
                delete ch[bytes.pick(2)].data();
            } else {
                analyser->set_parameter(QStringLiteral("samples"), static_cast<int>(bytes.pick(512)));
            }
            break;
        }
    }
    return 0;
}
