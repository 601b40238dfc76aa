#pragma once

#include "app/albumapplication.h"

#include "fakeclock.h"
#include "fakemediaplayer.h"
#include "fakeplatformservices.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class LARK_M1;
class LARK_M7;

// A fresh program with fake services and player, driven through the setup window as a user
// would, that records what the viewer's caption named and when.
class ShowFixture : public QObject
{
    Q_OBJECT

public:
    // With a clock, the show runs on it instead of real time.
    explicit ShowFixture(FakeClock *clock = nullptr);
    ~ShowFixture() override;

    SharedState &state() { return app->state(); }
    LARK_M1 &setup() { return app->setupWindow(); }
    LARK_M7 *viewer() { return app->viewerIfLoaded(); }

    // Browse to a file of folder (with the delay field set first), set the extension and
    // the cyclic option, and press "CONFERMA".
    void confirmShow(const QString &folder, const QString &delay, bool cyclic = false,
                     const QString &extension = QStringLiteral("JPG"));
    // Waits until the viewer's show has ended (its loop is no longer active).
    bool waitForShowEnd(int timeoutMs = 20000);

    // What differs from the way the error path leaves a show: ShowState 1, both counters and
    // ProbeFailed as it sets them, "STAMPA" visible and the toggle hidden. Empty when nothing.
    QString differencesFromErrorPathEnd();

    // Pictures named by the caption, in order, without the folder; and when (ms since confirm).
    QStringList shownNames() const;
    QList<qint64> shownTimes;   // real time
    QList<qint64> clockTimes;   // the fake clock's time, when the show runs on one
    QStringList captions;
    // What the image showed when the caption changed: the picture before the one named.
    QList<QImage> imagesAtCaption;
    QList<QSize> imageSizesAtCaption;

    FakePlatformServices services;
    FakeMediaPlayer player;
    std::unique_ptr<AlbumApplication> app;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchViewer();
    QElapsedTimer m_sinceConfirm;
    FakeClock *m_clock = nullptr;
    QPointer<QObject> m_watched; // null once deleted: a new viewer may take its address
};
