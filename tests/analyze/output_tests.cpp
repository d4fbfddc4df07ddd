// The writers of ryx-analyze's results: exact CSV, JSON that reads back, PNG
// plots that a person can read, and files that are either complete or absent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <limits>
#include <sys/resource.h>

#include "output.h"
#include "output_plot.h"

using ryx::analyze::result;
using ryx::analyze::series;

namespace {

constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();
constexpr double inf_v = std::numeric_limits<double>::infinity();

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_text(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A folder for one test; kept for inspection when RYX_KEEP_PLOTS is set.
struct scratch
{
    QTemporaryDir dir;
    scratch() { dir.setAutoRemove(qEnvironmentVariableIsEmpty("RYX_KEEP_PLOTS")); }
    QString file(const QString& name) const { return dir.filePath(name); }
};

// ---------------------------------------------------------------------------
// CSV

TEST(analyze_output_csv, exact_text_with_header_numbers_quoting_and_short_series)
{
    result r;
    r.name = QStringLiteral("spec0");
    r.kind = QStringLiteral("spec");
    r.x_label = QStringLiteral("Frequency");
    r.x_unit = QStringLiteral("Hz");
    r.x = {0.0, 0.5, 1e20, std::numeric_limits<double>::max()};
    r.y.push_back(series{QStringLiteral("amplitude"), QStringLiteral("V"), {0.1, nan_v, inf_v, 5e-324}});
    r.y.push_back(series{QString(), QString(), {1.0 / 3.0, -inf_v}}); // short: empty fields
    r.y.push_back(series{QStringLiteral("a,\"b\""), QStringLiteral("dB"), {-2.5, 2.0, 3.0, -0.0}});

    scratch s;
    QString error;
    ASSERT_TRUE(ryx::analyze::write_csv(r, s.file("r.csv"), &error)) << error.toStdString();
    const QByteArray expected = "Frequency [Hz],amplitude [V],spec0,\"a,\"\"b\"\" [dB]\"\n"
                                "0,0.10000000000000001,0.33333333333333331,-2.5\n"
                                "0.5,nan,-inf,2\n"
                                "1e+20,inf,,3\n"
                                "1.7976931348623157e+308,4.9406564584124654e-324,,-0\n";
    EXPECT_EQ(read_all(s.file("r.csv")).toStdString(), expected.toStdString());
    EXPECT_EQ(entries(s.dir.path()), QStringList{QStringLiteral("r.csv")});
}

// ---------------------------------------------------------------------------
// JSON

TEST(analyze_output_json, round_trip_and_non_finite_as_null)
{
    QJsonObject settings{{QStringLiteral("window"), QStringLiteral("hann")},
                         {QStringLiteral("taken"), QJsonArray{1, 0.1, QStringLiteral("Ω, \"x\"")}}};
    QJsonObject doc{{QStringLiteral("results"), QJsonArray{QJsonObject{{QStringLiteral("name"), QStringLiteral("spec0")},
                                                                      {QStringLiteral("settings"), settings}}}},
                    {QStringLiteral("rate"), 51200.0},
                    {QStringLiteral("tiny"), 1e-300}};
    scratch s;
    QString error;
    ASSERT_TRUE(ryx::analyze::write_json(doc, s.file("r.json"), &error)) << error.toStdString();
    QJsonParseError parse{};
    const QJsonDocument back = QJsonDocument::fromJson(read_all(s.file("r.json")), &parse);
    ASSERT_EQ(parse.error, QJsonParseError::NoError) << parse.errorString().toStdString();
    EXPECT_EQ(back.object(), doc);
    EXPECT_TRUE(read_all(s.file("r.json")).contains("\n    \"rate\"")); // indented

    ASSERT_TRUE(ryx::analyze::write_json(QJsonObject{{QStringLiteral("v"), nan_v}}, s.file("nan.json"), nullptr));
    EXPECT_TRUE(QJsonDocument::fromJson(read_all(s.file("nan.json"))).object().value(QStringLiteral("v")).isNull());
}

// ---------------------------------------------------------------------------
// Failures: a message naming the path, and nothing under the final name.

result small_line()
{
    result r;
    r.name = QStringLiteral("spec0");
    r.kind = QStringLiteral("spec");
    r.x_label = QStringLiteral("Frequency");
    r.x_unit = QStringLiteral("Hz");
    for (int i = 0; i < 100; ++i)
        r.x.push_back(i * 10.0);
    series s{QStringLiteral("amplitude"), QStringLiteral("V"), {}};
    for (int i = 0; i < 100; ++i)
        s.values.push_back(std::sin(i * 0.2));
    r.y.push_back(s);
    return r;
}

// Runs each writer on `path` and expects each to fail, naming the path, and
// leave no file there.
void expect_every_writer_fails(const QString& path, const char* why)
{
    const result r = small_line();
    struct writer
    {
        const char* name;
        std::function<bool(QString*)> run;
    };
    const writer writers[] = {
        {"csv", [&](QString* e) { return ryx::analyze::write_csv(r, path, e); }},
        {"json", [&](QString* e) { return ryx::analyze::write_json(QJsonObject{{"a", 1}}, path, e); }},
        {"png", [&](QString* e) { return ryx::analyze::write_plot(r, path, e, 400, 300); }},
    };
    for (const writer& w : writers) {
        QString error;
        EXPECT_FALSE(w.run(&error)) << w.name << " into " << why;
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(path))) << w.name << ": " << error.toStdString();
        EXPECT_FALSE(error.contains(QLatin1Char('\n'))) << w.name << ": " << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path)) << w.name << " into " << why;
        EXPECT_FALSE(w.run(nullptr)) << w.name << " without an error string";
    }
}

TEST(analyze_output_failure, missing_folder_or_a_file_in_place_of_the_folder)
{
    scratch s;
    expect_every_writer_fails(s.file("missing/deeper/out"), "a missing folder");
    write_text(s.file("plain"), "x");
    expect_every_writer_fails(s.file("plain/out"), "a path through a file");
    EXPECT_EQ(entries(s.dir.path()), QStringList{QStringLiteral("plain")});
}

TEST(analyze_output_failure, read_only_folder)
{
    scratch s;
    const QString folder = s.file("ro");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    QFile probe(folder + QStringLiteral("/probe"));
    if (probe.open(QIODevice::WriteOnly)) { // the superuser writes anyway
        probe.close();
        probe.remove();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "a read-only folder is writable for this user";
    }
    expect_every_writer_fails(folder + QStringLiteral("/out"), "a read-only folder");
    EXPECT_TRUE(entries(folder).isEmpty());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Lowers the largest file this process may write, as a full disk would, and
// restores it on leaving.
struct file_size_limit
{
    rlimit saved{};
    void (*saved_handler)(int) = nullptr;
    explicit file_size_limit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        saved_handler = std::signal(SIGXFSZ, SIG_IGN); // a short write instead of a dead process
        rlimit lower = saved;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~file_size_limit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, saved_handler);
    }
};

TEST(analyze_output_failure, existing_file_replaced_whole_or_left_intact)
{
    scratch s;
    const QString path = s.file("r.csv");
    write_text(path, "old content\n");

    result big = small_line();
    big.x.resize(20000, 1.0);
    big.y[0].values.resize(20000, 0.25);
    {
        file_size_limit limit(4096); // the new file cannot be written whole
        QString error;
        EXPECT_FALSE(ryx::analyze::write_csv(big, path, &error));
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
    }
    EXPECT_EQ(read_all(path), QByteArray("old content\n"));
    EXPECT_EQ(entries(s.dir.path()), QStringList{QStringLiteral("r.csv")}) << "a temporary file left behind";

    QString error;
    EXPECT_FALSE(ryx::analyze::write_plot(big, path, &error, 0, 300)); // refused before any file is touched
    EXPECT_EQ(read_all(path), QByteArray("old content\n"));

    ASSERT_TRUE(ryx::analyze::write_csv(big, path, &error)) << error.toStdString();
    const QByteArray written = read_all(path);
    EXPECT_TRUE(written.startsWith("Frequency [Hz],amplitude [V]\n0,0\n"));
    EXPECT_EQ(written.count('\n'), 20001);
    EXPECT_EQ(entries(s.dir.path()), QStringList{QStringLiteral("r.csv")});
}

// ---------------------------------------------------------------------------
// Plots

const QColor blue(0x1f, 0x77, 0xb4); // the first curve's colour
const QColor red(0xd6, 0x27, 0x28);  // the second's

// Pixels of a curve's hue, lines and fills alike (antialiased edges and light
// fills keep the hue though not the exact colour): axes, grid and text are grey.
bool of_hue(QRgb p, const QColor& c)
{
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if (std::max({r, g, b}) - std::min({r, g, b}) < 40)
        return false;
    const QColor q(p);
    const int d = std::abs(q.hslHue() - c.hslHue());
    return std::min(d, 360 - d) < 20;
}

struct drawn
{
    int pixels = 0;              // pixels of the hue
    int top = 1 << 30, bottom = -1; // their vertical extent
    int colours = 0;             // distinct colours in the whole image
};

drawn inspect(const QImage& image, const QColor& c)
{
    drawn d;
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            seen.insert(p);
            if (of_hue(p, c)) {
                ++d.pixels;
                d.top = std::min(d.top, y);
                d.bottom = std::max(d.bottom, y);
            }
        }
    d.colours = int(seen.size());
    return d;
}

// Writes the plot and reads it back as a PNG of exactly the asked size.
QImage plot(const scratch& s, const result& r, const QString& name, int width = 800, int height = 500)
{
    QString error;
    const QString path = s.file(name + QStringLiteral(".png"));
    EXPECT_TRUE(ryx::analyze::write_plot(r, path, &error, width, height)) << error.toStdString();
    EXPECT_TRUE(read_all(path).startsWith("\x89PNG\r\n\x1a\n")) << name.toStdString();
    QImage image(path, "PNG");
    EXPECT_EQ(image.size(), QSize(width, height)) << name.toStdString();
    return image;
}

TEST(analyze_output_plot, line_spans_its_range_and_a_flat_or_single_point_curve_still_shows)
{
    scratch s;
    const QImage line = plot(s, small_line(), QStringLiteral("line"));
    const drawn d = inspect(line, blue);
    EXPECT_GT(d.pixels, 500);
    EXPECT_GT(d.bottom - d.top, 300) << "a sine should fill most of the plot's height";
    EXPECT_GT(d.colours, 20) << "antialiased text and lines";
    EXPECT_EQ(line.pixel(2, 2), qRgb(255, 255, 255)) << "white background";

    result flat = small_line();
    std::fill(flat.y[0].values.begin(), flat.y[0].values.end(), 3.0);
    EXPECT_GT(inspect(plot(s, flat, QStringLiteral("flat")), blue).pixels, 300);

    result one = small_line();
    one.x = {5.0};
    one.y[0].values = {-1.0};
    EXPECT_GT(inspect(plot(s, one, QStringLiteral("one")), blue).pixels, 10);
}

TEST(analyze_output_plot, octave_bands_as_bars_on_a_log_axis)
{
    result r;
    r.name = QStringLiteral("octv0");
    r.kind = QStringLiteral("octv");
    r.x_label = QStringLiteral("Band centre");
    r.x_unit = QStringLiteral("Hz");
    r.x_log = true;
    r.bars = true;
    series level{QStringLiteral("level"), QStringLiteral("dB"), {}};
    for (int k = -6; k <= 4; ++k) {
        r.x.push_back(1000.0 * std::pow(2.0, k));
        level.values.push_back(60.0 - 3.0 * std::abs(k));
    }
    r.x.insert(r.x.begin(), 0.0); // a point a log axis cannot show
    level.values.insert(level.values.begin(), 80.0);
    r.y.push_back(level);

    scratch s;
    const drawn d = inspect(plot(s, r, QStringLiteral("bands")), blue);
    EXPECT_GT(d.pixels, 20000) << "filled bars";
    EXPECT_GT(d.bottom - d.top, 200);
}

TEST(analyze_output_plot, two_units_draw_both_curves)
{
    result r = small_line();
    series phase{QStringLiteral("phase"), QStringLiteral("deg"), {}};
    for (std::size_t i = 0; i < r.x.size(); ++i)
        phase.values.push_back(1000.0 * std::cos(double(i) * 0.05)); // a scale far from the amplitude's
    r.y.push_back(phase);

    scratch s;
    const QImage image = plot(s, r, QStringLiteral("two_units"));
    const drawn a = inspect(image, blue), p = inspect(image, red);
    EXPECT_GT(a.bottom - a.top, 250) << "amplitude on its own axis, not flattened by the phase's";
    EXPECT_GT(p.bottom - p.top, 250);
}

TEST(analyze_output_plot, non_finite_values_are_gaps_not_the_range)
{
    result r = small_line();
    r.y[0].values[0] = nan_v;
    r.y[0].values[40] = inf_v;
    r.y[0].values[41] = -inf_v;
    r.y[0].values[99] = nan_v;
    r.y.push_back(series{QStringLiteral("empty"), QStringLiteral("V"), std::vector<double>(100, nan_v)});
    r.y.push_back(series{QStringLiteral("holes"), QStringLiteral("V"), {}});
    for (int i = 0; i < 100; ++i)
        r.y.back().values.push_back(i % 2 ? nan_v : 0.5); // isolated points

    scratch s;
    const drawn d = inspect(plot(s, r, QStringLiteral("nan")), blue);
    EXPECT_GT(d.bottom - d.top, 250) << "the infinities must not squash the curve";
}

// Ranges that defeat naive tick stepping (a step below the values' resolution
// never advances) or overflow: each must come back, drawn.
TEST(analyze_output_plot, extreme_ranges_still_draw)
{
    struct range_case
    {
        const char* name;
        std::vector<double> x, y;
        bool log;
    };
    const double big = std::numeric_limits<double>::max();
    const range_case cases[] = {
        {"last_digits", {1.0, 2.0, 3.0}, {1.0, std::nextafter(1.0, 2.0), 1.0}, false},
        {"huge", {-big, -1e300, 0.0, 1e300, big}, {0.0, 1e300, -1e300, 0.0, 1.0}, false},
        {"tiny", {0.0, 1e-320, 2e-320}, {5e-324, 0.0, 1e-310}, false},
        {"offset", {1e12, 1e12 + 1, 1e12 + 2}, {1e9, 1e9 + 1e-6, 1e9}, false},
        {"log_decades", {1e-300, 1.0, 1e300}, {1.0, 2.0, 3.0}, true},
        {"log_one_point", {440.0}, {1.0}, true},
    };
    scratch s;
    for (const range_case& c : cases) {
        result r;
        r.name = QString::fromLatin1(c.name);
        r.x_label = QStringLiteral("x");
        r.x = c.x;
        r.x_log = c.log;
        r.bars = c.log;
        r.y.push_back(series{QStringLiteral("y"), QStringLiteral("V"), c.y});
        QElapsedTimer clock;
        clock.start();
        const QImage image = plot(s, r, r.name, 600, 400);
        EXPECT_LT(clock.elapsed(), 5000) << c.name;
        EXPECT_GT(inspect(image, blue).pixels, 5) << c.name;
    }
}

TEST(analyze_output_plot, no_data_still_gives_a_picture)
{
    scratch s;
    result empty;
    empty.name = QStringLiteral("spec1");
    empty.kind = QStringLiteral("spec");
    empty.x_label = QStringLiteral("Frequency");
    const QImage image = plot(s, empty, QStringLiteral("empty"), 400, 300);
    int dark = 0;
    for (int y = 100; y < 200; ++y)
        for (int x = 100; x < 300; ++x)
            dark += qGray(image.pixel(x, y)) < 200;
    EXPECT_GT(dark, 30) << "\"no data\" in the middle";

    result all_nan = small_line();
    all_nan.y[0].values.assign(100, nan_v);
    plot(s, all_nan, QStringLiteral("all_nan"), 400, 300);
}

TEST(analyze_output_plot, a_million_points_in_seconds_with_the_peaks_kept)
{
    constexpr int n = 1000000;
    result r;
    r.name = QStringLiteral("long");
    r.kind = QStringLiteral("moving::rms");
    r.x_label = QStringLiteral("Time");
    r.x_unit = QStringLiteral("s");
    r.x.resize(n);
    series v{QString(), QStringLiteral("V"), std::vector<double>(n)};
    for (int i = 0; i < n; ++i) {
        r.x[std::size_t(i)] = i / 51200.0;
        v.values[std::size_t(i)] = 0.01 * std::sin(i * 0.001);
    }
    v.values[123457] = 1.0; // one sample peak: must survive decimation
    r.y.push_back(v);

    scratch s;
    QElapsedTimer clock;
    clock.start();
    const QImage image = plot(s, r, QStringLiteral("million"), 1200, 700);
    EXPECT_LT(clock.elapsed(), 10000) << "ms";
    const drawn d = inspect(image, blue);
    EXPECT_GT(d.bottom - d.top, 400) << "the single-sample peak reaches the top";
}

TEST(analyze_output_plot, decimation_keeps_extremes_order_and_ends)
{
    std::vector<QPointF> points;
    for (int i = 0; i < 100000; ++i)
        points.emplace_back(i, std::sin(i * 0.01));
    points[4321].setY(7.0);
    points[77777].setY(-9.0);

    const auto out = ryx::analyze::detail::decimate(points, 0, 99999, 500, false);
    EXPECT_LE(out.size(), 2000u);
    EXPECT_GT(out.size(), 1000u);
    EXPECT_EQ(out.front(), points.front());
    EXPECT_EQ(out.back(), points.back());
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
    EXPECT_NE(std::find(out.begin(), out.end(), points[4321]), out.end());
    EXPECT_NE(std::find(out.begin(), out.end(), points[77777]), out.end());

    // On a log axis the columns are equal ratios: the first decade gets its share.
    std::vector<QPointF> bands;
    for (int i = 0; i < 100000; ++i)
        bands.emplace_back(1.0 + i, 0.0);
    const auto log_out = ryx::analyze::detail::decimate(bands, 1.0, 100000.0, 500, true);
    const auto below_10 = std::count_if(log_out.begin(), log_out.end(), [](QPointF p) { return p.x() < 10; });
    EXPECT_EQ(below_10, 9) << "each of the first nine points has a column of its own";
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
