#pragma once

#include <QColor>
#include <QImage>
#include <QString>

#include "heiffiles.h"

// Files the tests make in their temporary folders.
namespace TestFiles {

// A picture of the given size, filled with colour, saved in the format the name's
// extension implies unless format is given.
void writePicture(const QString &path, int width, int height, const QColor &colour = Qt::red,
                  const char *format = nullptr);

// A mono 16-bit PCM WAV of a soft tone, seconds long.
void writeWav(const QString &path, double seconds, int sampleRate = 22050);

// A file with the given bytes.
void writeBytes(const QString &path, const QByteArray &bytes);

} // namespace TestFiles
