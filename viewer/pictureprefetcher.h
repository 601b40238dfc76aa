#pragma once

#include "runtime/fileworker.h"
#include "viewer/picturedecoder.h"

#include <QString>

#include <memory>
#include <optional>

// Decodes the show's next picture on the file worker while the loop waits, so that at its
// turn the picture is ready. The worker gets a path and the boxes and hands back the decoded
// picture: it touches no widget and no shared state. A picture is handed over only while the
// file is still the one decoded (same file, size and modification time as the turn's probe
// found); otherwise the turn decodes it afresh.
class PicturePrefetcher
{
public:
    explicit PicturePrefetcher(FileWorker &worker);

    PicturePrefetcher(const PicturePrefetcher &) = delete;
    PicturePrefetcher &operator=(const PicturePrefetcher &) = delete;

    // Has the C library keep the memory of the pictures the show lets go for the next ones,
    // instead of handing it back to the system and faulting it in again at every picture
    // (about 1600 page faults a picture, which on a virtual machine cost more than half the
    // decoding). One arena, buffers under 32 MB from the heap, up to 256 MB kept. To be called
    // before any thread starts; does nothing but with glibc.
    static void keepPictureMemory();

    // Starts decoding path for boxes (device pixels), dropping the picture started before.
    // Does nothing while prefetching is off.
    void start(const QString &path, const PictureDecoder::Boxes &boxes);

    // The decode started for path and boxes, when one was; empty otherwise. It is dropped
    // from here either way.
    std::shared_ptr<FileTask<PictureDecoder::Picture>> take(const QString &path,
                                                           const PictureDecoder::Boxes &boxes);

    // Starts decoding path for boxes now, for the turn that needs it.
    std::shared_ptr<FileTask<PictureDecoder::Picture>> decode(const QString &path,
                                                             const PictureDecoder::Boxes &boxes);

    // Drops the pending picture; a decode already running finishes unused.
    void discard();

    // Prefetching is on unless turned off (the benchmark measures the show without it).
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    // The picture being decoded or waiting to be taken, empty when none; and whether its
    // decoding has finished.
    QString pendingPath() const { return m_path; }
    bool isReady() const { return m_pending && m_pending->isReady(); }

private:
    FileWorker &m_worker;
    std::shared_ptr<FileTask<PictureDecoder::Picture>> m_pending;
    QString m_path;
    PictureDecoder::Boxes m_boxes;
    bool m_enabled = true;
};
