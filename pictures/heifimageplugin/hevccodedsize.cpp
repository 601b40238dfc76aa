#include "pictures/heifimageplugin/hevccodedsize.h"

#include "pictures/byteorder.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QSet>
#include <QSize>

#include <algorithm>
#include <optional>
#include <utility>

namespace HevcCodedSize {

namespace {

// The file's boxes that hold the configuration are small; a larger one is no real file's.
constexpr qint64 MaxMetaBytes = 16 << 20;

using ByteOrder::bigEndian;

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

// The contents of the file's metadata box, read by the top-level boxes' headers only; empty
// when there is none, null when it cannot be read.
std::optional<QByteArray> metadata(QIODevice *device, qint64 origin)
{
    for (qint64 at = origin;;) {
        if (!device->seek(at))
            return QByteArray();
        const QByteArray header = device->read(16);
        if (header.size() < 8)
            return QByteArray();
        qint64 size = bigEndian(header, 0, 4), headerSize = 8;
        if (size == 1 && header.size() == 16) {
            size = qint64(bigEndian(header, 8, 4)) << 32 | bigEndian(header, 12, 4);
            headerSize = 16;
        }
        if (size < headerSize)
            return QByteArray(); // no box after this one, or a broken one: libheif judges those
        if (header.mid(4, 4) == "meta") {
            if (size > MaxMetaBytes || !device->seek(at + headerSize))
                return std::nullopt;
            const QByteArray meta = device->read(size - headerSize);
            if (meta.size() != size - headerSize || meta.size() < 4)
                return std::nullopt;
            return meta.mid(4); // after the full box's version and flags
        }
        at += size;
    }
}

// The largest picture the sequence parameter sets of an HEVC configuration box declare,
// pixels; empty when one cannot be read.
std::optional<qint64> largestInConfiguration(const QByteArray &hvcC)
{
    qint64 largest = 0;
    // 22 bytes of configuration, then arrays of units of one type each.
    qsizetype at = 23;
    for (int array = 0, arrays = hvcC.size() > 22 ? quint8(hvcC[22]) : 0; array < arrays; ++array) {
        if (at + 3 > hvcC.size())
            return std::nullopt;
        const int unitType = quint8(hvcC[at]) & 0x3F;
        const int units = int(bigEndian(hvcC, at + 1, 2));
        at += 3;
        for (int unit = 0; unit < units; ++unit) {
            if (at + 2 > hvcC.size())
                return std::nullopt;
            const qsizetype length = bigEndian(hvcC, at, 2);
            if (at + 2 + length > hvcC.size())
                return std::nullopt;
            if (unitType == 33) { // a sequence parameter set
                const std::optional<qint64> pixels = sequencePicture(hvcC.mid(at + 2, length));
                if (!pixels)
                    return std::nullopt;
                largest = std::max(largest, *pixels);
            }
            at += 2 + length;
        }
    }
    return largest;
}

// The items of a HEIF file's metadata, as far as what their decoding costs.
class Items
{
public:
    explicit Items(const QByteArray &meta)
    {
        for (const auto &[type, contents] : boxesIn(meta)) {
            if (contents.size() < 4)
                continue;
            const int version = quint8(contents[0]);
            if (type == "pitm") {
                m_primary = bigEndian(contents, 4, version == 0 ? 2 : 4);
            } else if (type == "iinf") {
                for (const auto &[entryType, entry] : boxesIn(contents.mid(version == 0 ? 6 : 8))) {
                    const int entryVersion = entry.isEmpty() ? 0 : quint8(entry[0]);
                    if (entryType != "infe" || entryVersion < 2)
                        continue;
                    const int idBytes = entryVersion == 2 ? 2 : 4;
                    if (entry.size() >= 4 + idBytes + 2 + 4)
                        m_types[bigEndian(entry, 4, idBytes)] = entry.mid(4 + idBytes + 2, 4);
                }
            } else if (type == "iref") {
                const int idBytes = version == 0 ? 2 : 4;
                for (const auto &[kind, reference] : boxesIn(contents.mid(4))) {
                    if (reference.size() < idBytes + 2)
                        continue;
                    const quint32 from = bigEndian(reference, 0, idBytes);
                    const int count = int(bigEndian(reference, idBytes, 2));
                    for (int i = 0;
                         i < count && idBytes + 2 + (i + 1) * idBytes <= reference.size(); ++i) {
                        const quint32 to = bigEndian(reference, idBytes + 2 + i * idBytes, idBytes);
                        if (kind == "dimg")
                            m_parts[from].append(to);
                        else if (kind == "auxl")
                            m_auxiliaries[to].append(from);
                    }
                }
            } else if (type == "iprp") {
                readProperties(contents);
            }
        }
    }

    // What decoding item (and what it is made of) makes the decoder produce; false when it
    // cannot be told or a coded picture passes the size it states.
    bool add(quint32 item, Decoded &decoded, int depth = 0) const
    {
        const QByteArray type = m_types.value(item);
        if (depth > 8)
            return false;
        if (type == "grid" || type == "iovl" || type == "iden") {
            for (const quint32 part : m_parts.value(item))
                if (!add(part, decoded, depth + 1))
                    return false;
            return true;
        }
        const QSize stated = m_stated.value(item);
        if (++decoded.pictures == 1 && m_formats.contains(item)) {
            decoded.chroma = m_formats[item].first;
            decoded.bits = m_formats[item].second;
        }
        if (type == "hvc1") {
            const std::optional<qint64> coded = m_coded.value(item, -1) >= 0
                                                    ? std::optional<qint64>(m_coded.value(item))
                                                    : std::nullopt;
            // Only rounding up to whole coding blocks (64 pixels at most) is allowed.
            if (!coded ||
                (stated.isValid() && *coded > qint64(stated.width() + 63) * (stated.height() + 63)))
                return false;
            // Parameter sets only in the coded data: the size it states.
            decoded.pixels +=
                *coded > 0 || !stated.isValid() ? *coded : qint64(stated.width()) * stated.height();
            return true;
        }
        // Other codings count at the size they state.
        decoded.pixels += stated.isValid() ? qint64(stated.width()) * stated.height() : 0;
        return true;
    }

    quint32 primary() const { return m_primary; }
    QList<Transform> transforms(quint32 item) const { return m_transforms.value(item); }
    bool cropped(quint32 item) const { return m_cropped.contains(item); }
    int count() const { return int(m_types.size()); }
    QList<quint32> auxiliaries(quint32 item) const { return m_auxiliaries.value(item); }

private:
    void readProperties(const QByteArray &iprp)
    {
        QList<std::pair<QByteArray, QByteArray>> properties;
        QList<QByteArray> associations;
        for (const auto &[type, contents] : boxesIn(iprp)) {
            if (type == "ipco")
                properties = boxesIn(contents);
            else if (type == "ipma")
                associations << contents;
        }
        for (const QByteArray &ipma : associations) {
            if (ipma.size() < 8)
                continue;
            const int version = quint8(ipma[0]);
            const bool wide = quint8(ipma[3]) & 1;
            const quint32 entries = bigEndian(ipma, 4, 4);
            qsizetype at = 8;
            for (quint32 entry = 0; entry < entries; ++entry) {
                const int idBytes = version < 1 ? 2 : 4;
                if (at + idBytes + 1 > ipma.size())
                    return;
                const quint32 item = bigEndian(ipma, at, idBytes);
                const int count = quint8(ipma[at + idBytes]);
                at += idBytes + 1;
                for (int i = 0; i < count; ++i) {
                    if (at + (wide ? 2 : 1) > ipma.size())
                        return;
                    const quint32 index =
                        wide ? bigEndian(ipma, at, 2) & 0x7FFF : quint8(ipma[at]) & 0x7F;
                    at += wide ? 2 : 1;
                    if (index == 0 || index > quint32(properties.size()))
                        continue;
                    const auto &[type, contents] = properties[index - 1];
                    if (type == "ispe" && contents.size() >= 12)
                        m_stated[item] =
                            QSize(int(std::min<quint32>(bigEndian(contents, 4, 4), 1u << 30)),
                                  int(std::min<quint32>(bigEndian(contents, 8, 4), 1u << 30)));
                    else if (type == "irot" && !contents.isEmpty() && (contents[0] & 3) != 0)
                        m_transforms[item].append(Transform((contents[0] & 3) - 1));
                    else if (type == "imir" && !contents.isEmpty())
                        m_transforms[item].append(contents[0] & 1 ? Transform::MirrorAxis1
                                                                  : Transform::MirrorAxis0);
                    else if (type == "clap")
                        m_cropped.insert(item);
                    else if (type == "hvcC") {
                        m_coded[item] = largestInConfiguration(contents).value_or(-1);
                        // After the profile and level: chromaFormat, bitDepthLumaMinus8.
                        if (contents.size() > 17)
                            m_formats[item] = {quint8(contents[16]) & 3,
                                               (quint8(contents[17]) & 7) + 8};
                    } else if (type == "av1C" && contents.size() > 2) {
                        // high_bitdepth, twelve_bit, monochrome, subsampling x and y.
                        const int flags = quint8(contents[2]);
                        const int chroma = flags & 0x10   ? 0
                                           : flags & 0x08 ? (flags & 0x04 ? 1 : 2)
                                                          : 3;
                        m_formats[item] = {chroma, flags & 0x40 ? (flags & 0x20 ? 12 : 10) : 8};
                    }
                }
            }
        }
    }

    quint32 m_primary = 0;
    QHash<quint32, QByteArray> m_types;
    QHash<quint32, QList<quint32>> m_parts;        // the pictures a grid or an overlay is made of
    QHash<quint32, QList<quint32>> m_auxiliaries;  // the alpha and depth of a picture
    QHash<quint32, QSize> m_stated;                // pixels
    QHash<quint32, qint64> m_coded;                // pixels; -1 when unreadable
    QHash<quint32, std::pair<int, int>> m_formats; // chroma format and luma bits, as stated
    QHash<quint32, QList<Transform>> m_transforms; // in the order of the item's properties
    QSet<quint32> m_cropped;
};

} // namespace

std::optional<Decoded> primaryPicture(QIODevice *device, qint64 origin)
{
    const std::optional<QByteArray> meta = metadata(device, origin);
    if (!meta)
        return std::nullopt;
    const Items items(*meta);
    Decoded decoded;
    decoded.items = items.count();
    decoded.transforms = items.transforms(items.primary());
    decoded.cropped = items.cropped(items.primary());
    if (!items.add(items.primary(), decoded))
        return std::nullopt;
    for (const quint32 auxiliary : items.auxiliaries(items.primary())) {
        if (!items.add(auxiliary, decoded))
            return std::nullopt;
        ++decoded.auxiliaries;
    }
    return decoded;
}

} // namespace HevcCodedSize
