#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include "heiffiles.h"

// Files the tests make in their temporary folders, and what the tests read back.
namespace TestFiles {

// A picture of the given size, filled with colour, saved in the format the name's
// extension implies unless format is given.
void writePicture(const QString &path, int width, int height, const QColor &colour = Qt::red,
                  const char *format = nullptr);
// P1.JPG to Pcount.JPG in folder, in red, green, blue, yellow, cyan and magenta in turn.
void writePictures(const QString &folder, int count, QSize size = {60, 40});
QColor colourOf(int index); // the colour of P(index + 1).JPG

// A mono 16-bit PCM WAV of a soft tone, seconds long.
void writeWav(const QString &path, double seconds, int sampleRate = 22050);

// A file with the given bytes.
void writeBytes(const QString &path, const QByteArray &bytes);

// The colour in the middle of image; whether two colours are alike after a lossy encoding.
QColor colourOf(const QImage &image);
bool near(const QColor &a, const QColor &b);

// Whether file permissions stop this thread, and the threads it starts from now on, as they stop
// a user, also where the tests run as root; false where that cannot be set.
bool obeyPermissions(bool obey);

// The message of the error path for a picture that cannot be read.
QString unreadableMessage(const QString &path);

} // namespace TestFiles
