#pragma once

#include "pictures/picturesource.h"

#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <mutex>

class FileWorker;
class LARK_M7;
class QScreen;

// The first picture of the show the setup window names, decoded before "CONFERMA": while the
// window stands with a folder and an extension, the picture a show of them would begin with
// is decoded in the background, at the size a viewer maximized on the window's screen shows
// it, and "CONFERMA" hands it to the viewer, whose first turn takes it while the file is
// unchanged. The folder is listed and the picture decoded on the workers, one picture ahead:
// one thread and one picture's share of the picture memory. Typing is waited out; a change of
// the fields drops the picture at once.
class HeadStart
{
public:
    // Typing ends when the fields have stood this long, milliseconds.
    static constexpr int TypingPauseMs = 300;

    HeadStart(FileWorker &fileChecks, FileWorker &pictures, const PictureSource::Shared &decodes);
    ~HeadStart();

    // The fields name the show of the files of folder (empty: none) with extension, on screen:
    // unless it holds that show's first picture already, it drops what it holds and decodes
    // that picture once typing has paused.
    void aim(const QString &folder, const QString &extension, const QScreen *screen);
    // Lists the folder again, and starts over when another picture comes first now.
    void recheck();
    // "CONFERMA": the show of folder with extension opens in viewer, on screen. Its first
    // picture goes to the viewer, decoded, decoding, or once the folder has been listed (now,
    // when it was not yet).
    void handOver(const QString &folder, const QString &extension, const QScreen *screen,
                  LARK_M7 &viewer);
    // Readies the decoders for a first picture on screen, before any is named.
    void prepare(const QScreen *screen);
    // Drops what it holds and forgets the fields: the next aim starts over.
    void stop();

    // The first picture being decoded or decoded, empty when none.
    QString pendingPath() const { return m_source.pendingPath(); }
    bool isReady() const { return m_source.isReady(); }

private:
    // What a listing hands back: the first name, and its decode when the listing started it.
    struct Listed
    {
        QString first;
        PictureSource::Task decode;
        bool handedOver = false; // its decode went to the viewer straight from the worker
    };
    // Lets a listing start the decode of the picture it found, from the file worker, without
    // waiting for the window's thread (which is opening the viewer right after "CONFERMA"),
    // and hand it to the viewer once "CONFERMA" has named one: only while the listing is the
    // latest and the head start is there.
    struct Starter
    {
        std::mutex mutex;
        const PictureSource *source = nullptr;
        quint64 listing = 0;
        std::shared_ptr<PictureSource::Handover> viewer;
    };

    // Lists the folder on the file worker, which then starts decoding its first picture.
    void list();
    void listed(const Listed &answer);
    // The latest listing is listing; its picture goes to viewer (none: kept here).
    void newListing(quint64 listing, std::shared_ptr<PictureSource::Handover> viewer = {});

    FileWorker &m_fileChecks;
    PictureSource m_source;
    QString m_folder;
    QString m_pattern; // the folder, "*" and the extension; empty for none
    PictureDecoder::Boxes m_boxes;
    QTimer m_typing;
    quint64 m_listing = 0;      // the latest listing: an answer of another comes too late
    bool m_listed = true;       // the latest listing has answered
    QPointer<LARK_M7> m_viewer; // where the listed picture goes, after "CONFERMA"
    std::shared_ptr<Starter> m_starter = std::make_shared<Starter>();
};
