// ryx-analyze end to end: the built program run on generated recordings, its
// readings set against closed forms, every bad input answered with its exit
// status and message, and the plots it draws.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

struct outcome
{
    int status = -1;
    QString out;
    QString err;
};

outcome run(const QStringList& args, const QString& folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(RYX_ANALYZE_PATH), args);
    EXPECT_TRUE(p.waitForFinished(60000)) << "ryx-analyze did not finish: " << args.join(' ').toStdString();
    outcome o;
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

// Writes frames (interleaved channels) as a 32-bit float WAV.
void write_wav(const QString& path, int channels, int rate, const std::vector<double>& interleaved)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_double(f, interleaved.data(), static_cast<sf_count_t>(interleaved.size()) / channels);
    sf_close(f);
}

// A CSV result: the header and the columns.
struct table
{
    QStringList header;
    std::vector<std::vector<double>> rows;
};

table read_csv(const QString& path)
{
    table t;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    QTextStream in(&f);
    t.header = in.readLine().split(QLatin1Char(','));
    while (!in.atEnd()) {
        std::vector<double> row;
        for (const QString& field : in.readLine().split(QLatin1Char(',')))
            row.push_back(field.toDouble());
        t.rows.push_back(row);
    }
    return t;
}

// The value of column `column` on the row whose first column is nearest to x.
double at(const table& t, double x, std::size_t column = 1)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < t.rows.size(); ++i)
        if (std::abs(t.rows[i][0] - x) < std::abs(t.rows[best][0] - x))
            best = i;
    return t.rows.at(best).at(column);
}

class analyze : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }
};

// Readings against closed forms ------------------------------------------------------

TEST_F(analyze, tone_amplitude_reads_on_its_spectrum_line)
{
    // 0.7 x sin at 1000 Hz, 48 kHz: on line 100 of a 10 Hz rectangular spectrum.
    const int rate = 48000;
    std::vector<double> x(static_cast<std::size_t>(rate) * 2);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = 0.7 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / rate);
    write_wav(path("tone.wav"), 1, rate, x);
    // A flat-top block spectrum too: the tone 3.3 Hz off its nearest line.
    const outcome o = run({path("tone.wav"), QStringLiteral("--out"), path("out"), QStringLiteral("--no-plots"), "-a",
                           "line:fftw::ausp:ch0:frequency=4800,resolution=10,window=rectangular,average=4"},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const table t = read_csv(path("out/line.csv"));
    EXPECT_EQ(t.header.value(0), QStringLiteral("Frequency [Hz]"));
    EXPECT_NEAR(at(t, 1000.0), 0.7, 0.007);
    EXPECT_LT(at(t, 1200.0), 0.007) << "a line away from the tone holds no energy";
    EXPECT_TRUE(o.out.contains(QStringLiteral("tone.wav")));
    EXPECT_FALSE(QFile::exists(path("out/line.png"))) << "--no-plots";
    // Every result and its settings are in results.json.
    QFile json(path("out/results.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonArray results = QJsonDocument::fromJson(json.readAll()).object().value("results").toArray();
    ASSERT_EQ(results.size(), 1);
    EXPECT_EQ(results[0].toObject().value("settings").toObject().value("given").toObject().value("window").toString(),
              QStringLiteral("rectangular"));
}

TEST_F(analyze, two_channel_file_reads_its_gain_and_full_coherence)
{
    // Channel 1 = 2.5 x channel 0 (white noise) + noise 40 dB below it.
    const int rate = 16000;
    const std::size_t n = static_cast<std::size_t>(rate) * 4;
    std::mt19937 gen(7);
    std::normal_distribution<double> dist;
    std::vector<double> x(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        x[2 * i] = 0.2 * dist(gen);
        x[2 * i + 1] = 2.5 * x[2 * i] + 0.005 * dist(gen);
    }
    write_wav(path("pair.wav"), 2, rate, x);
    const QString settings = QStringLiteral("frequency=4000,resolution=20,window=hann,average=32");
    const outcome o = run({path("pair.wav"), "--out", path("out"), "--no-plots", "-a",
                           "gain:fftw::afc:ch1+ch0:" + settings, "-a", "coh:fftw::coh:ch0+ch1:" + settings},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const table gain = read_csv(path("out/gain.csv"));
    const table coh = read_csv(path("out/coh.csv"));
    ASSERT_GT(gain.rows.size(), 100u);
    ASSERT_GT(coh.rows.size(), 100u);
    // Away from line 0 and the anti-alias edge.
    double g = 0.0, c = 0.0;
    int lines = 0;
    for (std::size_t i = 0; i < gain.rows.size(); ++i)
        if (gain.rows[i][0] >= 100.0 && gain.rows[i][0] <= 3000.0) {
            g += gain.rows[i][1];
            c += at(coh, gain.rows[i][0]);
            ++lines;
        }
    ASSERT_GT(lines, 100);
    EXPECT_NEAR(g / lines, 2.5, 0.025);
    EXPECT_GT(c / lines, 0.99);
}

TEST_F(analyze, chain_of_derived_channels_reads_the_rms_of_the_filtered_tone)
{
    // 50 Hz of amplitude 1 under 2 kHz of amplitude 0.5: a high-pass keeps the
    // 2 kHz tone, whose moving RMS is 0.5 / sqrt 2.
    const int rate = 20000;
    std::vector<double> x(static_cast<std::size_t>(rate) * 2);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = std::sin(2.0 * M_PI * 50.0 * t) + 0.5 * std::sin(2.0 * M_PI * 2000.0 * t);
    }
    write_wav(path("mix.wav"), 1, rate, x);
    QFile list(path("list.json"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(R"([{"name": "hp", "kind": "filter_iir", "source": "ch0",
                    "settings": {"kind": "butterworth", "type": "highpass", "order": 6, "freq": 500}},
                   {"name": "hp_rms", "kind": "moving::rms", "source": "hp", "settings": {"window": 0.1}}])");
    list.close();
    const outcome o = run({path("mix.wav"), "--analyses", path("list.json"), "--out", path("out"), "--no-plots"},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.err.isEmpty()) << o.err.toStdString();
    const table t = read_csv(path("out/hp_rms.csv"));
    ASSERT_FALSE(t.rows.empty());
    EXPECT_EQ(t.header.value(0), QStringLiteral("Time [s]"));
    EXPECT_NEAR(t.rows.back()[1], 0.5 / std::sqrt(2.0), 0.005);
}

TEST_F(analyze, window_names_reach_the_analyser)
{
    // A tone half-way between two 10 Hz lines: the flat-top window reads its
    // amplitude, the rectangular one 2 / pi of it. Both by name.
    const int rate = 48000;
    std::vector<double> x(static_cast<std::size_t>(rate) * 2);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = 0.4 * std::sin(2.0 * M_PI * 1005.0 * static_cast<double>(i) / rate);
    write_wav(path("between.wav"), 1, rate, x);
    const QString band = QStringLiteral("frequency=4800,resolution=10,average=4,window=");
    const outcome o = run({path("between.wav"), "--out", path("out"), "--no-plots", "-a", "flat:fftw::ausp:ch0:" + band + "flattop",
                           "-a", "rect:fftw::ausp:ch0:" + band + "rectangular"},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const table flat = read_csv(path("out/flat.csv"));
    const table rect = read_csv(path("out/rect.csv"));
    // The analyser's windows other than the rectangular carry an amplitude
    // factor of about 1.035.
    EXPECT_NEAR(std::max(at(flat, 1000.0), at(flat, 1010.0)), 0.4 * 1.035, 0.004);
    EXPECT_NEAR(std::max(at(rect, 1000.0), at(rect, 1010.0)), 0.4 * 2.0 / M_PI, 0.01);
}

TEST_F(analyze, results_over_time_keep_their_envelope)
{
    // 3 s of a 100 Hz sine of amplitude 0.8 from a CSV with a time column.
    const int rate = 8000;
    QFile csv(path("sine.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    QTextStream out(&csv);
    out << "time,signal\n";
    for (int i = 0; i < 3 * rate; ++i)
        out << QString::number(static_cast<double>(i) / rate, 'g', 12) << ','
            << QString::number(0.8 * std::sin(2.0 * M_PI * 100.0 * i / rate), 'g', 12) << '\n';
    out.flush();
    csv.close();
    // The filter without a design passes the samples unchanged: 24000 samples,
    // more than a plot's worth, kept as bins of their extremes.
    const outcome o = run({path("sine.csv"), "--time-column", "--out", path("out"), "--no-plots", "-a",
                           "same:filter_iir:ch0:kind=undef", "-a", "rms:instant::rms:ch0:time=0.5", "-a",
                           "f:instant::freq:ch0:time=0.5"},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("8000 Hz")) << o.out.toStdString();
    const table same = read_csv(path("out/same.csv"));
    ASSERT_EQ(same.header.size(), 3) << same.header.join(',').toStdString();
    EXPECT_LE(same.rows.size(), 4096u);
    double lo = 0.0, hi = 0.0;
    for (const auto& row : same.rows) {
        lo = std::min(lo, row[1]);
        hi = std::max(hi, row[2]);
    }
    EXPECT_NEAR(lo, -0.8, 1e-6);
    EXPECT_NEAR(hi, 0.8, 1e-6);
    // One block result every 0.5 s, stamped with the time it completed.
    const table rms = read_csv(path("out/rms.csv"));
    ASSERT_EQ(rms.rows.size(), 6u);
    for (std::size_t i = 0; i < rms.rows.size(); ++i) {
        EXPECT_NEAR(rms.rows[i][0], 0.5 * static_cast<double>(i + 1), 1024.0 / rate) << "block " << i;
        EXPECT_NEAR(rms.rows[i][1], 0.8 / std::sqrt(2.0), 1e-3) << "block " << i;
    }
    const table f = read_csv(path("out/f.csv"));
    ASSERT_FALSE(f.rows.empty());
    EXPECT_NEAR(f.rows.back()[1], 100.0, 0.05);
}

// Bad input and bad usage -------------------------------------------------------------

TEST_F(analyze, bad_input_exits_1_with_one_line_naming_the_fault)
{
    QFile text(path("text.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a sound file\n");
    text.close();
    // A WAV cut in the middle of its data.
    std::vector<double> x(4000, 0.25);
    write_wav(path("whole.wav"), 1, 8000, x);
    QFile whole(path("whole.wav"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    QFile cut(path("cut.wav"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(whole.size() / 2));
    cut.close();
    QFile json(path("bad.json"));
    ASSERT_TRUE(json.open(QIODevice::WriteOnly));
    json.write("[\n {\"name\": \"a\",\n  \"kind\" \"spec\"}\n]\n");
    json.close();
    for (const auto& [name, content] : {std::pair<const char*, QByteArray>{"empty.json", "[]"},
                                     {"object.json", "{\"name\": \"x\"}"},
                                     {"deep.json", QByteArray(100000, '[') + QByteArray(100000, ']')}}) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    struct bad_case
    {
        const char* what;
        QStringList args;
        QString message; // a part of the one line on stderr
    };
    const std::vector<bad_case> cases{
        {"missing file", {path("nowhere.wav")}, "nowhere.wav"},
        {"not a sound file", {path("text.wav")}, "text.wav"},
        {"truncated WAV", {path("cut.wav")}, "truncated"},
        {"bad JSON", {"--analyses", path("bad.json")}, "bad.json:3:11: bad JSON"},
        {"missing analysis list", {"--analyses", path("none.json")}, "none.json"},
        {"empty analysis list", {"--analyses", path("empty.json")}, "empty.json: lists no analyses"},
        {"analysis list that is not a list", {"--analyses", path("object.json")}, "expected an array of analyses"},
        {"too deeply nested JSON", {"--analyses", path("deep.json")}, "deep.json:1:"},
        {"unknown analysis", {"-a", "x:fftw::nothing:ch0"}, "unknown kind 'fftw::nothing'; known kinds: ceps, cpsd"},
        {"unknown source", {"-a", "x:spec:ch7"}, "unknown source 'ch7'"},
        {"wrong number of sources", {"-a", "x:fftw::coh:ch0"}, "fftw::coh takes 2 sources"},
        {"enumeration value that does not exist", {"-a", "x:filter_iir:ch0:kind=elliptik"},
         "'elliptik' is not one of bessel, butterworth"},
        {"text for a number", {"-a", "x:fftw::ausp:ch0:frequency=high"}, "'high' is not a number"},
        {"name used twice", {"-a", "x:spec:ch0", "-a", "x:psd:ch0"}, "'x' is used twice"},
    };
    for (const bad_case& c : cases) {
        QStringList args = c.args;
        args << "--seconds" << "0.5" << "--no-plots" << "--out" << path("out");
        const outcome o = run(args, dir.path());
        EXPECT_EQ(o.status, 1) << c.what;
        EXPECT_TRUE(o.err.contains(c.message)) << c.what << ": " << o.err.toStdString();
        EXPECT_EQ(o.err.trimmed().count(QLatin1Char('\n')), 0) << c.what << ": one line, got " << o.err.toStdString();
        EXPECT_FALSE(QFile::exists(path("out/results.json"))) << c.what << ": no results presented as complete";
    }
}

TEST_F(analyze, bad_usage_exits_2)
{
    for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"--run"}, QStringList{"--run", "0"},
                                    QStringList{"--seconds", "-1"}, QStringList{"--rate", "abc", "x.csv"},
                                    QStringList{"a.wav", "b.wav"}}) {
        const outcome o = run(args, dir.path());
        EXPECT_EQ(o.status, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(o.err.trimmed().isEmpty());
        EXPECT_EQ(o.err.trimmed().count(QLatin1Char('\n')), 0) << o.err.toStdString();
    }
    const outcome help = run({"--help"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("name:kind:source[:key=value,...]"));
    EXPECT_TRUE(help.out.contains("Examples:"));
}

TEST_F(analyze, settings_an_object_does_not_take_are_reported)
{
    // One per way settings reach the library: a derived channel's parameters, a
    // block spectrum's properties, an instant value's and an analyser's
    // settings objects.
    const outcome o = run({"--seconds", "0.5", "--no-plots", "--out", path("out"), "-a",
                           "f:filter_iir:ch0:type=highpass,freq=100,colour=1", "-a", "s:spec:ch0:window=hann,colour=2",
                           "-a", "r:instant::rms:ch0:time=0.1,colour=3", "-a", "a:fftw::ausp:ch0:colour=4", "-a",
                           "m:moving::rms:f:window=0.05,colour=5"},
                          dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    for (const char* name : {"'f' (filter_iir)", "'s' (spec)", "'r' (instant::rms)", "'a' (fftw::ausp)",
                             "'m' (moving::rms)"})
        EXPECT_TRUE(o.err.contains(QStringLiteral("warning: analysis %1 does not take the setting 'colour'")
                                       .arg(QString::fromLatin1(name))))
            << name << ": " << o.err.toStdString();
    EXPECT_EQ(o.err.count(QStringLiteral("warning:")), 5) << o.err.toStdString();
}

// The built-in signal ---------------------------------------------------------------

TEST_F(analyze, default_run_summarises_and_draws_its_plots)
{
    const outcome o = run({"--seconds", "3", "--out", path("out")}, dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains("machine signal"));
    EXPECT_TRUE(o.out.contains("harmonic 1 amplitude"));
    EXPECT_TRUE(QFile::exists(path("out/results.json")));
    const QImage plot(path("out/spectrum.png"));
    ASSERT_FALSE(plot.isNull());
    EXPECT_EQ(plot.size(), QSize(1200, 700));
    QSet<QRgb> colours;
    for (int y = 0; y < plot.height(); y += 3)
        for (int x = 0; x < plot.width(); x += 3)
            colours.insert(plot.pixel(x, y));
    EXPECT_GT(colours.size(), 4) << "a blank plot";
}

TEST_F(analyze, default_summary_matches_the_known_components)
{
    // The full built-in signal: every line of the comparison within its
    // tolerance, the harmonic amplitudes within 1 %.
    const outcome o = run({"--no-plots", "--out", path("out")}, dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    const QStringList lines = o.out.section("against the measurements:", 1).split('\n');
    int checked = 0, harmonics = 0;
    for (const QString& l : lines) {
        if (!l.endsWith('%'))
            continue;
        const double error = l.section(' ', -2, -2, QString::SectionSkipEmpty).toDouble();
        const double tolerance = l.contains("harmonic") ? 1.0 : 3.0;
        EXPECT_LT(std::abs(error), tolerance) << l.toStdString();
        harmonics += l.contains("harmonic") ? 1 : 0;
        ++checked;
    }
    EXPECT_EQ(harmonics, 4);
    EXPECT_GE(checked, 15) << o.out.toStdString();
}

TEST_F(analyze, every_kind_runs_on_the_built_in_signal_with_its_defaults)
{
    const outcome list = run({"--list"}, dir.path());
    ASSERT_EQ(list.status, 0);
    const QStringList kinds = list.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(kinds.size(), 40);
    const QStringList pairs{"cpsd", "delta_phase_spec", "instant::delta_phase", "fftw::afc", "fftw::pfc",
                            "fftw::coh", "fftw::corr", "fftw::cross"};
    QStringList args{"--seconds", "1", "--no-plots", "--out", path("out")};
    for (const QString& k : kinds) {
        QString name = k;
        name.replace(QLatin1Char(':'), QLatin1Char('_'));
        args << "-a" << QStringLiteral("%1:%2:%3").arg(name, k, pairs.contains(k) ? "ch0+ch1" : "ch0");
    }
    const outcome o = run(args, dir.path());
    ASSERT_EQ(o.status, 0) << o.err.toStdString();
    for (const QString& k : kinds) {
        QString name = k;
        name.replace(QLatin1Char(':'), QLatin1Char('_'));
        EXPECT_TRUE(QFile::exists(path("out/" + name + ".csv"))) << k.toStdString();
    }
}

} // namespace
