#pragma once

#include "runtime/fileworker.h"
#include "viewer/picturedecoder.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Decodes the show's next pictures on the file worker while the loop shows the current one
// and waits, as many at once as the worker has threads, so that at its turn a picture is
// ready. The worker gets a path and the boxes and hands back the decoded picture: it touches
// no widget and no shared state. A picture is handed over only for the same path and boxes;
// the turn then uses it only while the file is the one its probe found.
class PicturePrefetcher
{
public:
    // ahead: how many pictures may be decoding or waiting at once.
    PicturePrefetcher(FileWorker &worker, int ahead);

    PicturePrefetcher(const PicturePrefetcher &) = delete;
    PicturePrefetcher &operator=(const PicturePrefetcher &) = delete;

    // Has the C library keep the memory of the pictures the show lets go for the next ones,
    // instead of handing it back to the system and faulting it in again at every picture
    // (about 1600 page faults a picture, which on a virtual machine cost more than half the
    // decoding). One arena, buffers under 32 MB from the heap, up to 256 MB kept. To be called
    // before any thread starts; does nothing but with glibc.
    static void keepPictureMemory();

    using Task = std::shared_ptr<FileTask<PictureDecoder::Picture>>;

    // Keeps the first pictures of paths (the show's next ones, in their order) decoding for
    // boxes, starting what is not started yet, and drops every other. Does nothing while
    // prefetching is off.
    void keepAhead(const QStringList &paths, const PictureDecoder::Boxes &boxes);
    void start(const QString &path, const PictureDecoder::Boxes &boxes)
    {
        keepAhead({path}, boxes);
    }

    // The decode started for path and boxes, when one was; else one started for path and
    // other boxes (exact false), which may serve when it is larger; empty otherwise. It is no
    // longer kept here.
    Task take(const QString &path, const PictureDecoder::Boxes &boxes, bool *exact = nullptr);

    // Starts decoding path for boxes now, before the pictures decoding ahead, for the turn
    // that needs it.
    Task decode(const QString &path, const PictureDecoder::Boxes &boxes);

    // Drops the pending pictures; decodes already running finish unused.
    void discard() { m_pending.clear(); }

    // Prefetching is on unless turned off (the benchmark measures the show without it).
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    int ahead() const { return m_ahead; }
    FileWorker &worker() { return m_worker; }

    // The next picture being decoded or waiting to be taken, empty when none; and whether its
    // decoding has finished.
    QString pendingPath() const { return m_pending.isEmpty() ? QString() : m_pending[0].path; }
    bool isReady() const { return !m_pending.isEmpty() && m_pending[0].task->isReady(); }

private:
    struct Pending
    {
        QString path;
        PictureDecoder::Boxes boxes;
        Task task;
    };

    FileWorker &m_worker;
    int m_ahead;
    QList<Pending> m_pending;
    bool m_enabled = true;
};
