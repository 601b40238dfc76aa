#include "desktop/qtplatformservices.h"
#include "viewer/imagecontrol.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

// STAMPA through a real print system: a CUPS scheduler of the test's own (settings, spool and
// socket in a temporary folder) with a PDF printer as the default; the PDF that comes out is
// read back.
class PrintTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void stampaPrintsThePictureAloneInTheMiddleOfOnePage();
    void withoutThePrinterStampaSaysSo();

private:
    // Ends the test with what the scheduler logged when a step does not end in time: a call
    // into the print system cannot be given up otherwise.
    class Watchdog
    {
    public:
        Watchdog(const PrintTest &test, const char *step)
            : m_thread([this, &test, step] {
                  std::unique_lock lock(m_mutex);
                  if (!m_ended.wait_for(lock, std::chrono::seconds(60),
                                        [this] { return m_done; })) {
                      std::fprintf(stderr,
                                   "FAIL: %s did not end in 60 s; the scheduler logged:\n%s\n",
                                   step, qPrintable(test.schedulerLog()));
                      std::_Exit(1);
                  }
              })
        {
        }
        ~Watchdog()
        {
            {
                std::lock_guard lock(m_mutex);
                m_done = true;
            }
            m_ended.notify_all();
            m_thread.join();
        }

    private:
        std::mutex m_mutex;
        std::condition_variable m_ended;
        bool m_done = false;
        std::thread m_thread;
    };

    // Starts the scheduler; why it cannot run here, empty when it runs.
    QString startScheduler();
    QString schedulerLog() const;
    // A show of one picture, at its end.
    LARK_M7 *endedShow(ShowFixture &show);
    QString file(const QString &name) const { return m_root.filePath(name); }

    QTemporaryDir m_root;
    QTemporaryDir m_pictures;
    QProcess m_scheduler;
    QtPlatformServices m_printService;
};

namespace {

const QColor PictureColour(30, 60, 220);
const QColor Background(0, 128, 0);
const QString Backend = "/usr/lib/cups/backend/cups-pdf";
const QString Ppd = "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
const QString PdfPrinterSettings = "/etc/cups/cups-pdf.conf";

QString tool(const QString &name)
{
    return QStandardPaths::findExecutable(name, {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
}

// Runs a tool to its end: its output, none when it failed.
std::optional<QString> run(const QString &name, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool(name), arguments);
    const bool done = process.waitForFinished(20000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (done)
        return output;
    qWarning().noquote() << name << arguments.join(u' ') << ":" << output;
    return std::nullopt;
}

void write(const QString &path, const QString &text)
{
    TestFiles::writeBytes(path, text.toLocal8Bit());
}

// Whether / is a mount point, as the scheduler's own mount namespace needs: in some
// containers it is not.
bool rootIsMountPoint()
{
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return true; // no way to tell: the scheduler's start says what fails
    for (const QByteArray &line : mounts.readAll().split('\n')) {
        if (line.split(' ').value(4) == "/")
            return true;
    }
    return false;
}

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 60;
}

} // namespace

QString PrintTest::startScheduler()
{
    for (const char *name :
         {"cupsd", "lpadmin", "lpstat", "unshare", "mount", "pdfinfo", "pdftoppm"}) {
        if (tool(name).isEmpty())
            return QString("%1 is missing; scripts/install-deps.sh installs it").arg(name);
    }
    for (const QString &path : {Backend, Ppd, PdfPrinterSettings}) {
        if (!QFile::exists(path))
            return path + " is missing; scripts/install-deps.sh installs printer-driver-cups-pdf";
    }
    // The PDF printer's backend must run as root: a scheduler runs it as root only when it
    // runs as root itself and the backend's mode is 0700, as the package installs it.
    if (::geteuid() != 0)
        return "the PDF printer works only for a scheduler started as root";
    if (QFile::permissions(Backend) & (QFile::ExeGroup | QFile::ExeOther))
        return Backend + " is not of mode 0700: the scheduler would run it as lp";
    if (!rootIsMountPoint())
        return "/ is not a mount point here (a container's root may not be): the scheduler "
               "cannot have the mount namespace in which the PDF printer's settings are its own";

    // The scheduler's filters run as the user lp and must reach its folders.
    ::chmod(QFile::encodeName(m_root.path()).constData(), 0755);
    for (const char *folder : {"conf", "spool/tmp", "cache", "state", "log", "pdf"})
        QDir(m_root.path()).mkpath(folder);
    const QString root = m_root.path();
    write(file("cupsd.conf"), QString("Listen %1/cups.sock\nLogLevel info\nBrowsing No\n"
                                      "WebInterface No\n<Policy default>\n<Limit All>\n"
                                      "Order deny,allow\n</Limit>\n</Policy>\n")
                                  .arg(root));
    write(file("cups-files.conf"),
          QString("ServerRoot %1/conf\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                  "CacheDir %1/cache\nStateDir %1/state\nErrorLog %1/log/error_log\n"
                  "AccessLog %1/log/access_log\nPageLog %1/log/page_log\nPrintcap %1/printcap\n")
              .arg(root));
    write(file("cups-pdf.conf"),
          QString("Out %1/pdf\nAnonDirName %1/pdf\nSpool %1/pdf-spool\nLog %1/log\n").arg(root));
    // The PDF printer reads its settings from one fixed file: in a mount namespace of the
    // scheduler's own, that file is the test's, which sends the PDF into the test's folder.
    // The scheduler ends with the test, also when the test dies.
    m_scheduler.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_scheduler.setProcessChannelMode(QProcess::MergedChannels);
    m_scheduler.start(tool("unshare"),
                      {"--mount", "--propagation", "private", "sh", "-c",
                       "mount --bind \"$1\" \"$2\" && exec \"$3\" -f -c \"$4\" -s \"$5\"", "sh",
                       file("cups-pdf.conf"), PdfPrinterSettings, tool("cupsd"), file("cupsd.conf"),
                       file("cups-files.conf")});
    const QString socket = file("cups.sock");
    ShowFixture::waitUntil(
        [&] { return QFile::exists(socket) || m_scheduler.state() == QProcess::NotRunning; });
    if (!QFile::exists(socket))
        return "the scheduler did not start" +
               (m_scheduler.state() == QProcess::NotRunning
                    ? QString(" (it ended with status %1)").arg(m_scheduler.exitCode())
                    : QString()) +
               ": " + QString::fromLocal8Bit(m_scheduler.readAll()) + schedulerLog();
    // The program under test prints through this scheduler only.
    qputenv("CUPS_SERVER", QFile::encodeName(socket));
    qunsetenv("LPDEST");
    qunsetenv("PRINTER");
    return {};
}

QString PrintTest::schedulerLog() const
{
    QFile log(file("log/error_log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll().right(3000))
                                         : QString();
}

void PrintTest::initTestCase()
{
    QVERIFY(m_root.isValid() && m_pictures.isValid());
    const QString why = startScheduler();
    if (!why.isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL(qPrintable(why));
        QSKIP(qPrintable("no print system of its own here: " + why));
    }
    QVERIFY2(run("lpadmin", {"-p", "AlbumPDF", "-E", "-v", "cups-pdf:/", "-P", Ppd}),
             qPrintable(schedulerLog()));
    QVERIFY2(run("lpadmin", {"-d", "AlbumPDF"}), qPrintable(schedulerLog()));
    TestFiles::writePicture(m_pictures.filePath("Lago.JPG"), 600, 400, PictureColour, "JPEG");
}

void PrintTest::cleanupTestCase()
{
    // Stopped here; killed by QProcess where it does not stop in time.
    m_scheduler.terminate();
    m_scheduler.waitForFinished(10000);
}

LARK_M7 *PrintTest::endedShow(ShowFixture &show)
{
    show.services.printer = &m_printService;
    show.confirmShow(m_pictures.path(), "0.5");
    LARK_M7 *viewer = show.viewer();
    if (!viewer || !show.waitForShowEnd() || !viewer->Command1->isVisible())
        return nullptr;
    return viewer;
}

void PrintTest::stampaPrintsThePictureAloneInTheMiddleOfOnePage()
{
    ShowFixture show;
    LARK_M7 *viewer = endedShow(show);
    QVERIFY(viewer);
    const QSizeF window = viewer->size();
    const QPointF picture = QRectF(viewer->Image1->geometry()).center();
    const QList<QPointF> buttons = {QRectF(viewer->Command1->geometry()).center(),
                                    QRectF(viewer->Command3->geometry()).center()};

    QDir out(file("pdf"), "*.pdf");
    {
        const Watchdog watchdog(*this, "STAMPA and its job");
        QTest::mouseClick(viewer->Command1, Qt::LeftButton);
        QCOMPARE(show.services.messages, QStringList());
        // The job is done once the scheduler has no job left and the PDF is there.
        QTRY_VERIFY2_WITH_TIMEOUT(run("lpstat", {"-o"}) == QString() && out.count() > 0,
                                  qPrintable(schedulerLog()), 50000);
    }
    QCOMPARE(out.count(), 1u);
    const QString pdf = out.filePath(out[0]);
    const QString info = run("pdfinfo", {pdf}).value_or(QString());
    QVERIFY2(info.contains(QRegularExpression("^Pages: +1$", QRegularExpression::MultilineOption)),
             qPrintable(info));
    QVERIFY(run("pdftoppm", {"-r", "40", "-singlefile", "-png", pdf, file("page")}));
    const QImage page(file("page.png"));
    QVERIFY(!page.isNull());

    // The printed window is what is not paper: in the middle of the page, its shape kept.
    QRect printed;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 240)
                printed |= QRect(x, y, 1, 1);
        }
    }
    const QPointF offset = QRectF(printed).center() - QRectF(page.rect()).center();
    QVERIFY2(qAbs(offset.x()) <= page.width() * 0.02 && qAbs(offset.y()) <= page.height() * 0.02,
             qPrintable(QString("%1, %2").arg(offset.x()).arg(offset.y())));
    QVERIFY2(qAbs(printed.width() / double(printed.height()) - window.width() / window.height()) <
                 0.03,
             qPrintable(QString("%1 x %2").arg(printed.width()).arg(printed.height())));
    // The picture's colour where the picture was, the background where the buttons were.
    auto colourAt = [&](QPointF inWindow) {
        return page.pixelColor(printed.x() + int(inWindow.x() / window.width() * printed.width()),
                               printed.y() +
                                   int(inWindow.y() / window.height() * printed.height()));
    };
    QVERIFY2(near(colourAt(picture), PictureColour), qPrintable(colourAt(picture).name()));
    for (const QPointF &button : buttons)
        QVERIFY2(near(colourAt(button), Background), qPrintable(colourAt(button).name()));
}

void PrintTest::withoutThePrinterStampaSaysSo()
{
    QVERIFY2(run("lpadmin", {"-x", "AlbumPDF"}), qPrintable(schedulerLog()));
    ShowFixture show;
    LARK_M7 *viewer = endedShow(show);
    QVERIFY(viewer);
    const Watchdog watchdog(*this, "STAMPA without a printer");
    QTest::mouseClick(viewer->Command1, Qt::LeftButton);
    QCOMPARE(show.services.messages, QStringList{"STAMPA NON POSSIBILE !!! - ERR: 482"});
    QVERIFY(viewer->Command1->isVisible());
}

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
