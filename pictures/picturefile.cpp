#include "pictures/picturefile.h"

#include <algorithm>
#include <unistd.h>

PictureFile::PictureFile(int descriptor, qint64 limit)
    : m_descriptor(descriptor), m_limit(std::max<qint64>(0, limit))
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

PictureFile::~PictureFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

bool PictureFile::seek(qint64 position)
{
    if (position < 0 || position > m_limit)
        return false;
    m_position = position;
    return QIODevice::seek(position);
}

qint64 PictureFile::readData(char *data, qint64 maxSize)
{
    // A read that fails, or a decode told to stop, reads as the end of the file: the decoders
    // all handle a file cut short, and not every one a failing read (libtiff then writes before
    // its buffer).
    if (stopped())
        return 0;
    const qint64 wanted = std::min(maxSize, m_limit - m_position);
    if (wanted <= 0)
        return 0;
    const qint64 got = FileProbe::readAt(m_descriptor, data, wanted, m_position);
    if (got <= 0)
        return 0;
    m_position += got;
    return got;
}

qint64 PictureFile::writeData(const char *, qint64)
{
    return -1;
}

QByteArray PictureFile::readAt(qint64 offset, qint64 length) const
{
    if (stopped())
        return {};
    length = std::max<qint64>(0, std::min(length, m_limit - offset));
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    bytes.truncate(qsizetype(FileProbe::readInPieces(m_descriptor, bytes.data(), length, offset,
                                                     [this] { return stopped(); })));
    return bytes;
}
