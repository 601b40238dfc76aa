#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "pictures/picturedecoder.h"
#include "pictures/picturesource.h"
#include "viewer/viewerwindow.h"

#include "support/fakeclock.h"
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
#include <QTimer>

#include <filesystem>
#include <functional>

// The next picture is decoded while the loop waits; at its turn the loop uses it only while the
// file is still the one decoded, and the show looks and fails exactly as without it.
class PrefetchTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void aPictureChangedOnDiskBeforeItsTurnIsDecodedAfresh();
    void aStillValidPrefetchedPictureIsTheOneShown();
    void theFirstPictureDecodedBeforeConfermaServesOnlyItsFile_data();
    void theFirstPictureDecodedBeforeConfermaServesOnlyItsFile();
    void picturesDecodedAheadComeInTheListingsOrder();
    void aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn();
    void aViewerResizedDuringTheWaitGetsThePictureAtItsNewSize();
    void leavingWhileAPictureIsBeingPrefetchedIsSafe();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // Runs action once, inside the show's yields, as soon as condition holds; the returned
    // flag tells whether it ran.
    static std::shared_ptr<bool> once(QObject *owner, std::function<bool()> condition,
                                      std::function<void()> action);
    // Runs action once, inside the show's wait, as soon as the prefetch of name has finished.
    std::shared_ptr<bool> whenPrefetched(ShowFixture &show, const QString &name,
                                         std::function<void()> action);
    static std::filesystem::path fsPath(const QString &path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }
    static QColor colourOf(const QImage &image)
    {
        return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
    }
    static bool near(const QColor &a, const QColor &b)
    {
        return qAbs(a.red() - b.red()) < 40 && qAbs(a.green() - b.green()) < 40 &&
               qAbs(a.blue() - b.blue()) < 40;
    }
    static QString errorMessage(const QString &path)
    {
        return QStringLiteral("Immagine ") + path +
               QStringLiteral("\r di formato non compatibile !!!\r\r 481 - Immagine non valida");
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void PrefetchTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

std::shared_ptr<bool> PrefetchTest::once(QObject *owner, std::function<bool()> condition,
                                         std::function<void()> action)
{
    auto done = std::make_shared<bool>(false);
    auto *poll = new QTimer(owner);
    poll->setInterval(2);
    QObject::connect(poll, &QTimer::timeout, poll, [condition, action, done, poll] {
        if (*done || !condition())
            return;
        *done = true;
        poll->stop();
        action();
    });
    poll->start();
    return done;
}

std::shared_ptr<bool> PrefetchTest::whenPrefetched(ShowFixture &show, const QString &name,
                                                   std::function<void()> action)
{
    const QString wanted = path(name);
    return once(
        &show,
        [&show, wanted] {
            LARK_M7 *viewer = show.viewer();
            return viewer && viewer->Image1->hasPicture() &&
                   viewer->pictureSource().pendingPath() == wanted &&
                   viewer->pictureSource().isReady();
        },
        std::move(action));
}

void PrefetchTest::aPictureChangedOnDiskBeforeItsTurnIsDecodedAfresh()
{
    // A picture rewritten while the loop waits: same size on disk, new content and time.
    {
        TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::red, "BMP");
        TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::green, "BMP");
        ShowFixture show;
        const auto rewritten = whenPrefetched(show, QStringLiteral("B.BMP"), [this] {
            TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::blue, "BMP");
        });
        show.confirmShow(m_dir->path(), QStringLiteral("0.5"), false, QStringLiteral("BMP"));
        QVERIFY(show.waitForShowEnd());
        QVERIFY(*rewritten);
        QCOMPARE(show.shownNames(), (QStringList{"A.BMP", "B.BMP"}));
        QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::blue));
        QVERIFY(show.services.messages.isEmpty());
    }
    // A picture replaced by one of another shape: measured and shown as the new one.
    {
        TestFiles::writePicture(path(QStringLiteral("C.JPG")), 60, 40, Qt::red, "JPEG");
        TestFiles::writePicture(path(QStringLiteral("D.JPG")), 60, 40, Qt::green, "JPEG");
        ShowFixture show;
        const auto replaced = whenPrefetched(show, QStringLiteral("D.JPG"), [this] {
            TestFiles::writePicture(path(QStringLiteral("D.JPG")), 30, 90, Qt::blue, "JPEG");
        });
        show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
        QVERIFY(show.waitForShowEnd());
        QVERIFY(*replaced);
        LARK_M7 *viewer = show.viewer();
        QCOMPARE(viewer->Picture1->size(), QSize(30, 90));
        const QImage shown = viewer->Image1->picture();
        QVERIFY(shown.height() > 2 * shown.width());
        QVERIFY(near(colourOf(shown), Qt::blue));
    }
}

void PrefetchTest::aStillValidPrefetchedPictureIsTheOneShown()
{
    // The content is changed behind an unchanged size and modification time, which the
    // prefetch cannot see: the colour shown tells that the turn used the prefetched decode.
    TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::red, "BMP");
    TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::green, "BMP");
    ShowFixture show;
    const auto swapped = whenPrefetched(show, QStringLiteral("B.BMP"), [this] {
        const std::filesystem::path file = fsPath(path(QStringLiteral("B.BMP")));
        const auto modified = std::filesystem::last_write_time(file);
        const auto size = std::filesystem::file_size(file);
        TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::blue, "BMP");
        std::filesystem::last_write_time(file, modified);
        QCOMPARE(std::filesystem::file_size(file), size);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"), false, QStringLiteral("BMP"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(*swapped);
    QCOMPARE(show.shownNames(), (QStringList{"A.BMP", "B.BMP"}));
    QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::green));

    // Without prefetching the same swap shows the file as it is at the picture's turn.
    TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::green, "BMP");
    ShowFixture plain;
    plain.app->viewer().pictureSource().setEnabled(false);
    const auto swappedPlain = once(
        &plain, [&plain] { return plain.captions.size() == 1; },
        [this] {
            const std::filesystem::path file = fsPath(path(QStringLiteral("B.BMP")));
            const auto modified = std::filesystem::last_write_time(file);
            TestFiles::writePicture(path(QStringLiteral("B.BMP")), 40, 30, Qt::blue, "BMP");
            std::filesystem::last_write_time(file, modified);
        });
    plain.confirmShow(m_dir->path(), QStringLiteral("0.5"), false, QStringLiteral("BMP"));
    QVERIFY(plain.waitForShowEnd());
    QVERIFY(*swappedPlain);
    QCOMPARE(plain.shownNames(), (QStringList{"A.BMP", "B.BMP"}));
    QVERIFY(near(colourOf(plain.viewer()->Image1->picture()), Qt::blue));
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
}

void PrefetchTest::theFirstPictureDecodedBeforeConfermaServesOnlyItsFile()
{
    QFETCH(QString, change);
    QFETCH(QColor, shown);
    TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::red, "BMP");
    TestFiles::writePicture(path(QStringLiteral("B.PNG")), 40, 30, Qt::green, "PNG");
    FakeClock clock;
    ShowFixture show(&clock);
    LARK_M1 &setup = show.setup();
    setup.Text3->setText(QStringLiteral("BMP"));
    setup.Text1->setText(m_dir->path()); // typed
    QTRY_VERIFY(show.app->headStart().isReady());
    QCOMPARE(show.app->headStart().pendingPath(), path(QStringLiteral("A.BMP")));
    const std::filesystem::path file = fsPath(path(QStringLiteral("A.BMP")));
    const auto modified = std::filesystem::last_write_time(file);
    if (change == QStringLiteral("fields")) {
        setup.Text3->setText(QStringLiteral("PNG"));
        QVERIFY(show.app->headStart().pendingPath().isEmpty());
    } else {
        TestFiles::writePicture(path(QStringLiteral("A.BMP")), 40, 30, Qt::blue, "BMP");
        if (change == QStringLiteral("content"))
            std::filesystem::last_write_time(file, modified);
        else
            std::filesystem::last_write_time(file, modified + std::chrono::seconds(2));
    }
    show.confirmShow(m_dir->path(), QStringLiteral("1"), false,
                     change == QStringLiteral("fields") ? QStringLiteral("PNG")
                                                        : QStringLiteral("BMP"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.captions.size(), 1);
    QVERIFY(near(colourOf(show.viewer()->Image1->picture()), shown));
}

void PrefetchTest::picturesDecodedAheadComeInTheListingsOrder()
{
    // Large and small pictures in turn: decoded side by side, the small ones are ready first.
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    QStringList names;
    for (int i = 0; i < 8; ++i) {
        names << QStringLiteral("P%1.JPG").arg(i + 1);
        const QSize size = i % 2 ? QSize(40, 30) : QSize(3000, 2000);
        TestFiles::writePicture(path(names.last()), size.width(), size.height(), colours[i % 6],
                                "JPEG");
    }
    ShowFixture show;
    show.confirmShow(m_dir->path(), QStringLiteral("0"));
    QVERIFY(show.waitForShowEnd());
    QCOMPARE(show.shownNames(), names);
    // Each caption came with the picture before it on screen.
    for (int i = 1; i < names.size(); ++i)
        QVERIFY2(near(colourOf(show.imagesAtCaption[i]), colours[(i - 1) % 6]),
                 qPrintable(names[i]));
}

void PrefetchTest::aFailingPrefetchedFileGivesTheErrorMessageAtItsTurn()
{
    // A PNG whose image data is damaged: its header reads, its decoding fails in the worker.
    {
        TestFiles::writePicture(path(QStringLiteral("A.PNG")), 40, 30, Qt::red, "PNG");
        TestFiles::writePicture(path(QStringLiteral("B.PNG")), 40, 30, Qt::green, "PNG");
        TestFiles::writePicture(path(QStringLiteral("C.PNG")), 40, 30, Qt::blue, "PNG");
        QFile damaged(path(QStringLiteral("B.PNG")));
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        QByteArray bytes = damaged.readAll();
        const qsizetype data = bytes.indexOf("IDAT") + 4;
        QVERIFY(data > 4 && data + 8 < bytes.size());
        for (qsizetype i = data; i < data + 8; ++i)
            bytes[i] = char(~bytes[i]);
        damaged.seek(0);
        damaged.write(bytes);
        damaged.close();
        QVERIFY(QImageReader(path(QStringLiteral("B.PNG"))).size().isValid());
        QCOMPARE(PictureDecoder::decode(path(QStringLiteral("B.PNG")), {40, 30}).error, 481);

        ShowFixture show;
        const auto seen = whenPrefetched(show, QStringLiteral("B.PNG"), [] {});
        show.confirmShow(m_dir->path(), QStringLiteral("0.3"), /*cyclic*/ true,
                         QStringLiteral("PNG"));
        QVERIFY(show.waitForShowEnd());
        QVERIFY(*seen); // its prefetch ran and ended before its turn
        QCOMPARE(show.services.messages, QStringList{errorMessage(path(QStringLiteral("B.PNG")))});
        QCOMPARE(show.shownNames(), (QStringList{"A.PNG", "B.PNG"}));
        // The previous picture stays; the show stops as the error path leaves it.
        QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::red));
        const QString differences = show.differencesFromErrorPathEnd();
        QVERIFY2(differences.isEmpty(), qPrintable(differences));
        QVERIFY(show.viewer()->pictureSource().pendingPath() != path(QStringLiteral("B.PNG")));
    }
    // A picture decoded well in the worker, then overwritten with text before its turn.
    {
        TestFiles::writePicture(path(QStringLiteral("D.JPG")), 40, 30, Qt::red, "JPEG");
        TestFiles::writePicture(path(QStringLiteral("E.JPG")), 40, 30, Qt::green, "JPEG");
        ShowFixture show;
        const auto spoilt = whenPrefetched(show, QStringLiteral("E.JPG"), [this] {
            TestFiles::writeBytes(path(QStringLiteral("E.JPG")), "testo, non un'immagine");
        });
        show.confirmShow(m_dir->path(), QStringLiteral("0.3"));
        QVERIFY(show.waitForShowEnd());
        QVERIFY(*spoilt);
        QCOMPARE(show.services.messages, QStringList{errorMessage(path(QStringLiteral("E.JPG")))});
        QCOMPARE(show.shownNames(), (QStringList{"D.JPG", "E.JPG"}));
        QVERIFY(near(colourOf(show.viewer()->Image1->picture()), Qt::red));
        QCOMPARE(int(show.state().PictureCount), 1000);
    }
}

void PrefetchTest::aViewerResizedDuringTheWaitGetsThePictureAtItsNewSize()
{
    TestFiles::writePicture(path(QStringLiteral("A.JPG")), 1600, 1200, Qt::red, "JPEG");
    TestFiles::writePicture(path(QStringLiteral("B.JPG")), 1600, 1200, Qt::green, "JPEG");
    ShowFixture show;
    QSize decodedBefore;
    const auto resized = whenPrefetched(show, QStringLiteral("B.JPG"), [&] {
        LARK_M7 *viewer = show.viewer();
        decodedBefore = viewer->Image1->picture().size();
        viewer->showNormal();
        viewer->resize(viewer->width() / 2, viewer->height() / 2);
    });
    show.confirmShow(m_dir->path(), QStringLiteral("0.5"));
    QVERIFY(show.waitForShowEnd());
    QVERIFY(*resized);
    LARK_M7 *viewer = show.viewer();
    QCOMPARE(show.captions.size(), 2);
    // The second picture fits its smaller place exactly: decoded for it, not for the old one.
    const QImage shown = viewer->Image1->picture();
    QVERIFY(near(colourOf(shown), Qt::green));
    const QSize place = (QSizeF(viewer->Image1->size()) * viewer->devicePixelRatioF()).toSize();
    QVERIFY2(shown.width() <= place.width() && shown.height() <= place.height(),
             qPrintable(QStringLiteral("%1x%2 in %3x%4")
                            .arg(shown.width())
                            .arg(shown.height())
                            .arg(place.width())
                            .arg(place.height())));
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
    bool left = false;
    bool wasPrefetching = false;
    auto *watch = new QTimer(&show);
    watch->setInterval(1);
    connect(watch, &QTimer::timeout, watch, [&] {
        LARK_M7 *viewer = show.viewer();
        if (left || !viewer || viewer->pictureSource().pendingPath().isEmpty())
            return;
        watch->stop();
        first = viewer;
        wasPrefetching = true;
        QTest::mouseClick(viewer->Command3, Qt::LeftButton); // pause
        QTest::mouseClick(viewer->Command2, Qt::LeftButton); // leave
        left = true;
    });
    watch->start();
    show.confirmShow(m_dir->path(), QStringLiteral("5"));
    QTRY_VERIFY(left);
    QVERIFY(wasPrefetching);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 10000); // gone, its worker waited for
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
