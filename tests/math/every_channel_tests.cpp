// What every derived channel and every instant measurement owes a host,
// checked on all of them alike: they may be deleted from a slot on any signal
// they emit, and they stay sound on a channel without a rate.

#include <QDomDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <cmath>
#include <functional>
#include <iostream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/math/diff.h"
#include "ryx/math/filter_iir.h"
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
#include "ryx/math/intg.h"
#include "ryx/math/moving/avg.h"
#include "ryx/math/moving/freq.h"
#include "ryx/math/moving/kurt.h"
#include "ryx/math/moving/max.h"
#include "ryx/math/moving/median.h"
#include "ryx/math/moving/min.h"
#include "ryx/math/moving/msd.h"
#include "ryx/math/moving/offset.h"
#include "ryx/math/moving/peak.h"
#include "ryx/math/moving/peak_to_peak.h"
#include "ryx/math/moving/period.h"
#include "ryx/math/moving/rms.h"
#include "ryx/math/moving/thresh.h"
#include "ryx/math/moving/var.h"
#if defined(RYX_TEST_CORR)
#include "ryx/math/moving/corr.h"
#endif
#include "support/host.h"

namespace {

// Deletes its victim once, from whichever signal it is connected to.
class killer : public QObject
{
    Q_OBJECT

public:
    std::function<void()> victim;
    bool fired = false;

public slots:
    void kill()
    {
        if (fired)
            return;
        fired = true;
        victim();
    }
};

struct scene
{
    QPointer<ryx::device> dev;
    QPointer<ryx::analog_data> first;
    QPointer<ryx::analog_data> second;
    QPointer<QObject> object;
};

using factory = std::function<QObject*(ryx::analog_data*, ryx::analog_data*)>;

struct subject
{
    std::string name;
    factory make;
};

template <class T>
subject channel(const char* name)
{
    return {name, [](ryx::analog_data* a, ryx::analog_data*) -> QObject* { return new T(a, false); }};
}

// Measurements run continuously, or as a single shot that finishes.
template <class T>
std::vector<subject> measurement(const char* name)
{
    return {{name, [](ryx::analog_data* a, ryx::analog_data*) -> QObject* {
                 return new T(a, QJsonObject{{"time", 0.05}, {"avg", 2}});
             }},
            {std::string(name) + " single shot", [](ryx::analog_data* a, ryx::analog_data*) -> QObject* {
                 return new T(a, QJsonObject{{"time", 0.05}, {"avg", 2}, {"single_shot", true}});
             }}};
}

std::vector<subject> subjects()
{
    namespace mv = ryx::math::moving;
    namespace in = ryx::math::instant;
    std::vector<subject> all{
        {"filter_iir", [](ryx::analog_data* a, ryx::analog_data*) -> QObject* { return new ryx::math::filter_iir(a); }},
        channel<ryx::math::diff>("diff"),
        channel<ryx::math::intg>("intg"),
        channel<mv::avg>("moving::avg"),
        channel<mv::rms>("moving::rms"),
        channel<mv::var>("moving::var"),
        channel<mv::msd>("moving::msd"),
        channel<mv::kurt>("moving::kurt"),
        channel<mv::max>("moving::max"),
        channel<mv::min>("moving::min"),
        channel<mv::offset>("moving::offset"),
        channel<mv::peak>("moving::peak"),
        channel<mv::peak_to_peak>("moving::peak_to_peak"),
        channel<mv::median>("moving::median"),
        channel<mv::freq>("moving::freq"),
        channel<mv::period>("moving::period"),
        channel<mv::thresh>("moving::thresh"),
        {"instant::delta_phase", [](ryx::analog_data* a, ryx::analog_data* b) -> QObject* {
             return new in::delta_phase(a, b, QJsonObject{{"time", 0.3}});
         }},
    };
#if defined(RYX_TEST_CORR)
    for (const auto method : {mv::corr::fft, mv::corr::faltung, mv::corr::factor})
        all.push_back({"moving::corr " + std::to_string(method), [method](ryx::analog_data* a, ryx::analog_data*) -> QObject* {
                           auto* c = new mv::corr(a, method, false);
                           c->set_reference(QJsonArray{1, -2, 3, 0.5, 4});
                           return c;
                       }});
#endif
    for (const auto& group : {measurement<in::rms>("instant::rms"),
                              measurement<in::ampl>("instant::ampl"),
                              measurement<in::avg>("instant::avg"),
                              measurement<in::kurt>("instant::kurt"),
                              measurement<in::max>("instant::max"),
                              measurement<in::min>("instant::min"),
                              measurement<in::offset>("instant::offset"),
                              measurement<in::peak>("instant::peak"),
                              measurement<in::peak_to_peak>("instant::peak_to_peak"),
                              measurement<in::sum>("instant::sum"),
                              measurement<in::var>("instant::var"),
                              measurement<in::freq>("instant::freq"),
                              measurement<in::last_front>("instant::last_front")})
        all.insert(all.end(), group.begin(), group.end());
    return all;
}

bool alive(const scene& s)
{
    return s.dev && s.first && s.second && s.object;
}

// A value different from the current one, of the property's own type.
QVariant changed(const QMetaProperty& p, const QVariant& now, int round)
{
    if (p.name() == QByteArrayLiteral("rate"))
        return round == 0 ? 2000.0 : 1000.0;
    if (p.isEnumType())
        return p.enumerator().value((round + 1) % p.enumerator().keyCount());
    switch (now.typeId()) {
    case QMetaType::Bool: return !now.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return now.toLongLong() + 1 + round;
    case QMetaType::Double: {
        // Short windows and blocks, low levels: the next runs reach every event.
        const double v = round == 0 ? 0.01 : 0.5;
        return now.toDouble() == v ? v * 2 : v;
    }
    case QMetaType::QString: return now.toString() + QStringLiteral("x");
    default: return QVariant();
    }
}

// The host's ways of driving an object; each step runs only while everything
// it touches still exists.
void drive(scene& s)
{
    // Two whole periods of a slow sine per run: long stretches above any low
    // level, clean zero crossings for the frequency and phase meters.
    // Later the frequency rises by a tenth, which the phase meter needs to report.
    std::vector<double> run;
    const auto tune = [&run](double period) {
        run.resize(static_cast<std::size_t>(2 * period));
        for (std::size_t i = 0; i < run.size(); ++i)
            run[i] = 2.5 * std::sin(2.0 * M_PI * static_cast<double>(i) / period);
    };
    tune(80.0);
    const auto feed = [&] {
        for (int n = 0; n < 6 && alive(s); ++n) {
            s.first->set_data(run.cbegin(), run.cend());
            if (alive(s))
                s.second->set_data(run.cbegin(), run.cend());
        }
    };
    feed();
    if (alive(s)) {
        std::vector<double> bad(run);
        bad[3] = std::numeric_limits<double>::quiet_NaN();
        s.first->set_data(bad.cbegin(), bad.cend());
    }
    if (alive(s))
        s.first->set_rate(2000.0);
    if (alive(s))
        s.second->set_rate(2000.0);
    feed();
    for (int round = 0; round < 2; ++round) {
        tune(round == 0 ? 80.0 : 72.0);
        const QMetaObject* meta = alive(s) ? s.object->metaObject() : nullptr;
        for (int i = meta ? QObject::staticMetaObject.propertyCount() : 0; meta && i < meta->propertyCount(); ++i) {
            if (!alive(s))
                break;
            const QMetaProperty p = meta->property(i);
            if (!p.isWritable())
                continue;
            const QVariant v = changed(p, p.read(s.object), round);
            if (v.isValid())
                p.write(s.object, v);
            feed();
        }
    }
    if (alive(s)) {
        if (auto* ch = qobject_cast<ryx::analog_data*>(s.object)) {
            QDomDocument doc;
            QDomElement e = doc.createElement("channel");
            ch->save(e);
            if (alive(s))
                ch->load(e);
        }
    }
    tune(80.0);
    feed();
    tune(72.0);
    feed();
    if (alive(s) && s.object->metaObject()->indexOfMethod("reset()") >= 0)
        QMetaObject::invokeMethod(s.object, "reset", Qt::DirectConnection);
    feed();
}

// Deleted from a slot on each signal it emits (the object itself, its source
// channel, or the whole device), while a host drives it through data, rate
// changes, property writes, saved settings and resets: nothing may touch a freed
// object afterwards (run under ASan), and the device lock is never left held.
TEST(every_channel, may_be_deleted_from_a_slot_on_each_of_its_signals)
{
    int scenarios = 0;
    int fired = 0;
    for (const subject& sub : subjects()) {
        // The signals the object declares (its own and its bases' below QObject),
        // except deleting(): the object is already being destroyed then.
        std::vector<QMetaMethod> signals_;
        {
            ryx::test::host probe(1000.0, 2);
            std::unique_ptr<QObject> o(sub.make(probe.channel(0), probe.channel(1)));
            const QMetaObject* meta = o->metaObject();
            for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i)
                if (meta->method(i).methodType() == QMetaMethod::Signal
                    && meta->method(i).name() != QByteArrayLiteral("deleting"))
                    signals_.push_back(meta->method(i));
            o.reset();
        }
        ASSERT_FALSE(signals_.empty()) << sub.name;
        for (const QMetaMethod& signal : signals_) {
            for (int victim = 0; victim < 3; ++victim) {
                SCOPED_TRACE(sub.name + " " + signal.methodSignature().toStdString() + " victim "
                             + std::to_string(victim));
                scene s;
                auto* dev = new ryx::device("d");
                s.dev = dev;
                s.first = dev->add_channel("x", 1000.0);
                s.second = dev->add_channel("y", 1000.0);
                QObject* object = sub.make(s.first, s.second);
                s.object = object;
                killer k;
                k.victim = [&s, victim] {
                    if (victim == 0)
                        delete s.object.data();
                    else if (victim == 1)
                        delete s.first.data();
                    else
                        delete s.dev.data();
                };
                const QMetaMethod slot = k.metaObject()->method(k.metaObject()->indexOfSlot("kill()"));
                ASSERT_TRUE(QObject::connect(object, signal, &k, slot));
                drive(s);
                if (s.dev) {
                    EXPECT_EQ(s.dev->lock_depth(), 0);
                }
                // Measurements are not children of their source: the test owns them.
                if (s.object && !qobject_cast<ryx::analog_data*>(s.object))
                    delete s.object.data();
                delete s.dev.data();
                ++scenarios;
                fired += k.fired;
                if (!k.fired && victim == 0)
                    std::cout << "[deletion] never emitted: " << sub.name << ' '
                              << signal.methodSignature().toStdString() << '\n';
            }
        }
    }
    EXPECT_GT(scenarios, 200);
    // Most signals are reached by the drive; the few that are not are listed.
    EXPECT_GT(fired, scenarios * 3 / 4);
}

// On a channel without a rate (none given, or one that is not a positive
// normal number) every object gives finite output or none, never NaN; each takes
// its window, design or block when a valid rate arrives and then agrees with a
// twin that always had that rate.
TEST(every_channel, without_a_rate_stays_finite_and_recovers)
{
    for (const subject& sub : subjects()) {
        SCOPED_TRACE(sub.name);
        ryx::device dev("d");
        ryx::analog_data* a = dev.add_channel("x", 0.0);
        ryx::analog_data* b = dev.add_channel("y", 0.0);
        ASSERT_EQ(a->get_rate(), 0.0);
        std::unique_ptr<QObject> object(sub.make(a, b));
        auto* ch = qobject_cast<ryx::analog_data*>(object.get());
        const auto check = [&](const char* when) {
            if (ch) {
                for (double y : *ch)
                    ASSERT_TRUE(std::isfinite(y)) << when;
            } else {
                const QVariant v = object->property("value");
                ASSERT_TRUE(std::isfinite(v.toDouble())) << when;
            }
        };
        const auto x = ryx::test::sine(3000, 1000.0, 12.5, 2.0, 0.5);
        const auto push = [&](std::size_t from, std::size_t to) {
            for (std::size_t at = from; at < to; at += 100) {
                a->set_data(x.cbegin() + static_cast<std::ptrdiff_t>(at), x.cbegin() + static_cast<std::ptrdiff_t>(at + 100));
                b->set_data(x.cbegin() + static_cast<std::ptrdiff_t>(at), x.cbegin() + static_cast<std::ptrdiff_t>(at + 100));
                check("without a rate");
            }
        };
        push(0, 1000);
        for (double bad : {4.9e-324, -1000.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()}) {
            a->set_rate(bad);
            b->set_rate(bad);
            EXPECT_EQ(a->get_rate(), 0.0);
            if (ch) {
                EXPECT_EQ(ch->get_rate(), 0.0);
            }
        }
        push(1000, 1500);
        a->set_rate(1000.0);
        b->set_rate(1000.0);
        // A twin that only ever saw a valid rate, fed from the moment the rate
        // came, must agree once the history before it has left the window (the
        // integral, which keeps all history, apart).
        ryx::analog_data* c = dev.add_channel("z", 1000.0);
        std::unique_ptr<QObject> twin(sub.make(c, c));
        auto* twin_ch = qobject_cast<ryx::analog_data*>(twin.get());
        for (std::size_t at = 1500; at < 3000; at += 100) {
            a->set_data(x.cbegin() + static_cast<std::ptrdiff_t>(at), x.cbegin() + static_cast<std::ptrdiff_t>(at + 100));
            b->set_data(x.cbegin() + static_cast<std::ptrdiff_t>(at), x.cbegin() + static_cast<std::ptrdiff_t>(at + 100));
            c->set_data(x.cbegin() + static_cast<std::ptrdiff_t>(at), x.cbegin() + static_cast<std::ptrdiff_t>(at + 100));
            check("with a rate");
        }
        if (ch) {
            EXPECT_EQ(ch->get_rate(), 1000.0);
            ASSERT_EQ(ch->size(), 100u);
            if (sub.name != "intg") {
                for (std::size_t i = 0; i < 100; ++i)
                    ASSERT_NEAR((*ch)[i], (*twin_ch)[i], 1e-9) << i;
            }
            twin.release();
        } else if (sub.name.find("single shot") == std::string::npos) {
            // (A single shot finished before the rate came.)
            EXPECT_NEAR(object->property("time").toDouble(), twin->property("time").toDouble(), 1e-12);
            EXPECT_NEAR(object->property("value").toDouble(), twin->property("value").toDouble(), 1e-9);
        }
        // Release before the device: measurements are not its children.
        if (ch)
            object.release();
    }
}

} // namespace

#include "every_channel_tests.moc"
