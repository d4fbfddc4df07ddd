// Saved elements with several hostile attributes at once, loaded into every
// derived channel (and a channel built on it), then fed, saved and described.
#include <QDomDocument>
#include <QJsonObject>
#include <memory>

#include "channels.h"
#include "fuzz_input.h"
#include "ryx/core/device.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ryx::fuzz::input in(data, size);
    static const double rates[] = {1000.0, 44100.0, 51200.0, 1.0, 0.5, 1e6};
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* source = dev->add_channel("x", in.byte() < 200 ? rates[in.pick(6)] : in.number());
    ryx::analog_data* channel = ryx::fuzz::make_channel(in.byte(), source);
    ryx::analog_data* chained = ryx::fuzz::make_channel(in.byte(), channel);

    QDomDocument doc;
    for (ryx::analog_data* target : {channel, chained}) {
        QDomElement e = doc.createElement("channel");
        const QStringList& names = ryx::fuzz::parameter_names();
        for (int k = in.pick(10); k > 0; --k)
            e.setAttribute(names[in.pick(static_cast<int>(names.size()))], in.text());
        target->load(e);
    }
    for (int k = in.pick(4); k > 0; --k) {
        const auto run = in.run(4096);
        source->set_data(run.cbegin(), run.cend());
    }
    QDomElement saved = doc.createElement("channel");
    source->save(saved);
    source->save_childs(saved);
    source->load_childs(saved);
    (void)channel->settings();
    QJsonObject state;
    channel->get_state(state);
    const auto run = in.run(256);
    source->set_data(run.cbegin(), run.cend());
    return 0;
}
