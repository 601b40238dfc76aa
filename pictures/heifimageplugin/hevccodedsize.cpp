#include "pictures/heifimageplugin/hevccodedsize.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>

#include <algorithm>
#include <optional>
#include <utility>

namespace HevcCodedSize {

namespace {

// The file's boxes that hold the configuration are small; a larger one is no real file's.
constexpr qint64 MaxMetaBytes = 16 << 20;

quint32 bigEndian(const QByteArray &data, qsizetype at, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | quint8(data[at + i]);
    return value;
}

// The boxes inside data: type and contents of each, in order; stops at one that does not fit.
QList<std::pair<QByteArray, QByteArray>> boxesIn(const QByteArray &data)
{
    QList<std::pair<QByteArray, QByteArray>> boxes;
    for (qsizetype at = 0; at + 8 <= data.size();) {
        const qint64 size = bigEndian(data, at, 4);
        if (size < 8 || size > data.size() - at)
            break;
        boxes.append({data.mid(at + 4, 4), data.mid(at + 8, size - 8)});
        at += size;
    }
    return boxes;
}

QByteArray childBox(const QByteArray &data, const char *type)
{
    for (const auto &[boxType, contents] : boxesIn(data))
        if (boxType == type)
            return contents;
    return {};
}

// Bits of a network abstraction layer unit, emulation prevention bytes taken out.
class BitReader
{
public:
    explicit BitReader(const QByteArray &unit)
    {
        for (qsizetype i = 0; i < unit.size(); ++i) {
            if (i >= 2 && unit[i] == 3 && unit[i - 1] == 0 && unit[i - 2] == 0)
                continue;
            m_bytes.append(unit[i]);
        }
    }
    std::optional<quint32> bits(int count)
    {
        quint32 value = 0;
        for (int i = 0; i < count; ++i, ++m_at) {
            if (m_at >= m_bytes.size() * 8)
                return std::nullopt;
            value = value << 1 | (quint8(m_bytes[m_at / 8]) >> (7 - m_at % 8) & 1);
        }
        return value;
    }
    bool skip(int count) { return bits(count).has_value(); }
    // Exp-Golomb coded, unsigned.
    std::optional<quint32> number()
    {
        int zeros = 0;
        for (std::optional<quint32> bit; (bit = bits(1)) != 1u; ++zeros)
            if (!bit || zeros > 30)
                return std::nullopt;
        const std::optional<quint32> rest = bits(zeros);
        return rest ? std::optional<quint32>((1u << zeros) - 1 + *rest) : std::nullopt;
    }

private:
    QByteArray m_bytes;
    qint64 m_at = 0; // bits
};

// Width times height of the luma picture a sequence parameter set declares, up to the size.
std::optional<qint64> sequencePicture(const QByteArray &unit)
{
    BitReader reader(unit);
    if (!reader.skip(16 + 4)) // unit header, video parameter set id
        return std::nullopt;
    const std::optional<quint32> subLayers = reader.bits(3);
    if (!subLayers || !reader.skip(1 + 96)) // temporal nesting, the general profile and level
        return std::nullopt;
    bool profilePresent[8] = {}, levelPresent[8] = {};
    for (quint32 i = 0; i < *subLayers; ++i) {
        const std::optional<quint32> flags = reader.bits(2);
        if (!flags)
            return std::nullopt;
        profilePresent[i] = *flags & 2;
        levelPresent[i] = *flags & 1;
    }
    if (*subLayers > 0 && !reader.skip(2 * (8 - int(*subLayers))))
        return std::nullopt;
    for (quint32 i = 0; i < *subLayers; ++i)
        if (!reader.skip((profilePresent[i] ? 88 : 0) + (levelPresent[i] ? 8 : 0)))
            return std::nullopt;
    const std::optional<quint32> id = reader.number(), chroma = reader.number();
    if (!id || !chroma || (*chroma == 3 && !reader.skip(1)))
        return std::nullopt;
    const std::optional<quint32> width = reader.number(), height = reader.number();
    if (!width || !height)
        return std::nullopt;
    return qint64(*width) * *height;
}

} // namespace

qint64 largestPicture(QIODevice *device, qint64 origin)
{
    // The top-level boxes up to the metadata box, read by their headers only.
    QByteArray meta;
    for (qint64 at = origin; meta.isEmpty();) {
        if (!device->seek(at))
            return 0;
        const QByteArray header = device->read(16);
        if (header.size() < 8)
            return 0;
        qint64 size = bigEndian(header, 0, 4), headerSize = 8;
        if (size == 1 && header.size() == 16) {
            size = qint64(bigEndian(header, 8, 4)) << 32 | bigEndian(header, 12, 4);
            headerSize = 16;
        }
        if (size < headerSize)
            return 0; // no box after this one, or a broken one: libheif has judged those
        if (header.mid(4, 4) == "meta") {
            if (size > MaxMetaBytes || !device->seek(at + headerSize))
                return -1;
            meta = device->read(size - headerSize);
            if (meta.size() != size - headerSize || meta.size() < 4)
                return -1;
        }
        at += size;
    }
    // meta (a full box) > iprp > ipco > hvcC boxes.
    const QByteArray properties = childBox(childBox(meta.mid(4), "iprp"), "ipco");
    qint64 largest = 0;
    for (const auto &[type, hvcC] : boxesIn(properties)) {
        if (type != "hvcC")
            continue;
        // 22 bytes of configuration, then arrays of units of one type each.
        qsizetype at = 23;
        for (int array = 0, arrays = hvcC.size() > 22 ? quint8(hvcC[22]) : 0; array < arrays;
             ++array) {
            if (at + 3 > hvcC.size())
                return -1;
            const int unitType = quint8(hvcC[at]) & 0x3F;
            const int units = int(bigEndian(hvcC, at + 1, 2));
            at += 3;
            for (int unit = 0; unit < units; ++unit) {
                if (at + 2 > hvcC.size())
                    return -1;
                const qsizetype length = bigEndian(hvcC, at, 2);
                if (at + 2 + length > hvcC.size())
                    return -1;
                if (unitType == 33) { // a sequence parameter set
                    const std::optional<qint64> pixels = sequencePicture(hvcC.mid(at + 2, length));
                    if (!pixels)
                        return -1;
                    largest = std::max(largest, *pixels);
                }
                at += 2 + length;
            }
        }
    }
    return largest;
}

} // namespace HevcCodedSize
