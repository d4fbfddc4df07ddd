// The moving correlation fed hostile saved attributes ("array_y" as raw or
// valid Base64 of any length, "method" as any text), window parameters,
// references with non-numbers, method changes and runs of data, in any order.
#include <QByteArray>
#include <QDataStream>
#include <QDomDocument>
#include <QIODevice>
#include <QJsonArray>
#include <QPointer>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/moving/corr.h"

namespace {

// Base64 of count doubles, or of count bytes of raw input, or raw text.
QString array_text(ryx::fuzz::input& in)
{
    const int count = in.pick(64);
    switch (in.pick(3)) {
    case 0: {
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        for (int i = 0; i < count; ++i)
            s << in.number();
        return QString::fromLatin1(bytes.toBase64());
    }
    case 1: {
        QByteArray raw;
        for (int i = 0; i < count; ++i)
            raw.append(static_cast<char>(in.byte()));
        return QString::fromLatin1(raw.toBase64());
    }
    default:
        return in.text();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace mv = ryx::math::moving;
    ryx::fuzz::input in(data, size);
    auto dev = std::make_unique<ryx::device>("fuzz");
    ryx::analog_data* source = dev->add_channel("x", 1000.0 * (1 + in.pick(64)));
    QPointer<mv::corr> c = new mv::corr(source, static_cast<mv::corr::methods>(in.pick(4)), false);
    QDomDocument doc;

    for (int step = 0; step < 48 && !in.empty() && c; ++step) {
        switch (in.pick(9)) {
        case 0: {
            QDomElement e = doc.createElement("channel");
            if (in.byte() & 1)
                e.setAttribute("array_y", array_text(in));
            if (in.byte() & 1)
                e.setAttribute("method", in.text());
            c->load(e);
            break;
        }
        case 1: {
            QJsonArray a;
            for (int k = in.pick(80); k > 0; --k) {
                if (in.byte() & 3)
                    a.append(in.number());
                else
                    a.append(in.text());
            }
            c->set_reference(a);
            break;
        }
        case 2:
            c->set_parameter(in.byte() & 1 ? "window" : "time", in.number());
            break;
        case 3:
            c->set_method(static_cast<mv::corr::methods>(in.pick(4)));
            break;
        case 4:
        case 5:
        case 6: {
            const auto run = in.run(in.byte() & 1 ? 64 : 3000);
            source->set_data(run.cbegin(), run.cend());
            break;
        }
        case 7:
            if (in.byte() & 1)
                c->reset_tais();
            else
                c->reset();
            break;
        default: {
            QDomElement e = doc.createElement("channel");
            c->save(e);
            c->load(e);
            (void)c->settings();
            break;
        }
        }
    }
    return 0;
}
