#include "viewer/pictureprefetcher.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

PicturePrefetcher::PicturePrefetcher(FileWorker &worker) : m_worker(worker) {}

void PicturePrefetcher::keepPictureMemory()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void PicturePrefetcher::start(const QString &path, const PictureDecoder::Boxes &boxes)
{
    discard();
    if (!m_enabled)
        return;
    m_path = path;
    m_boxes = boxes;
    m_pending = decode(path, boxes);
}

std::shared_ptr<FileTask<PictureDecoder::Picture>>
PicturePrefetcher::take(const QString &path, const PictureDecoder::Boxes &boxes)
{
    std::shared_ptr<FileTask<PictureDecoder::Picture>> pending;
    if (!m_path.isEmpty() && m_path == path && m_boxes == boxes)
        pending = m_pending;
    discard();
    return pending;
}

std::shared_ptr<FileTask<PictureDecoder::Picture>>
PicturePrefetcher::decode(const QString &path, const PictureDecoder::Boxes &boxes)
{
    return m_worker.run<PictureDecoder::Picture>(
        [path, boxes] { return PictureDecoder::decode(path, boxes); });
}

void PicturePrefetcher::discard()
{
    // A decode running finishes on the worker, unused.
    m_pending.reset();
    m_path.clear();
    m_boxes = {};
}

void PicturePrefetcher::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        discard();
}
