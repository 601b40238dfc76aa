#include "viewer/pictureprefetcher.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <chrono>
#include <filesystem>
#include <system_error>

PicturePrefetcher::PicturePrefetcher()
{
    m_pool.setMaxThreadCount(1);
}

PicturePrefetcher::~PicturePrefetcher()
{
    discard();
    m_pool.waitForDone();
}

void PicturePrefetcher::keepPictureMemory()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void PicturePrefetcher::start(const QString &path, const QSize &box)
{
    discard();
    if (!m_enabled)
        return;
    // The stamp is taken before the worker opens the file: a change after it shows at the take.
    m_stamp = stampOf(path);
    if (!m_stamp)
        return;
    m_path = path;
    m_box = box;
    m_pending =
        QtConcurrent::run(&m_pool, [path, box] { return PictureDecoder::decode(path, box); });
}

std::optional<PictureDecoder::Picture> PicturePrefetcher::take(const QString &path,
                                                               const QSize &box)
{
    // A picture for another file or size, or of a file changed since, is not waited for.
    if (m_path.isEmpty() || m_path != path || m_box != box || stampOf(path) != m_stamp) {
        discard();
        return std::nullopt;
    }
    std::optional<PictureDecoder::Picture> picture;
    try {
        PictureDecoder::Picture decoded = m_pending.result();
        if (decoded.error == 0 && !decoded.image.isNull())
            picture = std::move(decoded);
    } catch (...) {
        // A decode that threw (out of memory) is dropped like a failed one: the loop's own
        // decode meets the same failure at the picture's turn.
    }
    // The file may have been rewritten while the worker read it.
    const bool unchanged = stampOf(path) == m_stamp;
    discard();
    if (!unchanged)
        return std::nullopt;
    return picture;
}

void PicturePrefetcher::discard()
{
    // A decode not started yet is skipped; one running finishes in the pool, unused.
    m_pending.cancel();
    m_pending = {};
    m_path.clear();
    m_box = {};
    m_stamp.reset();
}

void PicturePrefetcher::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        discard();
}

bool PicturePrefetcher::isReady() const
{
    return !m_path.isEmpty() && m_pending.isFinished();
}

std::optional<PicturePrefetcher::FileStamp> PicturePrefetcher::stampOf(const QString &path)
{
    const std::filesystem::path file(QFile::encodeName(path).toStdString());
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error)
        return std::nullopt;
    const auto modified = std::filesystem::last_write_time(file, error);
    if (error)
        return std::nullopt;
    FileStamp stamp;
    stamp.size = qint64(size);
    stamp.modifiedNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
    return stamp;
}
