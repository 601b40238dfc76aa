// album-bench: runs the show through the program's own windows on 24-megapixel JPEGs and reports
// each performance figure with its target and PASS or FAIL.
//
//   album-bench [--rounds N] [--only 1,2,...] [--pictures DIR] [--regenerate]
//
// The pictures are made once with ImageMagick into a folder under the temporary directory and
// kept for later runs; so are the 12-megapixel JPEG, HEIC and WebP pictures of the formats
// figure. Windows are drawn offscreen on a 1920 x 1080 screen.
#include "app/albumapplication.h"
#include "music/mediaplayercontrol.h"
#include "runtime/platformservices.h"
#include "runtime/showclock.h"
#include "setup/setupwindow.h"
#include "state/sharedstate.h"
#include "viewer/imagecontrol.h"
#include "viewer/pictureprefetcher.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QMap>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// What the pictures are: distinct ones for the timings, and a longer show made of copies.
constexpr int PictureWidth = 6000;
constexpr int PictureHeight = 4000;
constexpr int DistinctPictures = 8;
constexpr int MemoryShowPictures = 50;
constexpr int WaitShowPictures = 3;
constexpr char FolderName[] = "album-bench-6000x4000-v1";
// The formats figure: phone-sized pictures in each format.
constexpr int FormatPictures = 3;
constexpr char FormatsFolderName[] = "album-bench-4032x3024-formats-v1";

// Targets.
constexpr double MaxRatioToDjpeg = 1.3;
constexpr double MinSpeedUpOverDesign = 3.0;
constexpr double MaxVisibleChangeMs = 20.0;
constexpr double MaxWaitCpuPercent = 1.0;
constexpr double MaxPeakRssMb = 250.0;
constexpr double MaxRssGrowthMb = 10.0;
constexpr double MaxStartUpMs = 300.0;

QElapsedTimer g_clock; // the benchmark's one time line, nanoseconds

qint64 nowNs()
{
    return g_clock.nsecsElapsed();
}

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0
                             : -1;
}

// The peak of this process image (VmHWM). getrusage's ru_maxrss would also count the parent's
// size at the fork that started it.
double peakResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0; // kB
    }
    return -1;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

QString cpuModel()
{
    QFile file(QStringLiteral("/proc/cpuinfo"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

// Desktop services and a player that do nothing: the show runs as with music switched off.
class QuietServices : public PlatformServices
{
public:
    QString getOpenFileName(QWidget *) override { return {}; }
    void showMessage(QWidget *, const QString &text) override { messages << text; }
    void beep() override {}
    void setMousePointer(int) override {}
    void printImage(const QImage &) override {}
    void endProgram() override {}
    QStringList messages;
};

class SilentPlayer : public MediaPlayerControl
{
public:
    bool GetMusicSwitch() override { return false; }
    int GetPlayerState() override { return 0; }
    void StopPlayer() override {}
    void SetPlayerFile(const QString &) override {}
};

// The real clock, noting when it was last read: the loop reads it at the start of every turn
// and at every check of its wait.
class WatchedClock : public ShowClock
{
public:
    qint64 nowMs() const override
    {
        m_previousReadNs = m_lastReadNs;
        m_lastReadNs = nowNs();
        return ShowClock::nowMs();
    }
    qint64 lastReadNs() const { return m_lastReadNs; }
    qint64 previousReadNs() const { return m_previousReadNs; }

private:
    mutable qint64 m_lastReadNs = -1;
    mutable qint64 m_previousReadNs = -1;
};

// One picture's turn as the benchmark sees it, nanoseconds on its time line.
struct Turn
{
    qint64 waitEnd = -1;   // the clock check that ended the wait before this turn
    qint64 start = -1;     // the loop's start time of the turn
    qint64 ready = -1;     // the image control holds the picture, ready to paint
    qint64 painted = -1;   // the image control has painted it
    qint64 visible = -1;   // the window has been flushed with it
    double cpuAtStart = 0; // process CPU seconds at those two points
    double cpuAtVisible = 0;
    long faultsAtStart = 0; // the process's minor page faults at those two points
    long faultsAtVisible = 0;
};

// Follows a running show through the events its windows receive.
struct ShowProbe
{
    LARK_M7 *viewer = nullptr;
    ImageControl *image = nullptr;
    const WatchedClock *clock = nullptr;
    QList<Turn> turns;
    std::function<void(int picture)> onReady; // picture counts from 1
    qint64 lastPaintedKey = 0;
    bool flushPending = false;

    void titleChanged()
    {
        if (!viewer->windowTitle().startsWith(QStringLiteral("IMMAGINE  ")))
            return;
        Turn turn;
        turn.start = clock->lastReadNs();
        turn.waitEnd = clock->previousReadNs();
        turn.cpuAtStart = cpuSeconds();
        turn.faultsAtStart = minorFaults();
        turns << turn;
    }
    void imageShown()
    {
        if (turns.isEmpty() || turns.last().ready >= 0)
            return;
        turns.last().ready = nowNs();
        if (onReady)
            onReady(int(turns.size()));
    }
    void imagePainted()
    {
        const qint64 key = image->picture().cacheKey();
        if (turns.isEmpty() || turns.last().ready < 0 || key == lastPaintedKey)
            return;
        lastPaintedKey = key;
        turns.last().painted = nowNs();
        flushPending = true;
    }
    void windowFlushed()
    {
        if (!flushPending)
            return;
        flushPending = false;
        turns.last().visible = nowNs();
        turns.last().cpuAtVisible = cpuSeconds();
        turns.last().faultsAtVisible = minorFaults();
    }
};

ShowProbe *g_probe = nullptr;

// Sees the events of the probed show as they are delivered.
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        ShowProbe *probe = g_probe;
        if (!probe)
            return QApplication::notify(receiver, event);
        const QEvent::Type type = event->type();
        if (receiver == probe->viewer && type == QEvent::WindowTitleChange)
            probe->titleChanged();
        else if (receiver == probe->image && type == QEvent::Show)
            probe->imageShown();
        const bool handled = QApplication::notify(receiver, event);
        if (receiver == probe->image && type == QEvent::Paint)
            probe->imagePainted();
        else if (receiver == probe->viewer && type == QEvent::UpdateRequest)
            probe->windowFlushed();
        return handled;
    }
};

struct ShowRun
{
    QList<Turn> turns;
    QStringList messages;
    QSize imageSize; // the image control's size at the end, pixels
};

// A show of every picture of folder with the extension (JPG unless given), confirmed in the
// setup window as a user does, without the cyclic option; returns at its end. onReady runs as
// each picture becomes ready to paint.
ShowRun runShow(const QString &folder, double delaySeconds, bool prefetch,
                const std::function<void(int)> &onReady = {},
                const QString &extension = QStringLiteral("JPG"))
{
    QuietServices services;
    SilentPlayer player;
    WatchedClock clock;
    ShowRun run;
    {
        AlbumApplication album(services, player, nullptr, &clock);
        album.start();
        LARK_M7 &viewer = album.viewer();
        viewer.prefetcher().setEnabled(prefetch);
        ShowProbe probe;
        probe.viewer = &viewer;
        probe.image = viewer.Image1;
        probe.clock = &clock;
        probe.onReady = onReady;
        g_probe = &probe;

        QEventLoop untilEnd;
        QObject::connect(&viewer, &LARK_M7::loopRunning, &untilEnd, [&untilEnd](bool running) {
            if (!running)
                untilEnd.quit();
        });
        LARK_M1 &setup = album.setupWindow();
        setup.Text1->setText(QDir::toNativeSeparators(folder) + QLatin1Char('/'));
        setup.Text2->setText(QString::number(delaySeconds, 'f', 3));
        setup.Text3->setText(extension);
        setup.Check1->setChecked(false);
        setup.Command2->click();
        QTimer::singleShot(std::chrono::minutes(10), &untilEnd, &QEventLoop::quit); // a hang
        untilEnd.exec();
        // Let the last picture's paint and flush through.
        QCoreApplication::processEvents();
        g_probe = nullptr;
        run.turns = probe.turns;
        run.imageSize = viewer.Image1->size();
    }
    run.messages = services.messages;
    for (const QString &message : std::as_const(run.messages))
        std::fprintf(stderr, "the show said: %s\n", qPrintable(message));
    return run;
}

double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// The design's way to a shown picture: the file decoded whole into the measuring box, decoded
// whole again into the image control, and stretched smoothly to its size.
void designPipeline(const QString &file, const QSize &imageSize)
{
    QImageReader measuring(file);
    const QImage measured = measuring.read();
    QImageReader again(file);
    const QImage whole = again.read();
    const QPixmap ready = QPixmap::fromImage(
        whole.scaled(imageSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    if (measured.isNull() || ready.isNull())
        std::fprintf(stderr, "design pipeline: cannot read %s\n", qPrintable(file));
}

// libjpeg-turbo's scaled decode of file, as a process: wall time in ms (CPU in cpuMs).
std::optional<double> djpegQuarter(const QString &djpeg, const QString &file, double *cpuMs)
{
    const QByteArray program = QFile::encodeName(djpeg);
    const QByteArray path = QFile::encodeName(file);
    const char *argv[] = {program.constData(), "-scale",         "1/4",  "-outfile",
                          "/dev/null",         path.constData(), nullptr};
    const qint64 begin = nowNs();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, const_cast<char **>(argv),
                    environ) != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    const double wall = ms(nowNs() - begin);
    if (cpuMs)
        *cpuMs = (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec)) /
                 1e3;
    return wall;
}

// One line of the report.
struct Report
{
    int failures = 0;
    int skipped = 0;

    void header()
    {
        std::printf("%-52s %12s %12s  %s\n", "figure", "measured", "target", "result");
    }
    void info(const QString &what, const QString &measured)
    {
        std::printf("%-52s %12s\n", qPrintable(what), qPrintable(measured));
    }
    void check(const QString &what, const QString &measured, const QString &target, bool pass)
    {
        std::printf("%-52s %12s %12s  %s\n", qPrintable(what), qPrintable(measured),
                    qPrintable(target), pass ? "PASS" : "FAIL");
        if (!pass)
            ++failures;
    }
    void skip(const QString &what, const QString &target, const QString &why)
    {
        std::printf("%-52s %12s %12s  SKIP (%s)\n", qPrintable(what), "-", qPrintable(target),
                    qPrintable(why));
        ++skipped;
    }
};

QString number(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

// The shows' folders: links to the distinct pictures, made afresh at every run.
bool makeShowFolders(const QDir &dir)
{
    auto linkOrCopy = [](const QString &from, const QString &to) {
        return ::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) ==
                   0 ||
               QFile::copy(from, to);
    };
    auto distinct = [&dir](int i) {
        return dir.filePath(QStringLiteral("distinct/P%1.JPG").arg(i, 2, 10, QLatin1Char('0')));
    };
    bool ok = true;
    for (const char *sub : {"wait", "show50"}) {
        QDir folder(dir.filePath(QString::fromLatin1(sub)));
        folder.removeRecursively();
        ok = ok && QDir().mkpath(folder.path());
    }
    for (int i = 1; i <= WaitShowPictures; ++i)
        ok = ok && linkOrCopy(distinct(i), dir.filePath(QStringLiteral("wait/W%1.JPG").arg(i)));
    for (int i = 1; i <= MemoryShowPictures; ++i)
        ok = ok &&
             linkOrCopy(
                 distinct((i - 1) % DistinctPictures + 1),
                 dir.filePath(QStringLiteral("show50/S%1.JPG").arg(i, 2, 10, QLatin1Char('0'))));
    return ok;
}

// Makes the distinct pictures once, and the shows' folders.
bool makePictures(const QString &root, bool regenerate)
{
    QDir dir(root);
    const QString done = dir.filePath(QStringLiteral("complete"));
    if (!regenerate && QFile::exists(done))
        return makeShowFolders(dir);
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty()) {
        std::printf("ImageMagick's convert makes the pictures and is missing: "
                    "apt-get install imagemagick\n");
        return false;
    }
    dir.removeRecursively();
    QDir().mkpath(dir.filePath(QStringLiteral("distinct")));
    std::printf("making %d photo-like %dx%d JPEGs in %s (once; a minute or two)...\n",
                DistinctPictures, PictureWidth, PictureHeight, qPrintable(root));
    std::fflush(stdout);

    // Plasma with a little noise, 4:2:0, quality 85; two at a time on two cores.
    QList<QProcess *> running;
    bool ok = true;
    auto finishOne = [&running, &ok] {
        QProcess *process = running.takeFirst();
        process->waitForFinished(-1);
        ok = ok && process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
        if (!ok)
            std::fprintf(stderr, "%s\n", process->readAllStandardError().constData());
        delete process;
    };
    for (int i = 1; i <= DistinctPictures; ++i) {
        auto *process = new QProcess;
        process->start(
            convert,
            {QStringLiteral("-size"), QStringLiteral("%1x%2").arg(PictureWidth).arg(PictureHeight),
             QStringLiteral("-seed"), QString::number(i), QStringLiteral("plasma:fractal"),
             QStringLiteral("-attenuate"), QStringLiteral("0.3"), QStringLiteral("+noise"),
             QStringLiteral("Gaussian"), QStringLiteral("-sampling-factor"),
             QStringLiteral("4:2:0"), QStringLiteral("-quality"), QStringLiteral("85"),
             dir.filePath(QStringLiteral("distinct/P%1.JPG").arg(i, 2, 10, QLatin1Char('0')))});
        running << process;
        if (running.size() == 2)
            finishOne();
    }
    while (!running.isEmpty())
        finishOne();
    if (!ok)
        return false;

    QFile marker(done);
    return marker.open(QIODevice::WriteOnly) && makeShowFolders(dir);
}

// The 12-megapixel pictures of the formats figure, made once: each photo-like picture (plasma
// with a little noise) as a JPEG (4:2:0, q85), a HEIC (q50, as phones save them) and a WebP
// (q80), of 4032 x 3024 pixels as a phone takes them. Empty when they cannot be made.
QString makeFormatPictures(bool regenerate)
{
    QDir dir(QDir::temp().filePath(QString::fromLatin1(FormatsFolderName)));
    const QString done = dir.filePath(QStringLiteral("complete"));
    if (!regenerate && QFile::exists(done))
        return dir.path();
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        return {};
    dir.removeRecursively();
    QDir().mkpath(dir.path());
    std::printf("making %d photo-like 4032x3024 pictures as JPEG, HEIC and WebP in %s (once; "
                "a minute or two)...\n",
                FormatPictures, qPrintable(dir.path()));
    std::fflush(stdout);
    auto run = [&convert](const QStringList &arguments) {
        QProcess process;
        process.start(convert, arguments);
        return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
               process.exitCode() == 0;
    };
    for (int i = 1; i <= FormatPictures; ++i) {
        const QString source = dir.filePath(QStringLiteral("source.png"));
        const QString name = dir.filePath(QStringLiteral("F%1.").arg(i));
        if (!run({QStringLiteral("-size"), QStringLiteral("4032x3024"), QStringLiteral("-seed"),
                  QString::number(100 + i), QStringLiteral("plasma:fractal"),
                  QStringLiteral("-attenuate"), QStringLiteral("0.3"), QStringLiteral("+noise"),
                  QStringLiteral("Gaussian"), source}) ||
            !run({source, QStringLiteral("-sampling-factor"), QStringLiteral("4:2:0"),
                  QStringLiteral("-quality"), QStringLiteral("85"),
                  name + QStringLiteral("JPG")}) ||
            !run({source, QStringLiteral("-quality"), QStringLiteral("50"),
                  name + QStringLiteral("HEIC")}) ||
            !run({source, QStringLiteral("-quality"), QStringLiteral("80"),
                  name + QStringLiteral("WEBP")}))
            return {};
        QFile::remove(source);
    }
    QFile marker(done);
    return marker.open(QIODevice::WriteOnly) ? dir.path() : QString();
}

// Offscreen windows on one 1920 x 1080 screen at 96 dpi, for this process and its children.
void useOffscreenScreen()
{
    const QString config = QDir::temp().filePath(QStringLiteral("album-bench-screen.json"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920,)"
                   R"( "height": 1080, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        file.close();
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
}

// The child's part of the memory figure: a 50-picture show with prefetching.
int memoryShow(const QString &folder)
{
    QList<double> resident; // at pictures 10, 20, ... 50
    long faultsAt10 = 0, faultsAt50 = 0;
    const ShowRun run = runShow(folder, 0.3, true, [&](int picture) {
        if (picture % 10 == 0)
            resident << residentMb();
        if (picture == 10)
            faultsAt10 = minorFaults();
        if (picture == MemoryShowPictures)
            faultsAt50 = minorFaults();
    });
    QStringList samples;
    for (double mb : std::as_const(resident))
        samples << QString::number(mb, 'f', 1);
    std::printf("pictures=%d peak=%.1f at10=%.1f at50=%.1f every10=%s faults=%.0f\n",
                int(run.turns.size()), peakResidentMb(), resident.value(0, -1),
                resident.value(4, -1), qPrintable(samples.join(u'/')),
                double(faultsAt50 - faultsAt10) / (MemoryShowPictures - 10));
    return run.turns.size() == MemoryShowPictures ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    g_clock.start();
    PicturePrefetcher::keepPictureMemory(); // as the program does
    useOffscreenScreen();
    BenchApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("album"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--memory-show"))
        return memoryShow(args[2]);

    int rounds = 3;
    QString root = QDir::temp().filePath(QString::fromLatin1(FolderName));
    bool regenerate = false;
    QList<int> only; // the figures to measure, all when empty
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QStringLiteral("--only") && i + 1 < args.size()) {
            for (const QString &figure : args[++i].split(u','))
                only << figure.toInt();
        } else if (args[i] == QStringLiteral("--pictures") && i + 1 < args.size())
            root = args[++i];
        else if (args[i] == QStringLiteral("--regenerate"))
            regenerate = true;
        else {
            std::printf("usage: album-bench [--rounds N] [--only 1,2,...] [--pictures DIR] "
                        "[--regenerate]\n");
            return 2;
        }
    }
    if (!makePictures(root, regenerate))
        return 2;
    const QDir dir(root);
    const QString distinct = dir.filePath(QStringLiteral("distinct"));
    QStringList files;
    for (const QString &name :
         QDir(distinct).entryList({QStringLiteral("*.JPG")}, QDir::Files, QDir::Name))
        files << QDir(distinct).filePath(name);
    // The files are read once so that every column finds them in the page cache.
    for (const QString &file : std::as_const(files)) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly))
            f.readAll();
    }

    std::printf("Album benchmark: %s, %d cores, %s, Qt %s\n", qPrintable(cpuModel()),
                int(sysconf(_SC_NPROCESSORS_ONLN)), qPrintable(QSysInfo::prettyProductName()),
                qVersion());
    std::printf("pictures: %d distinct %dx%d JPEGs (plasma + noise, 4:2:0, q85) in %s\n",
                int(files.size()), PictureWidth, PictureHeight, qPrintable(root));
    std::printf("viewer: offscreen, 1920x1080 screen; %d rounds; load average at start: %s\n\n",
                rounds, qPrintable(loadAverage()));
    std::fflush(stdout);

    Report report;
    report.header();
    auto wanted = [&only](int figure) { return only.isEmpty() || only.contains(figure); };

    // 1. The picture pipeline, without prefetch, next to the design's and libjpeg-turbo's.
    if (wanted(1)) {
        QList<double> ours, oursCpu, design, djpeg, djpegCpu;
        QSize imageSize;
        const QString djpegProgram = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
        for (int round = 0; round < rounds; ++round) {
            const double cpuBefore = cpuSeconds();
            const ShowRun run = runShow(distinct, 0.25, false);
            const double cpuShow = cpuSeconds() - cpuBefore;
            imageSize = run.imageSize;
            for (int i = 0; i < run.turns.size(); ++i) {
                if (round == 0 && i == 0)
                    continue; // the first picture of the run also loads the JPEG plug-in
                ours << ms(run.turns[i].ready - run.turns[i].start);
            }
            oursCpu << cpuShow * 1000.0 / double(std::max<qsizetype>(1, run.turns.size()));
            if (!djpegProgram.isEmpty()) {
                for (const QString &file : std::as_const(files)) {
                    double cpu = 0;
                    if (const auto wall = djpegQuarter(djpegProgram, file, &cpu)) {
                        djpeg << *wall;
                        djpegCpu << cpu;
                    }
                }
            }
            for (const QString &file : std::as_const(files)) {
                const qint64 begin = nowNs();
                designPipeline(file, imageSize);
                design << ms(nowNs() - begin);
            }
        }
        const double oursMs = median(ours);
        const double designMs = median(design);
        report.info(QStringLiteral("1. pipeline, no prefetch: turn start to ready (ms)"),
                    number(oursMs));
        report.info(QStringLiteral("   (process CPU per picture of those shows, ms)"),
                    number(median(oursCpu)));
        report.info(QStringLiteral("   design's: whole, whole again, stretch (ms)"),
                    number(designMs));
        if (!djpegProgram.isEmpty() && !djpeg.isEmpty()) {
            const double djpegMs = median(djpeg);
            report.info(QStringLiteral("   djpeg -scale 1/4, wall (ms)"), number(djpegMs));
            report.info(QStringLiteral("   (djpeg CPU, ms)"), number(median(djpegCpu)));
            report.check(QStringLiteral("   pipeline / djpeg -scale 1/4"),
                         number(oursMs / djpegMs, 2) + u'x', QStringLiteral("<= 1.3x"),
                         oursMs / djpegMs <= MaxRatioToDjpeg);
        } else {
            report.skip(QStringLiteral("   pipeline / djpeg -scale 1/4"), QStringLiteral("<= 1.3x"),
                        QStringLiteral("djpeg missing: apt-get install libjpeg-turbo-progs"));
        }
        report.check(QStringLiteral("   design's pipeline / pipeline"),
                     number(designMs / oursMs, 1) + u'x', QStringLiteral(">= 3x"),
                     designMs / oursMs >= MinSpeedUpOverDesign);
        report.info(QStringLiteral("   (image shown at, pixels)"),
                    QStringLiteral("%1x%2").arg(imageSize.width()).arg(imageSize.height()));
        std::fflush(stdout);
    }

    // 2. The visible change with prefetch after a wait of 1 s.
    if (wanted(2)) {
        QList<double> visible;
        for (int round = 0; round < rounds; ++round) {
            const ShowRun run = runShow(distinct, 1.0, true);
            for (int i = 1; i < run.turns.size(); ++i) {
                const Turn &turn = run.turns[i];
                if (turn.visible >= 0 && turn.waitEnd >= 0)
                    visible << ms(turn.visible - turn.waitEnd);
            }
        }
        report.check(QStringLiteral("2. visible change with prefetch, 1 s delay (ms)"),
                     number(median(visible)), QStringLiteral("< 20"),
                     !visible.isEmpty() && median(visible) < MaxVisibleChangeMs);
        report.info(
            QStringLiteral("   (slowest of %1 changes, ms)").arg(visible.size()),
            number(visible.isEmpty() ? -1 : *std::max_element(visible.begin(), visible.end())));
        std::fflush(stdout);
    }

    // 3. CPU over a wait of 10 s, from a picture on screen to the next one's turn, the next
    // picture's decode in the worker included. The second wait of the show is the one judged:
    // the first one also starts the worker thread and fills its fresh memory.
    if (wanted(3)) {
        double cpuLater = -1;
        qint64 laterNs = -1;
        QTimer sample;
        sample.setSingleShot(true);
        sample.setTimerType(Qt::PreciseTimer);
        QObject::connect(&sample, &QTimer::timeout, [&] {
            cpuLater = cpuSeconds();
            laterNs = nowNs();
        });
        // One wake-up 2 s into the second wait, when the next picture has long been decoded.
        const ShowRun run =
            runShow(dir.filePath(QStringLiteral("wait")), 10.0, true, [&sample](int picture) {
                if (picture == 2)
                    sample.start(2000);
            });
        auto waitPercent = [&run](int after) {
            const Turn &shown = run.turns[after];
            const Turn &next = run.turns[after + 1];
            return 100.0 * (next.cpuAtStart - shown.cpuAtVisible) /
                   (double(next.start - shown.visible) / 1e9);
        };
        const bool ran = run.turns.size() == WaitShowPictures && run.turns[0].visible >= 0 &&
                         run.turns[1].visible >= 0 && laterNs >= 0;
        if (ran) {
            const double percent = waitPercent(1);
            const Turn &next = run.turns[2];
            const double idleSeconds = double(next.start - laterNs) / 1e9;
            const double idlePercent = 100.0 * (next.cpuAtStart - cpuLater) / idleSeconds;
            report.check(QStringLiteral("3. CPU over a 10 s wait, next decode in it (%)"),
                         number(percent, 2), QStringLiteral("< 1"), percent < MaxWaitCpuPercent);
            report.info(QStringLiteral("   (the same, the show's first wait, %)"),
                        number(waitPercent(0), 2));
            report.info(QStringLiteral("   (page faults in the judged wait)"),
                        QString::number(next.faultsAtStart - run.turns[1].faultsAtVisible));
            report.info(QStringLiteral("   (the last %1 s of the wait alone, %)")
                            .arg(number(idleSeconds, 0)),
                        number(idlePercent, 3));
        } else {
            report.check(QStringLiteral("3. CPU over a 10 s wait (%)"), QStringLiteral("no show"),
                         QStringLiteral("< 1"), false);
        }
    }
    std::fflush(stdout);

    // 4. Memory over a 50-picture show, in a process of its own so that nothing measured before
    // counts.
    if (wanted(4)) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--memory-show"), dir.filePath(QStringLiteral("show50"))});
        child.waitForFinished(-1);
        const QString line = QString::fromLatin1(child.readAllStandardOutput()).trimmed();
        auto field = [&line](const QString &name) {
            for (const QString &part : line.split(u' ')) {
                if (part.startsWith(name + u'='))
                    return part.mid(name.size() + 1).toDouble();
            }
            return -1.0;
        };
        const double peak = field(QStringLiteral("peak"));
        const double growth = field(QStringLiteral("at50")) - field(QStringLiteral("at10"));
        const bool ran =
            child.exitCode() == 0 && field(QStringLiteral("pictures")) == MemoryShowPictures;
        report.check(QStringLiteral("4. peak resident size, 50-picture show (MB)"),
                     ran ? number(peak) : QStringLiteral("no show"), QStringLiteral("< 250"),
                     ran && peak < MaxPeakRssMb);
        report.check(QStringLiteral("   growth from picture 10 to 50 (MB)"),
                     ran ? number(growth) : QStringLiteral("no show"), QStringLiteral("< 10"),
                     ran && growth < MaxRssGrowthMb);
        report.info(QStringLiteral("   (resident at pictures 10/20/30/40/50, MB)"),
                    line.section(QStringLiteral("every10="), 1).section(u' ', 0, 0));
        report.info(QStringLiteral("   (page faults a picture, 10 to 50)"),
                    QString::number(field(QStringLiteral("faults"))));
        if (!ran)
            std::printf("   %s\n",
                        qPrintable(line + QString::fromLatin1(child.readAllStandardError())));
    }
    std::fflush(stdout);

    // 5. Start-up of the real program to its setup window on screen, which it reports on
    // standard output when ALBUM_QUIT_WHEN_SHOWN is set, then quits.
    if (wanted(5)) {
        QList<double> startUps;
        const QString program = QStringLiteral(ALBUM_BINARY);
        for (int run = 0; run <= std::max(rounds, 5); ++run) {
            QProcess album;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("ALBUM_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
            album.setProcessEnvironment(environment);
            album.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            const qint64 begin = nowNs();
            album.start(program, {});
            QByteArray output;
            while (!output.contains("shown") && album.waitForReadyRead(10000))
                output += album.readAllStandardOutput();
            const qint64 end = nowNs();
            album.waitForFinished(10000);
            if (!output.contains("shown"))
                break;
            if (run > 0) // the first run fills the caches
                startUps << ms(end - begin);
        }
        if (startUps.isEmpty())
            report.check(QStringLiteral("5. start-up to the setup window (ms)"),
                         QStringLiteral("no window"), QStringLiteral("< 300"), false);
        else
            report.check(QStringLiteral("5. start-up to the setup window (ms)"),
                         number(median(startUps)), QStringLiteral("< 300"),
                         median(startUps) < MaxStartUpMs);
    }

    // 6. A 12-megapixel HEIC and WebP next to a JPEG of the same size: turn start to ready, no
    // prefetch. libheif decodes only at full size; the JPEG shrinks while it decodes.
    if (wanted(6)) {
        const QString folder = makeFormatPictures(regenerate);
        if (folder.isEmpty()) {
            report.skip(QStringLiteral("6. 12-megapixel pictures by format"), QString(),
                        QStringLiteral("cannot make them: apt-get install imagemagick"));
        } else {
            QMap<QString, double> perPicture, cpuPerPicture;
            for (const QString &extension :
                 {QStringLiteral("JPG"), QStringLiteral("HEIC"), QStringLiteral("WEBP")}) {
                QList<double> times, cpu;
                for (int round = 0; round < rounds; ++round) {
                    const double cpuBefore = cpuSeconds();
                    const ShowRun run = runShow(folder, 0.25, false, {}, extension);
                    cpu << (cpuSeconds() - cpuBefore) * 1000.0 / FormatPictures;
                    for (int i = 0; i < run.turns.size(); ++i) {
                        if (round > 0 || i > 0) // the first also loads the format's plug-in
                            times << ms(run.turns[i].ready - run.turns[i].start);
                    }
                    if (run.turns.size() != FormatPictures || !run.messages.isEmpty())
                        times.clear();
                }
                perPicture[extension] = times.isEmpty() ? -1 : median(times);
                cpuPerPicture[extension] = median(cpu);
            }
            auto shown = [](double value) {
                return value < 0 ? QStringLiteral("not shown") : number(value);
            };
            report.info(QStringLiteral("6. 4032x3024, no prefetch: JPEG, turn to ready (ms)"),
                        shown(perPicture[QStringLiteral("JPG")]));
            report.info(QStringLiteral("   HEIC (ms)"), shown(perPicture[QStringLiteral("HEIC")]));
            report.info(QStringLiteral("   WebP (ms)"), shown(perPicture[QStringLiteral("WEBP")]));
            report.info(QStringLiteral("   (process CPU per picture: JPEG/HEIC/WebP, ms)"),
                        QStringLiteral("%1/%2/%3")
                            .arg(number(cpuPerPicture[QStringLiteral("JPG")], 0),
                                 number(cpuPerPicture[QStringLiteral("HEIC")], 0),
                                 number(cpuPerPicture[QStringLiteral("WEBP")], 0)));
            if (perPicture[QStringLiteral("JPG")] > 0 && perPicture[QStringLiteral("HEIC")] > 0)
                report.info(
                    QStringLiteral("   HEIC / JPEG"),
                    number(perPicture[QStringLiteral("HEIC")] / perPicture[QStringLiteral("JPG")],
                           1) +
                        u'x');
        }
    }
    std::fflush(stdout);

    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    std::printf("%d failed, %d skipped\n", report.failures, report.skipped);
    return report.failures == 0 ? 0 : 1;
}
