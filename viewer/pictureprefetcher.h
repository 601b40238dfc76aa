#pragma once

#include "viewer/picturedecoder.h"

#include <QFuture>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <optional>

// Decodes the show's next picture in a worker thread while the loop waits, so that at its turn
// the picture is ready. The worker gets a path and a size and hands back the decoded picture:
// it touches no widget and no shared state. A picture is handed over only while the file is
// still the one decoded (same size and modification time); otherwise the loop decodes it itself.
class PicturePrefetcher
{
public:
    PicturePrefetcher();
    // Waits for a decode still running.
    ~PicturePrefetcher();

    PicturePrefetcher(const PicturePrefetcher &) = delete;
    PicturePrefetcher &operator=(const PicturePrefetcher &) = delete;

    // Has the C library keep the memory of the pictures the show lets go for the next ones,
    // instead of handing it back to the system and faulting it in again at every picture
    // (about 1600 page faults a picture, which on a virtual machine cost more than half the
    // decoding). One arena, buffers under 32 MB from the heap, up to 256 MB kept. To be called
    // before any thread starts; does nothing but with glibc.
    static void keepPictureMemory();

    // Starts decoding path to fit box (device pixels), dropping the picture started before.
    // Does nothing while prefetching is off.
    void start(const QString &path, const QSize &box);

    // The picture started for path and box, waiting for the worker when it is still decoding;
    // empty when none was started for them, when the file's size or modification time changed
    // since, or when its decoding failed. Whatever was pending is dropped either way.
    std::optional<PictureDecoder::Picture> take(const QString &path, const QSize &box);

    // Drops the pending picture; a decode already running finishes unused.
    void discard();

    // Prefetching is on unless turned off (the benchmark measures the show without it).
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    // The picture being decoded or waiting to be taken, empty when none; and whether its
    // decoding has finished.
    QString pendingPath() const { return m_path; }
    bool isReady() const;

private:
    // What tells that a file was not replaced or rewritten: its size in bytes and its
    // modification time in nanoseconds.
    struct FileStamp
    {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const FileStamp &) const = default;
    };
    static std::optional<FileStamp> stampOf(const QString &path);

    QThreadPool m_pool; // one worker: a new prefetch never competes with an older one
    QFuture<PictureDecoder::Picture> m_pending;
    QString m_path;
    QSize m_box;
    std::optional<FileStamp> m_stamp;
    bool m_enabled = true;
};
