// ryx-analyze's input: the built-in machine signal against its closed forms,
// sound files written by libsndfile and read back, CSV files and every way a
// file can be malformed.
#include "input.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>

using namespace ryx::analyze;

namespace {

constexpr double pi = 3.14159265358979323846;

struct whole_input
{
    std::vector<std::vector<double>> data;
    QString error;
    bool failed = false;
};

// Reads a source to its end in runs of `run_length`, checking each run's shape.
whole_input read_all(source& s, std::size_t run_length)
{
    whole_input out;
    out.data.resize(std::size_t(s.channels()));
    std::vector<std::vector<double>> run;
    for (;;) {
        const qint64 n = s.read(run, run_length, &out.error);
        if (n < 0) {
            out.failed = true;
            return out;
        }
        EXPECT_LE(std::size_t(n), run_length);
        EXPECT_EQ(run.size(), std::size_t(s.channels()));
        for (std::size_t c = 0; c < run.size(); ++c) {
            EXPECT_EQ(run[c].size(), std::size_t(n));
            out.data[c].insert(out.data[c].end(), run[c].begin(), run[c].end());
        }
        if (n == 0)
            return out;
    }
}

// The complex amplitude of the component at f Hz over samples [first, first + count),
// which must hold whole periods of every component present: A e^{j phi} for A cos(w t + phi).
std::complex<double> component(
    const std::vector<double>& x, double rate, double f, std::size_t first, std::size_t count, double t0 = 0.0)
{
    std::complex<double> sum;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(first + i) / rate - t0;
        sum += x[first + i] * std::polar(1.0, -2.0 * pi * f * t);
    }
    return sum * (2.0 / double(count));
}

machine_signal quiet_machine()
{
    machine_signal m;
    m.noise_rms_0 = 0.0;
    m.noise_rms_1 = 0.0;
    m.carrier_amplitude = 0.0;
    return m;
}

TEST(MachineSignal, SameSamplesForEveryRunLengthAndSeed)
{
    machine_signal m;
    m.seconds = 0.5;
    m.runup_seconds = 0.2;
    auto whole = open_machine(m);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->channels(), 2);
    EXPECT_EQ(whole->frames(), 25600);
    const whole_input reference = read_all(*whole, 100000);
    ASSERT_FALSE(reference.failed);
    ASSERT_EQ(reference.data[0].size(), 25600u);

    for (std::size_t run : {std::size_t(1), std::size_t(7), std::size_t(1024), std::size_t(25599)}) {
        auto again = open_machine(m);
        const whole_input other = read_all(*again, run);
        EXPECT_EQ(other.data, reference.data) << "runs of " << run;
    }

    m.seed += 1;
    auto reseeded = open_machine(m);
    EXPECT_NE(read_all(*reseeded, 4096).data, reference.data);
    EXPECT_EQ(whole->describe(), QStringLiteral("machine signal, 2 channels at 51200 Hz, 0.5 s"));
}

TEST(MachineSignal, NoiseHasItsRms)
{
    machine_signal m;
    m.harmonics.clear();
    m.carrier_amplitude = 0.0;
    m.noise_rms_0 = 0.5;
    m.noise_rms_1 = 0.25;
    m.resonance_hz = 0.0; // a pass-through: channel 1 is channel 0 delayed plus its own noise
    m.seconds = 4.0;
    auto s = open_machine(m);
    const whole_input in = read_all(*s, 8192);
    const std::size_t n = in.data[0].size();
    double p0 = 0.0, p1 = 0.0, cross = 0.0;
    for (std::size_t i = m.delay_samples; i < n; ++i) {
        const double own = in.data[1][i] - in.data[0][i - m.delay_samples];
        p0 += in.data[0][i] * in.data[0][i];
        p1 += own * own;
        cross += own * in.data[0][i - m.delay_samples];
    }
    const double count = double(n - m.delay_samples);
    // 2e5 samples: the RMS estimates are within about 0.2 % (one sigma).
    EXPECT_NEAR(std::sqrt(p0 / count), 0.5, 0.5 * 0.01);
    EXPECT_NEAR(std::sqrt(p1 / count), 0.25, 0.25 * 0.01);
    EXPECT_NEAR(cross / count, 0.0, 5.0 * 0.5 * 0.25 / std::sqrt(count)); // independent noises
}

TEST(MachineSignal, SteadyHarmonicsHaveTheirAmplitudesAndPhases)
{
    machine_signal m = quiet_machine();
    m.runup_seconds = 0.5;
    m.seconds = 1.5; // 25 whole shaft periods of 2048 samples after the run-up
    auto s = open_machine(m);
    const whole_input in = read_all(*s, 4096);
    const auto& x = in.data[0];
    ASSERT_EQ(x.size(), 76800u);
    for (std::size_t k = 1; k <= m.harmonics.size(); ++k) {
        const std::complex<double> c = component(x, m.rate, double(k) * m.shaft_hz, 25600, 51200, m.runup_seconds);
        EXPECT_NEAR(std::abs(c), m.harmonics[k - 1], 1e-9) << "harmonic " << k;
        EXPECT_NEAR(std::arg(c), m.phases[k - 1], 1e-9) << "harmonic " << k;
    }
}

TEST(MachineSignal, RunUpPhaseIsTheIntegralOfTheRampedFrequency)
{
    machine_signal m = quiet_machine();
    m.harmonics = {1.0};
    m.phases = {0.0};
    m.runup_from_hz = 5.0;
    m.shaft_hz = 25.0;
    m.runup_seconds = 0.5;
    m.seconds = 0.5;
    auto s = open_machine(m);
    const auto x = read_all(*s, 1000).data[0];
    // 0.5 s at a mean of 15 Hz: 7.5 turns, so the first sample is cos(-15 pi) = -1 ...
    EXPECT_NEAR(x[0], -1.0, 1e-12);
    // ... and the signal crosses zero 15 times on the way.
    int crossings = 0;
    for (std::size_t i = 1; i < x.size(); ++i)
        crossings += (x[i - 1] < 0.0) != (x[i] < 0.0);
    EXPECT_EQ(crossings, 15);
    // The frequency rises: the first half-turn is longer than the last.
    std::size_t first = 1, last = x.size() - 1;
    while ((x[first - 1] < 0.0) == (x[first] < 0.0))
        ++first;
    while ((x[last - 1] < 0.0) == (x[last] < 0.0))
        --last;
    EXPECT_GT(first, x.size() - last);
}

TEST(MachineSignal, CarrierIsAmplitudeModulatedAtTheDefectFrequency)
{
    machine_signal m = quiet_machine();
    m.harmonics.clear();
    m.carrier_amplitude = 0.2;
    m.modulation_depth = 0.8;
    m.seconds = 10.0; // whole periods of 3000 Hz and 87.3 Hz
    auto s = open_machine(m);
    const auto x = read_all(*s, 65536).data[0];
    const std::size_t n = x.size();
    EXPECT_NEAR(std::abs(component(x, m.rate, m.carrier_hz, 0, n)), 0.2, 1e-9);
    EXPECT_NEAR(std::abs(component(x, m.rate, m.carrier_hz - m.defect_hz, 0, n)), 0.2 * 0.8 / 2.0, 1e-9);
    EXPECT_NEAR(std::abs(component(x, m.rate, m.carrier_hz + m.defect_hz, 0, n)), 0.2 * 0.8 / 2.0, 1e-9);
    EXPECT_NEAR(std::abs(component(x, m.rate, m.defect_hz, 0, n)), 0.0, 1e-9); // no envelope line before demodulation
}

TEST(MachineSignal, ResponseIsTheResonanceAndTheDelay)
{
    const machine_signal m;
    EXPECT_NEAR(std::abs(m.response(0.0) - 1.0), 0.0, 1e-12);
    // Prewarped at the resonance, the discrete filter takes the analogue
    // value there: H(j w0) = 1 / (2 j zeta).
    const double f = m.resonance_hz;
    const std::complex<double> undelayed
        = m.response(f) * std::polar(1.0, 2.0 * pi * f * double(m.delay_samples) / m.rate);
    EXPECT_NEAR(std::abs(undelayed - std::complex<double>(0.0, -1.0 / (2.0 * m.damping))), 0.0, 1e-9);
}

TEST(MachineSignal, ChannelOneIsChannelZeroThroughTheResponse)
{
    for (double f : {25.0, 700.0, 800.0, 3000.0}) {
        machine_signal m = quiet_machine();
        m.harmonics = {1.0};
        m.phases = {0.3};
        m.shaft_hz = f;
        m.runup_seconds = 0.0;
        m.seconds = 1.25;
        auto s = open_machine(m);
        const whole_input in = read_all(*s, 5000);
        for (std::size_t i = 0; i < m.delay_samples; ++i)
            ASSERT_EQ(in.data[1][i], 0.0) << "the delay line starts empty";
        // After 0.25 s the resonance's transient (decay rate zeta w0 = 251 /s) is gone.
        const std::complex<double> x = component(in.data[0], m.rate, f, 12800, 51200);
        const std::complex<double> y = component(in.data[1], m.rate, f, 12800, 51200);
        const std::complex<double> h = m.response(f);
        EXPECT_NEAR(std::abs(y / x) / std::abs(h), 1.0, 1e-6) << f << " Hz";
        EXPECT_NEAR(std::arg(y / x / h), 0.0, 1e-6) << f << " Hz";
    }
}

class files : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QString write(const char* name, const std::string& content) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content.data(), qint64(content.size()));
        return f.fileName();
    }

    // A sound file of `frames` frames of two channels: channel c at frame i is value(c, i).
    QString write_sound(const char* name, int format, int rate, int frames, double (*value)(int, int)) const
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 2;
        info.format = format;
        const QString p = path(name);
        SNDFILE* f = sf_open(QFile::encodeName(p).constData(), SFM_WRITE, &info);
        EXPECT_TRUE(f) << sf_strerror(nullptr);
        std::vector<double> interleaved;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < 2; ++c)
                interleaved.push_back(value(c, i));
        EXPECT_EQ(sf_writef_double(f, interleaved.data(), frames), frames);
        sf_close(f);
        return p;
    }

    QTemporaryDir dir;
};

// Values a 24-bit PCM file holds exactly: multiples of 2^-23. libsndfile reads
// the integer k as k / 2^23 but writes x as round(x (2^23 - 1)), which gives k
// back only for |x| < 1/2.
double pcm24_value(int c, int i)
{
    return double(((i * 7919 + c * 104729) % 8388607) - 4194303) / 8388608.0;
}

double float_value(int c, int i)
{
    return double(float(std::sin(0.01 * i + c) * (c + 1)));
}

TEST_F(files, SoundFilesReadBackInRuns)
{
    struct
    {
        const char* name;
        int format;
        double (*value)(int, int);
        const char* description;
    } cases[] = {
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, pcm24_value,
            "pcm24.wav: 2 channels at 48000 Hz, 0.2145833333 s (WAV, PCM 24)"},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, float_value,
            "float.wav: 2 channels at 48000 Hz, 0.2145833333 s (WAV, float 32)"},
        {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, pcm24_value,
            "pcm24.flac: 2 channels at 48000 Hz, 0.2145833333 s (FLAC, PCM 24)"},
        {"float.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT, float_value,
            "float.aiff: 2 channels at 48000 Hz, 0.2145833333 s (AIFF, float 32)"},
    };
    constexpr int frames = 10300;
    for (const auto& c : cases) {
        const QString p = write_sound(c.name, c.format, 48000, frames, c.value);
        QString error;
        auto s = open_file(p, 0.0, false, &error);
        ASSERT_TRUE(s) << c.name << ": " << error.toStdString();
        EXPECT_EQ(s->channels(), 2) << c.name;
        EXPECT_EQ(s->rate(), 48000.0) << c.name;
        EXPECT_EQ(s->frames(), frames) << c.name;
        EXPECT_EQ(s->describe().toStdString(), c.description);
        const whole_input in = read_all(*s, 1000);
        ASSERT_FALSE(in.failed) << c.name << ": " << in.error.toStdString();
        ASSERT_EQ(in.data[1].size(), std::size_t(frames)) << c.name;
        for (int i = 0; i < frames; ++i)
            for (int ch = 0; ch < 2; ++ch)
                ASSERT_EQ(in.data[std::size_t(ch)][std::size_t(i)], c.value(ch, i)) << c.name << " frame " << i;
    }
}

TEST_F(files, CutSoundFileIsReportedTruncated)
{
    // libsndfile reads a cut file as a shorter, sound one: the header's length must be checked.
    for (auto [name, format] : {std::pair{"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
             std::pair{"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}}) {
        const QString p = write_sound(name, format, 8000, 1000, float_value);
        QFile f(p);
        ASSERT_TRUE(f.resize(f.size() - 2001)); // 499 whole frames of 4 bytes and a part of one
        QString error;
        auto s = open_file(p, 0.0, false, &error);
        ASSERT_TRUE(s) << error.toStdString();
        const whole_input in = read_all(*s, 64);
        EXPECT_TRUE(in.failed) << name;
        EXPECT_EQ(in.data[0].size(), 499u) << name;
        EXPECT_EQ(in.error, p + QStringLiteral(": truncated: 499 of 1000 frames"));
        // The error stays.
        std::vector<std::vector<double>> run;
        QString again;
        EXPECT_EQ(s->read(run, 64, &again), -1);
        EXPECT_EQ(again, in.error);
    }
}

// A canonical 44-byte WAV header for 16-bit PCM with the given fields.
std::string wav_header(quint16 channels, quint32 rate, quint32 data_bytes)
{
    std::string h;
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) h += char((v >> (8 * i)) & 0xff); };
    auto u16 = [&](quint16 v) { h += char(v & 0xff); h += char(v >> 8); };
    h += "RIFF";
    u32(36 + data_bytes);
    h += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * channels * 2);
    u16(quint16(channels * 2));
    u16(16);
    h += "data";
    u32(data_bytes);
    return h;
}

TEST_F(files, UnreadableOrAbsurdSoundFilesAreRefused)
{
    struct
    {
        const char* name;
        std::string content;
        const char* message;
    } cases[] = {
        {"notes.dat", "these are my notes\n", ": not a sound file"},
        {"empty.wav", "", ": not a sound file"},
        {"many.wav", wav_header(100, 8000, 800) + std::string(800, '\0'), ": 100 channels declared (at most 64)"},
        {"fast.wav", wav_header(1, 20000000, 8) + std::string(8, '\0'), ": sample rate of 20000000 Hz declared"},
        {"huge.wav", wav_header(2, 8000, 0x7ffffff0u) + std::string(400, '\0'), ": truncated: 100 of 536870908 frames"},
    };
    for (const auto& c : cases) {
        const QString p = write(c.name, c.content);
        QString error;
        auto s = open_file(p, 0.0, false, &error);
        if (s) {
            const whole_input in = read_all(*s, 1024);
            EXPECT_TRUE(in.failed) << c.name;
            error = in.error;
        }
        EXPECT_TRUE(error.startsWith(p + QLatin1Char(':'))) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.message))) << c.name << ": " << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(open_file(path("missing.wav"), 0.0, false, &error));
    EXPECT_TRUE(error.startsWith(path("missing.wav") + QStringLiteral(": cannot open"))) << error.toStdString();
}

TEST_F(files, CsvWithHeaderAndTimeColumn)
{
    const QString p = write("run.CSV", "time,left,right\r\n0,1,-1\r\n0.001,2.5,nan\n0.002,-inf,+3e2\n\n \n");
    QString error;
    auto s = open_file(p, 0.0, true, &error);
    ASSERT_TRUE(s) << error.toStdString();
    EXPECT_EQ(s->channels(), 2);
    EXPECT_DOUBLE_EQ(s->rate(), 1000.0);
    EXPECT_EQ(s->frames(), -1);
    EXPECT_EQ(s->describe(), QStringLiteral("run.CSV: 2 channels at 1000 Hz (CSV, rate from the time column)"));
    std::vector<std::vector<double>> run;
    ASSERT_EQ(s->read(run, 2, &error), 2);
    EXPECT_EQ(run[0], (std::vector<double>{1.0, 2.5}));
    EXPECT_EQ(run[1][0], -1.0);
    EXPECT_TRUE(std::isnan(run[1][1]));
    ASSERT_EQ(s->read(run, 2, &error), 1);
    EXPECT_EQ(run[0][0], -HUGE_VAL);
    EXPECT_EQ(run[1][0], 300.0);
    EXPECT_EQ(s->read(run, 2, &error), 0);
    EXPECT_EQ(s->read(run, 2, &error), 0);
}

TEST_F(files, CsvSeparatorsAndRate)
{
    struct
    {
        const char* name;
        std::string content;
        std::vector<std::vector<double>> expected;
    } cases[] = {
        {"comma.txt", "1,2\n3,4", {{1, 3}, {2, 4}}},
        {"semicolon.csv", "# exported\na;b\n1,5;-2\n3;4,25\n", {{1.5, 3}, {-2, 4.25}}},
        {"tab.csv", "1\t2\t3\n4\t5\t6\n", {{1, 4}, {2, 5}, {3, 6}}},
        {"one.csv", "\xEF\xBB\xBFvalue\n0.5\n\"0.25\"\n", {{0.5, 0.25}}},
    };
    for (const auto& c : cases) {
        QString error;
        auto s = open_file(write(c.name, c.content), 250.0, false, &error);
        ASSERT_TRUE(s) << c.name << ": " << error.toStdString();
        EXPECT_EQ(s->rate(), 250.0);
        const whole_input in = read_all(*s, 1);
        EXPECT_FALSE(in.failed) << c.name << ": " << in.error.toStdString();
        EXPECT_EQ(in.data, c.expected) << c.name;
    }
}

TEST_F(files, MalformedCsvGivesTheLineAndField)
{
    std::string many_columns;
    for (int i = 0; i < 100; ++i)
        many_columns += "1,";
    many_columns += "1\n";
    std::string long_line = "1,2\n" + std::string(3 << 20, '7') + "\n";
    struct
    {
        const char* name;
        std::string content;
        double rate;
        bool time;
        const char* message; // after "path:"
    } cases[] = {
        {"bad.csv", "a,b,c\n1,2,3\n4,x5,6\n", 100.0, false, "3: field 2 is not a number (\"x5\")"},
        {"nul.csv", std::string("1,2\n3,\0\n", 8), 100.0, false, "2: field 2 is not a number (\"?\")"},
        {"empty_field.csv", "1,2\n3,\n", 100.0, false, "2: field 2 is not a number"},
        {"ragged.csv", "1,2\n3,4\n\n5,6,7\n", 100.0, false, "4: 3 fields where the first data line has 2"},
        {"norate.csv", "1,2\n", 0.0, false, " CSV needs a sample rate: give --rate"},
        {"nanrate.csv", "1,2\n", std::nan(""), false, " CSV needs a sample rate: give --rate"},
        {"jitter.csv", "t,x\n0,1\n0.5,2\n1.0,3\n1.5000001,4\n2.0000021,5\n", 0.0, true,
            "6: time step of 0.500002 s where the first is 0.5 s: the time column must be uniform"},
        {"jitter_sum.csv", "t,x\n0,1\n0.5,2\n1.0,3\n1.5,4\n2.500001,5\n", 0.0, true, "6: time step of 1.000001 s"},
        {"backwards.csv", "1,0\n0,1\n", 0.0, true, "2: the time column must increase (1 s, then 0 s)"},
        {"single.csv", "0,1\n", 0.0, true, " one line of data"},
        {"timeonly.csv", "0\n1\n", 0.0, true, "1: a time column needs at least one channel beside it"},
        {"wide.csv", many_columns, 100.0, false, "1: too many columns (at most 64 channels)"},
        {"long.csv", long_line, 100.0, false, "2: line too long"},
        {"header_only.csv", "a,b\n\n", 100.0, false, " no data after the header"},
        {"blank.csv", "", 100.0, false, " no data"},
    };
    for (const auto& c : cases) {
        const QString p = write(c.name, c.content);
        QString error;
        auto s = open_file(p, c.rate, c.time, &error);
        if (s) {
            const whole_input in = read_all(*s, 16);
            EXPECT_TRUE(in.failed) << c.name;
            error = in.error;
        }
        const QString expected = p + QLatin1Char(':') + QString::fromLatin1(c.message);
        EXPECT_TRUE(error.startsWith(expected)) << c.name << ": " << error.toStdString() << "\n  expected "
                                                << expected.toStdString();
    }
    QString error;
    EXPECT_FALSE(open_file(path("absent.csv"), 100.0, false, &error));
    EXPECT_TRUE(error.startsWith(path("absent.csv") + QStringLiteral(": cannot open"))) << error.toStdString();
}

} // namespace
