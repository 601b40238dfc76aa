#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace FileProbe {

// What tells that a file was not replaced or rewritten since it was last looked at.
struct Stamp
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const Stamp &) const = default;
};

// Whether path names an existing regular file that can be opened for reading: the file is
// opened and closed again at once, nothing is read. The open never blocks; a folder, a pipe,
// a device or a socket fails.
bool canOpenForReading(const QString &path);

// The same probe, with the stamp of the file it opened; empty when it fails.
std::optional<Stamp> probe(const QString &path);

// Opens path for reading without blocking, as the probe does: the descriptor of a regular
// file, else -1. The caller closes it.
int openRegularFile(const QString &path);

// The stamp of an open file; empty when it cannot be read.
std::optional<Stamp> stampOf(int descriptor);

// Up to length bytes of an open file from offset into data, read again when a signal
// interrupts the read: the count read, 0 at the end, -1 on an error.
qint64 readAt(int descriptor, char *data, qint64 length, qint64 offset);

// length bytes of an open file from offset into data, read in pieces of a few megabytes: a
// thread in the middle of one long read cannot end before the read does, and the program's
// end waits for it (a 70 MB read into fresh memory takes 170 ms). Stops early at the end of
// the file, on an error, or once stop (when given) turns true between two pieces. The count
// read.
qint64 readInPieces(int descriptor, char *data, qint64 length, qint64 offset,
                    const std::function<bool()> &stop = {});

} // namespace FileProbe
