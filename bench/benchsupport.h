#pragma once

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <QtGlobal>

#include <functional>

// What both benchmark programs share: an application that shows them its events, one monotonic time line for every process, the process's
// own counters, figures with their spread, the report's lines, child processes and a private
// X server.
namespace Bench {

// The monotonic clock (CLOCK_MONOTONIC), nanoseconds: the same time line in every process and
// thread of a run.
qint64 nowNs();
inline double ms(qint64 ns)
{
    return double(ns) / 1e6;
}

// CPU time of this process (all threads) and of the calling thread, seconds.
double processCpuSeconds();
double threadCpuSeconds();

// Resident size now and its peak (VmRSS, VmHWM), MB.
double residentMb();
double peakResidentMb();

// Bytes read by this process so far (/proc/self/io): rchar counts every read and pread,
// readBytes what came from the disk.
struct ReadCounters
{
    qint64 rchar = 0;
    qint64 readBytes = 0;
};
ReadCounters readCounters();

// CPU time every core of the machine has spent busy so far (/proc/stat), seconds: with this
// process's own, it tells how much other work shared the cores.
double machineBusySeconds();

QString loadAverage();
QString cpuModel();

// min / median / max of a figure over its runs.
struct Spread
{
    double min = -1;
    double median = -1;
    double max = -1;
    int count = 0;
    bool isEmpty() const { return count == 0; }
};
Spread spreadOf(QList<double> values);

// The report: one line a figure, with its target, PASS / FAIL and its spread.
class Report
{
public:
    void header();
    void section(const QString &title);
    void info(const QString &what, const QString &measured, const QString &note = {});
    void check(const QString &what, const QString &measured, const QString &target, bool pass,
               const QString &note = {});
    // A figure measured over several runs: median, with min-max and the number of runs.
    void info(const QString &what, const Spread &spread, int decimals, const QString &unit = {});
    void check(const QString &what, const Spread &spread, int decimals, const QString &target,
               bool pass, const QString &unit = {});
    void skip(const QString &what, const QString &target, const QString &why);
    int failures() const { return m_failures; }
    int skipped() const { return m_skipped; }

private:
    void line(const QString &what, const QString &measured, const QString &target,
              const QString &result, const QString &note);
    int m_failures = 0;
    int m_skipped = 0;
};

QString number(double value, int decimals = 1);
// "median (min-max, n runs)"
QString spreadText(const Spread &spread, int decimals, const QString &unit = {});

// A child process of this program: its exit status, when it ended on the benchmark's time
// line, and what it printed as "key=value" words (the last value of a key wins; lists are
// written "a/b/c").
struct ChildResult
{
    bool started = false;
    bool exited = false; // exited by itself, not killed by a signal
    int exitCode = -1;
    qint64 endedNs = -1;
    QString output;
    QString errors;
    QMap<QString, QString> values;
    double value(const QString &key, double missing = -1) const;
    QList<double> list(const QString &key) const;
};
// Runs program with arguments and the extra environment variables (NAME=value), waiting at
// most timeoutMs; a child still running then is killed.
ChildResult runChild(const QString &program, const QStringList &arguments,
                     const QStringList &environment = {}, int timeoutMs = 300000);

// Prints "key=value" words for the parent on standard output, one line.
void printValues(const QList<QPair<QString, QString>> &values);
QString joinList(const QList<double> &values, int decimals = 2);

// A private X server (Xvfb) for the run, on a display it picks itself; none where Xvfb is
// missing. Ended when this object goes.
class XServer
{
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // Starts Xvfb with one screen of width x height pixels at 96 dpi; false when it cannot.
    bool start(int width, int height);
    bool isRunning() const { return m_pid > 0; }
    // ":N"
    QString display() const { return m_display; }

private:
    qint64 m_pid = -1;
    QString m_display;
};

// Offscreen windows on one screen of width x height pixels at 96 dpi, for this process and
// the children it starts.
void useOffscreenScreen(int width, int height);

// The program's application, which tells the benchmark of every event it delivers: before is
// called before the receiver handles it, after once it has.
class WatchedApplication : public QApplication
{
public:
    using QApplication::QApplication;
    std::function<void(QObject *receiver, QEvent::Type type)> before;
    std::function<void(QObject *receiver, QEvent::Type type)> after;

    bool notify(QObject *receiver, QEvent *event) override;
};

// Serves the events for the time given, as the program's loop would.
void runEventsFor(int milliseconds);

} // namespace Bench
