#pragma once

#include "pictures/workstop.h"
#include "runtime/fileprobe.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <optional>

// A picture file as the decoder reads it: an open regular file that gives no byte past a
// limit, so that no decoder reads further than the picture needs (not to the end of a file
// that goes on for gigabytes), and no byte at all once its decode is to stop: every decoder
// then finds the file ending at its next read and gives up.
class PictureFile : public QIODevice
{
public:
    // Takes over descriptor, which it closes; reads no further than limit bytes.
    PictureFile(int descriptor, qint64 limit);
    ~PictureFile() override;

    bool isSequential() const override { return false; }
    // Once its decode is to stop, the file ends where the decoder stands.
    qint64 size() const override { return stopped() ? 0 : m_limit; }
    bool seek(qint64 position) override;

    // Gives no byte once stop says to stop; null for never.
    void setStop(const WorkStop *stop) { m_stop = stop; }
    bool stopped() const { return m_stop && m_stop->stopped(); }
    // Reads no further than limit bytes from now on.
    void setLimit(qint64 limit) { m_limit = std::max<qint64>(0, limit); }
    // length bytes from offset, no further than the limit, read apart from the device's own
    // reading; fewer where the file ends first.
    QByteArray readAt(qint64 offset, qint64 length) const;
    // The file's bytes up to the limit.
    QByteArray readAllFromStart() const { return readAt(0, m_limit); }
    // The open file's stamp now.
    std::optional<FileProbe::Stamp> stamp() const { return FileProbe::stampOf(m_descriptor); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    int m_descriptor;
    qint64 m_limit;
    qint64 m_position = 0;
    const WorkStop *m_stop = nullptr;
};
