#include "pictures/jpeglayout.h"

#include "pictures/tiffdirectory.h"
#include "runtime/fileprobe.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

namespace JpegLayout {

namespace {

// Picture data a frame may take: compressed data of a real photo stays well below half the
// size of its samples (a camera's finest JPEG takes about a third); half of it, plus room for a
// small picture, is beyond any real file.
qint64 dataBound(qint64 width, qint64 height, qint64 components)
{
    return width * height * std::max<qint64>(1, components) / 2 + (16LL << 20);
}

// Reads the file forward through a buffer.
class Reader
{
public:
    Reader(int descriptor, qint64 size) : m_descriptor(descriptor), m_size(size) {}

    qint64 position() const { return m_position; }
    bool atEnd() const { return m_position >= m_size; }
    // Moves on. large: what follows is picture data, looked through in large blocks; else
    // the next segment's header, read in a small one.
    void skip(qint64 count, bool large = false)
    {
        m_position = std::min(m_size, m_position + count);
        m_chunk = large ? LargeChunkBytes : SmallChunkBytes;
    }

    // The next byte, or -1 at the end.
    int byte()
    {
        if (!fill())
            return -1;
        return quint8(m_buffer[m_position++ - m_bufferStart]);
    }

    // Moves to the next 0xFF byte, looking no further than limit; false when there is none.
    bool toNextFF(qint64 limit)
    {
        while (m_position < limit && fill()) {
            const char *start = m_buffer.constData() + (m_position - m_bufferStart);
            const qint64 available = std::min(m_bufferStart + m_buffer.size(), limit) - m_position;
            const void *found = std::memchr(start, 0xFF, size_t(available));
            if (found) {
                m_position += static_cast<const char *>(found) - start;
                return true;
            }
            m_position += available;
        }
        return false;
    }

    // Reads the whole file into the buffer at once, when it is no larger than most.
    void holdWhole(qint64 most)
    {
        if (m_size > most)
            return;
        QByteArray whole(qsizetype(m_size), Qt::Uninitialized);
        if (FileProbe::readInPieces(m_descriptor, whole.data(), m_size, 0) != m_size)
            return;
        m_buffer = std::move(whole);
        m_bufferStart = 0;
    }
    // The whole file's first bytes up to end, when the file is held; empty otherwise. The
    // reader reads no more after it.
    QByteArray takeWhole(qint64 end)
    {
        if (m_bufferStart != 0 || m_buffer.size() != m_size || end > m_size)
            return {};
        QByteArray whole = std::exchange(m_buffer, {});
        whole.truncate(qsizetype(end));
        m_size = 0;
        return whole;
    }

private:
    // Makes the byte at the position available; false at the end or on a read error.
    bool fill()
    {
        if (m_position >= m_size)
            return false;
        if (m_position >= m_bufferStart && m_position < m_bufferStart + m_buffer.size())
            return true;
        m_buffer.resize(qsizetype(std::min<qint64>(m_chunk, m_size - m_position)));
        const qint64 got =
            FileProbe::readAt(m_descriptor, m_buffer.data(), m_buffer.size(), m_position);
        if (got <= 0) {
            m_size = m_position; // unreadable from here: taken as the end
            m_buffer.clear();
            return false;
        }
        m_buffer.resize(qsizetype(got));
        m_bufferStart = m_position;
        return true;
    }

    // Segments are skipped without reading them: only their headers are read, in small
    // blocks; picture data is looked through in large ones.
    static constexpr qint64 SmallChunkBytes = 512;
    static constexpr qint64 LargeChunkBytes = 64 * 1024;
    qint64 m_chunk = SmallChunkBytes;
    int m_descriptor;
    qint64 m_size;
    qint64 m_position = 0;
    QByteArray m_buffer;
    qint64 m_bufferStart = 0;
};

bool isFrame(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

Layout read(int descriptor, qint64 fileSize)
{
    Layout layout;
    Reader in(descriptor, fileSize);
    if (in.byte() != 0xFF || in.byte() != 0xD8)
        return layout;
    layout.verdict = Verdict::Decodable;
    // A photo's file is read once, here, and decoded from memory.
    in.holdWhole(WholeFileBytes);

    qint64 data = 0;     // picture data and stray bytes read so far
    qint64 metadata = 0; // other segments
    qint64 bound = dataBound(0, 0, 0);
    qint64 wholeBuffer = 0; // the coefficient buffer, if the picture is held whole
    bool progressive = false;
    bool multiScan = false;
    const auto finish = [&](Verdict verdict, qint64 end) {
        layout.verdict = verdict;
        layout.end = end;
        layout.bufferBytes = progressive || multiScan ? wholeBuffer : 0;
        if (verdict == Verdict::Decodable)
            layout.bytes = in.takeWhole(end);
        return layout;
    };

    for (;;) {
        // Picture data, and stray bytes before a marker, which the decoder skips too.
        const qint64 before = in.position();
        const bool found = in.toNextFF(before + (bound - data) + 1);
        data += in.position() - before;
        if (data > bound)
            return finish(Verdict::TooCostly, 0);
        if (!found)
            break;
        int marker = in.byte();
        while (marker == 0xFF)
            marker = in.byte();
        if (marker < 0)
            break;
        if (marker == 0xD9)
            return finish(Verdict::Decodable, in.position());
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // a stuffed byte or a marker without a segment: the data goes on
        const int high = in.byte(), low = in.byte();
        if (high < 0 || low < 0)
            break;
        const qint64 length = qint64(high) << 8 | low;
        if (length < 2)
            break; // the decoder refuses it
        const qint64 segmentEnd = in.position() + length - 2;
        if (isFrame(marker)) {
            in.byte(); // sample precision
            const int h1 = in.byte(), h0 = in.byte(), w1 = in.byte(), w0 = in.byte();
            layout.components = std::max(0, in.byte());
            layout.height = std::max(0, h1) << 8 | std::max(0, h0);
            layout.width = std::max(0, w1) << 8 | std::max(0, w0);
            int hMax = 1, vMax = 1;
            QList<int> sampling;
            for (int c = 0; c < layout.components && in.position() + 3 <= segmentEnd; ++c) {
                in.byte();
                const int factors = std::max(0, in.byte());
                in.byte();
                sampling << factors;
                hMax = std::max(hMax, factors >> 4);
                vMax = std::max(vMax, factors & 15);
            }
            wholeBuffer = 0;
            for (int factors : std::as_const(sampling)) {
                const int h = std::max(1, factors >> 4), v = std::max(1, factors & 15);
                const qint64 columns = (qint64(layout.width) * h + 8 * hMax - 1) / (8 * hMax);
                const qint64 rows = (qint64(layout.height) * v + 8 * vMax - 1) / (8 * vMax);
                wholeBuffer += columns * rows * 128; // 64 coefficients of 2 bytes a block
            }
            progressive = (marker & 3) == 2; // SOF2, SOF6, SOF10, SOF14
            bound = dataBound(layout.width, layout.height, layout.components);
        } else if (marker == 0xDA) {
            if (++layout.scans > MaxScans)
                return finish(Verdict::TooCostly, 0);
            // A first scan without every component means more scans, held whole.
            const int scanComponents = in.byte();
            if (layout.scans == 1 && scanComponents >= 0 && scanComponents < layout.components)
                multiScan = true;
            in.skip(segmentEnd - in.position(), /*large*/ true);
            continue; // the scan's data follows, up to the next marker
        } else {
            metadata += length;
            if (metadata > MaxMetadataBytes)
                return finish(Verdict::TooCostly, 0);
            if (marker == 0xE1 && layout.exifStart == 0 && length >= 8 && in.byte() == 'E' &&
                in.byte() == 'x' && in.byte() == 'i' && in.byte() == 'f') {
                layout.exifStart = segmentEnd - (length - 2);
                layout.exifLength = length - 2;
            }
        }
        in.skip(segmentEnd - in.position());
    }
    // Cut short: the decoder reads what there is and makes up the rest.
    return finish(Verdict::Decodable, fileSize);
}

QImageIOHandler::Transformations exifTransformation(const QByteArray &exif)
{
    // "Exif", two zero bytes, then a TIFF structure.
    const QByteArray tiff = exif.mid(6);
    const std::optional<TiffDirectory::Directory> directory =
        TiffDirectory::readFirst([&tiff](qint64 offset, qint64 length) {
            return offset >= 0 && offset < tiff.size() ? tiff.mid(offset, length) : QByteArray();
        });
    const std::optional<TiffDirectory::Entry> orientation =
        directory ? directory->find(0x0112) : std::nullopt;
    if (!orientation)
        return QImageIOHandler::TransformationNone;
    // Numbered 1 to 8 as the EXIF standard does.
    static const QImageIOHandler::Transformations turns[] = {
        QImageIOHandler::TransformationNone,     QImageIOHandler::TransformationNone,
        QImageIOHandler::TransformationMirror,   QImageIOHandler::TransformationRotate180,
        QImageIOHandler::TransformationFlip,     QImageIOHandler::TransformationFlipAndRotate90,
        QImageIOHandler::TransformationRotate90, QImageIOHandler::TransformationMirrorAndRotate90,
        QImageIOHandler::TransformationRotate270};
    return orientation->value <= 8 ? turns[orientation->value]
                                   : QImageIOHandler::TransformationNone;
}

} // namespace JpegLayout
