#include <QBuffer>
#include <QDataStream>
#include <QDebug>
#include <QMetaEnum>
#include <QMetaType>
#include <QSequentialIterable>
#include <QVariant>
#include <gtest/gtest.h>

#include "ryx/math/ceps.h"
#include "ryx/math/cpsd.h"
#include "ryx/math/fft.h"
#include "ryx/math/fftw/coh.h"
#include "ryx/math/fftw/phase.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/moving/corr.h"
#include "ryx/math/octv.h"
#include "ryx/math/orsp.h"
#include "ryx/math/psd.h"
#include "ryx/math/spec.h"
#include "ryx/math/spec_meas.h"
#include "support/host.h"

namespace {

// Every enumerator of E survives QVariant, QDataStream (through the variant's
// meta-type) and its QMetaEnum name; compares and orders as its value; prints
// its name through qDebug.
template <class E>
void round_trips(const char* qualified_name)
{
    const QMetaType type = QMetaType::fromType<E>();
    ASSERT_TRUE(type.isValid());
    EXPECT_STREQ(type.name(), qualified_name);
    EXPECT_TRUE(type.flags() & QMetaType::IsEnumeration);
    EXPECT_TRUE(type.hasRegisteredDataStreamOperators()) << qualified_name;
    EXPECT_TRUE(type.isEqualityComparable() && type.isOrdered()) << qualified_name;
    EXPECT_TRUE(type.hasRegisteredDebugStreamOperator()) << qualified_name;
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    ASSERT_GE(meta.keyCount(), 2);
    for (int i = 0; i < meta.keyCount(); ++i) {
        const E e = static_cast<E>(meta.value(i));
        const QVariant v = QVariant::fromValue(e);
        EXPECT_EQ(v.metaType(), type);
        EXPECT_EQ(v.value<E>(), e);
        EXPECT_EQ(meta.valueToKey(static_cast<int>(e)), QByteArray(meta.key(i)));
        EXPECT_EQ(static_cast<E>(meta.keyToValue(meta.key(i))), e);

        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << v;
        }
        QDataStream in(bytes);
        QVariant back;
        in >> back;
        EXPECT_EQ(back.metaType(), type) << qualified_name;
        EXPECT_EQ(back.value<E>(), e) << qualified_name << " " << meta.key(i);
        EXPECT_TRUE(QVariant::compare(v, back) == QPartialOrdering::Equivalent);

        QString printed;
        QDebug(&printed) << e;
        EXPECT_TRUE(printed.contains(QLatin1String(meta.key(i)))) << printed.toStdString();

        if (i > 0) {
            const QVariant previous = QVariant::fromValue(static_cast<E>(meta.value(i - 1)));
            const QPartialOrdering order = QVariant::compare(previous, v);
            EXPECT_TRUE(meta.value(i - 1) < meta.value(i) ? order == QPartialOrdering::Less
                                                            : order == QPartialOrdering::Greater);
        }
    }
}

template <class Base, class T>
bool casts_to_base(T& object, const char* name)
{
    return object.qt_metacast(name) == static_cast<void*>(static_cast<Base*>(&object));
}

} // namespace

TEST(Types, EveryEnumerationRoundTrips)
{
    round_trips<ryx::math::fft::windows>("ryx::math::fft::windows");
    round_trips<ryx::math::filter_iir::kinds>("ryx::math::filter_iir::kinds");
    round_trips<ryx::math::filter_iir::types>("ryx::math::filter_iir::types");
    round_trips<ryx::math::octv::ratios>("ryx::math::octv::ratios");
    round_trips<ryx::math::octv::looks>("ryx::math::octv::looks");
    round_trips<ryx::math::octv::fractions>("ryx::math::octv::fractions");
    round_trips<ryx::math::orsp::search_types>("ryx::math::orsp::search_types");
    round_trips<ryx::math::spec::types>("ryx::math::spec::types");
    round_trips<ryx::math::spec_meas::types>("ryx::math::spec_meas::types");
    round_trips<ryx::math::moving::corr::methods>("ryx::math::moving::corr::methods");
    round_trips<ryx::math::fftw::phase::ranges>("ryx::math::fftw::phase::ranges");
    round_trips<ryx::math::fftw::phase::views>("ryx::math::fftw::phase::views");
}

TEST(Types, GadgetObjectPointerAndTheValuesList)
{
    const QMetaType gadget = QMetaType::fromType<ryx::math::spec_meas>();
    EXPECT_STREQ(gadget.name(), "ryx::math::spec_meas");
    EXPECT_TRUE(gadget.flags() & QMetaType::IsGadget);
    EXPECT_EQ(gadget.metaObject(), &ryx::math::spec_meas::staticMetaObject);

    const QMetaType filter = QMetaType::fromType<ryx::math::filter_iir*>();
    EXPECT_STREQ(filter.name(), "ryx::math::filter_iir*");
    EXPECT_TRUE(filter.flags() & QMetaType::PointerToQObject);
    const int index = ryx::math::fftw::sngl::staticMetaObject.indexOfProperty("filter");
    ASSERT_GE(index, 0);
    EXPECT_EQ(ryx::math::fftw::sngl::staticMetaObject.property(index).metaType(), filter);

    // A script walks an instant value's values through the sequential iterable.
    ryx::test::host h(1000.0);
    ryx::math::instant::avg mean(h.channel(), QJsonObject{{"time", 0.01}, {"avg", 3}});
    h.push(h.channel(), ryx::test::sine(30, 1000.0, 50.0, 1.0, 2.0), 10);
    const QVariant values = mean.property("values");
    ASSERT_TRUE(values.canConvert<QSequentialIterable>());
    QSequentialIterable iterable = values.value<QSequentialIterable>();
    int count = 0;
    for (const QVariant& v : iterable) {
        EXPECT_TRUE(v.canConvert<double>());
        ++count;
    }
    EXPECT_EQ(count, mean.get_values().size());
    EXPECT_GT(count, 0);
    EXPECT_TRUE(QMetaType::hasRegisteredConverterFunction(QMetaType::fromType<QList<qreal>>(),
                                                          QMetaType::fromType<QIterable<QMetaSequence>>()));
    EXPECT_TRUE(QMetaType::hasRegisteredMutableViewFunction(QMetaType::fromType<QList<qreal>>(),
                                                            QMetaType::fromType<QIterable<QMetaSequence>>()));
}

TEST(Types, VectorClassesAnswerACastToTheirVectorBase)
{
    ryx::test::host h(1000.0, 2);
    ryx::analog_data* ch = h.channel();
    ryx::math::spec s(ryx::math::spec::types(0), ch);
    ryx::math::ceps c(ch);
    ryx::math::psd p(ch);
    ryx::math::fft f(ch);
    ryx::math::cpsd x(ch, h.channel(1));
    ryx::math::octv o(ch);
    ryx::math::orsp r(ch);
    ryx::math::fftw::sngl a(ch, {});
    ryx::math::fftw::coh d(ch, h.channel(1), {});
    EXPECT_TRUE(casts_to_base<std::vector<qreal>>(s, "std::vector<qreal>"));
    EXPECT_TRUE(casts_to_base<std::vector<qreal>>(c, "std::vector<qreal>"));
    EXPECT_TRUE(casts_to_base<std::vector<qreal>>(a, "std::vector<qreal>"));
    EXPECT_TRUE(casts_to_base<std::vector<qreal>>(d, "std::vector<qreal>"));
    EXPECT_TRUE(casts_to_base<std::vector<double>>(p, "std::vector<double>"));
    EXPECT_TRUE(casts_to_base<std::vector<std::complex<double>>>(f, "std::vector<std::complex<double>>"));
    EXPECT_TRUE(casts_to_base<std::vector<std::complex<double>>>(x, "std::vector<std::complex<double>>"));
    using pairs = std::vector<std::pair<qreal, qreal>>;
    EXPECT_TRUE(casts_to_base<pairs>(o, "std::vector<std::pair<qreal,qreal>>"));
    EXPECT_TRUE(casts_to_base<pairs>(r, "std::vector<std::pair<qreal,qreal>>"));
    EXPECT_EQ(s.qt_metacast("std::vector<std::complex<double>>"), nullptr);
}
