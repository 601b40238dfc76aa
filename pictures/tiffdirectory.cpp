#include "pictures/tiffdirectory.h"

#include "pictures/byteorder.h"

namespace TiffDirectory {

std::optional<Entry> Directory::find(quint16 tag) const
{
    for (const Entry &entry : entries) {
        if (entry.tag == tag)
            return entry;
    }
    return std::nullopt;
}

std::optional<Directory> readFirst(const ReadAt &readAt)
{
    // The byte order ("II" or "MM"), 42, then where the first directory is.
    const QByteArray header = readAt(0, 8);
    if (header.size() < 8 || (!header.startsWith("II") && !header.startsWith("MM")))
        return std::nullopt;
    Directory directory;
    directory.little = header.startsWith("II");
    const auto number = [&directory](const QByteArray &data, qsizetype at, int bytes) {
        return ByteOrder::number(data, at, bytes, directory.little);
    };
    const qint64 start = number(header, 4, 4);
    const QByteArray count = readAt(start, 2);
    if (count.size() < 2)
        return std::nullopt;
    const qint64 entries = number(count, 0, 2);
    const QByteArray table = readAt(start + 2, entries * 12);
    for (qsizetype at = 0; at + 12 <= table.size(); at += 12) {
        Entry entry;
        entry.tag = quint16(number(table, at, 2));
        entry.type = quint16(number(table, at + 2, 2));
        entry.count = number(table, at + 4, 4);
        entry.value = entry.type == 3 && entry.count <= 2 ? number(table, at + 8, 2)
                                                          : number(table, at + 8, 4);
        directory.entries << entry;
    }
    return directory;
}

} // namespace TiffDirectory
