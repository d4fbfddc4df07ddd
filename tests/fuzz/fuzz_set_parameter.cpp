// Sequences of parameter changes, rate changes, runs and deletions on a chain
// of derived channels, as a host's editor and acquisition produce them.
#include <QPointer>
#include <QVariant>
#include <memory>

#include "channels.h"
#include "fuzz_input.h"
#include "ryx/core/device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ryx::fuzz::input in(data, size);
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* source = dev->add_channel("x", 1000.0 * (1 + in.pick(64)));
    QPointer<ryx::analog_data> channel = ryx::fuzz::make_channel(in.byte(), source);
    QPointer<ryx::analog_data> chained = ryx::fuzz::make_channel(in.byte(), channel);
    const QStringList& names = ryx::fuzz::parameter_names();

    for (int step = 0; step < 64 && !in.empty(); ++step) {
        ryx::analog_data* target = in.byte() & 1 ? channel.data() : chained.data();
        switch (in.pick(8)) {
        case 0:
        case 1:
        case 2:
            if (target)
                target->set_parameter(names[in.pick(static_cast<int>(names.size()))], in.number());
            break;
        case 3:
            if (target)
                target->set_parameter(names[in.pick(static_cast<int>(names.size()))], in.text());
            break;
        case 4:
        case 5: {
            const auto run = in.run(2048);
            source->set_data(run.cbegin(), run.cend());
            break;
        }
        case 6:
            source->set_rate(in.number());
            break;
        default:
            if (in.byte() < 16)
                delete target;
            else if (target)
                (void)target->settings();
            break;
        }
    }
    return 0;
}
