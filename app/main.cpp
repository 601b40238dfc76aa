#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "runtime/italiantranslator.h"
#include "runtime/qtplatformservices.h"
#include "setup/setupwindow.h"
#include "viewer/pictureprefetcher.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdio>

namespace {

// The benchmark's start-up mark (ALBUM_QUIT_WHEN_SHOWN set): prints "shown" once the setup
// window has been painted, then ends the program.
class QuitWhenShown : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_shown) {
            m_shown = true;
            QTimer::singleShot(0, this, [] {
                std::puts("shown");
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_shown = false;
};

} // namespace

int main(int argc, char *argv[])
{
    PicturePrefetcher::keepPictureMemory(); // before Qt starts any thread
    QApplication application(argc, argv);
    // No display name: Qt would add it to every window title, and the viewer's title names
    // the picture alone.
    QApplication::setOrganizationName(QStringLiteral("Torvex"));
    QApplication::setApplicationName(QStringLiteral("album"));
    QApplication::setApplicationVersion(QStringLiteral(ALBUM_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("album"));

    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/album.png").arg(size));
    QApplication::setWindowIcon(icon);

    // Qt's own dialogs and buttons speak Italian like the rest of the program; the desktop's
    // native dialogs would speak the desktop's language, so Qt's own are used.
    ItalianTranslator::install(application);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    QtPlatformServices services;
    auto *player = new QtMediaPlayer;
    AlbumApplication album(services, *player, player);
    album.start();
    if (qEnvironmentVariableIsSet("ALBUM_QUIT_WHEN_SHOWN"))
        album.setupWindow().installEventFilter(new QuitWhenShown(&album.setupWindow()));
    return QApplication::exec();
}
