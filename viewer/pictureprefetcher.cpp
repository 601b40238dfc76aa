#include "viewer/pictureprefetcher.h"

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

PicturePrefetcher::PicturePrefetcher(FileWorker &worker, int ahead)
    : m_worker(worker), m_ahead(std::max(1, ahead))
{
}

void PicturePrefetcher::keepPictureMemory()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void PicturePrefetcher::keepAhead(const QStringList &paths, const PictureDecoder::Boxes &boxes)
{
    if (!m_enabled)
        return;
    QList<Pending> kept;
    for (const QString &path : paths) {
        if (kept.size() == m_ahead)
            break;
        if (path.isEmpty())
            continue;
        // A picture decoding for larger boxes serves too: its turn makes it smaller.
        const auto covers = [&boxes](const PictureDecoder::Boxes &other) {
            const auto atLeast = [](QSize a, QSize b) {
                return a.width() >= b.width() && a.height() >= b.height();
            };
            return atLeast(other.landscape, boxes.landscape) &&
                   atLeast(other.portrait, boxes.portrait);
        };
        const auto same = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending &p) {
            return p.path == path && covers(p.boxes);
        });
        if (same != m_pending.end())
            kept << *same;
        else
            kept << Pending{path, boxes, m_worker.run<PictureDecoder::Picture>([path, boxes] {
                                return PictureDecoder::decode(path, boxes);
                            })};
    }
    // What is dropped and not started yet is skipped by the worker.
    m_pending = kept;
}

PicturePrefetcher::Task PicturePrefetcher::take(const QString &path,
                                                const PictureDecoder::Boxes &boxes, bool *exact)
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < m_pending.size(); ++i) {
        if (m_pending[i].path == path && (found < 0 || m_pending[i].boxes == boxes))
            found = i;
    }
    if (found < 0)
        return {};
    if (exact)
        *exact = m_pending[found].boxes == boxes;
    return m_pending.takeAt(found).task;
}

PicturePrefetcher::Task PicturePrefetcher::decode(const QString &path,
                                                  const PictureDecoder::Boxes &boxes)
{
    return m_worker.run<PictureDecoder::Picture>(
        [path, boxes] { return PictureDecoder::decode(path, boxes); }, /*urgent*/ true);
}

void PicturePrefetcher::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        discard();
}
