// ryx-analyze's file readers: the bytes become a file (CSV or, through
// libsndfile, a sound file: WAV, AIFF, FLAC, ... by content), opened with a
// rate and time-column choice taken from the first byte, then read to its end
// in runs of varying length. Every outcome must be a clean refusal or data.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <vector>

#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static QTemporaryDir dir;
    const std::uint8_t mode = data[0];
    const bool csv = mode & 1;
    const QString path = dir.filePath(csv ? QStringLiteral("input.csv") : QStringLiteral("input.wav"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data) + 1, static_cast<qint64>(size - 1));
    }
    const double rate = (mode & 2) ? 1000.0 : 0.0;
    const bool time_column = mode & 4;
    QString error;
    std::unique_ptr<ryx::analyze::source> in = ryx::analyze::open_file(path, rate, time_column, &error);
    if (!in)
        return 0;
    std::vector<std::vector<double>> run;
    // Runs of 1 to 4096 frames; a file of these sizes ends long before the bound.
    std::size_t max = 1 + (mode >> 3) * 128;
    for (int i = 0; i < 100000; ++i) {
        const qint64 got = in->read(run, max, &error);
        if (got <= 0)
            break;
        if (static_cast<int>(run.size()) != in->channels())
            __builtin_trap();
        max = max % 4096 + 1;
    }
    return 0;
}
