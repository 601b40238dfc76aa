#include "pictures/picturesource.h"

#include "runtime/runtimeerror.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// A picture decoding for larger boxes serves too: its turn makes it smaller.
bool covers(const PictureDecoder::Boxes &larger, const PictureDecoder::Boxes &boxes)
{
    const auto atLeast = [](QSize a, QSize b) {
        return a.width() >= b.width() && a.height() >= b.height();
    };
    return atLeast(larger.landscape, boxes.landscape) && atLeast(larger.portrait, boxes.portrait);
}

} // namespace

PictureSource::PictureSource(FileWorker &worker, Shared shared, int ahead)
    : m_worker(worker), m_shared(std::move(shared)), m_ahead(std::max(1, ahead))
{
}

PictureSource::~PictureSource()
{
    {
        std::lock_guard lock(m_handover->m_mutex);
        m_handover->m_closed = true;
    }
    cancel();
}

PictureSource::Task PictureSource::decode(const QString &path, const Boxes &boxes, bool ahead,
                                          std::optional<Picture> decoded) const
{
    // The file's stamp once it is open: a decode given up names the file it refused.
    struct Opened
    {
        std::mutex mutex;
        std::optional<FileProbe::Stamp> stamp;
    };
    const auto opened = std::make_shared<Opened>();
    return m_worker.run<Picture>(
        [path, boxes, ahead, shared = m_shared, opened,
         decoded = std::move(decoded)](WorkStop &stop) {
            // Decoded for a larger window (the first picture, as the window opened): made
            // smaller without reading the file again, unless it is too small after all.
            if (decoded)
                if (std::optional<Picture> fitted = PictureDecoder::refit(*decoded, boxes))
                    return *std::move(fitted);
            return PictureDecoder::decode(path, boxes,
                                          {&stop, shared.memory.get(), shared.time.get(), ahead,
                                           [opened](const FileProbe::Stamp &stamp) {
                                               std::lock_guard lock(opened->mutex);
                                               opened->stamp = stamp;
                                           }});
        },
        [ahead, opened](const WorkStop &stop) {
            Picture givenUp;
            // No longer wanted (the show is over, or went elsewhere): no answer to give.
            if (stop.isCancelled()) {
                givenUp.postponed = ahead;
                return givenUp;
            }
            // It took far more processor time than a real picture of its size: refused, at
            // its turn too when it was decoding ahead.
            givenUp.opened = true;
            givenUp.error = RuntimeError::InvalidPicture;
            std::lock_guard lock(opened->mutex);
            givenUp.stamp = opened->stamp;
            return givenUp;
        },
        /*urgent*/ !ahead);
}

void PictureSource::cancel()
{
    discard();
    if (const Task turn = m_turn.lock())
        turn->cancel();
}

void PictureSource::keepPictureMemory()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void PictureSource::prepare(const Boxes &boxes)
{
    // What the first picture holds at once: its file, its decode (at most four times the shown
    // picture, a JPEG decoded at a reduced size) and the shown picture; no more than a large
    // screen's share.
    constexpr qint64 FileBytes = 8 << 20;
    constexpr qint64 MostBytes = 64 << 20;
    const qint64 shown = qint64(boxes.landscape.width()) * boxes.landscape.height() * 4;
    const qint64 bytes = std::min(MostBytes, FileBytes + 5 * shown);
    m_worker.run<bool>(
        std::function<bool()>([bytes] {
            // The image readers' plugins load at the first reader that looks at a picture.
            QByteArray start("\xFF\xD8\xFF\xE0", 4);
            QBuffer content(&start);
            content.open(QIODevice::ReadOnly);
            QImageReader(&content).canRead();
#if defined(__GLIBC__)
            // Memory the C library takes from the system is faulted in page by page at its
            // first use: on a virtual machine, that is as long again as decoding a photo.
            // Faulted in here and handed back to the heap, which keeps it (keepPictureMemory),
            // it is there for the first picture. Blocks under the threshold above which
            // buffers would not come from the heap.
            constexpr qint64 Block = 16 << 20;
            const long page = std::max(4096L, sysconf(_SC_PAGESIZE));
            std::vector<void *> blocks;
            for (qint64 taken = 0; taken < bytes; taken += Block) {
                auto *block = static_cast<volatile char *>(std::malloc(Block));
                if (!block)
                    break;
                for (qint64 at = 0; at < Block; at += page)
                    block[at] = 0;
                blocks.push_back(const_cast<char *>(block));
            }
            for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
                std::free(*it);
#endif
            return true;
        }),
        std::function<void(const bool &)>([](const bool &) {}));
}

void PictureSource::keepAhead(const QStringList &paths, const Boxes &boxes)
{
    collect();
    if (!m_enabled)
        return;
    QList<Pending> kept;
    for (const QString &path : paths) {
        if (kept.size() == m_ahead)
            break;
        if (path.isEmpty())
            continue;
        const auto same = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending &p) {
            return p.path == path && covers(p.boxes, boxes);
        });
        if (same != m_pending.end())
            kept << *same;
        else
            kept << Pending{path, boxes, decode(path, boxes, /*ahead*/ true)};
    }
    // What is dropped stops: not started yet, the worker skips it.
    for (const Pending &pending : std::as_const(m_pending))
        if (!kept.contains(pending))
            pending.task->cancel();
    m_pending = kept;
}

void PictureSource::keep(const QString &path, const Boxes &boxes, const Task &task)
{
    if (!m_enabled) {
        task->cancel();
        return;
    }
    discard();
    m_pending << Pending{path, boxes, task};
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
    collect();
    bool exact = true;
    std::optional<Picture> decoded;
    if (const Task ahead = take(path, boxes, &exact)) {
        decoded = wait(ahead);
        if (!decoded)
            return std::nullopt;
        // Only a picture of the file the probe found, decoded or refused.
        if (decoded->postponed || !decoded->opened || !decoded->stamp || decoded->stamp != probed)
            decoded.reset();
        else if (exact)
            return decoded;
    }
    const Task turn = decode(path, boxes, /*ahead*/ false, std::move(decoded));
    m_turn = turn;
    return wait(turn);
}

void PictureSource::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        discard();
}

void PictureSource::adopt(PictureSource &other)
{
    if (!m_enabled)
        return;
    if (m_pending.isEmpty()) {
        m_pending = std::exchange(other.m_pending, {});
        while (m_pending.size() > m_ahead)
            m_pending.takeLast().task->cancel();
        return;
    }
    other.m_pending.removeIf([this](const Pending &p) { return replaceOwn(p); });
}

bool PictureSource::replaceOwn(const Pending &given)
{
    const auto own = std::find_if(m_pending.begin(), m_pending.end(), [&](const Pending &p) {
        return p.path == given.path && covers(given.boxes, p.boxes);
    });
    if (own == m_pending.end())
        return false;
    own->task->cancel();
    *own = given;
    return true;
}

void PictureSource::Handover::give(const QString &path, const Boxes &boxes, const Task &task)
{
    std::lock_guard lock(m_mutex);
    if (m_task)
        m_task->cancel();
    // The source has gone: nobody takes it.
    if (m_closed) {
        task->cancel();
        return;
    }
    m_path = path;
    m_boxes = boxes;
    m_task = task;
}

void PictureSource::collect()
{
    Pending given;
    {
        std::lock_guard lock(m_handover->m_mutex);
        if (!m_handover->m_task)
            return;
        given = {std::exchange(m_handover->m_path, {}), m_handover->m_boxes,
                 std::exchange(m_handover->m_task, {})};
    }
    if (!m_enabled)
        given.task->cancel();
    else if (m_pending.isEmpty())
        m_pending << given;
    else if (!replaceOwn(given))
        given.task->cancel();
}

void PictureSource::discard()
{
    collect();
    for (const Pending &pending : std::as_const(m_pending))
        pending.task->cancel();
    m_pending.clear();
}
