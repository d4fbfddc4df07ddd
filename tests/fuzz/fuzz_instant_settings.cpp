// Settings objects for every block measurement, either parsed from the bytes
// as JSON or assembled from hostile values under the known keys, then fed.
#include <QJsonDocument>
#include <QJsonObject>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/instant/ampl.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/delta_phase.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/kurt.h"
#include "ryx/math/instant/last_front.h"
#include "ryx/math/instant/max.h"
#include "ryx/math/instant/min.h"
#include "ryx/math/instant/offset.h"
#include "ryx/math/instant/peak.h"
#include "ryx/math/instant/peak_to_peak.h"
#include "ryx/math/instant/rms.h"
#include "ryx/math/instant/sum.h"
#include "ryx/math/instant/var.h"

namespace in = ryx::math::instant;

namespace {

std::unique_ptr<in::value> make(int kind, ryx::analog_data* a, ryx::analog_data* b, const QJsonObject& s)
{
    switch (kind % 14) {
    case 0: return std::make_unique<in::avg>(a, s);
    case 1: return std::make_unique<in::sum>(a, s);
    case 2: return std::make_unique<in::rms>(a, s);
    case 3: return std::make_unique<in::var>(a, s);
    case 4: return std::make_unique<in::kurt>(a, s);
    case 5: return std::make_unique<in::max>(a, s);
    case 6: return std::make_unique<in::min>(a, s);
    case 7: return std::make_unique<in::peak_to_peak>(a, s);
    case 8: return std::make_unique<in::offset>(a, s);
    case 9: return std::make_unique<in::peak>(a, s);
    case 10: return std::make_unique<in::ampl>(a, s);
    case 11: return std::make_unique<in::freq>(a, s);
    case 12: return std::make_unique<in::last_front>(a, s);
    default: return std::make_unique<in::delta_phase>(a, b, s);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    ryx::fuzz::input bytes(data, size);
    QJsonObject settings;
    const int kind = bytes.byte();
    if (bytes.byte() & 1) {
        settings = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data) + 2,
                                                      static_cast<qsizetype>(size - 2)))
                       .object();
    } else {
        static const char* keys[] = {"name", "time", "avg", "start", "single_shot", "delay", "view", "dc"};
        for (int k = bytes.pick(8); k > 0; --k) {
            const char* key = keys[bytes.pick(8)];
            switch (bytes.pick(3)) {
            case 0: settings[key] = bytes.number(); break;
            case 1: settings[key] = bytes.text(); break;
            default: settings[key] = bool(bytes.byte() & 1); break;
            }
        }
    }
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* a = dev->add_channel("a", 1000.0 * (1 + bytes.pick(64)));
    ryx::analog_data* b = dev->add_channel("b", a->get_rate());
    auto measurement = make(kind, a, b, settings);
    for (int k = 0; k < 4; ++k) {
        const auto run = bytes.run(4096);
        a->set_data(run.cbegin(), run.cend());
        b->set_data(run.cbegin(), run.cend());
    }
    (void)measurement->get_avg_value();
    (void)measurement->get_values();
    if (bytes.byte() & 1)
        dev.reset(); // the sources go first
    return 0;
}
