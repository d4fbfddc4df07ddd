// ryx-analyze: runs any of the library's analyses on a recording or on the
// built-in machine signal, as a host application does: a device with one channel
// per input channel, the input pushed in runs as an acquisition card delivers
// them, the analyses attached by name, their results read back, summarised on
// stdout and written as CSV, JSON and PNG.
#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <unistd.h>
#include <vector>

#include "analysis.h"
#include "app_summary.h"
#include "input.h"
#include "output.h"
#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"

namespace {

using namespace ryx::analyze;

enum exit_status { ok = 0, bad_input = 1, bad_usage = 2 };

// The longest run and the longest built-in signal: bounds on what an option can
// make the program allocate or compute.
constexpr qint64 max_run = 1 << 16;
constexpr double max_seconds = 24.0 * 3600.0;

const char* const help_text = R"(Usage: ryx-analyze [options] [input]

Runs analyses of libryx_math on a recording, or on the built-in machine signal,
the way a host application does: a device with one channel per input channel,
runs of samples pushed in, analysis objects attached by name. Prints a summary
and writes one CSV and one PNG per result and results.json to the output folder.

Input (optional): a WAV, FLAC, AIFF ... file (libsndfile), or a CSV/TXT file with
one column per channel. Without an input: the built-in machine signal, two
channels at 51200 Hz whose content is known exactly; the summary then sets each
known component beside what the analyses measured.

Options:
  -a, --analysis SPEC   an analysis, repeatable: name:kind:source[:key=value,...]
                          source  ch0, ch1, ... or the name of an earlier derived
                                  channel; a channel pair is written ch1+ch0
                          value   a number, true/false, a name (an enumeration
                                  value such as highpass or hann) or [1,2,3]
  --analyses FILE       a JSON list of analyses:
                          [{"name": "hp", "kind": "filter_iir", "source": "ch0",
                            "settings": {"type": "highpass", "freq": 10}}, ...]
                        ("sources": ["ch1", "ch0"] for two-channel analyses)
  --list                print the analysis kinds and exit
  --rate HZ             sampling rate of a CSV input without a time column
  --time-column         the first CSV column holds the time, s (gives the rate)
  --seconds S           length of the built-in signal (default 20)
  --run N               samples per run pushed into the channels (default 1024)
  --out DIR             output folder (default ryx-analyze-out)
  --no-plots            write no PNG plots
  -h, --help            this text
  --version             the version

Without -a or --analyses, the built-in signal gets a default set of analyses
(amplitude, order and envelope spectra, octave bands, RMS, shaft speed, the
transfer function, coherence and correlation between the channels); a file gets
an amplitude spectrum, a PSD and the RMS of each channel.

Examples:
  ryx-analyze
  ryx-analyze --seconds 5 --no-plots --out /tmp/machine
  ryx-analyze recording.wav -a 'spec0:fftw::ausp:ch0:frequency=5000,resolution=1,window=flattop'
  ryx-analyze --analyses analyses.json recording.flac
  ryx-analyze -a 'hp:filter_iir:ch0:kind=butterworth,type=highpass,order=4,freq=10' \
              -a 'hp_rms:moving::rms:hp:window=0.1' recording.wav
  ryx-analyze data.csv --rate 1000 -a 'frf:fftw::afc:ch1+ch0:frequency=200,resolution=0.5,average=16'

Exit status: 0 success, 1 bad input (unreadable or malformed file, bad JSON,
unknown analysis, bad setting value), 2 bad usage.
)";

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "ryx-analyze: %s\n", qPrintable(message));
    return status;
}

// A progress bar on stderr, redrawn at each whole percent.
class progress_bar
{
public:
    progress_bar(bool shown, qint64 total) : m_shown(shown && total > 0), m_total(total) {}
    void update(qint64 done)
    {
        if (!m_shown)
            return;
        const int percent = static_cast<int>(100 * std::min(done, m_total) / m_total);
        if (percent == m_percent)
            return;
        m_percent = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(40 - filled), '.').c_str(), percent);
        std::fflush(stderr);
    }
    void finish()
    {
        if (m_shown && m_percent >= 0)
            std::fprintf(stderr, "\n");
    }

private:
    bool m_shown;
    qint64 m_total;
    int m_percent = -1;
};

// The analyses of a plain recording: per channel an amplitude spectrum, a PSD
// and the block RMS.
std::vector<analysis_spec> file_defaults(int channels, double rate)
{
    std::vector<analysis_spec> out;
    const double band = rate / 2.0 >= 5000.0 ? 5000.0 : rate / 2.0;
    for (int c = 0; c < std::min(channels, 8); ++c) {
        const QString ch = QStringLiteral("ch%1").arg(c);
        QJsonObject spec{{QStringLiteral("frequency"), band},
                         {QStringLiteral("resolution"), band / 1000.0},
                         {QStringLiteral("window"), QStringLiteral("flattop")},
                         {QStringLiteral("average"), 8}};
        out.push_back({QStringLiteral("spectrum_%1").arg(ch), QStringLiteral("fftw::ausp"), {ch}, spec});
        out.push_back({QStringLiteral("psd_%1").arg(ch), QStringLiteral("psd"), {ch},
                       QJsonObject{{QStringLiteral("frequency"), band},
                                   {QStringLiteral("resolution"), band / 500.0},
                                   {QStringLiteral("window"), QStringLiteral("hann")},
                                   {QStringLiteral("average"), 16}}});
        out.push_back({QStringLiteral("rms_%1").arg(ch), QStringLiteral("instant::rms"), {ch},
                       QJsonObject{{QStringLiteral("time"), 1.0}}});
    }
    return out;
}

bool positive_number(const QString& text, double* out)
{
    bool okay = false;
    const double v = text.toDouble(&okay);
    if (!okay || !std::isfinite(v) || v <= 0.0)
        return false;
    *out = v;
    return true;
}

int run(QApplication& app)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    const QCommandLineOption list(QStringLiteral("list"), QString());
    const QCommandLineOption rate(QStringLiteral("rate"), QString(), QStringLiteral("HZ"));
    const QCommandLineOption time_column(QStringLiteral("time-column"), QString());
    const QCommandLineOption seconds(QStringLiteral("seconds"), QString(), QStringLiteral("S"));
    const QCommandLineOption run_length(QStringLiteral("run"), QString(), QStringLiteral("N"));
    const QCommandLineOption analyses(QStringLiteral("analyses"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption one({QStringLiteral("a"), QStringLiteral("analysis")}, QString(), QStringLiteral("SPEC"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption no_plots(QStringLiteral("no-plots"), QString());
    parser.addOptions({help, version, list, rate, time_column, seconds, run_length, analyses, one, out, no_plots});
    if (!parser.parse(app.arguments()))
        return fail(bad_usage, parser.errorText() + QStringLiteral(" (see --help)"));
    if (parser.isSet(help)) {
        std::fputs(help_text, stdout);
        return ok;
    }
    if (parser.isSet(version)) {
        std::printf("ryx-analyze %s\n", qPrintable(QCoreApplication::applicationVersion()));
        return ok;
    }
    if (parser.isSet(list)) {
        for (const QString& k : known_kinds())
            std::printf("%s\n", qPrintable(k));
        return ok;
    }
    if (parser.positionalArguments().size() > 1)
        return fail(bad_usage, QStringLiteral("one input at most, got %1 (see --help)")
                                   .arg(parser.positionalArguments().size()));

    // Options --------------------------------------------------------------------------
    double file_rate = 0.0;
    if (parser.isSet(rate) && !positive_number(parser.value(rate), &file_rate))
        return fail(bad_usage, QStringLiteral("--rate: '%1' is not a positive number").arg(parser.value(rate)));
    machine_signal machine;
    if (parser.isSet(seconds)) {
        double s = 0.0;
        if (!positive_number(parser.value(seconds), &s) || s > max_seconds)
            return fail(bad_usage, QStringLiteral("--seconds: '%1' is not a length from 0 to %2 s")
                                       .arg(parser.value(seconds))
                                       .arg(max_seconds));
        machine.seconds = s;
    }
    qint64 run_samples = 1024;
    if (parser.isSet(run_length)) {
        bool okay = false;
        run_samples = parser.value(run_length).toLongLong(&okay);
        if (!okay || run_samples < 1 || run_samples > max_run)
            return fail(bad_usage, QStringLiteral("--run: '%1' is not a whole number from 1 to %2")
                                       .arg(parser.value(run_length))
                                       .arg(max_run));
    }
    const QString out_dir = parser.isSet(out) ? parser.value(out) : QStringLiteral("ryx-analyze-out");
    if (out_dir.isEmpty())
        return fail(bad_usage, QStringLiteral("--out: empty folder name"));

    // The analysis list is checked before the input is read.
    std::vector<analysis_spec> specs;
    QString error;
    if (parser.isSet(analyses)) {
        QFile f(parser.value(analyses));
        if (!f.open(QIODevice::ReadOnly))
            return fail(bad_input, QStringLiteral("%1: %2").arg(f.fileName(), f.errorString()));
        // A list of analyses is small; a huge file is no list.
        if (f.size() > (64 << 20))
            return fail(bad_input, QStringLiteral("%1: too large for an analysis list").arg(f.fileName()));
        if (!parse_analysis_list(f.readAll(), f.fileName(), &specs, &error))
            return fail(bad_input, error);
    }
    for (const QString& text : parser.values(one)) {
        analysis_spec s;
        if (!parse_analysis_option(text, &s, &error))
            return fail(bad_input, error);
        specs.push_back(std::move(s));
    }
    if (specs.empty() && (parser.isSet(analyses) || parser.isSet(one)))
        return fail(bad_input, QStringLiteral("%1: lists no analyses").arg(parser.value(analyses)));
    for (const analysis_spec& s : specs)
        if (source_count(s.kind) == 0)
            return fail(bad_input, QStringLiteral("analysis '%1': unknown kind '%2'; known kinds: %3")
                                       .arg(s.name, s.kind, known_kinds().join(QStringLiteral(", "))));

    // Input ------------------------------------------------------------------------------
    std::unique_ptr<source> input;
    const bool built_in = parser.positionalArguments().isEmpty();
    if (built_in) {
        input = open_machine(machine);
    } else {
        input = open_file(parser.positionalArguments().at(0), file_rate, parser.isSet(time_column), &error);
        if (!input)
            return fail(bad_input, error.isEmpty() ? QStringLiteral("cannot open the input") : error);
    }
    if (input->channels() < 1 || !(input->rate() > 0.0) || !std::isfinite(input->rate()))
        return fail(bad_input, QStringLiteral("%1: no channels or no sampling rate").arg(input->describe()));
    if (specs.empty())
        specs = built_in ? default_analyses(machine) : file_defaults(input->channels(), input->rate());

    // The device and the analyses ----------------------------------------------------------
    auto device = std::make_unique<ryx::device>(QStringLiteral("ryx-analyze"));
    std::map<QString, ryx::analog_data*> channels;
    std::vector<ryx::analog_data*> inputs;
    for (int c = 0; c < input->channels(); ++c) {
        const QString name = QStringLiteral("ch%1").arg(c);
        inputs.push_back(device->add_channel(name, input->rate()));
        channels[name] = inputs.back();
    }
    run_clock clock;
    std::vector<std::unique_ptr<analysis>> made;
    // The analyses go before the device whatever way this function leaves.
    struct teardown
    {
        std::vector<std::unique_ptr<analysis>>& made;
        std::unique_ptr<ryx::device>& device;
        ~teardown()
        {
            for (auto it = made.rbegin(); it != made.rend(); ++it)
                (*it)->release();
            device.reset();
            made.clear();
        }
    } cleanup{made, device};

    std::map<QString, bool> names;
    for (const analysis_spec& s : specs) {
        if (names.count(s.name) || channels.count(s.name))
            return fail(bad_input, QStringLiteral("analysis name '%1' is used twice").arg(s.name));
        names[s.name] = true;
        std::vector<ryx::analog_data*> sources;
        for (const QString& src : s.sources) {
            const auto it = channels.find(src);
            if (it == channels.end() || !it->second) {
                QStringList known;
                for (const auto& [n, c] : channels)
                    known << n;
                return fail(bad_input, QStringLiteral("analysis '%1': unknown source '%2'; sources: %3 "
                                                      "(input channels, and derived channels listed before)")
                                           .arg(s.name, src, known.join(QStringLiteral(", "))));
            }
            sources.push_back(it->second);
        }
        QStringList warnings;
        auto a = make_analysis(s, sources, &clock, &warnings, &error);
        for (const QString& w : warnings)
            std::fprintf(stderr, "ryx-analyze: %s\n", qPrintable(w));
        if (!a)
            return fail(bad_input, error);
        if (ryx::analog_data* c = a->output_channel())
            channels[s.name] = c;
        made.push_back(std::move(a));
    }

    // The runs ----------------------------------------------------------------------------
    const qint64 total = input->frames();
    progress_bar bar(isatty(STDERR_FILENO) != 0 && total > qint64(5.0 * input->rate()), total);
    std::vector<std::vector<double>> samples;
    qint64 done = 0;
    for (;;) {
        const qint64 n = input->read(samples, static_cast<std::size_t>(run_samples), &error);
        if (n < 0) {
            bar.finish();
            return fail(bad_input, error.isEmpty() ? QStringLiteral("read error") : error);
        }
        if (n == 0)
            break;
        done += n;
        clock.seconds = static_cast<double>(done) / input->rate();
        for (std::size_t c = 0; c < inputs.size() && c < samples.size(); ++c)
            inputs[c]->ryx::analog_data::set_data(samples[c].cbegin(), samples[c].cend());
        bar.update(done);
    }
    bar.finish();

    // Results -------------------------------------------------------------------------------
    std::map<QString, result> results;
    std::printf("Input: %s\n", qPrintable(input->describe()));
    std::printf("Pushed %lld frames in runs of %lld samples into %zu channel(s).\n\n", static_cast<long long>(done),
                static_cast<long long>(run_samples), inputs.size());
    std::printf("Analyses:\n");
    for (const auto& a : made) {
        results[a->spec().name] = a->take();
        std::printf("  %-14s %-16s %-14s %s\n", qPrintable(a->spec().name), qPrintable(a->spec().kind),
                    qPrintable(a->spec().sources.join(QLatin1Char('+'))), qPrintable(a->reading()));
    }
    if (built_in) {
        // Only the default analyses, by their names, have a known component to match.
        const QStringList lines = compare_with_machine(machine, results);
        if (lines.size() > 1) {
            std::printf("\nKnown components of the machine signal against the measurements:\n");
            for (const QString& l : lines)
                std::printf("%s\n", qPrintable(l));
        }
    }
    std::fflush(stdout);

    if (!QDir().mkpath(out_dir))
        return fail(bad_input, QStringLiteral("%1: cannot create the output folder").arg(out_dir));
    const QDir dir(out_dir);
    QJsonArray all;
    for (const auto& a : made) {
        const result& r = results[a->spec().name];
        if (!write_csv(r, dir.filePath(r.name + QStringLiteral(".csv")), &error))
            return fail(bad_input, error);
        if (!parser.isSet(no_plots) && !r.x.empty() &&
            !write_plot(r, dir.filePath(r.name + QStringLiteral(".png")), &error))
            return fail(bad_input, error);
        QJsonObject o;
        o.insert(QStringLiteral("name"), r.name);
        o.insert(QStringLiteral("kind"), r.kind);
        o.insert(QStringLiteral("reading"), a->reading());
        o.insert(QStringLiteral("settings"), r.settings);
        o.insert(QStringLiteral("x_label"), r.x_label);
        o.insert(QStringLiteral("x_unit"), r.x_unit);
        QJsonArray x;
        for (double v : r.x)
            x.append(v);
        o.insert(QStringLiteral("x"), x);
        QJsonArray ys;
        for (const series& s : r.y) {
            QJsonArray values;
            for (double v : s.values)
                values.append(v);
            ys.append(QJsonObject{{QStringLiteral("name"), s.name}, {QStringLiteral("unit"), s.unit},
                                  {QStringLiteral("values"), values}});
        }
        o.insert(QStringLiteral("series"), ys);
        all.append(o);
    }
    QJsonObject document{{QStringLiteral("input"), input->describe()},
                         {QStringLiteral("frames"), static_cast<double>(done)},
                         {QStringLiteral("run"), static_cast<double>(run_samples)},
                         {QStringLiteral("results"), all}};
    if (!write_json(document, dir.filePath(QStringLiteral("results.json")), &error))
        return fail(bad_input, error);
    std::printf("\nResults in %s: one CSV%s per analysis and results.json.\n",
                qPrintable(QDir(out_dir).absolutePath()), parser.isSet(no_plots) ? "" : " and one PNG plot");
    return ok;
}

QtMessageHandler qt_handler = nullptr;

// Qt's own notice that it picked a runtime folder for the offscreen platform is
// no news to the user; every other message (the library's warnings) goes out.
void message_handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (qt_handler)
        qt_handler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    qt_handler = qInstallMessageHandler(message_handler);
    // Plots render offscreen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ryx-analyze"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RYX_ANALYZE_VERSION));
    try {
        return run(app);
    } catch (const std::exception& e) {
        return fail(bad_input, QStringLiteral("unexpected failure: %1").arg(QString::fromUtf8(e.what())));
    }
}
