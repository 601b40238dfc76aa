#include "pictures/picturesource.h"

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

PictureSource::PictureSource(FileWorker &worker, int ahead)
    : m_worker(worker), m_ahead(std::max(1, ahead))
{
}

void PictureSource::keepPictureMemory()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void PictureSource::keepAhead(const QStringList &paths, const Boxes &boxes)
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
        const auto covers = [&boxes](const Boxes &other) {
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
            kept << Pending{path, boxes, m_worker.run<Picture>([path, boxes] {
                                return PictureDecoder::decode(path, boxes);
                            })};
    }
    // What is dropped and not started yet is skipped by the worker.
    m_pending = kept;
}

PictureSource::Task PictureSource::take(const QString &path, const Boxes &boxes, bool *exact)
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

std::optional<PictureSource::Picture>
PictureSource::picture(const QString &path, const Boxes &boxes,
                       const std::optional<FileProbe::Stamp> &probed, const Wait &wait)
{
    bool exact = true;
    if (const Task ahead = take(path, boxes, &exact)) {
        std::optional<Picture> picture = wait(ahead);
        if (!picture)
            return std::nullopt;
        if (picture->opened && picture->stamp && picture->stamp == probed) {
            if (exact)
                return picture;
            // Decoded for a larger window (the first picture, as the window opened): made
            // smaller without reading the file again, unless it is too small after all.
            return wait(m_worker.run<Picture>(
                [decoded = *std::move(picture), path, boxes] {
                    std::optional<Picture> fitted = PictureDecoder::refit(decoded, boxes);
                    return fitted ? *std::move(fitted) : PictureDecoder::decode(path, boxes);
                },
                /*urgent*/ true));
        }
    }
    return wait(m_worker.run<Picture>([path, boxes] { return PictureDecoder::decode(path, boxes); },
                                      /*urgent*/ true));
}

void PictureSource::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        discard();
}
