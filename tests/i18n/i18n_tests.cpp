#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <memory>

#include "ryx/math/diff.h"
#include "ryx/math/fftw/ausp.h"
#include "ryx/math/fftw/phase.h"
#include "ryx/math/filter_iir.h"
#include "ryx/math/intg.h"
#include "ryx/math/moving/corr.h"
#include "ryx/math/moving/freq.h"
#include "ryx/math/moving/msd.h"
#include "ryx/math/moving/rms.h"
#include "ryx/math/moving/thresh.h"
#include "support/host.h"

namespace {

// (context, source, translation) of every message of a Linguist source.
struct message
{
    QString context, source, translation;
};

std::vector<message> read_ts(const QString& path)
{
    std::vector<message> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&file);
    QString context;
    message m;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            m = {context, xml.readElementText(), {}};
        } else if (xml.name() == QLatin1String("translation")) {
            m.translation = xml.readElementText();
            out.push_back(m);
        }
    }
    return out;
}

QSet<QString> keys(const std::vector<message>& messages)
{
    QSet<QString> out;
    for (const message& m : messages)
        out.insert(m.context + QLatin1Char('|') + m.source);
    return out;
}

// Runs one of Qt's tools; true when it ran and succeeded.
bool run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(120000))
        return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString label(const QJsonObject& settings, const char* key)
{
    return settings.value(QLatin1String(key)).toObject().value(QLatin1String("label")).toString();
}

QStringList items(const QJsonObject& editor)
{
    QStringList out;
    for (const QJsonValue& v : editor.value(QLatin1String("items")).toArray())
        out << (v.isObject() ? v.toObject().value(QLatin1String("text")).toString() : v.toString());
    return out;
}

// Installs the library's Russian catalogue for the life of the object.
class russian
{
public:
    russian() { loaded = translator.load(QStringLiteral(":/i18n/ryx_math_ru_RU.qm")) && QCoreApplication::installTranslator(&translator); }
    ~russian() { QCoreApplication::removeTranslator(&translator); }
    bool loaded = false;

private:
    QTranslator translator;
};

} // namespace

TEST(Catalogue, LabelsItemsAndNamesComeOutInRussian)
{
    ryx::test::host h(51200.0);
    // Without a translator the texts are the library's own.
    {
        ryx::math::filter_iir f(h.channel(), true);
        EXPECT_EQ(label(f.settings(), "20_kind"), QStringLiteral("Kind"));
    }
    russian ru;
    ASSERT_TRUE(ru.loaded);
    ryx::analog_data* ch = h.channel();

    ryx::math::filter_iir f(ch, true);
    const QJsonObject fs = f.settings();
    EXPECT_EQ(f.name(), QStringLiteral("фильтр"));
    EXPECT_EQ(label(fs, "20_kind"), QStringLiteral("Вид"));
    EXPECT_EQ(label(fs, "22_order"), QStringLiteral("Порядок"));
    EXPECT_EQ(label(fs, "23_freq"), QStringLiteral("Частота"));
    const QStringList types = items(fs.value(QLatin1String("21_type")).toObject());
    EXPECT_TRUE(types.contains(QStringLiteral("ФНЧ")));
    EXPECT_TRUE(types.contains(QStringLiteral("ФВЧ")));
    EXPECT_TRUE(types.contains(QStringLiteral("Режекторный")));
    f.set_kind(ryx::math::filter_iir::rbj);
    f.set_type(ryx::math::filter_iir::lowpass);
    const QJsonObject rbj = f.settings();
    EXPECT_TRUE(items(rbj.value(QLatin1String("21_type")).toObject()).contains(QStringLiteral("Allpass")));
    EXPECT_EQ(label(rbj, "31_q"), QStringLiteral("Q"));

    ryx::math::diff d(ch, true);
    ryx::math::intg i(ch, true);
    EXPECT_EQ(label(d.settings(), "20_taps"), QStringLiteral("Порядок"));
    EXPECT_EQ(label(i.settings(), "20_taps"), QStringLiteral("Порядок"));
    EXPECT_EQ(d.name(), QStringLiteral("дифференциатор"));

    ryx::math::moving::rms rms(ch, true);
    ryx::math::moving::msd msd(ch, true);
    ryx::math::moving::freq freq(ch, true);
    ryx::math::moving::corr corr(ch, ryx::math::moving::corr::fft, true);
    EXPECT_EQ(rms.name(), QStringLiteral("СКЗ"));
    EXPECT_EQ(msd.name(), QStringLiteral("СКО"));
    EXPECT_EQ(corr.name(), QStringLiteral("корреляция"));
    EXPECT_EQ(label(rms.settings(), "20_window"), QStringLiteral("Окно, с"));
    EXPECT_EQ(items(freq.settings().value(QLatin1String("30_dc_type")).toObject()).value(0), QStringLiteral("Порог"));

    ryx::math::fftw::ausp a(ch, {});
    EXPECT_EQ(a.parameter("samples").value(QLatin1String("label")).toString(), QStringLiteral("Количество линий"));
    EXPECT_EQ(a.parameter("acq_time").value(QLatin1String("label")).toString(), QStringLiteral("Время вычисления, с"));
    EXPECT_EQ(a.parameter("avg").value(QLatin1String("label")).toString(), QStringLiteral("Количество усреднений"));
    EXPECT_EQ(a.parameter("acq_samples").value(QLatin1String("label")).toString(), QStringLiteral("Acq. samples"));
    EXPECT_EQ(items(a.parameter("ausp_view")), (QStringList{"Единицы", "дБ", "СКЗ"}));
    ryx::math::fftw::phase p(ch, {});
    EXPECT_EQ(p.parameter("phase_view").value(QLatin1String("label")).toString(), QStringLiteral("Вид"));
}

TEST(Catalogue, TheCompiledCatalogueHoldsTheSourcesMessagesUnderTheirContexts)
{
    const std::vector<message> source = read_ts(QStringLiteral(RYX_TS_FILE));
    ASSERT_EQ(source.size(), 83u);
    // Every message is translated but the two kept in English, which carry their own text.
    for (const message& m : source) {
        EXPECT_FALSE(m.translation.isEmpty()) << m.source.toStdString();
        const bool english = m.source == QLatin1String("Acq. samples")
                             || (m.context == QLatin1String("ryx::math::moving::freq") && m.source == QLatin1String("DC"));
        if (english) {
            EXPECT_EQ(m.translation, m.source);
        }
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString back = dir.filePath(QStringLiteral("from_qm.ts"));
    ASSERT_TRUE(run(QStringLiteral(RYX_LCONVERT), {QStringLiteral(RYX_QM_FILE), QStringLiteral("-o"), back}));
    const std::vector<message> compiled = read_ts(back);
    EXPECT_EQ(compiled.size(), 83u);
    EXPECT_EQ(keys(compiled), keys(source));
}

TEST(Catalogue, InStepWithTheTextsTheSourcesTranslate)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString scanned = dir.filePath(QStringLiteral("scanned.ts"));
    QStringList arguments{QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                          QStringLiteral("-I"), QStringLiteral(RYX_BUILD_INCLUDE_DIR)};
    for (const QString& include : QStringLiteral(RYX_QT_INCLUDE_DIRS).split(QLatin1Char('|'), Qt::SkipEmptyParts))
        arguments << QStringLiteral("-I") << include;
    arguments << QStringLiteral(RYX_SOURCE_DIR "/math") << QStringLiteral("-ts") << scanned;
    ASSERT_TRUE(run(QStringLiteral(RYX_LUPDATE), arguments));
    const QSet<QString> in_sources = keys(read_ts(scanned));
    const QSet<QString> in_catalogue = keys(read_ts(QStringLiteral(RYX_TS_FILE)));
    EXPECT_EQ(in_sources.size(), 83);
    EXPECT_TRUE(QSet<QString>(in_sources).subtract(in_catalogue).isEmpty())
        << "not in the catalogue: " << QStringList(QSet<QString>(in_sources).subtract(in_catalogue).values()).join(", ").toStdString();
    EXPECT_TRUE(QSet<QString>(in_catalogue).subtract(in_sources).isEmpty())
        << "no longer in the sources: " << QStringList(QSet<QString>(in_catalogue).subtract(in_sources).values()).join(", ").toStdString();
}
