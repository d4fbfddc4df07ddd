#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace ryx::fuzz {

// Reads typed values off the fuzzer's bytes; past the end every read gives 0.
class input
{
public:
    input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_at >= m_size; }

    std::uint8_t byte()
    {
        return m_at < m_size ? m_data[m_at++] : 0;
    }

    // One of n choices.
    int pick(int n) { return n > 0 ? byte() % n : 0; }

    // A double that is often hostile: the byte before it chooses between raw
    // bits (NaN, infinities, subnormals, huge values) and ordinary magnitudes.
    double number()
    {
        switch (pick(8)) {
        case 0: {
            std::uint64_t bits = 0;
            for (int i = 0; i < 8; ++i)
                bits = (bits << 8) | byte();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        case 1: return std::numeric_limits<double>::quiet_NaN();
        case 2: return (byte() & 1 ? -1 : 1) * std::numeric_limits<double>::infinity();
        case 3: return static_cast<double>(static_cast<std::int32_t>(word()));
        case 4: return std::ldexp(1.0, static_cast<int>(byte()) - 128) * (byte() & 1 ? -1 : 1);
        default: return static_cast<double>(static_cast<std::int16_t>(word() & 0xffff)) / 16.0;
        }
    }

    std::uint32_t word()
    {
        std::uint32_t w = 0;
        for (int i = 0; i < 4; ++i)
            w = (w << 8) | byte();
        return w;
    }

    // A short text: a number written in one of several ways, or raw bytes.
    QString text()
    {
        switch (pick(4)) {
        case 0: return QString::number(number(), 'g', 17);
        case 1: return QString::number(static_cast<std::int32_t>(word()));
        case 2: return QString::number(static_cast<qint64>(static_cast<std::uint64_t>(word()) << 24 | word()));
        default: {
            const int n = pick(12);
            QByteArray raw;
            for (int i = 0; i < n; ++i)
                raw.append(static_cast<char>(byte()));
            return QString::fromLatin1(raw);
        }
        }
    }

    // A run of up to max samples, mostly a smooth signal with hostile values mixed in.
    std::vector<double> run(std::size_t max)
    {
        const std::size_t n = static_cast<std::size_t>(word() % (max + 1));
        std::vector<double> out(n);
        const double f = 0.01 + (byte() % 64) / 128.0;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = std::sin(f * static_cast<double>(i)) * 3.0;
        for (int k = pick(4); k > 0 && n > 0; --k)
            out[word() % n] = number();
        return out;
    }

    // A settings value of any JSON type, often hostile.
    QJsonValue json_value()
    {
        switch (pick(4)) {
        case 0: return number();
        case 1: return static_cast<double>(static_cast<std::int32_t>(word()));
        case 2: return bool(byte() & 1);
        default: return text();
        }
    }

    // A settings object: the rest of the bytes parsed as JSON, or up to seven
    // of the known keys with hostile values (the first byte read chooses).
    QJsonObject settings(const char* const* keys, int key_count)
    {
        QJsonObject out;
        if (byte() & 1) {
            const std::size_t from = m_at < m_size ? m_at : m_size;
            out = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(m_data) + from,
                                                     static_cast<qsizetype>(m_size - from)))
                      .object();
        } else {
            for (int k = pick(8); k > 0; --k)
                out[QString::fromLatin1(keys[pick(key_count)])] = json_value();
        }
        return out;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace ryx::fuzz
