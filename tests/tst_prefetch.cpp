// The next picture is decoded while the loop waits; at its turn the loop uses it only while the
// file is still the one decoded, and the show looks and fails exactly as without it.
#include "pictures/picturedecoder.h"
#include "pictures/picturesource.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "viewer/viewerwindow.h"

#include "support/showfixture.h"
#include "support/testfiles.h"

#include <QFile>
#include <QImageReader>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <functional>

using namespace TestFiles;

class PrefetchTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void aPictureChangedBeforeItsTurn_data();
    void aPictureChangedBeforeItsTurn();
    void theFirstPictureDecodedBeforeConfermaServesOnlyItsFile_data();
    void theFirstPictureDecodedBeforeConfermaServesOnlyItsFile();
    void picturesDecodedAheadComeInTheListingsOrder();
    void aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn_data();
    void aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn();
    void aViewerResizedDuringTheWaitGetsThePictureAtItsNewSize();
    void leavingWhileAPictureIsBeingPrefetchedIsSafe();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // Runs action in the show's wait, once the picture of name has been decoded ahead.
    void whenPrefetched(ShowFixture &show, const QString &name, std::function<void()> action)
    {
        const QString wanted = path(name);
        show.clock.when(
            [&show, wanted] {
                LARK_M7 *viewer = show.viewer();
                return viewer && viewer->Image1->hasPicture() &&
                       viewer->pictureSource().pendingPath() == wanted &&
                       viewer->pictureSource().isReady();
            },
            std::move(action));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void PrefetchTest::aPictureChangedBeforeItsTurn_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QSize>("newSize");  // of the picture written over B
    QTest::addColumn<bool>("sameStamp"); // its size on disk and time kept, which a probe sees
    QTest::addColumn<bool>("prefetch");
    QTest::addColumn<QColor>("shown"); // what B's turn shows
    // Rewritten with the same size on disk, or replaced by a picture of another shape: decoded
    // afresh, and measured as the new one.
    QTest::newRow("rewritten") << "BMP" << QSize(40, 30) << false << true << QColor(Qt::blue);
    QTest::newRow("another shape") << "JPG" << QSize(30, 90) << false << true << QColor(Qt::blue);
    // Changed behind an unchanged size and time, which the prefetch cannot see: the turn used
    // the decode made ahead; without prefetching it shows the file as it is at its turn.
    QTest::newRow("same stamp") << "BMP" << QSize(40, 30) << true << true << QColor(Qt::green);
    QTest::newRow("same stamp, no prefetch")
        << "BMP" << QSize(40, 30) << true << false << QColor(Qt::blue);
}

void PrefetchTest::aPictureChangedBeforeItsTurn()
{
    QFETCH(QString, extension);
    QFETCH(QSize, newSize);
    QFETCH(bool, sameStamp);
    QFETCH(bool, prefetch);
    QFETCH(QColor, shown);
    const QString a = path("A." + extension), b = path("B." + extension);
    const char *format = extension == QStringLiteral("BMP") ? "BMP" : "JPEG";
    writePicture(a, 40, 30, Qt::red, format);
    writePicture(b, 40, 30, Qt::green, format);
    ShowFixture show;
    show.app->viewer().pictureSource().setEnabled(prefetch);
    bool changed = false;
    const auto change = [&] {
        const std::filesystem::path file(QFile::encodeName(b).toStdString());
        const auto modified = std::filesystem::last_write_time(file);
        writePicture(b, newSize.width(), newSize.height(), Qt::blue, format);
        if (sameStamp)
            std::filesystem::last_write_time(file, modified);
        changed = true;
    };
    if (prefetch)
        whenPrefetched(show, "B." + extension, change);
    else
        show.clock.at(100, change);
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"), false, extension);
    QVERIFY(show.waitForShowEnd());
    QVERIFY(changed);
    QCOMPARE(show.captions, (QStringList{a, b}));
    QVERIFY(show.services.messages.isEmpty());
    QVERIFY(near(show.shownColour(), shown));
    if (shown == QColor(Qt::blue)) {
        QCOMPARE(show.viewer()->Picture1->size(), newSize);
        const QImage image = show.viewer()->Image1->picture();
        QCOMPARE(image.height() > 2 * image.width(), newSize.height() > 2 * newSize.width());
    }
}

void PrefetchTest::theFirstPictureDecodedBeforeConfermaServesOnlyItsFile_data()
{
    // What happens to A.BMP (red) or to the fields once the head start has decoded it, and the
    // colour the show's first picture then has.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QColor>("shown");
    QTest::newRow("content changed behind the same stamp: taken") << "content" << QColor(Qt::red);
    QTest::newRow("file rewritten: decoded afresh") << "file" << QColor(Qt::blue);
    QTest::newRow("fields changed: dropped at once") << "fields" << QColor(Qt::green);
    QTest::newRow("the viewer decoding it too: the earlier decode taken") << "viewer"
                                                                            << QColor(Qt::red);
}

void PrefetchTest::theFirstPictureDecodedBeforeConfermaServesOnlyItsFile()
{
    QFETCH(QString, change);
    QFETCH(QColor, shown);
    TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::red, "BMP");
    TestFiles::writePicture(path(QStringLiteral("B.PNG")), 40, 30, Qt::green, "PNG");
    ShowFixture show;
    LARK_M1 &setup = show.setup();
    setup.Text3->setText(QStringLiteral("BMP"));
    setup.Text1->setText(m_dir->path()); // typed
    QTRY_VERIFY(show.app->headStart().isReady());
    QCOMPARE(show.app->headStart().pendingPath(), path(QStringLiteral("A.BMP")));
    const std::filesystem::path file(QFile::encodeName(path(QStringLiteral("A.BMP"))).toStdString());
    const auto modified = std::filesystem::last_write_time(file);
    if (change == QStringLiteral("fields")) {
        setup.Text3->setText(QStringLiteral("PNG"));
        QVERIFY(show.app->headStart().pendingPath().isEmpty());
    } else {
        TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::blue, "BMP");
        if (change == QStringLiteral("file"))
            std::filesystem::last_write_time(file, modified + std::chrono::seconds(2));
        else
            std::filesystem::last_write_time(file, modified);
        if (change == QStringLiteral("viewer"))
            show.app->viewer().pictureSource().keepAhead(
                {path(QStringLiteral("A.BMP"))}, LARK_M7::boxesWhenMaximized(setup.screen()));
    }
    show.confirmShow(m_dir->path(), QStringLiteral("1"), false,
                     change == QStringLiteral("fields") ? QStringLiteral("PNG")
                                                        : QStringLiteral("BMP"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 1);
    QVERIFY(near(show.shownColour(), shown));
}

void PrefetchTest::picturesDecodedAheadComeInTheListingsOrder()
{
    // Large and small pictures in turn: decoded side by side, the small ones are ready first.
    QStringList names;
    for (int i = 0; i < 8; ++i) {
        names << QStringLiteral("P%1.JPG").arg(i + 1);
        const QSize size = i % 2 ? QSize(40, 30) : QSize(3000, 2000);
        writePicture(path(names.last()), size.width(), size.height(), colourOf(i), "JPEG");
    }
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), names);
    // Each caption came with the picture before it on screen.
    for (int i = 1; i < names.size(); ++i)
        QVERIFY2(near(colourOf(show.imagesAtCaption[i]), colourOf(i - 1)), qPrintable(names[i]));
}

void PrefetchTest::aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn_data()
{
    QTest::addColumn<QString>("extension");
    // A PNG whose image data is damaged: its header reads, its decoding fails in the worker.
    QTest::newRow("decoding fails ahead") << "PNG";
    // A picture decoded well in the worker, then overwritten with text before its turn.
    QTest::newRow("spoilt after its decode") << "JPG";
}

void PrefetchTest::aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn()
{
    QFETCH(QString, extension);
    const bool damaged = extension == QStringLiteral("PNG");
    const QString a = path("A." + extension), b = path("B." + extension);
    writePicture(a, 40, 30, Qt::red, damaged ? "PNG" : "JPEG");
    writePicture(b, 40, 30, Qt::green, damaged ? "PNG" : "JPEG");
    writePicture(path("C." + extension), 40, 30, Qt::blue, damaged ? "PNG" : "JPEG");
    if (damaged) {
        QFile file(b);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const qsizetype data = bytes.indexOf("IDAT") + 4;
        for (qsizetype i = data; i < data + 8; ++i)
            bytes[i] = char(~bytes[i]);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
        file.close();
        QVERIFY(QImageReader(b).size().isValid());
        QCOMPARE(PictureDecoder::decode(b, {40, 30}).error, 481);
    }
    ShowFixture show;
    bool seen = false; // its prefetch ran and ended before its turn
    whenPrefetched(show, "B." + extension, [&] {
        seen = true;
        if (!damaged)
            writeBytes(b, "testo, non un'immagine");
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.3"), /*cyclic*/ true, extension);
    QVERIFY(show.waitForShowEnd());
    QVERIFY(seen);
    QCOMPARE(show.services.messages, QStringList{unreadableMessage(b)});
    QCOMPARE(show.captions, (QStringList{a, b}));
    // The previous picture stays; the show stops as the error path leaves it.
    QVERIFY(near(show.shownColour(), Qt::red));
    const QString differences = show.differencesFromErrorPathEnd();
    QVERIFY2(differences.isEmpty(), qPrintable(differences));
    QVERIFY(show.viewer()->pictureSource().pendingPath() != b);
}

void PrefetchTest::aViewerResizedDuringTheWaitGetsThePictureAtItsNewSize()
{
    writePicture(path(QStringLiteral("A.JPG")), 1600, 1200, Qt::red, "JPEG");
    writePicture(path(QStringLiteral("B.JPG")), 1600, 1200, Qt::green, "JPEG");
    ShowFixture show;
    QSize decodedBefore;
    whenPrefetched(show, QStringLiteral("B.JPG"), [&] {
        LARK_M7 *viewer = show.viewer();
        decodedBefore = viewer->Image1->picture().size();
        viewer->showNormal();
        viewer->resize(viewer->width() / 2, viewer->height() / 2);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(decodedBefore.isValid());
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 2);
    // The second picture fits its smaller place exactly: decoded for it, not for the old one.
    const QImage shown = viewer->Image1->picture();
    QVERIFY(near(colourOf(shown), Qt::green));
    const QSize place = (QSizeF(viewer->Image1->size()) * viewer->devicePixelRatioF()).toSize();
    QVERIFY(shown.width() <= place.width() && shown.height() <= place.height());
    QVERIFY(shown.width() == place.width() || shown.height() == place.height());
    QVERIFY(shown.width() < decodedBefore.width());
}

void PrefetchTest::leavingWhileAPictureIsBeingPrefetchedIsSafe()
{
    // Noisy pictures take a while to decode, so that the worker is still busy when the viewer
    // goes.
    QImage noise(3000, 2000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    for (const char *name : {"P1.JPG", "P2.JPG", "P3.JPG"})
        QVERIFY(noise.save(path(QString::fromLatin1(name)), "JPEG", 95));
    noise = QImage();

    ShowFixture show;
    QPointer<LARK_M7> first;
    bool wasPrefetching = false;
    show.clock.when([&] { return !show.viewer()->pictureSource().pendingPath().isEmpty(); },
                    [&] {
                        first = show.viewer();
                        wasPrefetching = true;
                        ShowFixture::click(first->Command3); // pause
                        ShowFixture::click(first->Command2); // leave
                    });
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QTRY_VERIFY(wasPrefetching);
    QTRY_VERIFY(first.isNull()); // gone, its worker not waited for
    QCOMPARE(show.captions.size(), 1);
    QVERIFY(show.setup().isVisible());

    // A new show in a fresh viewer runs to its end with every picture.
    show.captions.clear();
    show.confirmShow(m_dir->path(), QStringLiteral("0.05"));
    QVERIFY(show.waitForShowEnd(30000));
    QCOMPARE(show.shownNames(), (QStringList{"P1.JPG", "P2.JPG", "P3.JPG"}));
    QVERIFY(show.services.messages.isEmpty());
}

QTEST_MAIN(PrefetchTest)
#include "tst_prefetch.moc"
