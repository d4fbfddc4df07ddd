// Sequences of settings for the block spectral analysers, as a host script sends
// them (every writable Qt property, with hostile numbers and enumerator codes,
// and the setters that are not properties), interleaved with runs of samples on
// two channels, rate changes, and the deletion of a channel or of the whole tree
// while the objects live on.
#include <QMetaProperty>
#include <QPointer>
#include <memory>

#include "fuzz_input.h"
#include "ryx/core/device.h"
#include "ryx/math/ceps.h"
#include "ryx/math/cpsd.h"
#include "ryx/math/delta_phase_spec.h"
#include "ryx/math/fft.h"
#include "ryx/math/octv.h"
#include "ryx/math/orsp.h"
#include "ryx/math/psd.h"
#include "ryx/math/spec.h"

namespace m = ryx::math;

namespace {

QVariant hostile(ryx::fuzz::input& bytes, int type)
{
    if (type == QMetaType::Double)
        return bytes.number();
    const auto word = static_cast<std::int32_t>(bytes.word());
    switch (bytes.pick(3)) {
    case 0: return word;
    case 1: return word % 300 - 20;
    default: return word % 5;
    }
}

// Writes a random writable property of the object.
void set_property(QObject& object, ryx::fuzz::input& bytes)
{
    const QMetaObject* meta = object.metaObject();
    const int first = QObject::staticMetaObject.propertyCount();
    const int count = meta->propertyCount() - first;
    if (count <= 0)
        return;
    const QMetaProperty p = meta->property(first + bytes.pick(count));
    if (p.isWritable())
        p.write(&object, hostile(bytes, p.metaType().id()));
}

// The setters that are not properties.
void set_other(QObject& object, ryx::fuzz::input& bytes)
{
    if (auto* e = qobject_cast<m::fft*>(&object)) {
        switch (bytes.pick(4)) {
        case 0: e->set_zero_padding_coef(bytes.number()); break;
        case 1: e->set_lines(static_cast<int>(bytes.word())); break;
        case 2: e->set_overlap(static_cast<int>(bytes.word() % 128) - 8); break;
        default: e->set_window(static_cast<m::fft::windows>(static_cast<int>(bytes.word() % 12) - 1)); break;
        }
    } else if (auto* s = qobject_cast<m::spec*>(&object)) {
        const int codes[] = {0, 1, 2, 3, 255, 7, -1};
        s->set_type(static_cast<m::spec::types>(codes[bytes.pick(7)]));
        if (bytes.pick(8) == 0)
            s->get_power_density(bytes.number(), bytes.number());
        if (bytes.pick(16) == 0)
            s->stop_acq();
    } else if (auto* o = qobject_cast<m::orsp*>(&object)) {
        switch (bytes.pick(5)) {
        case 0: o->set_search_type(static_cast<m::orsp::search_types>(static_cast<int>(bytes.word() % 300))); break;
        case 1: o->set_order_max(bytes.word()); break;
        case 2: o->set_search_freq(bytes.number()); break;
        case 3: o->set_freq_idx(static_cast<int>(bytes.word())); break;
        default: o->handle_freqmeter_changed(); break;
        }
    } else if (auto* c = qobject_cast<m::ceps*>(&object)) {
        c->set_time(bytes.number());
    } else if (auto* d = qobject_cast<m::delta_phase_spec*>(&object)) {
        d->set_overlap(static_cast<int>(bytes.word() % 128) - 8);
    }
}

QObject* make(int kind, ryx::analog_data* a, ryx::analog_data* b)
{
    switch (kind % 9) {
    case 0: return new m::fft(a);
    case 1: return new m::spec(m::spec::ausp, a);
    case 2: return new m::spec(m::spec::spen, a);
    case 3: return new m::psd(a);
    case 4: return new m::cpsd(a, b);
    case 5: return new m::ceps(a);
    case 6: return new m::octv(a);
    case 7: return new m::orsp(a);
    default: return new m::delta_phase_spec(a, b); // owned here: no parent
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
    ryx::analog_data* b = dev->add_channel("b", a->get_rate());
    const int kind = bytes.byte();
    QPointer<QObject> object = make(kind, a, b);
    // The phase-difference object has no parent; every other one is a child of channel a.
    std::unique_ptr<QObject> owned(object && !object->parent() ? object.data() : nullptr);

    while (!bytes.empty()) {
        switch (bytes.pick(10)) {
        case 0:
        case 1: {
            const auto run = bytes.run(4096);
            if (a)
                a->set_data(run.cbegin(), run.cend());
            if (b && bytes.pick(2))
                b->set_data(run.cbegin(), run.cend());
            break;
        }
        case 2:
            if (a)
                a->set_rate(bytes.number());
            break;
        case 3:
            if (bytes.pick(24) == 0) {
                if (bytes.pick(2)) {
                    delete b;
                    b = nullptr;
                } else {
                    dev.reset(); // channel a's children go with it
                    a = b = nullptr;
                }
            }
            break;
        case 4:
            if (object)
                set_other(*object, bytes);
            break;
        default:
            if (object)
                set_property(*object, bytes);
            break;
        }
    }
    return 0;
}
