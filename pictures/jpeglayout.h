#pragma once

#include <QByteArray>
#include <QImageIOHandler>
#include <QtGlobal>

// The layout of a JPEG file, read without decoding it: its frame, how many scans it has and
// where its picture ends. It tells what decoding the file would cost before any of it is
// decoded, and how far the decoder needs to read.
namespace JpegLayout {

// More scans than any real encoder writes (libjpeg's progressive mode writes about 10; a
// file built to take minutes to decode has thousands).
constexpr int MaxScans = 100;
// Segments besides the picture data (EXIF, colour profiles, thumbnails): a camera writes
// kilobytes, a generous editor some megabytes.
constexpr qint64 MaxMetadataBytes = 256LL << 20;

enum class Verdict {
    Decodable, // a picture that may be decoded, reading no further than end
    NotJpeg,   // no JPEG start: left to the decoder, which reports it
    TooCostly, // more scans, more data or more metadata than a real picture of its size has
};

struct Layout
{
    Verdict verdict = Verdict::NotJpeg;
    int width = 0;
    int height = 0;
    int components = 0;
    int scans = 0;
    // The whole-picture coefficient buffer the decoder allocates (progressive or multi-scan
    // files), bytes; 0 for a file decoded as it streams.
    qint64 bufferBytes = 0;
    // Bytes the decoder needs: up to the end-of-picture marker (or the end of a file cut
    // short).
    qint64 end = 0;
    // Where the first EXIF segment's data starts and how long it is, bytes; 0 when none.
    qint64 exifStart = 0;
    qint64 exifLength = 0;
    // The file's bytes, when it was small enough to be read at once (up to WholeFileBytes):
    // the decoder then reads them from here, not from the file again. Empty otherwise.
    QByteArray bytes;
};

// A file no larger is read whole at once: that is within what the picture data of a frame of
// any size may take, so no bomb gets more read than its bound.
constexpr qint64 WholeFileBytes = 16LL << 20;

// The turn a picture's EXIF orientation asks for, as Qt's reader reads it: exif is the data
// of an EXIF segment ("Exif", two zero bytes, then its TIFF structure).
QImageIOHandler::Transformations exifTransformation(const QByteArray &exif);

// Reads the layout of the open file descriptor of fileSize bytes. The picture data is
// bounded by what the frame promises: data going on far beyond it (a header followed by
// gigabytes) makes the file too costly, found after reading at most that bound.
Layout read(int descriptor, qint64 fileSize);

} // namespace JpegLayout
