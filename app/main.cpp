#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "runtime/qtplatformservices.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // No display name: Qt would add it to every window title, and the viewer's title names
    // the picture alone.
    QApplication::setApplicationName(QStringLiteral("album"));
    QApplication::setApplicationVersion(QStringLiteral(ALBUM_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("album"));

    // Qt's own dialogs and buttons speak Italian like the rest of the program.
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"),
                          QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    QtPlatformServices services;
    auto *player = new QtMediaPlayer;
    AlbumApplication album(services, *player, player);
    album.start();
    return QApplication::exec();
}
