// Sequences of settings for the block spectral analysers, as a host script could
// send them (hostile numbers included), interleaved with runs of samples, a rate
// change and the deletion of the source tree while the objects live on.
#include <QPointer>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/fft.h"

using ryx::math::fft;

namespace {

void set_engine(fft& e, ryx::fuzz::input& bytes)
{
    switch (bytes.pick(7)) {
    case 0: e.set_frequency(bytes.number()); break;
    case 1: e.set_resolution(bytes.number()); break;
    case 2: e.set_lines(static_cast<int>(bytes.word())); break;
    case 3: e.set_window(static_cast<fft::windows>(static_cast<int>(bytes.word()) % 12 - 1)); break;
    case 4: e.set_overlap(static_cast<int>(bytes.word() % 128) - 8); break;
    case 5: e.set_zero_padding_coef(bytes.number()); break;
    default: e.init(); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    ryx::fuzz::input bytes(data, size);
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* a = dev->add_channel("a", 100.0 * (1 + bytes.pick(1024)));
    QPointer<fft> engine = new fft(a);

    while (!bytes.empty()) {
        switch (bytes.pick(8)) {
        case 0: {
            const auto run = bytes.run(8192);
            a->set_data(run.cbegin(), run.cend());
            break;
        }
        case 1: a->set_rate(bytes.number()); break;
        case 2:
            if (bytes.pick(16) == 0) {
                dev.reset(); // the objects are QObject children of the channel: they go too
                return 0;
            }
            break;
        default:
            if (engine)
                set_engine(*engine, bytes);
            break;
        }
    }
    return 0;
}
