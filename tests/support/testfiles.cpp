#include "testfiles.h"

#include <QFile>
#include <QImage>
#include <QtEndian>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace TestFiles {

void writePicture(const QString &path, int width, int height, const QColor &colour,
                  const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    if (!image.save(path, format))
        throw std::runtime_error("cannot write test picture");
}

void writePictures(const QString &folder, int count, QSize size)
{
    for (int i = 0; i < count; ++i)
        writePicture(folder + QStringLiteral("/P%1.JPG").arg(i + 1), size.width(), size.height(),
                     colourOf(i), "JPEG");
}

QColor colourOf(int index)
{
    const Qt::GlobalColor colours[] = {Qt::red,    Qt::green, Qt::blue,
                                       Qt::yellow, Qt::cyan,  Qt::magenta};
    return colours[index % 6];
}

QColor colourOf(const QImage &image)
{
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(const QColor &a, const QColor &b)
{
    return a.isValid() && qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
           qAbs(a.blue() - b.blue()) < 40;
}

bool obeyPermissions(bool obey)
{
    // Root reads and enters anything by two capabilities of the thread; set aside, permissions
    // stop root as they stop a user.
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3];
    if (::syscall(SYS_capget, &header, sets) != 0)
        return false;
    const quint32 rights = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH); // first word
    sets[0].effective =
        obey ? sets[0].effective & ~rights : sets[0].effective | (sets[0].permitted & rights);
    return ::syscall(SYS_capset, &header, sets) == 0;
}

QString unreadableMessage(const QString &path)
{
    return QStringLiteral("Immagine ") + path +
           QStringLiteral("\r di formato non compatibile !!!\r\r 481 - Immagine non valida");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

void writeWav(const QString &path, double seconds, int sampleRate)
{
    const int samples = int(seconds * sampleRate);
    QByteArray data(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i) {
        const double t = double(i) / sampleRate;
        const auto value = qint16(6000 * std::sin(2 * M_PI * 440 * t));
        qToLittleEndian<qint16>(value, data.data() + 2 * i);
    }
    QByteArray wav;
    auto put32 = [&wav](quint32 v) {
        char b[4];
        qToLittleEndian<quint32>(v, b);
        wav.append(b, 4);
    };
    auto put16 = [&wav](quint16 v) {
        char b[2];
        qToLittleEndian<quint16>(v, b);
        wav.append(b, 2);
    };
    wav.append("RIFF");
    put32(quint32(36 + data.size()));
    wav.append("WAVEfmt ");
    put32(16);
    put16(1); // PCM
    put16(1); // mono
    put32(quint32(sampleRate));
    put32(quint32(sampleRate * 2));
    put16(2);
    put16(16);
    wav.append("data");
    put32(quint32(data.size()));
    wav.append(data);
    writeBytes(path, wav);
}

} // namespace TestFiles
