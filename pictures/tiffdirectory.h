#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <functional>
#include <optional>

// The first directory of a TIFF structure (a TIFF file, or the EXIF data of a JPEG): the
// tags that describe its first picture.
namespace TiffDirectory {

struct Entry
{
    quint16 tag = 0;
    quint16 type = 0; // 3 for shorts, 4 for longs
    quint32 count = 0;
    // The entry's value when it stands in the entry (one or two shorts: the first; one long),
    // otherwise where its values are stored.
    quint32 value = 0;
};

struct Directory
{
    bool little = true; // the structure's byte order
    QList<Entry> entries;
    // The first entry of tag; empty when there is none.
    std::optional<Entry> find(quint16 tag) const;
};

// Reads bytes of the structure: length bytes from offset, fewer where it ends first.
using ReadAt = std::function<QByteArray(qint64 offset, qint64 length)>;

// The structure's first directory; empty when its header or its directory cannot be read.
// Entries cut off by the structure's end are left out.
std::optional<Directory> readFirst(const ReadAt &readAt);

} // namespace TiffDirectory
