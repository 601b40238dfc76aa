#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "desktop/afterfirstpaint.h"
#include "desktop/italiantranslator.h"
#include "desktop/qtplatformservices.h"
#include "setup/setupwindow.h"
#include "pictures/picturesource.h"
#include "runtime/paths.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <QLockFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include <sys/stat.h>

namespace {

constexpr const char *OnePathMessage = "Indicare una sola cartella o immagine.\n";
constexpr const char *NoDisplayMessage = "Nessuno schermo disponibile per le finestre.\n";

// The windows' icon, in the sizes the desktop asks for. Reading the files takes as long as
// drawing the setup window; the icon comes right after it.
void setWindowIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/%1x%1/apps/album.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

void setNames()
{
    // No display name: Qt would add it to every window title, and the viewer's title names
    // the picture alone.
    QCoreApplication::setOrganizationName(QStringLiteral("Torvex"));
    QCoreApplication::setApplicationName(QStringLiteral("album"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ALBUM_VERSION));
}

// The program's options and its one argument, described in Italian; Qt's catalogue translates
// the rest of the help.
void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Presentazione delle immagini di una cartella, con sottofondo musicale.\n"
        "Nel campo dell'estensione si possono scrivere più estensioni, separate da\n"
        "spazi, virgole o punti e virgola: \"JPG HEIC\" mostra insieme le foto JPEG\n"
        "e HEIC di un telefono, nell'ordine dei nomi."));
    // The help cuts a parameter's name into pieces as wide as the options' column: the name's
    // two words go on lines of their own, each within that column.
    int column = 0;
    for (const QCommandLineOption &option : {parser.addHelpOption(), parser.addVersionOption()}) {
        qsizetype names = 2 * (option.names().size() - 1); // ", " between names
        for (const QString &name : option.names())
            names += (name.size() == 1 ? 1 : 2) + name.size(); // "-h", "--help"
        column = std::max(column, int(names) + 1);
    }
    parser.addPositionalArgument(
        QStringLiteral("CARTELLA |").leftJustified(column) + QStringLiteral("IMMAGINE"),
        QStringLiteral("La cartella delle immagini da mostrare, o un'immagine della cartella: "
                       "riempie il campo della cartella; la presentazione inizia con CONFERMA."),
        QStringLiteral("[CARTELLA | IMMAGINE]"));
}

// Whether the environment or the command line names a display or a platform for the windows.
bool displayNamed(int argc, char *argv[])
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    }
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-display", "--display", "-platform", "--platform"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// The command line with each argument read from its bytes as the folder's names are: Qt's own
// reading puts U+FFFD in place of the bytes of a name that is no UTF-8.
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << Paths::fromFileSystem(argv[i]);
    return arguments;
}

// Answers what needs no windows before the windows' application exists: --help and --version,
// and every command line when there is no display for the windows, where Qt would end the
// program. Returns the exit status when the program ends here.
std::optional<int> answerWithoutWindows(int argc, char *argv[])
{
    const bool display = displayNamed(argc, argv);
    bool options = false;
    for (int i = 1; i < argc; ++i)
        options = options || argv[i][0] == '-';
    if (display && !options)
        return std::nullopt;
    QCoreApplication core(argc, argv);
    setNames();
    ItalianTranslator::install(core);
    QCommandLineParser parser;
    describeCommandLine(parser);
    const QStringList arguments = argumentsOf(argc, argv);
    if (display) {
        // Options of the windows' application (-platform, ...) are not known here: errors
        // wait for the full parse.
        parser.parse(arguments);
        if (parser.isSet(QStringLiteral("help")))
            parser.showHelp();
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        return std::nullopt;
    }
    // Qt's own error, help and version, with their exit status.
    parser.process(arguments);
    std::fputs(parser.positionalArguments().size() > 1 ? OnePathMessage : NoDisplayMessage, stderr);
    return EXIT_FAILURE;
}

// Holds this copy's place among the copies of the program that run at once in the session,
// by a lock file in its runtime folder that goes with the process; number is 0 for the first.
std::unique_ptr<QLockFile> takeCopyNumber(int &number)
{
    constexpr int Places = 8;
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    for (number = 0; number < Places && !folder.isEmpty(); ++number) {
        const QString name = QStringLiteral("%1/album-%2.lock").arg(folder).arg(number);
        // Anything but a file in the place (a pipe, a folder, a device) is left alone: the lock
        // would open it, and could wait there for ever.
        struct stat status;
        if (::lstat(QFile::encodeName(name).constData(), &status) == 0 && !S_ISREG(status.st_mode))
            continue;
        auto lock = std::make_unique<QLockFile>(name);
        lock->setStaleLockTime(0); // held for the whole run; a dead copy's lock is stale
        if (lock->tryLock(0))
            return lock;
    }
    number = folder.isEmpty() ? 0 : Places;
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    PictureSource::keepPictureMemory(); // before Qt starts any thread
    if (const std::optional<int> status = answerWithoutWindows(argc, argv))
        return *status;
    QApplication application(argc, argv);
    setNames();
    QApplication::setDesktopFileName(QString::fromLatin1(AlbumApplication::DesktopEntry));

    // Qt's own dialogs and buttons speak Italian like the rest of the program; the desktop's
    // native dialogs would speak the desktop's language, so Qt's own are used.
    ItalianTranslator::install(application);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    QCommandLineParser parser;
    describeCommandLine(parser);
    // The windows' application has taken its own options out of the command line.
    parser.process(argumentsOf(argc, argv));
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1) {
        std::fputs(OnePathMessage, stderr);
        return EXIT_FAILURE;
    }

    QtPlatformServices services;
    auto *player = new QtMediaPlayer;
    AlbumApplication album(services, *player, player);
    // A second copy opens its setup window away from where the window manager puts the first
    // (the middle of the screen, or its corner), one step further for each copy, so that it
    // does not hide the first's.
    int copy = 0;
    const std::unique_ptr<QLockFile> copyLock = takeCopyNumber(copy);
    if (QScreen *screen = QGuiApplication::primaryScreen(); copy > 0 && screen)
        album.setupWindow().move(screen->availableGeometry().topLeft() + QPoint(48, 48) * copy);
    album.start();
    if (!paths.isEmpty())
        album.setupWindow().openPath(paths.first());
    new AfterFirstPaint(&album.setupWindow(), setWindowIcon);
    if (qEnvironmentVariableIsSet("ALBUM_QUIT_WHEN_SHOWN")) {
        // The benchmark's start-up mark: "shown" once the setup window has been painted, then
        // the end.
        new AfterFirstPaint(&album.setupWindow(), [] {
            std::puts("shown");
            std::fflush(stdout);
            QCoreApplication::quit();
        });
    }
    QApplication::exec();
    // The windows are closed: the program ends as "F I N E" ends it, at once. A worker may
    // still be decoding the picture the setup window named, or loading the image readers'
    // plugins, and must not find the libraries' globals being destroyed under it.
    services.endProgram();
}
