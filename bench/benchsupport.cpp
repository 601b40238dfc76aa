#include "benchsupport.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Bench {

namespace {

qint64 clockNs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QByteArray readProcFile(const char *path)
{
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A "Name: value" line of /proc/self/status or io, as a number.
double procField(const QByteArray &text, const QByteArray &name)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').value(0).toDouble();
    }
    return -1;
}

} // namespace

qint64 nowNs()
{
    return clockNs(CLOCK_MONOTONIC);
}

double processCpuSeconds()
{
    return double(clockNs(CLOCK_PROCESS_CPUTIME_ID)) / 1e9;
}

double threadCpuSeconds()
{
    return double(clockNs(CLOCK_THREAD_CPUTIME_ID)) / 1e9;
}

double residentMb()
{
    return procField(readProcFile("/proc/self/status"), "VmRSS") / 1024.0;
}

double peakResidentMb()
{
    return procField(readProcFile("/proc/self/status"), "VmHWM") / 1024.0;
}

ReadCounters readCounters()
{
    const QByteArray io = readProcFile("/proc/self/io");
    return {qint64(procField(io, "rchar")), qint64(procField(io, "read_bytes"))};
}

double machineBusySeconds()
{
    // cpu  user nice system idle iowait irq softirq steal ...
    const QList<QByteArray> fields =
        readProcFile("/proc/stat").split('\n').value(0).simplified().split(' ');
    double busy = 0;
    for (int i = 1; i < fields.size(); ++i) {
        if (i != 4 && i != 5) // idle, iowait
            busy += fields[i].toDouble();
    }
    return busy / double(sysconf(_SC_CLK_TCK));
}

QString loadAverage()
{
    return QString::fromLatin1(readProcFile("/proc/loadavg")).section(u' ', 0, 2);
}

QString cpuModel()
{
    for (const QByteArray &line : readProcFile("/proc/cpuinfo").split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QSysInfo::currentCpuArchitecture();
}

Spread spreadOf(QList<double> values)
{
    Spread spread;
    if (values.isEmpty())
        return spread;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    spread.count = int(n);
    spread.min = values.first();
    spread.max = values.last();
    spread.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return spread;
}

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString spreadText(const Spread &spread, int decimals, const QString &unit)
{
    if (spread.isEmpty())
        return QStringLiteral("no runs");
    return number(spread.median, decimals) + unit;
}

void Report::header()
{
    std::printf("%-58s %12s %10s  %-6s %s\n", "figure", "median", "target", "result",
                "spread: min - max (runs)");
}

void Report::section(const QString &title)
{
    std::printf("\n%s\n", qPrintable(title));
    std::fflush(stdout);
}

void Report::line(const QString &what, const QString &measured, const QString &target,
                  const QString &result, const QString &note)
{
    std::printf("%-58s %12s %10s  %-6s %s\n", qPrintable(what), qPrintable(measured),
                qPrintable(target), qPrintable(result), qPrintable(note));
    std::fflush(stdout);
}

void Report::info(const QString &what, const QString &measured, const QString &note)
{
    line(what, measured, QString(), QString(), note);
}

void Report::check(const QString &what, const QString &measured, const QString &target, bool pass,
                   const QString &note)
{
    line(what, measured, target, pass ? QStringLiteral("PASS") : QStringLiteral("FAIL"), note);
    if (!pass)
        ++m_failures;
}

namespace {

QString spreadNote(const Spread &spread, int decimals)
{
    if (spread.isEmpty())
        return {};
    return number(spread.min, decimals) + QStringLiteral(" - ") + number(spread.max, decimals) +
           QStringLiteral(" (%1)").arg(spread.count);
}

} // namespace

void Report::info(const QString &what, const Spread &spread, int decimals, const QString &unit)
{
    info(what, spreadText(spread, decimals, unit), spreadNote(spread, decimals));
}

void Report::check(const QString &what, const Spread &spread, int decimals, const QString &target,
                   bool pass, const QString &unit)
{
    check(what, spreadText(spread, decimals, unit), target, pass && !spread.isEmpty(),
          spreadNote(spread, decimals));
}

void Report::skip(const QString &what, const QString &target, const QString &why)
{
    line(what, QStringLiteral("-"), target, QStringLiteral("SKIP"), why);
    ++m_skipped;
}

double ChildResult::value(const QString &key, double missing) const
{
    bool ok = false;
    const double v = values.value(key).toDouble(&ok);
    return ok ? v : missing;
}

QList<double> ChildResult::list(const QString &key) const
{
    QList<double> result;
    for (const QString &part : values.value(key).split(u'/', Qt::SkipEmptyParts))
        result << part.toDouble();
    return result;
}

ChildResult runChild(const QString &program, const QStringList &arguments,
                     const QStringList &environment, int timeoutMs)
{
    ChildResult result;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &entry : environment)
        env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
    child.setProcessEnvironment(env);
    child.start(program, arguments);
    result.started = child.waitForStarted(30000);
    if (!result.started)
        return result;
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished(5000);
    }
    result.endedNs = nowNs();
    result.exited = child.exitStatus() == QProcess::NormalExit;
    result.exitCode = child.exitCode();
    result.output = QString::fromLocal8Bit(child.readAllStandardOutput());
    result.errors = QString::fromLocal8Bit(child.readAllStandardError());
    for (const QString &line : result.output.split(u'\n')) {
        for (const QString &word : line.split(u' ', Qt::SkipEmptyParts)) {
            const qsizetype equals = word.indexOf(u'=');
            if (equals > 0)
                result.values.insert(word.left(equals), word.mid(equals + 1));
        }
    }
    return result;
}

void printValues(const QList<QPair<QString, QString>> &values)
{
    QStringList words;
    for (const auto &[key, value] : values)
        words << key + u'=' + value;
    std::printf("%s\n", qPrintable(words.join(u' ')));
    std::fflush(stdout);
}

QString joinList(const QList<double> &values, int decimals)
{
    QStringList parts;
    for (double v : values)
        parts << number(v, decimals);
    return parts.join(u'/');
}

XServer::~XServer()
{
    if (m_pid > 0) {
        ::kill(pid_t(m_pid), SIGTERM);
        int status = 0;
        ::waitpid(pid_t(m_pid), &status, 0);
    }
}

bool XServer::start(int width, int height)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty())
        return false;
    // Xvfb writes the display it picked to descriptor 3 once it accepts clients; it does not
    // reset when its last client leaves, when a program starting then could not connect.
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray program = QFile::encodeName(xvfb);
    const QByteArray screen = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
    const char *argv[] = {
        program.constData(), "-displayfd", "3",        "-screen", "0",  screen.constData(),
        "-nolisten",         "tcp",        "-noreset", "-dpi",    "96", nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr,
                                    const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0) {
        ::close(fds[0]);
        return false;
    }
    m_pid = pid;
    QByteArray number;
    pollfd wait{fds[0], POLLIN, 0};
    while (::poll(&wait, 1, 10000) > 0) {
        char c;
        if (::read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    ::close(fds[0]);
    if (number.isEmpty())
        return false; // the destructor ends it
    m_display = u':' + QString::fromLatin1(number);
    return true;
}

void useOffscreenScreen(int width, int height)
{
    const QString config = QDir::temp().filePath(
        QStringLiteral("album-bench-screen-%1x%2.json").arg(width).arg(height));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QStringLiteral(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": %1,)"
                                  R"( "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96,)"
                                  R"( "dpr": 1}]})")
                       .arg(width)
                       .arg(height)
                       .toLatin1());
        file.close();
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + QFile::encodeName(config));
}

bool WatchedApplication::notify(QObject *receiver, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (before)
        before(receiver, type);
    const bool handled = QApplication::notify(receiver, event);
    if (after)
        after(receiver, type);
    return handled;
}

void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace Bench
