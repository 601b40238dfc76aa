#pragma once

#include "app/albumapplication.h"

#include "fakeclock.h"
#include "fakemediaplayer.h"
#include "fakeplatformservices.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class LARK_M1;
class LARK_M7;
class QtMediaPlayer;

// A fresh program with fake services, driven through the setup window as a user would. Its
// show runs on a fake clock; it records what the viewer's caption named, and when. The player
// is a fake one, or the real one with its control bar when given.
class ShowFixture : public QObject
{
    Q_OBJECT

public:
    explicit ShowFixture(QtMediaPlayer *realPlayer = nullptr);
    ~ShowFixture() override;

    SharedState &state() { return app->state(); }
    LARK_M1 &setup() { return app->setupWindow(); }
    LARK_M7 *viewer() { return app->viewerIfLoaded(); }

    // Browse to a file of folder (with the delay field set first), set the extension and the
    // cyclic option, and press "CONFERMA".
    void confirmShow(const QString &folder, const QString &delay, bool cyclic = false,
                     const QString &extension = QStringLiteral("JPG"));
    // Waits until the viewer's show has ended (its loop is no longer active).
    bool waitForShowEnd(int timeoutMs = 20000);
    // Serves the events waiting, then more until ended() holds, sleeping in the event loop
    // between them; false when it does not within timeoutMs.
    static bool waitUntil(const std::function<bool()> &ended, int timeoutMs = 20000);

    static void click(QWidget *widget);
    void clickBackground();
    // The colour in the middle of the picture on screen.
    QColor shownColour();

    // The shared state's counters and flags named, with their values: "ShowState 1 ShowRunning 0".
    QString values(const QString &names);
    // The texts of the viewer's buttons on screen, in order: "STAMPA USCITA Continua".
    QString buttons();

    // What differs from the way the error path leaves a show: ShowState 1, both counters and
    // ProbeFailed as it sets them, "STAMPA" visible and the toggle hidden. Empty when nothing.
    QString differencesFromErrorPathEnd();

    // Pictures named by the caption, in order: whole paths, names, and the clock's time then.
    QStringList captions;
    QStringList shownNames() const;
    QList<qint64> clockTimes;
    // What the image showed when the caption changed (the picture before the one named), and
    // its size.
    QList<QImage> imagesAtCaption;
    QList<QSize> imageSizesAtCaption;

    FakeClock clock;
    FakePlatformServices services;
    FakeMediaPlayer player;
    std::unique_ptr<AlbumApplication> app;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QObject> m_watched; // null once deleted: a new viewer may take its address
};
