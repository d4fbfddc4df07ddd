#include "analysis.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMetaEnum>
#include <QMetaProperty>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>

#include "ryx/core/analog_data.h"
#include "ryx/core/device_lock.h"
#include "ryx/core/units.h"
#include "ryx/math/ceps.h"
#include "ryx/math/cpsd.h"
#include "ryx/math/delta_phase_spec.h"
#include "ryx/math/diff.h"
#include "ryx/math/fft.h"
#include "ryx/math/fftw/afc.h"
#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/coh.h"
#include "ryx/math/fftw/corr.h"
#include "ryx/math/fftw/cross.h"
#include "ryx/math/fftw/orsp.h"
#include "ryx/math/fftw/pfc.h"
#include "ryx/math/fftw/phase.h"
#include "ryx/math/fftw/psd.h"
#include "ryx/math/fftw/spen.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/instant/ampl.h"
#include "ryx/math/instant/avg.h"
#include "ryx/math/instant/delta_phase.h"
#include "ryx/math/instant/freq.h"
#include "ryx/math/instant/kurt.h"
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
#include "ryx/math/moving/corr.h"
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
#include "ryx/math/octv.h"
#include "ryx/math/orsp.h"
#include "ryx/math/psd.h"
#include "ryx/math/spec.h"

namespace ryx::analyze {

namespace {

// The amplitude unit of a recording whose calibration the program does not
// know: engineering units.
const QString eu = QStringLiteral("EU");

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

// A series of (time, value) points, or of (time, low, high) bins once it grew
// beyond its bound: pairs of bins merge, so hours of input keep a fixed size
// and the envelope of the values survives the reduction.
class envelope
{
public:
    static constexpr std::size_t max_bins = 4096;

    void add(double t, double lo, double hi)
    {
        if (m_open && m_fill < m_span) {
            m_lo.back() = std::min(m_lo.back(), lo);
            m_hi.back() = std::max(m_hi.back(), hi);
        } else {
            if (m_t.size() == max_bins)
                halve();
            m_t.push_back(t);
            m_lo.push_back(lo);
            m_hi.push_back(hi);
            m_open = true;
            m_fill = 0;
        }
        ++m_fill;
    }
    bool merged() const { return m_span > 1; }
    const std::vector<double>& times() const { return m_t; }
    const std::vector<double>& low() const { return m_lo; }
    const std::vector<double>& high() const { return m_hi; }

private:
    void halve()
    {
        std::size_t j = 0;
        for (std::size_t i = 0; i < m_t.size(); i += 2, ++j) {
            m_t[j] = m_t[i];
            m_lo[j] = i + 1 < m_t.size() ? std::min(m_lo[i], m_lo[i + 1]) : m_lo[i];
            m_hi[j] = i + 1 < m_t.size() ? std::max(m_hi[i], m_hi[i + 1]) : m_hi[i];
        }
        m_t.resize(j);
        m_lo.resize(j);
        m_hi.resize(j);
        m_span *= 2;
        m_open = false;
    }

    std::vector<double> m_t, m_lo, m_hi;
    std::size_t m_span = 1; // points per bin
    std::size_t m_fill = 0; // points in the newest bin
    bool m_open = false;
};

void put_envelope(const envelope& e, const QString& unit, result* r)
{
    r->x = e.times();
    if (e.merged()) {
        r->y.push_back({QStringLiteral("minimum"), unit, e.low()});
        r->y.push_back({QStringLiteral("maximum"), unit, e.high()});
    } else {
        r->y.push_back({QStringLiteral("value"), unit, e.low()});
    }
}

// The largest value of v from index `from` on, with its index (v.size() when none).
std::pair<std::size_t, double> largest(const std::vector<double>& v, std::size_t from = 1)
{
    std::size_t at = v.size();
    double best = -std::numeric_limits<double>::infinity();
    for (std::size_t i = from; i < v.size(); ++i)
        if (std::isfinite(v[i]) && v[i] > best) {
            best = v[i];
            at = i;
        }
    return {at, best};
}

QString peak_reading(const result& r, std::size_t series = 0)
{
    if (r.y.size() <= series || r.x.empty())
        return QStringLiteral("no result (input too short for one frame?)");
    const auto [at, v] = largest(r.y[series].values, r.x.size() > 1 ? 1 : 0);
    if (at >= r.x.size())
        return QStringLiteral("no finite value");
    const QString where = r.x_unit.isEmpty() ? QStringLiteral("%1 %2").arg(r.x_label.toLower(), number(r.x[at]))
                                             : QStringLiteral("%1 %2").arg(number(r.x[at]), r.x_unit);
    return QStringLiteral("largest %1 %2 %3 at %4").arg(r.y[series].name, number(v), r.y[series].unit, where).simplified();
}

// Settings conversion ------------------------------------------------------------

// Converts a setting to what a property or parameter takes. An enumeration
// takes a value's name (or its number); anything else a number, a boolean, or
// text holding a number.
bool convert(const QString& who, const QString& key, const QJsonValue& v, const QMetaEnum* names, QVariant* out,
             QString* error)
{
    const auto bad = [&](const QString& why) {
        *error = QStringLiteral("analysis '%1': setting '%2': %3").arg(who, key, why);
        return false;
    };
    if (names && names->isValid() && v.isString()) {
        bool ok = false;
        const int value = names->keyToValue(v.toString().toUtf8().constData(), &ok);
        if (!ok) {
            QStringList keys;
            for (int i = 0; i < names->keyCount(); ++i)
                keys << QString::fromLatin1(names->key(i));
            return bad(QStringLiteral("'%1' is not one of %2").arg(v.toString(), keys.join(QStringLiteral(", "))));
        }
        *out = value;
        return true;
    }
    if (v.isDouble()) {
        if (!std::isfinite(v.toDouble()))
            return bad(QStringLiteral("not a finite number"));
        *out = v.toDouble();
        return true;
    }
    if (v.isBool()) {
        *out = v.toBool();
        return true;
    }
    if (v.isString()) {
        bool ok = false;
        const double d = v.toString().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return bad(QStringLiteral("'%1' is not a number").arg(v.toString()));
        *out = d;
        return true;
    }
    return bad(QStringLiteral("expected a number, a boolean or a name"));
}

// A list of named values for a settings key that the library takes as an int.
struct named_values
{
    QString key;
    QStringList names; // value i is names[i]
};

// Rewrites the named values of a settings object as their numbers.
bool resolve_names(const QString& who, QJsonObject* settings, const std::vector<named_values>& table, QString* error)
{
    for (const named_values& n : table) {
        const auto it = settings->find(n.key);
        if (it == settings->end())
            continue;
        const QJsonValue v = it.value();
        if (v.isString()) {
            const int i = static_cast<int>(n.names.indexOf(v.toString()));
            if (i < 0) {
                *error = QStringLiteral("analysis '%1': setting '%2': '%3' is not one of %4")
                             .arg(who, n.key, v.toString(), n.names.join(QStringLiteral(", ")));
                return false;
            }
            *it = i;
        }
    }
    for (auto it = settings->begin(); it != settings->end(); ++it) {
        if (it.value().isString()) {
            bool ok = false;
            const double d = it.value().toString().trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(d)) {
                *error = QStringLiteral("analysis '%1': setting '%2': '%3' is not a number")
                             .arg(who, it.key(), it.value().toString());
                return false;
            }
            *it = d;
        }
    }
    return true;
}

// Warns about each key of the settings that the class does not document.
void check_keys(const QString& who, const QString& kind, const QJsonObject& settings, const QStringList& known,
                QStringList* warnings)
{
    for (auto it = settings.begin(); it != settings.end(); ++it)
        if (!known.contains(it.key()))
            *warnings << QStringLiteral("warning: analysis '%1' (%2) does not take the setting '%3'; ignored")
                             .arg(who, kind, it.key());
}

QMetaEnum enum_of(const QMetaObject& mo, const char* name)
{
    const int i = mo.indexOfEnumerator(name);
    return i >= 0 ? mo.enumerator(i) : QMetaEnum();
}

// Writes one setting into a Qt property (an enumeration by name); false with
// *error for a value it cannot take, and a warning when there is no writable
// property of that name.
bool write_property(QObject* object, const QString& who, const QString& kind, const QString& key,
                    const QJsonValue& v, QStringList* warnings, QString* error)
{
    const QMetaObject* mo = object->metaObject();
    const int index = mo->indexOfProperty(key.toUtf8().constData());
    if (index < 0 || !mo->property(index).isWritable()) {
        *warnings << QStringLiteral("warning: analysis '%1' (%2) does not take the setting '%3'; ignored")
                         .arg(who, kind, key);
        return true;
    }
    const QMetaProperty p = mo->property(index);
    const QMetaEnum e = p.isEnumType() ? p.enumerator() : QMetaEnum();
    QVariant value;
    if (!convert(who, key, v, p.isEnumType() ? &e : nullptr, &value, error))
        return false;
    if (p.isEnumType() && value.typeId() != QMetaType::Int)
        value = value.toInt();
    if (!p.write(object, value)) {
        *error = QStringLiteral("analysis '%1': setting '%2': the value does not fit the property").arg(who, key);
        return false;
    }
    return true;
}

QJsonObject readable_properties(const QObject* object)
{
    QJsonObject out;
    const QMetaObject* mo = object->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        const QVariant v = p.read(object);
        if (p.isEnumType())
            out.insert(QString::fromLatin1(p.name()), QString::fromLatin1(p.enumerator().valueToKey(v.toInt())));
        else if (v.canConvert<double>() && v.typeId() != QMetaType::QString && v.typeId() != QMetaType::QJsonArray)
            out.insert(QString::fromLatin1(p.name()), v.toDouble());
    }
    return out;
}

QString unit_name(ryx::units u, const QString& linear)
{
    switch (u) {
    case ryx::units::dB:
        return QStringLiteral("dB");
    case ryx::units::rms:
        return linear + QStringLiteral(" RMS");
    default:
        return linear;
    }
}

// Derived channels ----------------------------------------------------------------

class channel_analysis : public analysis
{
public:
    channel_analysis(const analysis_spec& spec, ryx::analog_data* channel, const run_clock* clock)
        : analysis(spec), m_channel(channel), m_clock(clock)
    {
        m_rate = channel->get_rate();
        m_connection = QObject::connect(channel, &ryx::analog_data::data_changed, channel, [this] { take_run(); });
    }
    ~channel_analysis() override { QObject::disconnect(m_connection); }

    ryx::analog_data* output_channel() const override { return m_channel.data(); }

    result take() const override
    {
        result r = base_result(m_channel ? m_channel->settings() : QJsonObject());
        r.x_label = QStringLiteral("Time");
        r.x_unit = QStringLiteral("s");
        put_envelope(m_envelope, unit(), &r);
        return r;
    }
    QString reading() const override
    {
        if (m_count == 0)
            return QStringLiteral("no output");
        return QStringLiteral("last value %1 %2; range %3 .. %4 over %5 samples")
            .arg(number(m_last), unit(), number(m_min), number(m_max), QString::number(m_count));
    }

private:
    QString unit() const
    {
        const QString& k = spec().kind;
        if (k == QLatin1String("moving::freq"))
            return QStringLiteral("Hz");
        if (k == QLatin1String("moving::period"))
            return QStringLiteral("s");
        if (k == QLatin1String("moving::thresh") || k == QLatin1String("moving::kurt"))
            return QString();
        if (k == QLatin1String("moving::var") || k == QLatin1String("moving::msd"))
            return eu + QStringLiteral("²");
        if (k == QLatin1String("diff"))
            return eu + QStringLiteral("/s");
        if (k == QLatin1String("intg"))
            return eu + QStringLiteral("·s");
        return eu;
    }

    // Every output sample goes into the envelope: bins of a fixed number of
    // samples, widened as the input grows.
    void take_run()
    {
        const ryx::analog_data& c = *m_channel;
        const double end = m_clock->seconds;
        const double dt = m_rate > 0.0 ? 1.0 / m_rate : 0.0;
        const std::size_t n = c.size();
        for (std::size_t i = 0; i < n; ++i) {
            const double x = c[i];
            m_envelope.add(end - static_cast<double>(n - i) * dt, x, x);
            if (std::isfinite(x)) {
                m_min = m_count == 0 ? x : std::min(m_min, x);
                m_max = m_count == 0 ? x : std::max(m_max, x);
            }
            m_last = x;
            ++m_count;
        }
    }

    QPointer<ryx::analog_data> m_channel; // owned by its source channel
    const run_clock* m_clock;
    QMetaObject::Connection m_connection;
    envelope m_envelope;
    double m_rate = 0.0;
    double m_last = 0.0, m_min = 0.0, m_max = 0.0;
    qint64 m_count = 0;
};

// Applies the settings of a derived channel: its own parameters first
// (set_parameter), then its Qt properties; enumerations by name.
bool configure_channel(ryx::analog_data* channel, const analysis_spec& spec, const QStringList& consumed,
                       QStringList* warnings, QString* error)
{
    const QMetaObject* mo = channel->metaObject();
    for (auto it = spec.settings.begin(); it != spec.settings.end(); ++it) {
        const QString key = it.key();
        if (consumed.contains(key))
            continue;
        const int index = mo->indexOfProperty(key.toUtf8().constData());
        const QMetaEnum e = index >= 0 && mo->property(index).isEnumType() ? mo->property(index).enumerator()
                                                                          : QMetaEnum();
        QVariant value;
        if (!convert(spec.name, key, it.value(), e.isValid() ? &e : nullptr, &value, error))
            return false;
        if (channel->set_parameter(key, value))
            continue;
        if (index >= 0 && mo->property(index).isWritable()) {
            if (!mo->property(index).write(channel, value)) {
                *error = QStringLiteral("analysis '%1': setting '%2': the value does not fit the property")
                             .arg(spec.name, key);
                return false;
            }
            continue;
        }
        *warnings << QStringLiteral("warning: analysis '%1' (%2) does not take the setting '%3'; ignored")
                         .arg(spec.name, spec.kind, key);
    }
    return true;
}

template <class T>
std::unique_ptr<analysis> make_moving(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                      const run_clock* clock, QStringList* warnings, QString* error)
{
    auto* c = new T(src[0], false);
    if (!configure_channel(c, spec, {}, warnings, error))
        return nullptr;
    return std::make_unique<channel_analysis>(spec, c, clock);
}

std::unique_ptr<analysis> make_filter(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                      const run_clock* clock, QStringList* warnings, QString* error)
{
    auto* c = new ryx::math::filter_iir(src[0], false);
    if (!configure_channel(c, spec, {}, warnings, error))
        return nullptr;
    if (!c->has_design())
        *warnings << QStringLiteral("warning: analysis '%1' (filter_iir): these settings give no sound design; "
                                    "the channel passes its input unchanged")
                         .arg(spec.name);
    return std::make_unique<channel_analysis>(spec, c, clock);
}

std::unique_ptr<analysis> make_moving_corr(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                           const run_clock* clock, QStringList* warnings, QString* error)
{
    using ryx::math::moving::corr;
    corr::methods method = corr::fft;
    if (spec.settings.contains(QLatin1String("method"))) {
        const QMetaEnum e = enum_of(corr::staticMetaObject, "methods");
        QVariant v;
        if (!convert(spec.name, QStringLiteral("method"), spec.settings.value(QLatin1String("method")), &e, &v, error))
            return nullptr;
        const int m = v.toInt();
        if (m < 0 || m > 2) {
            *error = QStringLiteral("analysis '%1': setting 'method': %2 is not a method").arg(spec.name).arg(m);
            return nullptr;
        }
        method = static_cast<corr::methods>(m);
    }
    auto* c = new corr(src[0], method, false);
    const QJsonValue ref = spec.settings.value(QLatin1String("reference"));
    if (!ref.isUndefined()) {
        if (!ref.isArray()) {
            *error = QStringLiteral("analysis '%1': setting 'reference': expected an array of numbers").arg(spec.name);
            return nullptr;
        }
        for (const QJsonValue& x : ref.toArray())
            if (!x.isDouble()) {
                *error = QStringLiteral("analysis '%1': setting 'reference': every value must be a number").arg(spec.name);
                return nullptr;
            }
        c->set_reference(ref.toArray());
    } else {
        *warnings << QStringLiteral("warning: analysis '%1' (moving::corr) has no 'reference': it outputs zeros")
                         .arg(spec.name);
    }
    // The window is limited by the reference's length, so it comes after it.
    if (!configure_channel(c, spec, {QStringLiteral("method"), QStringLiteral("reference")}, warnings, error))
        return nullptr;
    return std::make_unique<channel_analysis>(spec, c, clock);
}

// Instant values ------------------------------------------------------------------

const QStringList value_keys{QStringLiteral("time"), QStringLiteral("avg"), QStringLiteral("start"),
                             QStringLiteral("single_shot"), QStringLiteral("delay"), QStringLiteral("name")};

class instant_analysis : public analysis
{
public:
    instant_analysis(const analysis_spec& spec, ryx::math::instant::value* v, const run_clock* clock, QString unit)
        : analysis(spec), m_value(v), m_unit(std::move(unit))
    {
        QObject::connect(v, &ryx::math::instant::value::changed, v, [this, clock] {
            const double x = m_value->get_value();
            m_envelope.add(clock->seconds, x, x);
            m_last = x;
            m_sum += x;
            ++m_count;
        });
    }
    ~instant_analysis() override { release(); }
    void release() override { m_value.reset(); }

    result take() const override
    {
        QJsonObject taken;
        if (m_value) {
            taken.insert(QStringLiteral("time"), m_value->get_time());
            taken.insert(QStringLiteral("avg"), static_cast<double>(m_value->get_avg_cnt()));
        }
        result r = base_result(taken);
        r.x_label = QStringLiteral("Time");
        r.x_unit = QStringLiteral("s");
        put_envelope(m_envelope, m_unit, &r);
        return r;
    }
    QString reading() const override
    {
        if (m_count == 0)
            return QStringLiteral("no block completed");
        return QStringLiteral("last %1 %2; mean of %3 blocks %4 %2")
            .arg(number(m_last), m_unit, QString::number(m_count), number(m_sum / static_cast<double>(m_count)));
    }
    double last() const { return m_last; }

private:
    std::unique_ptr<ryx::math::instant::value> m_value;
    QString m_unit;
    envelope m_envelope;
    double m_last = 0.0, m_sum = 0.0;
    qint64 m_count = 0;
};

template <class T>
std::unique_ptr<analysis> make_instant(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                       const run_clock* clock, QStringList* warnings, QString* error)
{
    QStringList known = value_keys;
    std::vector<named_values> names;
    QString unit = eu;
    if constexpr (std::is_same_v<T, ryx::math::instant::rms> || std::is_same_v<T, ryx::math::instant::ampl>) {
        known << QStringLiteral("view");
        names.push_back({QStringLiteral("view"), {QStringLiteral("linear"), QStringLiteral("dB"), QStringLiteral("rms")}});
    }
    if constexpr (std::is_same_v<T, ryx::math::instant::ampl> || std::is_same_v<T, ryx::math::instant::freq>)
        known << QStringLiteral("dc");
    if constexpr (std::is_same_v<T, ryx::math::instant::freq>)
        unit = QStringLiteral("Hz");
    if constexpr (std::is_same_v<T, ryx::math::instant::var>)
        unit = eu + QStringLiteral("²");
    if constexpr (std::is_same_v<T, ryx::math::instant::kurt>)
        unit = QString();
    if constexpr (std::is_same_v<T, ryx::math::instant::delta_phase>)
        unit = QStringLiteral("deg");
    check_keys(spec.name, spec.kind, spec.settings, known, warnings);
    QJsonObject settings = spec.settings;
    QJsonValue name = settings.take(QLatin1String("name"));
    if (!resolve_names(spec.name, &settings, names, error))
        return nullptr;
    if (name.isString())
        settings.insert(QStringLiteral("name"), name);
    const int view = settings.value(QLatin1String("view")).toInt(0);
    if (view == 1)
        unit = QStringLiteral("dB");
    T* v = nullptr;
    if constexpr (std::is_same_v<T, ryx::math::instant::delta_phase>)
        v = new T(src[0], src[1], settings);
    else
        v = new T(src[0], settings);
    return std::make_unique<instant_analysis>(spec, v, clock, unit);
}

// Block spectra --------------------------------------------------------------------

// A block spectrum: a QObject child of its source channel, read once the input
// has run through.
class block_analysis : public analysis
{
public:
    using reader = std::function<void(const QObject*, result*)>;
    block_analysis(const analysis_spec& spec, QObject* object, reader read)
        : analysis(spec), m_object(object), m_read(std::move(read))
    {
    }
    ~block_analysis() override { release(); }
    void release() override { delete m_object.data(); }

    result take() const override
    {
        result r = base_result(m_object ? readable_properties(m_object) : QJsonObject());
        if (m_object)
            m_read(m_object, &r);
        return r;
    }
    QString reading() const override { return peak_reading(take()); }

private:
    QPointer<QObject> m_object;
    reader m_read;
};

bool configure_object(QObject* object, const analysis_spec& spec, const QStringList& consumed, QStringList* warnings,
                      QString* error)
{
    for (auto it = spec.settings.begin(); it != spec.settings.end(); ++it)
        if (!consumed.contains(it.key()) &&
            !write_property(object, spec.name, spec.kind, it.key(), it.value(), warnings, error))
            return false;
    return true;
}

// Applies the settings to an object just made; when one is refused, deletes the
// object and returns false.
bool configured(QObject* made, const analysis_spec& spec, const QStringList& consumed, QStringList* warnings,
                QString* error)
{
    if (configure_object(made, spec, consumed, warnings, error))
        return true;
    delete made;
    return false;
}

std::vector<double> lines_axis(std::size_t n, double step)
{
    std::vector<double> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<double>(i) * step;
    return x;
}

void frequency_axis(result* r, std::size_t n, double resolution)
{
    r->x_label = QStringLiteral("Frequency");
    r->x_unit = QStringLiteral("Hz");
    r->x = lines_axis(n, resolution);
}

std::unique_ptr<analysis> make_spec(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    using spectrum = ryx::math::spec;
    int type = spectrum::ausp;
    if (spec.settings.contains(QLatin1String("type"))) {
        const QMetaEnum e = enum_of(spectrum::staticMetaObject, "types");
        QVariant v;
        if (!convert(spec.name, QStringLiteral("type"), spec.settings.value(QLatin1String("type")), &e, &v, error))
            return nullptr;
        type = v.toInt();
    }
    auto* made = new spectrum(static_cast<spectrum::types>(type), src[0]);
    if (!configured(made, spec, {QStringLiteral("type")}, warnings, error))
        return nullptr;
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* s = static_cast<const spectrum*>(o);
        frequency_axis(r, s->std::vector<qreal>::size(), s->resolution());
        QString name = QStringLiteral("amplitude"), unit = unit_name(s->unit(), eu);
        if (s->type() == spectrum::spen)
            name = QStringLiteral("envelope amplitude");
        if (s->type() == spectrum::phase) {
            name = QStringLiteral("phase");
            unit = QStringLiteral("rad");
        }
        if (s->type() == spectrum::psd) {
            name = QStringLiteral("PSD");
            unit = eu + QStringLiteral("²/Hz");
        }
        r->y.push_back({name, unit, std::vector<double>(s->begin(), s->end())});
    });
}

std::unique_ptr<analysis> make_psd(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                   const run_clock*, QStringList* warnings, QString* error)
{
    auto* made = new ryx::math::psd(src[0]);
    if (!configured(made, spec, {}, warnings, error))
        return nullptr;
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* p = static_cast<const ryx::math::psd*>(o);
        frequency_axis(r, p->std::vector<double>::size(), p->resolution());
        r->y.push_back({QStringLiteral("PSD"), eu + QStringLiteral("²/Hz"), std::vector<double>(p->begin(), p->end())});
    });
}

std::unique_ptr<analysis> make_cpsd(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    auto* made = new ryx::math::cpsd(src[0], src[1]);
    if (!configured(made, spec, {}, warnings, error))
        return nullptr;
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* p = static_cast<const ryx::math::cpsd*>(o);
        const std::size_t n = p->std::vector<std::complex<double>>::size();
        frequency_axis(r, n, p->resolution());
        series magnitude{QStringLiteral("|CPSD|"), eu + QStringLiteral("²/Hz"), {}};
        for (const auto& z : *p)
            magnitude.values.push_back(std::abs(z));
        r->y.push_back(std::move(magnitude));
    });
}

std::unique_ptr<analysis> make_octv(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    auto* made = new ryx::math::octv(src[0]);
    if (!configured(made, spec, {}, warnings, error))
        return nullptr;
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* p = static_cast<const ryx::math::octv*>(o);
        r->x_label = QStringLiteral("Band centre");
        r->x_unit = QStringLiteral("Hz");
        r->x_log = true;
        r->bars = true;
        series level{QStringLiteral("band level"), unit_name(p->unit(), eu), {}};
        for (const auto& band : *p) {
            r->x.push_back(band.first);
            level.values.push_back(band.second);
        }
        r->y.push_back(std::move(level));
        // The window's calibration (a tone of amplitude A on a line reads A x c)
        // and the line spacing of the spectrum the bands are taken from.
        if (const ryx::math::spec* s = p->spectrum())
            r->settings.insert(QStringLiteral("resolution"), s->resolution());
        if (const ryx::math::spec* s = p->spectrum())
            if (const ryx::math::fft* e = s->engine())
                if (const double* w = e->window_data()) {
                    const std::uint64_t n = e->fft_length();
                    double sum = 0.0;
                    for (std::uint64_t i = 0; i < n; ++i)
                        sum += w[i];
                    if (n > 0)
                        r->settings.insert(QStringLiteral("calibration"), sum / static_cast<double>(n));
                }
    });
}

std::unique_ptr<analysis> make_orsp(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    using ryx::math::orsp;
    auto* made = new orsp(src[0]);
    // The search settings have setters but no writable property.
    const QStringList search{QStringLiteral("search_type"), QStringLiteral("search_freq"), QStringLiteral("order_max")};
    if (!configured(made, spec, search, warnings, error))
        return nullptr;
    for (const QString& key : search) {
        const QJsonValue v = spec.settings.value(key);
        if (v.isUndefined())
            continue;
        const QMetaEnum e = enum_of(orsp::staticMetaObject, "search_types");
        QVariant value;
        if (!convert(spec.name, key, v, key == search[0] ? &e : nullptr, &value, error)) {
            delete made;
            return nullptr;
        }
        if (key == search[0])
            made->set_search_type(static_cast<orsp::search_types>(value.toInt()));
        else if (key == search[1])
            made->set_search_freq(value.toDouble());
        else
            made->set_order_max(static_cast<unsigned long>(std::clamp(value.toDouble(), 0.0, 1000.0)));
    }
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* p = static_cast<const orsp*>(o);
        r->x_label = QStringLiteral("Order");
        const double per_line = p->freq_idx() > 0 ? 1.0 / static_cast<double>(p->freq_idx()) : 0.0;
        series amplitude{QStringLiteral("amplitude"), unit_name(p->unit(), eu), {}};
        std::size_t i = 0;
        for (const auto& line : *p) {
            r->x.push_back(static_cast<double>(i++) * per_line);
            amplitude.values.push_back(line.first);
        }
        r->y.push_back(std::move(amplitude));
        r->settings.insert(QStringLiteral("fundamental_hz"), p->search_freq());
    });
}

std::unique_ptr<analysis> make_ceps(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    auto* made = new ryx::math::ceps(src[0]);
    if (!configured(made, spec, {}, warnings, error))
        return nullptr;
    return std::make_unique<block_analysis>(spec, made, [](const QObject* o, result* r) {
        const auto* p = static_cast<const ryx::math::ceps*>(o);
        const std::size_t n = p->std::vector<qreal>::size();
        const double res = p->engine() ? p->engine()->resolution() : 0.0;
        r->x_label = QStringLiteral("Quefrency");
        r->x_unit = QStringLiteral("s");
        r->x = lines_axis(n, n > 0 && res > 0.0 ? 1.0 / (static_cast<double>(n) * res) : 0.0);
        r->y.push_back({QStringLiteral("cepstrum"), QString(), std::vector<double>(p->begin(), p->end())});
    });
}

// The phase difference at one frequency: a scalar over time, kept whenever it changes.
class delta_phase_spec_analysis : public analysis
{
public:
    delta_phase_spec_analysis(const analysis_spec& spec, ryx::math::delta_phase_spec* p, const run_clock* clock)
        : analysis(spec), m_object(p)
    {
        QObject::connect(p, &ryx::math::delta_phase_spec::value_changed, p, [this, clock] {
            m_last = m_object->value();
            m_envelope.add(clock->seconds, m_last, m_last);
            ++m_count;
        });
    }
    ~delta_phase_spec_analysis() override { release(); }
    void release() override { m_object.reset(); }
    result take() const override
    {
        result r = base_result(m_object ? readable_properties(m_object.get()) : QJsonObject());
        r.x_label = QStringLiteral("Time");
        r.x_unit = QStringLiteral("s");
        put_envelope(m_envelope, QStringLiteral("deg"), &r);
        return r;
    }
    QString reading() const override
    {
        return m_count == 0 ? QStringLiteral("no phase difference measured")
                            : QStringLiteral("last %1 deg (%2 changes)").arg(number(m_last)).arg(m_count);
    }

private:
    std::unique_ptr<ryx::math::delta_phase_spec> m_object;
    envelope m_envelope;
    double m_last = 0.0;
    qint64 m_count = 0;
};

std::unique_ptr<analysis> make_delta_phase_spec(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                                const run_clock* clock, QStringList* warnings, QString* error)
{
    auto p = std::make_unique<ryx::math::delta_phase_spec>(src[0], src[1]);
    // The overlap has a setter and no property.
    if (!configure_object(p.get(), spec, {QStringLiteral("overlap")}, warnings, error))
        return nullptr;
    const QJsonValue overlap = spec.settings.value(QLatin1String("overlap"));
    if (!overlap.isUndefined()) {
        QVariant v;
        if (!convert(spec.name, QStringLiteral("overlap"), overlap, nullptr, &v, error))
            return nullptr;
        p->set_overlap(static_cast<int>(std::clamp(v.toDouble(), 0.0, 99.0)));
    }
    return std::make_unique<delta_phase_spec_analysis>(spec, p.release(), clock);
}

// Acquisition analysers -------------------------------------------------------------

const QStringList sngl_keys{
    QStringLiteral("frequency"), QStringLiteral("freq"), QStringLiteral("resolution"), QStringLiteral("res"),
    QStringLiteral("samples"), QStringLiteral("zeros"), QStringLiteral("average"), QStringLiteral("avg"),
    QStringLiteral("overlap"), QStringLiteral("window"), QStringLiteral("decay"), QStringLiteral("is_single"),
    QStringLiteral("single_shot"), QStringLiteral("start"), QStringLiteral("delay")};
const named_values window_names{QStringLiteral("window"),
                                {QStringLiteral("rectangular"), QStringLiteral("cosine"), QStringLiteral("hann"),
                                 QStringLiteral("bartlett_hann"), QStringLiteral("hamming"), QStringLiteral("blackman"),
                                 QStringLiteral("blackman_harris"), QStringLiteral("flattop"),
                                 QStringLiteral("half_rect"), QStringLiteral("exponential")}};
const QStringList amplitude_views{QStringLiteral("linear"), QStringLiteral("dB"), QStringLiteral("rms")};
const QStringList phase_views{QStringLiteral("rad"), QStringLiteral("deg")};
const QStringList phase_ranges{QStringLiteral("zero_based"), QStringLiteral("positive"), QStringLiteral("negative")};

// How an acquisition analyser's result reads: the name and unit of its lines
// and the axis.
struct acquisition_shape
{
    QString series;
    QString unit;
    QString x_label = QStringLiteral("Frequency");
    QString x_unit = QStringLiteral("Hz");
};

// Any acquisition analyser, single- or two-channel: a QObject holding its
// result as a vector of reals, one value per line of resolution() spacing.
template <class T>
class acquisition_analysis : public analysis
{
public:
    acquisition_analysis(const analysis_spec& spec, T* object, acquisition_shape shape)
        : analysis(spec), m_object(object), m_shape(std::move(shape))
    {
    }
    ~acquisition_analysis() override { release(); }
    // A single-channel analyser is a child of its source channel, a pair has
    // no parent: either way it goes before the device, unless already gone.
    void release() override { delete m_object.data(); }
    result take() const override
    {
        result r = base_result(m_object ? m_object->config() : QJsonObject());
        if (!m_object)
            return r;
        r.x_label = m_shape.x_label;
        r.x_unit = m_shape.x_unit;
        const std::vector<qreal>& v = *m_object;
        r.x = lines_axis(v.size(), m_object->resolution());
        r.y.push_back({m_shape.series, m_shape.unit, std::vector<double>(v.begin(), v.end())});
        return r;
    }
    QString reading() const override
    {
        const result r = take();
        const QString& k = spec().kind;
        if (r.x.empty())
            return QStringLiteral("no result (input too short for one frame?)");
        const std::vector<double>& y = r.y[0].values;
        if (k == QLatin1String("fftw::coh")) {
            double sum = 0.0;
            for (std::size_t i = 1; i < y.size(); ++i)
                sum += y[i];
            return QStringLiteral("mean coherence %1 over %2 lines").arg(number(sum / double(y.size() - 1))).arg(y.size() - 1);
        }
        if (k == QLatin1String("fftw::corr")) {
            const auto [at, v] = largest(y, 0);
            return QStringLiteral("peak %1 %2 at lag %3 s").arg(number(v), r.y[0].unit, number(r.x[at]));
        }
        if (k == QLatin1String("fftw::phase") || k == QLatin1String("fftw::pfc"))
            return QStringLiteral("%1 lines, %2 %3 at %4 %5")
                .arg(y.size())
                .arg(number(y[y.size() / 2]), r.y[0].unit, number(r.x[y.size() / 2]), r.x_unit);
        return peak_reading(r);
    }

private:
    QPointer<T> m_object;
    acquisition_shape m_shape;
};

// Settings of an acquisition analyser: documented keys, names resolved.
bool acquisition_settings(const analysis_spec& spec, QStringList known, std::vector<named_values> names,
                          QStringList* warnings, QString* error, QJsonObject* out)
{
    check_keys(spec.name, spec.kind, spec.settings, known, warnings);
    *out = spec.settings;
    names.push_back(window_names);
    return resolve_names(spec.name, out, names, error);
}

template <class T>
std::unique_ptr<analysis> make_sngl(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                    const run_clock*, QStringList* warnings, QString* error)
{
    using namespace ryx::math;
    QStringList known = sngl_keys;
    std::vector<named_values> names;
    acquisition_shape shape{QStringLiteral("amplitude"), eu};
    if constexpr (std::is_same_v<T, fftw::phase>) {
        known << QStringLiteral("view") << QStringLiteral("phase_view") << QStringLiteral("range")
              << QStringLiteral("phase_range");
        for (const char* k : {"view", "phase_view"})
            names.push_back({QString::fromLatin1(k), phase_views});
        for (const char* k : {"range", "phase_range"})
            names.push_back({QString::fromLatin1(k), phase_ranges});
        shape.series = QStringLiteral("phase");
    } else {
        known << QStringLiteral("view") << QStringLiteral("ausp_view");
        for (const char* k : {"view", "ausp_view"})
            names.push_back({QString::fromLatin1(k), amplitude_views});
    }
    if constexpr (std::is_same_v<T, fftw::orsp>) {
        known << QStringLiteral("harm_freq") << QStringLiteral("max_order");
        shape.x_label = QStringLiteral("Order");
        shape.x_unit.clear();
    }
    if constexpr (std::is_same_v<T, fftw::psd>) {
        shape.series = QStringLiteral("power");
        shape.unit = eu + QStringLiteral("²");
    }
    if constexpr (std::is_same_v<T, fftw::spen>)
        shape.series = QStringLiteral("envelope amplitude");
    QJsonObject settings;
    if (!acquisition_settings(spec, known, names, warnings, error, &settings))
        return nullptr;
    const int view = settings.value(QLatin1String("view")).toInt(settings.value(QLatin1String("ausp_view")).toInt(0));
    if constexpr (std::is_same_v<T, fftw::phase>) {
        const int pv = settings.value(QLatin1String("view")).toInt(settings.value(QLatin1String("phase_view")).toInt(0));
        shape.unit = pv == 1 ? QStringLiteral("deg") : QStringLiteral("rad");
    } else if (view == 1) {
        shape.unit = QStringLiteral("dB");
    } else if (view == 2) {
        shape.unit += QStringLiteral(" RMS");
    }
    auto* a = new T(src[0], settings);
    return std::make_unique<acquisition_analysis<fftw::sngl>>(spec, a, shape);
}

template <class T>
std::unique_ptr<analysis> make_dbl(const analysis_spec& spec, const std::vector<ryx::analog_data*>& src,
                                   const run_clock*, QStringList* warnings, QString* error)
{
    using namespace ryx::math;
    QStringList known = sngl_keys;
    std::vector<named_values> names;
    acquisition_shape shape;
    if constexpr (std::is_same_v<T, fftw::afc>) {
        known << QStringLiteral("view") << QStringLiteral("ausp_view");
        for (const char* k : {"view", "ausp_view"})
            names.push_back({QString::fromLatin1(k), amplitude_views});
        shape = {QStringLiteral("|H|"), QString()};
    } else if constexpr (std::is_same_v<T, fftw::pfc>) {
        known << QStringLiteral("view") << QStringLiteral("phase_view") << QStringLiteral("range")
              << QStringLiteral("phase_range");
        for (const char* k : {"view", "phase_view"})
            names.push_back({QString::fromLatin1(k), phase_views});
        for (const char* k : {"range", "phase_range"})
            names.push_back({QString::fromLatin1(k), phase_ranges});
        shape = {QStringLiteral("phase difference"), QStringLiteral("rad")};
    } else if constexpr (std::is_same_v<T, fftw::coh>) {
        shape = {QStringLiteral("coherence"), QString()};
    } else if constexpr (std::is_same_v<T, fftw::cross>) {
        shape = {QStringLiteral("|cross spectrum|"), eu + QStringLiteral("²")};
    } else {
        // The correlation sets the frame geometry from its longest lag.
        known = QStringList{QStringLiteral("time"), QStringLiteral("window"), QStringLiteral("decay"),
                            QStringLiteral("start"), QStringLiteral("delay"), QStringLiteral("is_single"),
                            QStringLiteral("single_shot")};
        shape = {QStringLiteral("correlation"), eu + QStringLiteral("²"), QStringLiteral("Lag"), QStringLiteral("s")};
    }
    QJsonObject settings;
    if (!acquisition_settings(spec, known, names, warnings, error, &settings))
        return nullptr;
    if constexpr (std::is_same_v<T, fftw::afc>) {
        if (settings.value(QLatin1String("view")).toInt(settings.value(QLatin1String("ausp_view")).toInt(0)) == 1)
            shape.unit = QStringLiteral("dB");
    }
    if constexpr (std::is_same_v<T, fftw::pfc>) {
        if (settings.value(QLatin1String("view")).toInt(settings.value(QLatin1String("phase_view")).toInt(0)) == 1)
            shape.unit = QStringLiteral("deg");
    }
    auto* a = new T(src[0], src[1], settings);
    return std::make_unique<acquisition_analysis<fftw::dbl>>(spec, a, shape);
}

// The registry -----------------------------------------------------------------------

using factory = std::unique_ptr<analysis> (*)(const analysis_spec&, const std::vector<ryx::analog_data*>&,
                                              const run_clock*, QStringList*, QString*);
struct kind_entry
{
    int sources;
    factory make;
};

const std::map<QString, kind_entry>& registry()
{
    namespace m = ryx::math;
    static const std::map<QString, kind_entry> kinds{
        {QStringLiteral("filter_iir"), {1, make_filter}},
        {QStringLiteral("diff"), {1, make_moving<m::diff>}},
        {QStringLiteral("intg"), {1, make_moving<m::intg>}},
        {QStringLiteral("moving::avg"), {1, make_moving<m::moving::avg>}},
        {QStringLiteral("moving::corr"), {1, make_moving_corr}},
        {QStringLiteral("moving::freq"), {1, make_moving<m::moving::freq>}},
        {QStringLiteral("moving::kurt"), {1, make_moving<m::moving::kurt>}},
        {QStringLiteral("moving::max"), {1, make_moving<m::moving::max>}},
        {QStringLiteral("moving::median"), {1, make_moving<m::moving::median>}},
        {QStringLiteral("moving::min"), {1, make_moving<m::moving::min>}},
        {QStringLiteral("moving::msd"), {1, make_moving<m::moving::msd>}},
        {QStringLiteral("moving::offset"), {1, make_moving<m::moving::offset>}},
        {QStringLiteral("moving::peak"), {1, make_moving<m::moving::peak>}},
        {QStringLiteral("moving::peak_to_peak"), {1, make_moving<m::moving::peak_to_peak>}},
        {QStringLiteral("moving::period"), {1, make_moving<m::moving::period>}},
        {QStringLiteral("moving::rms"), {1, make_moving<m::moving::rms>}},
        {QStringLiteral("moving::thresh"), {1, make_moving<m::moving::thresh>}},
        {QStringLiteral("moving::var"), {1, make_moving<m::moving::var>}},
        {QStringLiteral("instant::avg"), {1, make_instant<m::instant::avg>}},
        {QStringLiteral("instant::sum"), {1, make_instant<m::instant::sum>}},
        {QStringLiteral("instant::rms"), {1, make_instant<m::instant::rms>}},
        {QStringLiteral("instant::var"), {1, make_instant<m::instant::var>}},
        {QStringLiteral("instant::kurt"), {1, make_instant<m::instant::kurt>}},
        {QStringLiteral("instant::max"), {1, make_instant<m::instant::max>}},
        {QStringLiteral("instant::min"), {1, make_instant<m::instant::min>}},
        {QStringLiteral("instant::peak_to_peak"), {1, make_instant<m::instant::peak_to_peak>}},
        {QStringLiteral("instant::offset"), {1, make_instant<m::instant::offset>}},
        {QStringLiteral("instant::peak"), {1, make_instant<m::instant::peak>}},
        {QStringLiteral("instant::ampl"), {1, make_instant<m::instant::ampl>}},
        {QStringLiteral("instant::freq"), {1, make_instant<m::instant::freq>}},
        {QStringLiteral("instant::delta_phase"), {2, make_instant<m::instant::delta_phase>}},
        {QStringLiteral("spec"), {1, make_spec}},
        {QStringLiteral("psd"), {1, make_psd}},
        {QStringLiteral("cpsd"), {2, make_cpsd}},
        {QStringLiteral("octv"), {1, make_octv}},
        {QStringLiteral("orsp"), {1, make_orsp}},
        {QStringLiteral("ceps"), {1, make_ceps}},
        {QStringLiteral("delta_phase_spec"), {2, make_delta_phase_spec}},
        {QStringLiteral("fftw::ausp"), {1, make_sngl<m::fftw::ausp>}},
        {QStringLiteral("fftw::psd"), {1, make_sngl<m::fftw::psd>}},
        {QStringLiteral("fftw::spen"), {1, make_sngl<m::fftw::spen>}},
        {QStringLiteral("fftw::orsp"), {1, make_sngl<m::fftw::orsp>}},
        {QStringLiteral("fftw::phase"), {1, make_sngl<m::fftw::phase>}},
        {QStringLiteral("fftw::afc"), {2, make_dbl<m::fftw::afc>}},
        {QStringLiteral("fftw::pfc"), {2, make_dbl<m::fftw::pfc>}},
        {QStringLiteral("fftw::coh"), {2, make_dbl<m::fftw::coh>}},
        {QStringLiteral("fftw::corr"), {2, make_dbl<m::fftw::corr>}},
        {QStringLiteral("fftw::cross"), {2, make_dbl<m::fftw::cross>}},
    };
    return kinds;
}

// Names become file names: letters, digits, '_', '-', '.', not leading '.'.
bool valid_name(const QString& name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-][A-Za-z0-9_.-]{0,63}$"));
    return re.match(name).hasMatch();
}

bool read_entry(const QJsonValue& v, const QString& where, analysis_spec* out, QString* error)
{
    if (!v.isObject()) {
        *error = QStringLiteral("%1: expected an object").arg(where);
        return false;
    }
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!QStringList{QStringLiteral("name"), QStringLiteral("kind"), QStringLiteral("source"),
                         QStringLiteral("sources"), QStringLiteral("settings")}
                 .contains(it.key())) {
            *error = QStringLiteral("%1: unknown field '%2' (fields: name, kind, source or sources, settings)")
                         .arg(where, it.key());
            return false;
        }
    if (!o.value(QLatin1String("name")).isString() || !o.value(QLatin1String("kind")).isString()) {
        *error = QStringLiteral("%1: 'name' and 'kind' must be strings").arg(where);
        return false;
    }
    out->name = o.value(QLatin1String("name")).toString();
    out->kind = o.value(QLatin1String("kind")).toString();
    out->sources.clear();
    const QJsonValue source = o.value(QLatin1String("source"));
    const QJsonValue sources = o.value(QLatin1String("sources"));
    if (source.isString()) {
        out->sources = source.toString().split(QLatin1Char('+'));
    } else if (sources.isArray()) {
        for (const QJsonValue& s : sources.toArray()) {
            if (!s.isString()) {
                *error = QStringLiteral("%1: 'sources' must hold strings").arg(where);
                return false;
            }
            out->sources << s.toString();
        }
    } else if (!source.isUndefined() || !sources.isUndefined()) {
        *error = QStringLiteral("%1: 'source' must be a string, 'sources' an array of strings").arg(where);
        return false;
    }
    const QJsonValue settings = o.value(QLatin1String("settings"));
    if (!settings.isUndefined() && !settings.isObject()) {
        *error = QStringLiteral("%1: 'settings' must be an object").arg(where);
        return false;
    }
    out->settings = settings.toObject();
    return true;
}

// Splits at the separator outside brackets.
QStringList split_top(const QString& text, QChar separator)
{
    QStringList parts;
    int depth = 0;
    QString current;
    for (const QChar c : text) {
        if (c == QLatin1Char('[') || c == QLatin1Char('{'))
            ++depth;
        else if ((c == QLatin1Char(']') || c == QLatin1Char('}')) && depth > 0)
            --depth;
        if (c == separator && depth == 0) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current;
    return parts;
}

} // namespace

analysis::~analysis() = default;

result analysis::base_result(const QJsonObject& taken) const
{
    result r;
    r.name = m_spec.name;
    r.kind = m_spec.kind;
    QJsonObject s;
    s.insert(QStringLiteral("sources"), QJsonArray::fromStringList(m_spec.sources));
    s.insert(QStringLiteral("given"), m_spec.settings);
    s.insert(QStringLiteral("taken"), taken);
    r.settings = s;
    return r;
}

QStringList known_kinds()
{
    QStringList out;
    for (const auto& [name, entry] : registry())
        out << name;
    return out;
}

int source_count(const QString& kind)
{
    const auto it = registry().find(kind);
    return it == registry().end() ? 0 : it->second.sources;
}

bool parse_analysis_list(const QByteArray& text, const QString& origin, std::vector<analysis_spec>* out,
                         QString* error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &pe);
    if (pe.error != QJsonParseError::NoError) {
        // The offset counts bytes of the UTF-8 text; line and column count from 1.
        const int offset = std::clamp(pe.offset, 0, static_cast<int>(text.size()));
        int line = 1, column = 1;
        for (int i = 0; i < offset; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        *error = QStringLiteral("%1:%2:%3: bad JSON: %4").arg(origin).arg(line).arg(column).arg(pe.errorString());
        return false;
    }
    QJsonArray list;
    if (doc.isArray())
        list = doc.array();
    else if (doc.isObject() && doc.object().value(QLatin1String("analyses")).isArray())
        list = doc.object().value(QLatin1String("analyses")).toArray();
    else {
        *error = QStringLiteral("%1: expected an array of analyses (or an object with an \"analyses\" array)").arg(origin);
        return false;
    }
    for (int i = 0; i < list.size(); ++i) {
        analysis_spec s;
        if (!read_entry(list.at(i), QStringLiteral("%1: analysis %2").arg(origin).arg(i + 1), &s, error))
            return false;
        out->push_back(std::move(s));
    }
    return true;
}

bool parse_analysis_option(const QString& text, analysis_spec* out, QString* error)
{
    // "::" belongs to the kind; hide it from the split on ':'.
    const QChar hidden(0xE000);
    QString t = text;
    t.replace(QStringLiteral("::"), QString(2, hidden));
    QStringList parts = t.split(QLatin1Char(':'));
    for (QString& p : parts)
        p.replace(QString(2, hidden), QStringLiteral("::"));
    if (parts.size() < 3) {
        *error = QStringLiteral("-a '%1': expected name:kind:source[:key=value,...]").arg(text);
        return false;
    }
    if (parts.size() > 4)
        parts[3] = parts.mid(3).join(QLatin1Char(':'));
    out->name = parts[0];
    out->kind = parts[1];
    out->sources = parts[2].split(QLatin1Char('+'));
    out->settings = QJsonObject();
    if (parts.size() >= 4 && !parts[3].isEmpty()) {
        for (const QString& item : split_top(parts[3], QLatin1Char(','))) {
            const int eq = static_cast<int>(item.indexOf(QLatin1Char('=')));
            if (eq <= 0) {
                *error = QStringLiteral("-a '%1': setting '%2' is not key=value").arg(text, item);
                return false;
            }
            const QString key = item.left(eq).trimmed();
            const QString value = item.mid(eq + 1).trimmed();
            QJsonParseError pe;
            const QJsonDocument doc = QJsonDocument::fromJson(QStringLiteral("[%1]").arg(value).toUtf8(), &pe);
            if (pe.error == QJsonParseError::NoError && doc.array().size() == 1)
                out->settings.insert(key, doc.array().at(0));
            else
                out->settings.insert(key, value);
        }
    }
    return true;
}

std::unique_ptr<analysis> make_analysis(const analysis_spec& spec, const std::vector<ryx::analog_data*>& sources,
                                        const run_clock* clock, QStringList* warnings, QString* error)
{
    const auto it = registry().find(spec.kind);
    if (it == registry().end()) {
        *error = QStringLiteral("analysis '%1': unknown kind '%2'; known kinds: %3")
                     .arg(spec.name, spec.kind, known_kinds().join(QStringLiteral(", ")));
        return nullptr;
    }
    if (!valid_name(spec.name)) {
        *error = QStringLiteral("analysis name '%1': use 1 to 64 letters, digits, '_', '-' or '.'").arg(spec.name);
        return nullptr;
    }
    if (static_cast<int>(sources.size()) != it->second.sources) {
        *error = QStringLiteral("analysis '%1': %2 takes %3 source%4, got %5")
                     .arg(spec.name, spec.kind)
                     .arg(it->second.sources)
                     .arg(it->second.sources == 1 ? QString() : QStringLiteral("s"))
                     .arg(sources.size());
        return nullptr;
    }
    // The library object is built and configured under the device lock, as a
    // host reconfigures while acquisition may run.
    const ryx::device_lock lock(sources[0]->root_device());
    return it->second.make(spec, sources, clock, warnings, error);
}

} // namespace ryx::analyze
