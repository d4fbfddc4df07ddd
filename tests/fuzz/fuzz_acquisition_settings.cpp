// Settings objects and editor changes for the acquisition analysers: a settings
// object parsed from the bytes as JSON or assembled from hostile values under
// the known keys, then set_parameter calls, start/stop/purge, rate changes and
// runs of samples, and the deletion of the source while the analyser lives on.
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <algorithm>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/orsp.h"
#include "ryx/math/fftw/phase.h"
#include "ryx/math/fftw/psd.h"
#include "ryx/math/fftw/sngl.h"
#include "ryx/math/fftw/spen.h"

namespace f = ryx::math::fftw;

namespace {

const char* const keys[] = {"frequency", "freq", "resolution", "res", "samples", "zeros", "average", "avg",
                            "overlap", "window", "decay", "is_single", "single_shot", "start", "delay",
                            "view", "ausp_view", "phase_view", "range", "phase_range", "harm_freq", "max_order"};
constexpr int key_count = sizeof(keys) / sizeof(keys[0]);

f::sngl* make(int kind, ryx::analog_data* a, const QJsonObject& s)
{
    switch (kind % 6) {
    case 0: return new f::sngl(a, s);
    case 1: return new f::ausp(a, s);
    case 2: return new f::psd(a, s);
    case 3: return new f::spen(a, s);
    case 4: return new f::orsp(a, s);
    default: return new f::phase(a, s);
    }
}

// The views, ranges and order settings that are not editor keys of the base.
void set_other(f::sngl& analyser, ryx::fuzz::input& bytes)
{
    const int code = static_cast<int>(static_cast<std::int32_t>(bytes.word()) % 7) - 2;
    if (auto* o = qobject_cast<f::orsp*>(&analyser)) {
        if (bytes.pick(2))
            o->set_harm_freq(bytes.number());
        else
            o->set_max_order(static_cast<std::size_t>(bytes.word()));
    } else if (auto* p = qobject_cast<f::phase*>(&analyser)) {
        if (bytes.pick(2))
            p->set_view(static_cast<f::phase::views>(code));
        else
            p->set_range(static_cast<f::phase::ranges>(code));
    } else if (auto* a = qobject_cast<f::ausp*>(&analyser)) {
        a->set_view(static_cast<f::ausp::views>(code));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    ryx::fuzz::input bytes(data, size);
    const int kind = bytes.byte();
    QJsonObject settings = bytes.settings(keys, key_count);
    // Zeros close to N make every couple of samples a full transform of N
    // points: legal, but slower than the harness's timeout allows at large N.
    if (settings.contains(QLatin1String("zeros")))
        settings[QLatin1String("zeros")] = std::clamp(settings.value(QLatin1String("zeros")).toDouble(), 0.0, 64.0);
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* a = dev->add_channel("a", 100.0 * (1 + bytes.pick(1024)));
    QPointer<f::sngl> analyser = make(kind, a, settings);

    while (!bytes.empty() && analyser) {
        switch (bytes.pick(10)) {
        case 8: set_other(*analyser, bytes); break;
        case 0:
        case 1: {
            const auto run = bytes.run(4096);
            if (a)
                a->set_data(run.cbegin(), run.cend());
            break;
        }
        case 2:
            analyser->set_parameter(QString::fromLatin1(keys[bytes.pick(key_count)]), bytes.json_value().toVariant());
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
