#include "pictures/fileworker.h"
#include "desktop/commandgate.h"
#include "runtime/int16.h"
#include "runtime/paths.h"
#include "runtime/runtimeerror.h"
#include "runtime/twips.h"
#include "runtime/val.h"
#include "state/playlist.h"

#include <QTest>

class RuntimeTest : public QObject
{
    Q_OBJECT

private slots:
    void val_data();
    void val();
    void overflowsAndIndicesOutsideRaiseTheirErrors();
    void errorNumbersAndDescriptions();
    void folderCuts_data();
    void folderCuts();
    void twipsAndPixels();
    void aWaitGivenUpGivesNoResult();
};

void RuntimeTest::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("decimal point") << "2.5" << 2.5;
    QTest::newRow("comma stops") << "2,5" << 2.0;
    QTest::newRow("blank inside") << "1 0" << 10.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("hexadecimal") << "&H1F" << 31.0;
    QTest::newRow("hexadecimal lower case") << "&hff" << 255.0;
    QTest::newRow("hexadecimal 16-bit") << "&HFFFF" << -1.0;
    QTest::newRow("octal") << "&O17" << 15.0;
    QTest::newRow("octal stops at 8") << "&O178" << 15.0;
    QTest::newRow("exponent E") << "1E3" << 1000.0;
    QTest::newRow("exponent D") << "1D2" << 100.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("exponent without digits") << "7E" << 7.0;
    QTest::newRow("negative") << "-3.5" << -3.5;
    QTest::newRow("plus sign") << "+4" << 4.0;
    QTest::newRow("blanks around") << " 4 " << 4.0;
    QTest::newRow("tabs and line feeds") << "\t1\n2" << 12.0;
    QTest::newRow("carriage return stops") << "1\r2" << 1.0;
    QTest::newRow("trailing letters") << "3abc" << 3.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("two signs") << "--3" << 0.0;
    QTest::newRow("blank between sign and digits") << "- 7" << -7.0;
}

void RuntimeTest::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(Val(text), expected);
}

// The runtime error that f raises, as its number and description; "none" when it raises none.
template <typename F> static QString raised(F f)
{
    try {
        f();
    } catch (const RuntimeError &error) {
        return QString::number(error.number()) + u' ' + error.description();
    }
    return QStringLiteral("none");
}

void RuntimeTest::overflowsAndIndicesOutsideRaiseTheirErrors()
{
    const QString overflow = QStringLiteral("6 Overflow");
    QCOMPARE(raised([] { Val(QStringLiteral("1E400")); }), overflow);

    // A 16-bit counter: a failed step stores nothing.
    Int16 counter = 32766;
    QCOMPARE(raised([&] { counter += 1; }), QStringLiteral("none"));
    QCOMPARE(raised([&] { counter += 1; }), overflow);
    QCOMPARE(int(counter), 32767);
    Int16 low = -32768;
    QCOMPARE(raised([&] { low -= 1; }), overflow);
    QCOMPARE(int(low), -32768);
    QCOMPARE(raised([&] { low = 40000; }), overflow);
    QCOMPARE(raised([] { Int16(-40000); }), overflow);
    QCOMPARE(Int16(10000).plus(-1), 9999);

    // The playlist's entries 0 to 200.
    Playlist playlist;
    playlist(200) = QStringLiteral("/a/B.MP3");
    QCOMPARE(playlist(200), QStringLiteral("/a/B.MP3"));
    QCOMPARE(playlist(0), QString());
    for (int index : {201, -1})
        QCOMPARE(raised([&] { playlist(index); }),
                 QStringLiteral("9 Indice non compreso nell'intervallo"));
    playlist.erase();
    QCOMPARE(playlist(200), QString());
}

void RuntimeTest::errorNumbersAndDescriptions()
{
    QCOMPARE(RuntimeError(481).description(), QStringLiteral("Immagine non valida"));
    QCOMPARE(RuntimeError(482).description(), QStringLiteral("Errore della stampante"));
    QCOMPARE(RuntimeError(53).description(), QStringLiteral("File non trovato"));
    QCOMPARE(RuntimeError(-7, QStringLiteral("x")).description(), QStringLiteral("x"));
    QCOMPARE(errorNumberText(481), QStringLiteral(" 481"));
    QCOMPARE(errorNumberText(0), QStringLiteral(" 0"));
    QCOMPARE(errorNumberText(-5), QStringLiteral("-5"));
    QCOMPARE(errorNumberText(-2147467259LL), QStringLiteral("-2147467259"));
    QCOMPARE(errorNumberText(70000), QStringLiteral(" 70000"));
}

void RuntimeTest::folderCuts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("file in folder") << "/foto/mare/A.JPG"
                                    << "/foto/mare/"
                                    << "A.JPG";
    QTest::newRow("no separator") << "A.JPG"
                                  << "A.JPG"
                                  << "A.JPG";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("root") << "/A.JPG"
                          << "/"
                          << "A.JPG";
    QTest::newRow("dot in folder") << "/foto.2003/A"
                                   << "/foto.2003/"
                                   << "A";
}

void RuntimeTest::folderCuts()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QCOMPARE(Paths::folderOf(path), folder);
    QCOMPARE(Paths::fileNameOf(path), name);
    QCOMPARE(Paths::withClosingSeparator(QStringLiteral("/a")), QStringLiteral("/a/"));
    QCOMPARE(Paths::withClosingSeparator(QStringLiteral("/a/")), QStringLiteral("/a/"));
}

void RuntimeTest::twipsAndPixels()
{
    QCOMPARE(Twips::toPixels(1440), 96);
    QCOMPARE(Twips::toPixels(7), 0);
    QCOMPARE(Twips::toPixels(8), 1);
    QCOMPARE(Twips::fromPixels(800), 12000.0);
}

void RuntimeTest::aWaitGivenUpGivesNoResult()
{
    // The window is left in the same turn of the event queue as the work ends (leaving stops
    // it): the wait gives no result, whatever the work answered.
    CommandGate gate;
    const auto task = std::make_shared<FileTask<int>>();
    bool left = false;
    QMetaObject::invokeMethod(
        &gate,
        [&] {
            left = true;
            task->finish(481, nullptr);
        },
        Qt::QueuedConnection);
    QCOMPARE(gate.waitFor(task, [&] { return left; }), std::nullopt);
}

QTEST_GUILESS_MAIN(RuntimeTest)
#include "tst_runtime.moc"
