// "F I N E" at any moment ends the real program at once and cleanly: the helper runs the
// program with the desktop's own services and the real player, and clicks it at a chosen
// moment of a show.
#include "support/testfiles.h"

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
    QTest::addColumn<int>("moment"); // as the scenario reads it
    QTest::addColumn<QString>("reached");

    QTest::newRow("before any show") << "idle" << 0 << "idle";
    // Pictures flow without a wait: each moment, a turn of the event loop, lands at another
    // step of a picture.
    for (int turn : {1, 3, 10, 30, 100, 300})
        QTest::addRow("pictures flowing, turn %d", turn) << "flowing" << turn << "flowing";
    QTest::newRow("during a wait") << "waiting" << 400 << "waiting";
    QTest::newRow("nine loops nested") << "nested" << 9 << "nested";
    // A track handed to the player moments ago, still starting, or playing.
    for (int ms : {14, 19, 24, 29, 34, 39, 44, 300})
        QTest::addRow("a track %d ms after it was set", ms) << "track" << ms << "playing";
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
    // Qt's messages with their kind, so that a critical one is told from the libraries' chatter.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"),
                       QStringLiteral("qt-%{type}: %{message}"));
    program.setProcessEnvironment(environment);
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
    // The click came at the moment the scenario was after, and the program ended at once.
    QCOMPARE(out[0], reached);
    QVERIFY(out[1].startsWith(QLatin1String("fine ")));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const qint64 afterClick = endedAt - out[1].mid(5).toLongLong();
    QVERIFY2(afterClick < 1000, qPrintable(QString::number(afterClick)));

    // Nothing on the error output of the program's own: no crash or sanitizer report, no
    // critical message, no warning of Qt's about the way the program uses it. What the
    // libraries say (a sound system that is missing, say) is not the program's.
    static const QRegularExpression own(
        QStringLiteral("^qt-(critical|fatal): |^qt-warning: Q\\w+::|ERROR: (Address|Leak)Sanitizer|"
                       "runtime error: |Segmentation fault|terminate called"),
        QRegularExpression::MultilineOption);
    QVERIFY2(!own.match(err).hasMatch(), qPrintable(err));
}

QTEST_MAIN(FineTest)
#include "tst_fine.moc"
