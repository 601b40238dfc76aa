// The folder's listing in name order, and the probe of the current picture.
#include "pictures/pictureprobe.h"
#include "runtime/directorycursor.h"
#include "runtime/fileprobe.h"
#include "state/sharedstate.h"

#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class EnumerationTest : public QObject
{
    Q_OBJECT

private slots:
    void wildcardMatch_data();
    void wildcardMatch();
    void naturalOrderIgnoresCase();
    void theCursorHandsOutMatchingFilesInNaturalOrder();
    void severalExtensionsListedTogether_data();
    void severalExtensionsListedTogether();
    void theProbeOpensFilesOnly();

private:
    void make(const QStringList &names)
    {
        for (const QString &name : names)
            TestFiles::writeBytes(m_dir.filePath(name), "x");
    }
    QString mask(const char *pattern) const { return m_dir.filePath(QLatin1String(pattern)); }
    QTemporaryDir m_dir;
};

void EnumerationTest::wildcardMatch_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("matches");
    const auto row = [](const char *tag, const char *name, const char *mask, bool matches) {
        QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(mask) << matches;
    };
    row("extension", "Mare.JPG", "*.JPG", true);
    row("case ignored", "mare.jpg", "*.JPG", true);
    row("other extension", "Mare.JPEG", "*.JPG", false);
    row("extension inside", "Mare.JPG.txt", "*.JPG", false);
    row("empty extension", "Mare", "*.", false);
    row("dot at the end", "Mare.", "*.", true);
    row("doubled dot", "Mare..JPG", "*..JPG", true);
    row("question mark", "A1.JPG", "A?.JPG", true);
    row("star alone", "x", "*", true);
    row("stars backtrack", "aXbXc.JPG", "*X*.JPG", true);
    row("accents fold", "ÈTNA.jpg", "èt*.JPG", true);
    row("no star", "A.JPG", "A.JPG", true);
    row("long mask", "A.JPG", "A.JPG*.JPG", false);
}

void EnumerationTest::wildcardMatch()
{
    QFETCH(QString, name);
    QFETCH(QString, mask);
    QFETCH(bool, matches);
    QCOMPARE(DirectoryMatching::wildcardMatch(name, mask), matches);
}

void EnumerationTest::naturalOrderIgnoresCase()
{
    QStringList names = {"IMG_10.JPG", "img_2.JPG",   "IMG_1.JPG", "b.JPG",    "A.JPG",
                         "IMG_02.JPG", "IMG_100.JPG", "Zucca.JPG", "Èlba.JPG", "elba.JPG"};
    std::sort(names.begin(), names.end(), DirectoryMatching::naturalLess);
    QCOMPARE(names,
             (QStringList{"A.JPG", "b.JPG", "elba.JPG", "Èlba.JPG", "IMG_1.JPG", "IMG_02.JPG",
                          "img_2.JPG", "IMG_10.JPG", "IMG_100.JPG", "Zucca.JPG"}));
    QVERIFY(!DirectoryMatching::naturalLess(QStringLiteral("x"), QStringLiteral("x")));
}

void EnumerationTest::theCursorHandsOutMatchingFilesInNaturalOrder()
{
    make({"IMG_10.JPG", "IMG_2.jpg", "IMG_1.JPG", "notes.txt", "IMG_3.PNG", ".nascosta.JPG"});
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("Cartella.JPG")));
    DirectoryCursor cursor;
    // Ordinary files only, no folders and no hidden files; then empty names.
    QCOMPARE(cursor.start(mask("*.JPG")), QStringLiteral("IMG_1.JPG"));
    QCOMPARE(cursor.next(), QStringLiteral("IMG_2.jpg"));
    // The list is taken at the start.
    make({"IMG_1A.JPG"});
    QVERIFY(QFile::remove(m_dir.filePath(QStringLiteral("IMG_10.JPG"))));
    QCOMPARE(cursor.next(), QStringLiteral("IMG_10.JPG"));
    QCOMPARE(cursor.next(), QString());
    QCOMPARE(cursor.next(), QString());
    // A new start begins again from the first name.
    QCOMPARE(cursor.start(mask("*.png")), QStringLiteral("IMG_3.PNG"));
    QCOMPARE(cursor.next(), QString());
    // Nothing in the folder, or no folder.
    QCOMPARE(cursor.start(mask("*.GIF")), QString());
    QCOMPARE(cursor.start(mask("missing/*.JPG")), QString());
    QCOMPARE(cursor.next(), QString());
}

void EnumerationTest::severalExtensionsListedTogether_data()
{
    QTest::addColumn<QString>("field"); // the extension field as typed
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("one extension") << "JPG" << QStringList{"IMG_1.JPG", "IMG_3.jpg"};
    QTest::newRow("two, a blank") << "JPG HEIC"
                                  << QStringList{"IMG_1.JPG", "IMG_2.HEIC", "IMG_3.jpg"};
    QTest::newRow("commas, semicolons")
        << "jpg,heic;png" << QStringList{"IMG_1.JPG", "IMG_2.HEIC", "IMG_3.jpg", "IMG_10.png"};
    QTest::newRow("letter case, runs of separators")
        << "heic , ;PNG" << QStringList{"IMG_2.HEIC", "IMG_10.png"};
}

void EnumerationTest::severalExtensionsListedTogether()
{
    QFETCH(QString, field);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    for (const char *name : {"IMG_10.png", "IMG_3.jpg", "IMG_2.HEIC", "IMG_1.JPG", "notes.txt"})
        TestFiles::writeBytes(dir.filePath(QString::fromLatin1(name)), "x");
    QCOMPARE(DirectoryCursor::list(dir.path() + QStringLiteral("/*.") + field), listed);
}

void EnumerationTest::theProbeOpensFilesOnly()
{
    make({"A.JPG"});
    QVERIFY(FileProbe::canOpenForReading(m_dir.filePath(QStringLiteral("A.JPG"))));
    for (const QString &path : {m_dir.filePath(QStringLiteral("B.JPG")), m_dir.path(), QString()})
        QVERIFY(!FileProbe::canOpenForReading(path));

    SharedState state;
    state.ShowFolder = m_dir.path() + QLatin1Char('/');
    state.CurrentName = QStringLiteral("A.JPG");
    Int16 result = 7;
    GL_LARK::ProbeCurrentPicture(state, result, FileProbe::canOpenForReading);
    QCOMPARE(int(result), 0);
    QCOMPARE(state.CurrentPath, m_dir.filePath(QStringLiteral("A.JPG")));
    // An exhausted folder leaves the folder itself to probe, which fails.
    state.CurrentName.clear();
    GL_LARK::ProbeCurrentPicture(state, result, FileProbe::canOpenForReading);
    QCOMPARE(int(result), 1);
    QCOMPARE(state.CurrentPath, state.ShowFolder);
}

QTEST_GUILESS_MAIN(EnumerationTest)
#include "tst_enumeration.moc"
