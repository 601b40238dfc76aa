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
}

void HeadStart::stop()
{
    m_typing.stop();
    m_source.discard();
    ++m_listing;
    m_listed = true;
    m_viewer = nullptr;
    m_pattern.clear();
}

void HeadStart::list()
{
    const quint64 listing = ++m_listing;
    m_listed = false;
    const QString pattern = m_pattern;
    m_fileChecks.run<QString>(
        [pattern] {
            const QStringList names = DirectoryCursor::list(pattern);
            return names.isEmpty() ? QString() : names.first();
        },
        [this, listing](const QString &first) {
            if (listing == m_listing)
                listed(first);
        });
}

void HeadStart::listed(const QString &first)
{
    m_listed = true;
    // A folder without its pictures, or no folder at all: nothing to begin with.
    if (first.isEmpty()) {
        m_source.discard();
        return;
    }
    // The picture decoding already is kept when it is still the first.
    m_source.start(m_folder + first, m_boxes);
    if (m_viewer) {
        m_viewer->prepareFirstPicture(m_source);
        stop();
    }
}
