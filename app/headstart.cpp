#include "app/headstart.h"

#include "pictures/fileworker.h"
#include "runtime/directorycursor.h"
#include "viewer/viewerwindow.h"

HeadStart::HeadStart(FileWorker &fileChecks, FileWorker &pictures,
                     const PictureSource::Shared &decodes)
    : m_fileChecks(fileChecks), m_source(pictures, decodes, /*ahead*/ 1)
{
    m_typing.setSingleShot(true);
    m_typing.setInterval(TypingPauseMs);
    QObject::connect(&m_typing, &QTimer::timeout, &m_typing, [this] { list(); });
    m_starter->source = &m_source;
}

HeadStart::~HeadStart()
{
    // A listing still at work starts nothing once this has gone.
    std::lock_guard lock(m_starter->mutex);
    m_starter->source = nullptr;
}

void HeadStart::newListing(quint64 listing, std::shared_ptr<PictureSource::Handover> viewer)
{
    m_listing = listing;
    std::lock_guard lock(m_starter->mutex);
    m_starter->listing = listing;
    m_starter->viewer = std::move(viewer);
}

void HeadStart::aim(const QString &folder, const QString &extension, const QScreen *screen)
{
    const QString pattern = folder.isEmpty() ? QString() : folder + QLatin1Char('*') + extension;
    const PictureDecoder::Boxes boxes = LARK_M7::boxesWhenMaximized(screen);
    const bool held = !m_source.pendingPath().isEmpty() || m_typing.isActive() || !m_listed;
    if (pattern == m_pattern && boxes == m_boxes && (held || pattern.isEmpty()))
        return;
    stop();
    m_folder = folder;
    m_pattern = pattern;
    m_boxes = boxes;
    if (!pattern.isEmpty())
        m_typing.start();
}

void HeadStart::prepare(const QScreen *screen)
{
    m_source.prepare(LARK_M7::boxesWhenMaximized(screen));
}

void HeadStart::recheck()
{
    if (!m_pattern.isEmpty() && m_listed && !m_typing.isActive())
        list();
}

void HeadStart::handOver(const QString &folder, const QString &extension, const QScreen *screen,
                         LARK_M7 &viewer)
{
    aim(folder, extension, screen);
    // The picture decoded or decoding goes now; else the listing's, once it answers.
    if (!m_source.pendingPath().isEmpty()) {
        viewer.prepareFirstPicture(m_source);
        stop();
        return;
    }
    m_viewer = &viewer;
    if (m_typing.isActive()) {
        m_typing.stop();
        list();
    }
    // The listing at work hands its picture to the viewer from the worker: the viewer may
    // take its first turn before the listing's answer reaches this thread.
    if (!m_listed)
        newListing(m_listing, viewer.pictureSource().handover());
}

void HeadStart::stop()
{
    m_typing.stop();
    m_source.discard();
    newListing(m_listing + 1);
    m_listed = true;
    m_viewer = nullptr;
    m_pattern.clear();
}

void HeadStart::list()
{
    const quint64 listing = m_listing + 1;
    newListing(listing);
    m_listed = false;
    m_fileChecks.run<Listed>(
        [pattern = m_pattern, folder = m_folder, boxes = m_boxes,
         decoding = m_source.pendingPath(), starter = m_starter, listing] {
            const QStringList names = DirectoryCursor::list(pattern);
            Listed answer;
            if (names.isEmpty())
                return answer;
            answer.first = names.first();
            // The picture decoding already is kept when it is still the first.
            const QString path = folder + answer.first;
            std::lock_guard lock(starter->mutex);
            if (path == decoding || !starter->source || starter->listing != listing)
                return answer;
            const PictureSource::Task task = starter->source->startDecoding(path, boxes);
            answer.handedOver = starter->viewer != nullptr;
            if (answer.handedOver)
                starter->viewer->give(path, boxes, task);
            else
                answer.decode = task;
            return answer;
        },
        [this, listing](const Listed &answer) {
            if (listing == m_listing)
                listed(answer);
            else if (answer.decode)
                answer.decode->cancel();
        });
}

void HeadStart::listed(const Listed &answer)
{
    m_listed = true;
    // A folder without its pictures, or no folder at all: nothing to begin with.
    if (answer.first.isEmpty()) {
        m_source.discard();
        return;
    }
    const QString path = m_folder + answer.first;
    if (answer.decode)
        m_source.keep(path, m_boxes, answer.decode);
    else if (!answer.handedOver)
        m_source.start(path, m_boxes);
    if (m_viewer) {
        m_viewer->prepareFirstPicture(m_source);
        stop();
    }
}
