// Sound files through libsndfile, and the choice between them and CSV.
#include "input.h"
#include "input_csv.h"
#include "input_limits.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace ryx::analyze {

namespace {

using detail::format_number;
using detail::max_channels;
using detail::max_rate;

// Frames converted per libsndfile call: bounds the interleaved buffer whatever
// run length the caller asks for.
constexpr sf_count_t chunk_frames = 4096;

quint32 le32(const unsigned char* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint32 be32(const unsigned char* p)
{
    return quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
}

quint16 le16(const unsigned char* p)
{
    return quint16(p[0] | p[1] << 8);
}

// libsndfile trims a data chunk that runs past the end of the file to what is
// there, so a cut WAV or AIFF file would read as a shorter, sound one. The
// frame count the header declares is read here instead, for the uncompressed
// encodings whose frames have a fixed size; -1 when it is not known.
qint64 declared_frames(const QString& path, int subtype)
{
    switch (subtype) {
    case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_PCM_16: case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: case SF_FORMAT_DOUBLE: case SF_FORMAT_ULAW: case SF_FORMAT_ALAW:
        break;
    default:
        return -1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    unsigned char head[12];
    if (file.read(reinterpret_cast<char*>(head), 12) != 12)
        return -1;
    const bool riff = std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(head, "FORM", 4) == 0
        && (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0);
    if (!riff && !aiff)
        return -1;
    quint32 block_align = 0;
    qint64 offset = 12;
    for (int chunk = 0; chunk < 256 && file.seek(offset); ++chunk) {
        unsigned char c[16];
        if (file.read(reinterpret_cast<char*>(c), 8) != 8)
            return -1;
        const quint32 size = riff ? le32(c + 4) : be32(c + 4);
        if (riff && std::memcmp(c, "fmt ", 4) == 0) {
            if (size < 16 || file.read(reinterpret_cast<char*>(c), 16) != 16)
                return -1;
            block_align = le16(c + 12);
        } else if (riff && std::memcmp(c, "data", 4) == 0) {
            // 0 and 0xffffffff stand for "unknown" in files written while streaming.
            if (block_align == 0 || size == 0 || size == 0xffffffffu)
                return -1;
            return qint64(size / block_align);
        } else if (aiff && std::memcmp(c, "COMM", 4) == 0) {
            if (size < 6 || file.read(reinterpret_cast<char*>(c), 6) != 6)
                return -1;
            return qint64(be32(c + 2));
        }
        offset += 8 + qint64(size) + qint64(size & 1);
    }
    return -1;
}

QString major_name(int format)
{
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: return QStringLiteral("WAV");
    case SF_FORMAT_WAVEX: return QStringLiteral("WAVEX");
    case SF_FORMAT_RF64: return QStringLiteral("RF64");
    case SF_FORMAT_W64: return QStringLiteral("W64");
    case SF_FORMAT_AIFF: return QStringLiteral("AIFF");
    case SF_FORMAT_FLAC: return QStringLiteral("FLAC");
    case SF_FORMAT_OGG: return QStringLiteral("Ogg");
    case SF_FORMAT_CAF: return QStringLiteral("CAF");
    case SF_FORMAT_AU: return QStringLiteral("AU");
    default: break;
    }
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromUtf8(info.name);
    return QStringLiteral("sound file");
}

QString subtype_name(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: return QStringLiteral("PCM 8");
    case SF_FORMAT_PCM_U8: return QStringLiteral("PCM 8 unsigned");
    case SF_FORMAT_PCM_16: return QStringLiteral("PCM 16");
    case SF_FORMAT_PCM_24: return QStringLiteral("PCM 24");
    case SF_FORMAT_PCM_32: return QStringLiteral("PCM 32");
    case SF_FORMAT_FLOAT: return QStringLiteral("float 32");
    case SF_FORMAT_DOUBLE: return QStringLiteral("float 64");
    case SF_FORMAT_ULAW: return QStringLiteral("u-law");
    case SF_FORMAT_ALAW: return QStringLiteral("A-law");
    case SF_FORMAT_VORBIS: return QStringLiteral("Vorbis");
    default: break;
    }
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name)
        return QString::fromUtf8(info.name);
    return QStringLiteral("encoding 0x%1").arg(format & SF_FORMAT_SUBMASK, 0, 16);
}

class sound_file_source final : public source
{
public:
    sound_file_source(const QString& path, SNDFILE* file, const SF_INFO& info)
        : m_path(path), m_file(file), m_info(info)
    {
        // libsndfile gives SF_COUNT_MAX for a length it cannot know.
        m_frames = info.frames >= 0 && info.frames < (sf_count_t(1) << 62) ? qint64(info.frames) : -1;
        m_declared = declared_frames(path, info.format & SF_FORMAT_SUBMASK);
        m_buffer.resize(std::size_t(chunk_frames) * std::size_t(info.channels));
    }

    ~sound_file_source() override { sf_close(m_file); }

    sound_file_source(const sound_file_source&) = delete;
    sound_file_source& operator=(const sound_file_source&) = delete;

    int channels() const override { return m_info.channels; }
    double rate() const override { return m_info.samplerate; }
    qint64 frames() const override { return m_frames; }

    qint64 read(std::vector<std::vector<double>>& run, std::size_t max, QString* error) override
    {
        const std::size_t channels = std::size_t(m_info.channels);
        run.resize(channels);
        if (!m_error.isEmpty())
            return fail(run, error);
        // Grown as frames arrive: a caller's huge `max` allocates nothing at the end of the file.
        for (auto& v : run)
            v.clear();
        std::size_t got = 0;
        while (got < max) {
            const sf_count_t want = sf_count_t(std::min<std::size_t>(max - got, std::size_t(chunk_frames)));
            const sf_count_t n = sf_readf_double(m_file, m_buffer.data(), want);
            if (n < 0 || (n < want && sf_error(m_file) != SF_ERR_NO_ERROR)) {
                m_error = m_path + QStringLiteral(": read error after %1 frames (%2)")
                              .arg(QString::number(m_read + qint64(got)), QString::fromUtf8(sf_strerror(m_file)));
                return fail(run, error);
            }
            for (std::size_t c = 0; c < channels; ++c) {
                auto& v = run[c];
                for (sf_count_t i = 0; i < n; ++i)
                    v.push_back(m_buffer[std::size_t(i) * channels + c]);
            }
            got += std::size_t(n);
            if (n < want)
                break;
        }
        m_read += qint64(got);
        if (got == 0) {
            const qint64 expected = std::max(m_frames, m_declared);
            if (expected > m_read) {
                m_error = m_path + QStringLiteral(": truncated: %1 of %2 frames").arg(m_read).arg(expected);
                return fail(run, error);
            }
        }
        return qint64(got);
    }

    QString describe() const override
    {
        const int c = m_info.channels;
        QString text = QFileInfo(m_path).fileName()
            + QStringLiteral(": %1 %2 at %3 Hz")
                  .arg(QString::number(c), c == 1 ? QStringLiteral("channel") : QStringLiteral("channels"),
                      format_number(m_info.samplerate));
        if (m_frames >= 0)
            text += QStringLiteral(", %1 s").arg(format_number(double(m_frames) / m_info.samplerate));
        return text + QStringLiteral(" (%1, %2)").arg(major_name(m_info.format), subtype_name(m_info.format));
    }

private:
    qint64 fail(std::vector<std::vector<double>>& run, QString* error) const
    {
        for (auto& v : run)
            v.clear();
        if (error)
            *error = m_error;
        return -1;
    }

    QString m_path;
    SNDFILE* m_file;
    SF_INFO m_info;
    qint64 m_frames = -1;
    qint64 m_declared = -1;
    qint64 m_read = 0;
    QString m_error;
    std::vector<double> m_buffer;
};

std::unique_ptr<source> open_sound_file(const QString& path, QString* error)
{
    auto fail = [&](const QString& message) -> std::unique_ptr<source> {
        if (error)
            *error = path + QStringLiteral(": ") + message;
        return nullptr;
    };
    if (QFileInfo(path).isDir())
        return fail(QStringLiteral("cannot open: it is a directory"));

    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        const int code = sf_error(nullptr);
        const QString why = QString::fromUtf8(sf_strerror(nullptr));
        if (code == SF_ERR_UNRECOGNISED_FORMAT)
            return fail(QStringLiteral("not a sound file (%1)").arg(why));
        if (code == SF_ERR_MALFORMED_FILE)
            return fail(QStringLiteral("malformed sound file (%1)").arg(why));
        if (code == SF_ERR_UNSUPPORTED_ENCODING)
            return fail(QStringLiteral("unsupported encoding (%1)").arg(why));
        return fail(QStringLiteral("cannot open (%1)").arg(why));
    }
    QString bad;
    if (info.channels <= 0)
        bad = QStringLiteral("no channels");
    else if (info.channels > max_channels)
        bad = QStringLiteral("%1 channels declared (at most %2)").arg(info.channels).arg(max_channels);
    else if (!(info.samplerate > 0 && info.samplerate <= max_rate))
        bad = QStringLiteral("sample rate of %1 Hz declared (it must be in (0, 10 MHz])").arg(info.samplerate);
    else if (info.frames < 0)
        bad = QStringLiteral("negative length declared");
    if (!bad.isEmpty()) {
        sf_close(file);
        return fail(bad);
    }
    return std::make_unique<sound_file_source>(path, file, info);
}

} // namespace

std::unique_ptr<source> open_file(const QString& path, double rate, bool time_column, QString* error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv") || suffix == QLatin1String("txt"))
        return detail::open_csv(path, rate, time_column, error);
    return open_sound_file(path, error);
}

} // namespace ryx::analyze
