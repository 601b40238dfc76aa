#include "runtime/fileprobe.h"

#include "runtime/paths.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileProbe {

int openRegularFile(const QString &path)
{
    if (path.isEmpty())
        return -1;
    // Not blocking: a pipe or a device put where a picture was would otherwise hold the open
    // until something writes to it.
    const int descriptor =
        ::open(Paths::toFileSystem(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return -1;
    struct stat status;
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return -1;
    }
    // Reads from a regular file block as usual.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}

std::optional<Stamp> stampOf(int descriptor)
{
    struct stat status;
    if (::fstat(descriptor, &status) != 0)
        return std::nullopt;
    Stamp stamp;
    stamp.size = qint64(status.st_size);
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec;
    stamp.inode = quint64(status.st_ino);
    stamp.device = quint64(status.st_dev);
    return stamp;
}

qint64 readAt(int descriptor, char *data, qint64 length, qint64 offset)
{
    qint64 got;
    do {
        got = ::pread(descriptor, data, size_t(length), off_t(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

qint64 readInPieces(int descriptor, char *data, qint64 length, qint64 offset,
                    const std::function<bool()> &stop)
{
    constexpr qint64 PieceBytes = 4 << 20;
    qint64 done = 0;
    while (done < length && !(stop && stop())) {
        const qint64 got = readAt(descriptor, data + done, std::min(PieceBytes, length - done),
                                  offset + done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

std::optional<Stamp> probe(const QString &path)
{
    const int descriptor = openRegularFile(path);
    if (descriptor < 0)
        return std::nullopt;
    const std::optional<Stamp> stamp = stampOf(descriptor);
    ::close(descriptor);
    return stamp;
}

bool canOpenForReading(const QString &path)
{
    return probe(path).has_value();
}

} // namespace FileProbe
