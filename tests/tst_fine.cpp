// "F I N E" at any moment ends the real program at once and cleanly: the helper runs the
// program with the desktop's own services and the real player, and clicks it at a chosen
// moment of a show.
#include "support/testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class FineTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endsAtOnceWithStatusZero_data();
    void endsAtOnceWithStatusZero();

private:
    QTemporaryDir m_dir;
};

void FineTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Enough pictures for every nested loop to show one of its own.
    for (char name = 'A'; name <= 'L'; ++name)
        TestFiles::writePicture(m_dir.filePath(QChar::fromLatin1(name) + QStringLiteral(".JPG")),
                                120, 80, Qt::darkBlue, "JPEG");
    // A picture whose decoding takes a while.
    TestFiles::writePicture(m_dir.filePath(QStringLiteral("Z.PNG")), 6000, 4000, Qt::darkRed,
                            "PNG");
    QVERIFY(QFile::copy(QStringLiteral(ALBUM_SOURCE_DIR "/examples/album/Alba.MP3"),
                        m_dir.filePath(QStringLiteral("A.MP3"))));
}

void FineTest::endsAtOnceWithStatusZero_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<int>("moment"); // milliseconds, as the scenario reads them
    QTest::addColumn<QString>("reached");

    QTest::newRow("before any show") << "idle" << 100 << "idle";
    // Pictures flow without a wait: each moment lands at another step of a picture.
    for (int moment : {0, 5, 20, 45, 90, 150, 260})
        QTest::addRow("pictures flowing, at %d ms", moment) << "flowing" << moment << "flowing";
    QTest::newRow("during a wait") << "waiting" << 400 << "waiting";
    QTest::newRow("nine loops nested") << "nested" << 30 << "nested";
    QTest::newRow("a track playing") << "music" << 300 << "playing";
    // A track handed to the player moments ago: a stop then could wait for a second, at about
    // one of these moments in twenty.
    for (int moment = 14; moment <= 44; ++moment)
        QTest::addRow("a track starting, %d ms in", moment) << "starting" << moment << "starting";
    QTest::newRow("a picture decoding") << "decoding" << 0 << "decoding";
    QTest::newRow("the viewer closed while a picture decodes") << "leavingdecoding" << 0 << "left";
    QTest::newRow("a pause pending") << "pausing" << 400 << "pausing";
    QTest::newRow("the viewer left, its loop pending") << "leaving" << 400 << "leaving";
}

void FineTest::endsAtOnceWithStatusZero()
{
    QFETCH(QString, scenario);
    QFETCH(int, moment);
    QFETCH(QString, reached);

    QProcess program;
    // Without a sound server GStreamer tries JACK, whose client takes a lock shared between
    // processes; a program ended while it holds that lock would leave every later player on
    // this machine waiting for it. The program ends at once by design, so the tries go without.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GST_PLUGIN_FEATURE_RANK"),
                       QStringLiteral("jackaudiosink:NONE"));
    program.setProcessEnvironment(environment);
    QElapsedTimer run;
    run.start();
    program.start(QStringLiteral(FINE_HELPER), {m_dir.path(), scenario, QString::number(moment)});
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    QVERIFY2(program.waitForFinished(30000), "the program did not end");
    QElapsedTimer now;
    now.start();
    const qint64 endedAt = now.msecsSinceReference(); // the same clock as the helper's

    const QStringList out = QString::fromLocal8Bit(program.readAllStandardOutput())
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(out.size() == 2, qPrintable(out.join(u'|') + QLatin1Char('|') + err));
    // The click came at the moment the scenario was after.
    QCOMPARE(out[0], reached);
    QVERIFY(out[1].startsWith(QLatin1String("fine ")));
    const qint64 clickedAt = out[1].mid(5).toLongLong();

    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY2(endedAt - clickedAt < 1000, qPrintable(QString::number(endedAt - clickedAt)));

    // Nothing on the error output but what the platform says on any start: no crash report,
    // no sanitizer report, no warning of the program's own.
    static const QRegularExpression harmless(QStringLiteral(
        "^(QStandardPaths: XDG_RUNTIME_DIR not set.*"
        "|PulseAudioService: pa_context_connect\\(\\) failed"
        "|qt\\.multimedia\\.[a-z.]*: Warning: \"Failed to connect: Connection refused\""
        "|This plugin does not support .*)$"));
    QStringList unexpected;
    for (const QString &line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!harmless.match(line).hasMatch())
            unexpected << line;
    }
    QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QLatin1Char('\n'))));
    qInfo("%s: ended %lld ms after the click, %lld ms after the start", qPrintable(scenario),
          endedAt - clickedAt, run.elapsed());
}

QTEST_MAIN(FineTest)
#include "tst_fine.moc"
