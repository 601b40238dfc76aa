#include "testfiles.h"

#include <QFile>
#include <QImage>
#include <QtEndian>

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
