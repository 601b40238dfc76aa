#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Files the tests make in their temporary folders.
namespace TestFiles {

// A picture of the given size, filled with colour, saved in the format the name's
// extension implies unless format is given.
void writePicture(const QString &path, int width, int height, const QColor &colour = Qt::red,
                  const char *format = nullptr);

// A mono 16-bit PCM WAV of a soft tone, seconds long.
void writeWav(const QString &path, double seconds, int sampleRate = 22050);

// A HEIF file of image, coded with HEVC (HEIC) or with AV1 (AVIF) by libheif, that carries
// orientation (numbered as in EXIF, 1 to 8) in its own rotation and mirror boxes: a reader that
// applies them shows image turned and mirrored by it.
QByteArray encodeHeif(const QImage &image, int orientation = 1, bool av1 = false);

// A file with the given bytes.
void writeBytes(const QString &path, const QByteArray &bytes);

} // namespace TestFiles
