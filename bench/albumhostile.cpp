// album-hostile: what hostile and heavy files do to the program, each figure against its target
// with PASS or FAIL.
//
//   album-hostile [--only 1,2,...] [--cases KEY,...] [--work DIR]
//
// It makes the files in a temporary folder (removed at the end; nothing is stored): two scan
// bombs (progressive JPEGs whose last refinement scan is repeated thousands of times), JPEG
// headers followed by 8 GB of zeros (sparse files: no disk is used), a picture that becomes a
// named pipe before its turn, heavy but valid pictures (a progressive 9000 x 9000 JPEG, a JPEG
// with 64 MB of APP segments, an 8000 x 8000 PNG), files that claim little and make a decoder
// produce much (HEIC grids whose tiles code far more than they state, of 19,600 tiles, of 198
// megapixels, and one slow enough to run out of its time; animated WebP canvases of 14000 x
// 14000 in 94 bytes, alone and four in a folder; a WebP header before 8 GB of zeros; a TIFF of
// deflated zeros), four WebP pictures of 14000 x 14000 in a folder, and a folder of 50,000
// pictures. Each is shown by the program's own code in a child process, drawn offscreen on a
// 1920 x 1080 screen:
//   1. "F I N E" during each file's turn: the child clicks it at a moment of the turn from a
//      thread of its own, as a user would, and this process times the child's exit on the same
//      monotonic clock;
//   2. the window thread's longest block: a 2 ms precise timer in the window's thread whose
//      lateness is recorded from CONFERMA to the end of the file's turn;
//   3. how soon a refused file gets its message, the peak memory, and how many bytes the program
//      read at its turn (/proc/self/io) against what its picture needs;
//   4. the memory of the pictures with the viewer asked to be 32767 x 32767 against a
//      full-screen one, and that viewer's window thread, peak memory and "F I N E";
//   5. the viewer closed 300 ms into each new file's turn, as its frame closes it, until it has
//      gone, then CONFERMA on two good pictures until the first is shown;
//   6. large valid pictures of every format (100 to 200 megapixels, made once and kept in the
//      temporary folder), each alone in a show with a busy process on every core and with the
//      program on one core beside a busy process: each must be shown, never refused; then a
//      cyclic show of them all at delay 0 on the busy machine, and the viewer closed during
//      their decodes, which must bring no message.
#include "benchsupport.h"
#include "watchedalbum.h"
#include "support/heiffiles.h"

#include "app/albumapplication.h"
#include "music/qtmediaplayer.h"
#include "desktop/platformservices.h"
#include "desktop/qtplatformservices.h"
#include "desktop/showclock.h"
#include "setup/setupwindow.h"
#include "viewer/imagecontrol.h"
#include "viewer/picturebox.h"
#include "pictures/picturesource.h"
#include "viewer/viewerwindow.h"

#include <QApplication>
#include <QBackingStore>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Bench;

namespace {

// Targets.
constexpr double MaxFineMs = 100;
constexpr double MaxBlockMs = 50;
constexpr double MaxRefusalMs = 1000;
constexpr double MaxPeakMb = 1200;
constexpr double MaxLeaveMs = 1000;   // closing the viewer during a decode, to the viewer gone
constexpr double MaxConfirmMs = 1000; // then CONFERMA on good pictures, to the first one shown
constexpr qint64 MaxReadBeyond = 64LL << 20; // bytes beyond what the picture needs

constexpr int ScreenWidth = 1920;
constexpr int ScreenHeight = 1080;
constexpr int PingMs = 2;
constexpr int FolderFiles = 50000;
constexpr int FolderPictures = 20; // pictures of the big folder's show followed
constexpr double PipeDelay = 1.0;  // seconds the picture before the pipe is shown
constexpr int CycleSeconds = 60;   // the cyclic show of one format's large pictures
constexpr char LargeFolder[] = "album-hostile-large-v1"; // the large pictures, kept

// ---------------------------------------------------------------------------------------------
// The files.

// A picture with some grain, so that it costs to decode what a photo costs.
QImage photoLike(int width, int height, bool grain)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            int noise = 0;
            if (grain) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                noise = int(state & 31) - 16;
            }
            line[x] = qRgb(std::clamp(x * 255 / width + noise, 0, 255),
                           std::clamp(y * 255 / height + noise, 0, 255),
                           std::clamp(128 + (x + y) % 64 + noise, 0, 255));
        }
    }
    return image;
}

QByteArray encode(const QImage &image, const char *format, bool progressive, int quality = 85)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    writer.setQuality(quality);
    if (QByteArray(format) == "png")
        writer.setCompression(10); // quick to write; the decode is the same work
    if (!writer.write(image))
        qFatal("cannot encode a %s picture", format);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A progressive JPEG of one flat colour whose last scan (a refinement of the brightness) is
// repeated: each repeat costs the decoder a pass over the whole picture in a few bytes.
QByteArray scanBomb(int size, int repeats)
{
    QImage flat(size, size, QImage::Format_RGB32);
    flat.fill(QColor(90, 120, 150));
    const QByteArray jpeg = encode(flat, "jpeg", true);
    const qsizetype lastScan = jpeg.lastIndexOf("\xFF\xDA");
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    return jpeg.left(lastScan) + jpeg.mid(lastScan, end - lastScan).repeated(repeats) +
           jpeg.mid(end);
}

// A JPEG's header up to its first scan's header, with the scan's data left out.
QByteArray jpegHeader(const QByteArray &jpeg)
{
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const int length = (quint8(jpeg[scan + 2]) << 8) | quint8(jpeg[scan + 3]);
    return jpeg.left(scan + 2 + length);
}

// A JPEG with 64 MB of APP1 segments before its frame: empty EXIF blocks, 64 kB each.
QByteArray withMetadata(const QByteArray &jpeg, qint64 bytes)
{
    QByteArray segment("\xFF\xE1\xFF\xFF", 4); // APP1 of 65535 - 2 bytes
    segment += QByteArray("Exif\0\0II*\0\x08\0\0\0\0\0", 16);
    segment += QByteArray(65535 + 2 - segment.size(), '\0');
    QByteArray result = jpeg.left(2);
    while (result.size() < bytes)
        result += segment;
    return result + jpeg.mid(2);
}

// A little-endian TIFF of width x height black RGB pixels in strips of rows (all of them in one
// when 0), deflated: about a thousandth of its picture's size.
QByteArray tiffBomb(quint32 width, quint32 height, quint32 rows = 0)
{
    if (rows == 0 || rows > height)
        rows = height;
    const quint32 strips = (height + rows - 1) / rows;
    const auto deflated = [width](quint32 lines) {
        return qCompress(QByteArray(qsizetype(width) * lines * 3, '\0'), 9).mid(4);
    };
    const QByteArray full = deflated(rows);
    const QByteArray last = height % rows ? deflated(height % rows) : full;
    QByteArray out("II*\0", 4);
    const auto put = [&out](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char(value >> (8 * i) & 0xFF));
    };
    put(8, 4);
    const int entries = 10;
    // After the directory: the bits per sample, the strips' offsets and lengths, the strips.
    const quint32 bitsAt = 8 + 2 + entries * 12 + 4, offsetsAt = bitsAt + 6;
    const quint32 lengthsAt = offsetsAt + 4 * strips, dataAt = lengthsAt + 4 * strips;
    put(entries, 2);
    const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        put(tag, 2);
        put(type, 2);
        put(count, 4);
        put(value, 4);
    };
    entry(256, 4, 1, width);
    entry(257, 4, 1, height);
    entry(258, 3, 3, bitsAt);
    entry(259, 3, 1, 8); // deflate
    entry(262, 3, 1, 2); // RGB
    entry(273, 4, strips, strips == 1 ? dataAt : offsetsAt);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, rows);
    entry(279, 4, strips, strips == 1 ? quint32(full.size()) : lengthsAt);
    entry(284, 3, 1, 1);
    put(0, 4);
    for (int i = 0; i < 3; ++i)
        put(8, 2);
    quint32 at = dataAt;
    for (quint32 strip = 0; strip < strips; ++strip) {
        put(at, 4);
        at += quint32((strip + 1 == strips ? last : full).size());
    }
    for (quint32 strip = 0; strip < strips; ++strip)
        put(quint32((strip + 1 == strips ? last : full).size()), 4);
    for (quint32 strip = 0; strip < strips; ++strip)
        out += strip + 1 == strips ? last : full;
    return out;
}

// An animated WebP whose canvas is width x height, with one frame of a single pixel: a file of
// a hundred bytes. riffBytes, when given, is what its header says the file's length is.
QByteArray animatedWebp(quint32 width, quint32 height, quint32 riffBytes = 0)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    const QByteArray single = encode(pixel, "webp", false, 100); // lossless
    const qsizetype at = single.indexOf("VP8L");
    const QByteArray frame =
        single.mid(at, 8 + qFromLittleEndian<quint32>(single.constData() + at + 4));
    const auto le = [](quint32 value, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out.append(char(value >> (8 * i) & 0xFF));
        return out;
    };
    const auto chunk = [&le](const char *type, const QByteArray &data) {
        return QByteArray(type, 4) + le(quint32(data.size()), 4) + data +
               (data.size() % 2 ? QByteArray(1, '\0') : QByteArray());
    };
    const QByteArray body =
        "WEBP" +
        chunk("VP8X", QByteArray(1, char(0x12)) + QByteArray(3, '\0') + le(width - 1, 3) +
                          le(height - 1, 3)) +
        chunk("ANIM", QByteArray(6, '\0')) +
        chunk("ANMF", QByteArray(12, '\0') + le(100, 3) + QByteArray(1, '\0') + frame);
    return "RIFF" + le(riffBytes ? riffBytes : quint32(body.size()), 4) + body;
}

// A HEIF grid of rows x columns tiles of tileSize, each stating stated.
QByteArray heifGrid(QSize tileSize, int rows, int columns, QSize stated, bool grain)
{
    return TestFiles::heifGrid(
        TestFiles::encodeHeif(photoLike(tileSize.width(), tileSize.height(), grain)), rows, columns,
        stated);
}

// One hostile or heavy file, shown alone in a folder of its own.
struct Case
{
    QString key;    // the name in the report
    QString what;   // what it is
    QString folder; // its folder
    QString name;   // the picture's file name
    QString extension;
    qint64 needed = 0;    // bytes its picture needs: the file, or the header of a header alone
    bool refused = false; // the program must refuse it with the message
    bool pipe = false;    // becomes a pipe before its turn
    bool heavy = false;   // a valid picture, slow to decode
    double delay = 0;
    double refusalMs = MaxRefusalMs; // how soon it must be refused
    bool leave = false;              // the viewer is also closed during its turn
};

// Makes every file in dir; returns the cases.
QList<Case> makeCases(const QDir &dir)
{
    QList<Case> cases;
    auto add = [&](Case c, const QByteArray &bytes) {
        c.folder = dir.filePath(c.key);
        QDir().mkpath(c.folder);
        const QString path = c.folder + u'/' + c.name;
        if (!bytes.isNull() && !writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        if (c.needed == 0)
            c.needed = QFileInfo(path).size();
        cases << c;
        std::printf("  %-10s %s (%.1f MB)\n", qPrintable(c.key), qPrintable(c.what),
                    double(QFileInfo(path).size()) / 1048576.0);
        std::fflush(stdout);
    };
    std::printf("making the files in %s ...\n", qPrintable(dir.path()));

    // Progressive JPEGs whose last scan stands again many times.
    for (const auto &[size, repeats] : {std::pair{2048, 20000}, std::pair{8000, 3000}})
        add({QStringLiteral("bomb%1").arg(size),
             QStringLiteral("progressive %1x%1 JPEG, last scan repeated %2 times")
                 .arg(size)
                 .arg(QLocale(QLocale::English).toString(repeats)),
             {},
             QStringLiteral("B.JPG"),
             QStringLiteral("JPG"),
             0,
             true},
            scanBomb(size, repeats));
    // Headers of a small and of a camera-sized picture, each followed by 8 GB of zeros.
    for (const QSize size : {QSize(2048, 2048), QSize(6000, 4000)}) {
        const QByteArray header =
            jpegHeader(encode(photoLike(size.width(), size.height(), false), "jpeg", false));
        Case c{QStringLiteral("zeros%1").arg(size.width()),
               QStringLiteral("%1x%2 JPEG header, then 8 GB of zeros (sparse)")
                   .arg(size.width())
                   .arg(size.height()),
               {},
               QStringLiteral("Z.JPG"),
               QStringLiteral("JPG"),
               header.size(),
               true};
        add(c, header);
        if (!QFile(cases.last().folder + QStringLiteral("/Z.JPG"))
                 .resize(header.size() + (8LL << 30)))
            qFatal("cannot make the sparse file");
    }
    {
        // A picture shown for a second, then the next one, which is a pipe by its turn.
        Case c{QStringLiteral("pipe"),
               QStringLiteral("a picture replaced by a named pipe before its turn"),
               {},
               QStringLiteral("B.JPG"),
               QStringLiteral("JPG"),
               0,
               false,
               true};
        c.delay = PipeDelay;
        const QByteArray picture = encode(photoLike(1200, 800, true), "jpeg", false);
        c.needed = 0;
        add(c, picture);
        writeFile(cases.last().folder + QStringLiteral("/A.JPG"), picture);
        cases.last().needed = 0; // nothing of a pipe is read
    }
    add({QStringLiteral("prog9000"),
         QStringLiteral("progressive 9000x9000 JPEG, grain"),
         {},
         QStringLiteral("P.JPG"),
         QStringLiteral("JPG"),
         0,
         false,
         false,
         true},
        encode(photoLike(9000, 9000, true), "jpeg", true));
    add({QStringLiteral("exif64"),
         QStringLiteral("6000x4000 JPEG after 64 MB of APP1 segments"),
         {},
         QStringLiteral("E.JPG"),
         QStringLiteral("JPG"),
         0,
         false,
         false,
         true},
        withMetadata(encode(photoLike(6000, 4000, true), "jpeg", false), 64LL << 20));
    add({QStringLiteral("png8000"),
         QStringLiteral("8000x8000 PNG"),
         {},
         QStringLiteral("G.PNG"),
         QStringLiteral("PNG"),
         0,
         false,
         false,
         true},
        encode(photoLike(8000, 8000, false), "png", false));

    // Files that claim little and make the decoders produce much, each in a format of its own.
    const auto hostile = [&](const QString &key, const QString &what, const QString &name,
                             const QByteArray &bytes, bool refused = true) {
        Case c{key, what, {}, name, QFileInfo(name).suffix()};
        c.refused = refused;
        c.heavy = !refused;
        c.leave = true;
        add(c, bytes);
        return cases.size() - 1;
    };
    hostile(QStringLiteral("tiles4096"),
            QStringLiteral("HEIC grid of 3,025 tiles stating 256x256, each coded 4096x4096"),
            QStringLiteral("T.HEIC"), heifGrid({4096, 4096}, 55, 55, {256, 256}, false));
    hostile(QStringLiteral("tiles19600"), QStringLiteral("HEIC grid of 19,600 tiles of 64x64"),
            QStringLiteral("T.HEIC"), heifGrid({64, 64}, 140, 140, {64, 64}, false));
    hostile(QStringLiteral("grid198mp"),
            QStringLiteral("HEIC grid of 198 MP, 3,025 tiles of 256x256"), QStringLiteral("T.HEIC"),
            heifGrid({256, 256}, 55, 55, {256, 256}, false));
    {
        // Within every bound, and slow: 1,225 tiles of 256x256 with grain, 80 MP. It takes the
        // time such a picture takes, and is shown.
        const QByteArray grid = heifGrid({256, 256}, 35, 35, {256, 256}, true);
        const qsizetype slow = hostile(QStringLiteral("gridslow"),
                                       QStringLiteral("HEIC grid of 80 MP, 1,225 tiles with grain"),
                                       QStringLiteral("T.HEIC"), grid, /*refused*/ false);
        // Its tiles share one coded picture, which libheif reads for each tile, and half as
        // much again (measured: 202 MB for 1,225 tiles of a 107 KB file).
        cases[slow].needed = 35 * 35 * grid.size() * 3 / 2;
    }
    hostile(QStringLiteral("webpcanvas"),
            QStringLiteral("animated WebP of 94 bytes, a 14000x14000 canvas"),
            QStringLiteral("W.WEBP"), animatedWebp(14000, 14000));
    {
        const QByteArray header = animatedWebp(14000, 14000, 0xFFFFFFF0u);
        const qsizetype sparse =
            hostile(QStringLiteral("webpsparse"),
                    QStringLiteral("animated WebP header, then 8 GB of zeros (sparse)"),
                    QStringLiteral("W.WEBP"), header);
        cases[sparse].needed = header.size();
        if (!QFile(cases[sparse].folder + QStringLiteral("/W.WEBP")).resize(8LL << 30))
            qFatal("cannot make the sparse file");
    }
    hostile(QStringLiteral("tiffbomb"),
            QStringLiteral("TIFF of 14000x14000 deflated zeros in one strip"),
            QStringLiteral("T.TIF"), tiffBomb(14000, 14000));
    {
        // Four at once, decoded ahead of their turns: the first is refused, the others wait.
        const QByteArray bomb = animatedWebp(14000, 14000);
        const qsizetype four = hostile(QStringLiteral("fourbombs"),
                                       QStringLiteral("four animated WebP canvases in one folder"),
                                       QStringLiteral("A.WEBP"), bomb);
        for (const char *name : {"/B.WEBP", "/C.WEBP", "/D.WEBP"})
            writeFile(cases[four].folder + QLatin1String(name), bomb);
    }
    {
        // Four pictures of 196 MP that are read whole, 784 MB each: they take their turns.
        const QByteArray tiff = tiffBomb(14000, 14000, 64);
        const qsizetype four =
            hostile(QStringLiteral("fourtiff"),
                    QStringLiteral("four TIFFs of 14000x14000 in strips, read whole"),
                    QStringLiteral("A.TIF"), tiff, /*refused*/ false);
        for (const char *name : {"/B.TIF", "/C.TIF", "/D.TIF"})
            writeFile(cases[four].folder + QLatin1String(name), tiff);
        cases[four].needed = 4 * tiff.size();
    }
    {
        // Four real pictures of 196 MP each, 784 MB each decoded: they take their turns.
        QImage black(14000, 14000, QImage::Format_RGB32);
        black.fill(Qt::black);
        const QByteArray still = encode(black, "webp", false, 80);
        black = QImage();
        const qsizetype four = hostile(QStringLiteral("fourlarge"),
                                       QStringLiteral("four WebP pictures of 14000x14000"),
                                       QStringLiteral("A.WEBP"), still, /*refused*/ false);
        for (const char *name : {"/B.WEBP", "/C.WEBP", "/D.WEBP"})
            writeFile(cases[four].folder + QLatin1String(name), still);
        cases[four].needed = 4 * still.size();
    }
    return cases;
}

// Large valid pictures of every format, as cameras, phones and scanners make them, each in a
// folder of its own under cache; made once, since encoding them takes minutes.
QList<Case> makeLargeCases(const QDir &cache)
{
    QList<Case> cases;
    const auto add = [&](const QString &key, const QString &what, const QString &name,
                         const std::function<QByteArray()> &make) {
        Case c{key, what, cache.filePath(key), name, QFileInfo(name).suffix()};
        c.heavy = true;
        c.leave = true;
        const QString path = c.folder + u'/' + name;
        if (!QFileInfo::exists(path)) {
            std::printf("  making %s ...\n", qPrintable(what));
            std::fflush(stdout);
            QDir().mkpath(c.folder);
            if (!writeFile(path + QStringLiteral(".part"), make()) ||
                !QFile::rename(path + QStringLiteral(".part"), path))
                qFatal("cannot write %s", qPrintable(path));
        }
        c.needed = QFileInfo(path).size();
        cases << c;
    };
    const auto tiles = [](int columns, int rows) {
        return TestFiles::heifGrid(TestFiles::encodeHeif(photoLike(512, 512, true)), rows, columns,
                                   {512, 512});
    };
    add(QStringLiteral("png108"), QStringLiteral("PNG of 12000x9000, 8-bit colour"),
        QStringLiteral("L.PNG"), [] { return encode(photoLike(12000, 9000, true), "png", false); });
    add(QStringLiteral("png16"), QStringLiteral("PNG of 10000x6000, 16-bit grey"),
        QStringLiteral("L.PNG"), [] {
            return encode(photoLike(10000, 6000, true).convertToFormat(QImage::Format_Grayscale16),
                          "png", false);
        });
    add(QStringLiteral("tiff108"), QStringLiteral("TIFF of 12000x9000, LZW"),
        QStringLiteral("L.TIF"),
        [] { return encode(photoLike(12000, 9000, true), "tiff", false); });
    add(QStringLiteral("prog150"), QStringLiteral("progressive JPEG of 15000x10000"),
        QStringLiteral("L.JPG"),
        [] { return encode(photoLike(15000, 10000, true), "jpeg", true); });
    add(QStringLiteral("jpeg200"), QStringLiteral("JPEG of 16000x12500"), QStringLiteral("L.JPG"),
        [] { return encode(photoLike(16000, 12500, true), "jpeg", false); });
    add(QStringLiteral("heic50"), QStringLiteral("HEIC of 8192x6144 in 512x512 tiles, as a phone"),
        QStringLiteral("L.HEIC"), [&] { return tiles(16, 12); });
    add(QStringLiteral("heic92"), QStringLiteral("HEIC of 11264x8192 in 512x512 tiles"),
        QStringLiteral("L.HEIC"), [&] { return tiles(22, 16); });
    add(QStringLiteral("heic113"), QStringLiteral("HEIC of 12288x9216 in 512x512 tiles"),
        QStringLiteral("L.HEIC"), [&] { return tiles(24, 18); });
    add(QStringLiteral("webp108"), QStringLiteral("WebP of 12000x9000"), QStringLiteral("L.WEBP"),
        [] { return encode(photoLike(12000, 9000, true), "webp", false, 80); });
    return cases;
}

// Processes that keep cores busy while they live: count of them, all on core when it is not
// -1.
class BusyProcesses
{
public:
    BusyProcesses(int count, int core = -1)
    {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                if (core >= 0) {
                    cpu_set_t set;
                    CPU_ZERO(&set);
                    CPU_SET(core, &set);
                    ::sched_setaffinity(0, sizeof set, &set);
                }
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                m_pids << pid;
        }
    }
    ~BusyProcesses()
    {
        for (const pid_t pid : std::as_const(m_pids)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

private:
    QList<pid_t> m_pids;
};

// A folder of count pictures: links to one small JPEG.
QString makeBigFolder(const QDir &dir, int count)
{
    const QString folder = dir.filePath(QStringLiteral("folder50k"));
    QDir().mkpath(folder);
    const QString first = folder + QStringLiteral("/F00001.JPG");
    writeFile(first, encode(photoLike(640, 480, true), "jpeg", false));
    for (int i = 2; i <= count; ++i) {
        const QString name = folder + QStringLiteral("/F%1.JPG").arg(i, 5, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(first).constData(), QFile::encodeName(name).constData()) != 0)
            qFatal("cannot link %s", qPrintable(name));
    }
    return folder;
}

// ---------------------------------------------------------------------------------------------
// The child: the program's code showing one folder.

// Desktop services that note the messages instead of opening a modal box.
class NotingServices : public QtPlatformServices
{
public:
    void showMessage(QWidget *, const QString &text) override
    {
        if (messageNs < 0)
            messageNs = nowNs();
        message = text;
        ++messages;
    }
    qint64 messageNs = -1;
    QString message;
    int messages = 0;
};

// The window thread's responsiveness: a precise timer every PingMs; the longest gap between two
// of its ticks, less the interval, is the longest time the thread served no events.
class Ping : public QObject
{
public:
    explicit Ping(QObject *parent) : QObject(parent)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(PingMs);
        connect(&m_timer, &QTimer::timeout, this, &Ping::tick);
    }
    void start()
    {
        m_last = nowNs();
        m_longest = 0;
        m_timer.start();
    }
    void tick()
    {
        const qint64 now = nowNs();
        m_longest = std::max(m_longest, now - m_last - qint64(PingMs) * 1000000);
        m_last = now;
    }
    // The longest block so far, the one still going on included, ms.
    double longestMs()
    {
        tick();
        return ms(m_longest);
    }

private:
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// The machine's own scheduling delay over the same time: a thread of its own that sleeps
// PingMs at a time. A block of the window thread no longer than this one's is the machine's
// (other work on its cores), not the program's.
class MachinePing
{
public:
    MachinePing()
    {
        m_thread = std::thread([this] {
            qint64 last = nowNs();
            while (!m_quit) {
                std::this_thread::sleep_for(std::chrono::milliseconds(PingMs));
                const qint64 now = nowNs();
                m_longest = std::max<qint64>(m_longest, now - last - qint64(PingMs) * 1000000);
                last = now;
            }
        });
    }
    ~MachinePing()
    {
        m_quit = true;
        m_thread.join();
    }
    void restart() { m_longest = 0; }
    double longestMs() const { return ms(m_longest); }

private:
    std::thread m_thread;
    std::atomic<bool> m_quit{false};
    std::atomic<qint64> m_longest{0};
};

struct Probe
{
    WatchedAlbum *watched = nullptr;
    QString hostileName; // the file whose turn is measured
    int pictures = 0;    // pictures in the image control
    std::atomic<qint64> attackNs{-1};
    qint64 readyNs = -1;
    ReadCounters readAtAttack; // at CONFERMA, or for a pipe when it took the file's place
    std::function<void(int picture)> onReady;

    LARK_M7 *viewer() const { return watched->album.viewerIfLoaded(); }
    void titleChanged()
    {
        if (attackNs < 0 && viewer()->windowTitle().endsWith(u'/' + hostileName))
            attackNs = watched->clock.lastReadNs();
    }
    void imageShown()
    {
        // The image control is shown with the window too, before any picture.
        if (!viewer()->windowTitle().startsWith(QStringLiteral("IMMAGINE  ")))
            return;
        ++pictures;
        if (attackNs >= 0 && readyNs < 0)
            readyNs = nowNs();
        if (onReady)
            onReady(pictures);
    }
};

Probe *g_probe = nullptr;

// The child's part: kind is "show" (measure the turn), "fine" (click F I N E at moment ms into
// the turn), "folder" (a show of a big folder) or "viewer" (picture memory with the viewer at
// full screen, or at 32767 x 32767 when huge).
int childMain(const QStringList &args)
{
    const QString kind = args.value(0);
    const QString folder = args.value(1);
    const QString extension = args.value(2);
    const QString hostile = args.value(3);
    const double delay = args.value(4).toDouble();
    const int moment = args.value(5).toInt();
    const bool pipe = args.value(6) == QStringLiteral("pipe");
    const QString good = args.value(7); // good pictures, confirmed after leaving

    NotingServices notingServices;
    QtPlatformServices realServices;
    PlatformServices &services = kind == QStringLiteral("fine")
                                     ? static_cast<PlatformServices &>(realServices)
                                     : notingServices;
    WatchedAlbum watched(services);
    AlbumApplication &album = watched.album;
    Probe probe;
    probe.watched = &watched;
    probe.hostileName = hostile;
    g_probe = &probe;
    album.start();
    runEventsFor(300);
    LARK_M1 &setup = album.setupWindow();
    auto *ping = new Ping(&setup);
    MachinePing machine;

    // The picture before a pipe is shown for a while; the pipe takes the next one's place then,
    // and its turn comes when that while is over.
    if (pipe) {
        probe.onReady = [&](int picture) {
            if (picture != 1)
                return;
            const QByteArray path = QFile::encodeName(folder + u'/' + hostile);
            ::unlink(path.constData());
            if (::mkfifo(path.constData(), 0600) != 0)
                std::_Exit(5);
            probe.readAtAttack = readCounters();
            probe.attackNs = watched.clock.lastReadNs() + qint64(delay * 1e9);
        };
    }
    // The picture memory: the viewer is made 32767 x 32767 after the first picture.
    QList<QPair<QString, QString>> out;
    if (kind == QStringLiteral("viewer") || args.value(6) == QStringLiteral("huge")) {
        probe.onReady = [&](int picture) {
            LARK_M7 *viewer = probe.viewer();
            if (picture == 1 && args.value(6) == QStringLiteral("huge")) {
                QTimer::singleShot(0, viewer, [viewer] {
                    viewer->showNormal();
                    viewer->resize(32767, 32767);
                });
            }
        };
    }

    // F I N E from a thread of its own at moment ms into the turn, as a user's click: it
    // reaches the window when the window's thread serves its events.
    std::atomic<bool> quitWatch{false};
    std::thread clicker;
    if (kind == QStringLiteral("fine")) {
        clicker = std::thread([&] {
            while (probe.attackNs < 0 && !quitWatch)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (quitWatch)
                return;
            const qint64 at = probe.attackNs + qint64(moment) * 1000000;
            while (nowNs() < at)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            const qint64 clickNs = nowNs();
            // Said before the click: the click ends the process.
            printValues({{QStringLiteral("click"), QString::number(clickNs)}});
            QMetaObject::invokeMethod(
                &setup,
                [&setup, clickNs] {
                    printValues({{QStringLiteral("delivered"), number(ms(nowNs() - clickNs), 2)},
                                 {QStringLiteral("modal"),
                                  QString::number(QApplication::activeModalWidget() ? 1 : 0)}});
                    QTest::mouseClick(setup.Command3, Qt::LeftButton);
                    printValues({{QStringLiteral("clickreturned"), QStringLiteral("1")}});
                },
                Qt::QueuedConnection);
        });
    }

    setup.Text1->setText(QDir::toNativeSeparators(folder) + QLatin1Char('/'));
    setup.Text2->setText(QString::number(delay, 'f', 3));
    setup.Text3->setText(extension);
    setup.Check1->setChecked(kind == QStringLiteral("cycle"));
    // The file alone in its folder is read from here on: its decode may start as the viewer
    // opens, before its turn.
    if (!pipe)
        probe.readAtAttack = readCounters();
    const qint64 confirmedNs = nowNs();
    ping->start();
    machine.restart();
    setup.Command2->click();
    LARK_M7 *viewer = album.viewerIfLoaded();
    if (!viewer)
        return 3;
    QEventLoop untilEnd;
    bool ended = false;
    QObject::connect(viewer, &LARK_M7::loopRunning, &untilEnd, [&](bool running) {
        if (!running) {
            ended = true;
            untilEnd.quit();
        }
    });
    // The big folder's show is followed for its first pictures, then the process ends.
    if (kind == QStringLiteral("folder")) {
        probe.onReady = [&](int picture) {
            if (picture < FolderPictures)
                return;
            printValues(
                {{QStringLiteral("pictures"), QString::number(picture)},
                 {QStringLiteral("block"), number(ping->longestMs(), 2)},
                 {QStringLiteral("machine"), number(machine.longestMs(), 2)},
                 {QStringLiteral("confirm_to_end_ms"), number(ms(nowNs() - confirmedNs), 1)}});
            std::_Exit(0);
        };
    }
    // The viewer closed moment ms into the file's turn, as its frame closes it; once it has
    // gone, CONFERMA on good pictures, timed to the first of them on screen.
    if (kind == QStringLiteral("leave")) {
        std::atomic<qint64> closeNs{-1};
        qint64 leftNs = -1, goodConfirmedNs = -1, goodShownNs = -1;
        QEventLoop untilGood;
        probe.onReady = [&](int) {
            if (goodConfirmedNs >= 0 &&
                probe.viewer()->windowTitle().startsWith(QStringLiteral("IMMAGINE  ") + good)) {
                goodShownNs = nowNs();
                untilGood.quit();
            }
        };
        QObject::connect(viewer, &LARK_M7::left, &setup, [&] {
            leftNs = nowNs();
            QTimer::singleShot(0, &setup, [&] {
                setup.Text1->setText(good);
                setup.Text3->setText(QStringLiteral("JPG"));
                goodConfirmedNs = nowNs();
                setup.Command2->click();
            });
        });
        std::thread closer([&] {
            while (probe.attackNs < 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            const qint64 at = probe.attackNs + qint64(moment) * 1000000;
            while (nowNs() < at)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            closeNs = nowNs();
            QMetaObject::invokeMethod(
                viewer, [viewer] { viewer->close(); }, Qt::QueuedConnection);
        });
        QTimer::singleShot(std::chrono::minutes(1), &untilGood, &QEventLoop::quit);
        untilGood.exec();
        closer.join();
        printValues(
            {{QStringLiteral("leave_ms"), number(leftNs > 0 ? ms(leftNs - closeNs) : -1, 1)},
             {QStringLiteral("confirm_ms"),
              number(goodShownNs > 0 ? ms(goodShownNs - goodConfirmedNs) : -1, 1)},
             {QStringLiteral("message"), QString::number(notingServices.messageNs >= 0)},
             {QStringLiteral("block"), number(ping->longestMs(), 2)},
             {QStringLiteral("peak_mb"), number(peakResidentMb(), 1)}});
        std::_Exit(0);
    }
    // A cyclic show runs for moment seconds, or until a message ends it; the show runs inside
    // the events served, so the end is told from there.
    if (kind == QStringLiteral("cycle")) {
        const auto report = [&] {
            printValues({{QStringLiteral("pictures"), QString::number(probe.pictures)},
                         {QStringLiteral("messages"), QString::number(notingServices.messages)},
                         {QStringLiteral("message"),
                          notingServices.message.simplified().replace(u' ', u'_')},
                         {QStringLiteral("peak_mb"), number(peakResidentMb(), 1)}});
            std::_Exit(0);
        };
        QTimer::singleShot(std::chrono::seconds(moment), &setup, report);
        untilEnd.exec();
        report();
    }
    QTimer::singleShot(std::chrono::minutes(3), &untilEnd, &QEventLoop::quit); // a hang
    untilEnd.exec();
    const qint64 endNs = nowNs();
    const ReadCounters readAtEnd = readCounters();
    const double longest = ping->longestMs();
    quitWatch = true;
    if (clicker.joinable()) {
        // F I N E ends the process in the click; getting here means it did not.
        runEventsFor(2000);
        printValues({{QStringLiteral("survived"), QStringLiteral("1")}});
        clicker.join();
        std::_Exit(6);
    }

    const qint64 attack = probe.attackNs;
    out << QPair{QStringLiteral("ended"), QString::number(ended ? 1 : 0)}
        << QPair{QStringLiteral("pictures"), QString::number(probe.pictures)}
        << QPair{QStringLiteral("block"), number(longest, 2)}
        << QPair{QStringLiteral("machine"), number(machine.longestMs(), 2)};
    if (attack >= 0) {
        const qint64 outcomeNs = notingServices.messageNs >= 0 ? notingServices.messageNs
                                 : probe.readyNs >= 0          ? probe.readyNs
                                                               : endNs;
        const QString outcome = notingServices.messageNs >= 0 ? QStringLiteral("message")
                                : probe.readyNs >= 0          ? QStringLiteral("shown")
                                                              : QStringLiteral("stopped");
        out << QPair{QStringLiteral("outcome"), outcome}
            << QPair{QStringLiteral("outcome_ms"), number(ms(outcomeNs - attack), 1)}
            << QPair{QStringLiteral("rchar"),
                     QString::number(readAtEnd.rchar - probe.readAtAttack.rchar)}
            << QPair{QStringLiteral("read_bytes"),
                     QString::number(readAtEnd.readBytes - probe.readAtAttack.readBytes)};
    }
    out << QPair{QStringLiteral("confirm_to_end_ms"), number(ms(endNs - confirmedNs), 1)}
        << QPair{QStringLiteral("peak_mb"), number(peakResidentMb(), 1)}
        << QPair{QStringLiteral("cpu_s"), number(processCpuSeconds(), 2)};
    if (kind == QStringLiteral("viewer")) {
        runEventsFor(300); // the last picture painted into the window's buffer
        const QImage decoded = viewer->Picture1->picture();
        const QImage shown = viewer->Image1->picture();
        qint64 buffer = 0;
        if (QBackingStore *store = viewer->backingStore()) {
            if (auto *image = dynamic_cast<QImage *>(store->paintDevice()))
                buffer = image->sizeInBytes();
        }
        out << QPair{QStringLiteral("window"),
                     QStringLiteral("%1x%2").arg(viewer->width()).arg(viewer->height())}
            << QPair{QStringLiteral("block"), number(longest, 2)}
            << QPair{QStringLiteral("picture"),
                     QStringLiteral("%1x%2").arg(decoded.width()).arg(decoded.height())}
            // The box's picture, the image control's copy and its pixmap.
            << QPair{QStringLiteral("picture_bytes"),
                     QString::number(decoded.sizeInBytes() + 2 * shown.sizeInBytes())}
            << QPair{QStringLiteral("buffer_mb"), number(double(buffer) / 1048576.0, 1)}
            << QPair{QStringLiteral("rss_mb"), number(residentMb(), 1)}
            << QPair{QStringLiteral("peak_mb"), number(peakResidentMb(), 1)};
    }
    printValues(out);
    std::_Exit(0);
}

// ---------------------------------------------------------------------------------------------
// The parent.

ChildResult child(const QStringList &args, const QStringList &environment = {})
{
    return runChild(QCoreApplication::applicationFilePath(),
                    QStringList{QStringLiteral("--child")} + args, environment, 240000);
}

QStringList caseArgs(const QString &kind, const Case &c, int moment = 0, const QString &good = {})
{
    return {kind,
            c.folder,
            c.extension,
            c.name,
            QString::number(c.delay),
            QString::number(moment),
            c.pipe ? QStringLiteral("pipe") : QStringLiteral("-"),
            good};
}

QString megabytes(qint64 bytes)
{
    return number(double(bytes) / 1048576.0, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    PictureSource::keepPictureMemory(); // as the program does
    const bool isChild = argc > 1 && QByteArray(argv[1]) == "--child";
    // A child on one core: every thread it starts stays there.
    if (const QByteArray core = qgetenv("ALBUM_HOSTILE_CORE"); isChild && !core.isEmpty()) {
        cpu_set_t set;
        CPU_ZERO(&set);
        CPU_SET(core.toInt(), &set);
        ::sched_setaffinity(0, sizeof set, &set);
    }
    if (!isChild) {
        useOffscreenScreen(ScreenWidth, ScreenHeight);
        qputenv("GST_PLUGIN_FEATURE_RANK", "jackaudiosink:NONE");
    }
    WatchedApplication app(argc, argv);
    app.before = [](QObject *receiver, QEvent::Type type) {
        Probe *probe = g_probe;
        LARK_M7 *viewer = probe ? probe->viewer() : nullptr;
        if (viewer && receiver == viewer && type == QEvent::WindowTitleChange)
            probe->titleChanged();
    };
    app.after = [](QObject *receiver, QEvent::Type type) {
        Probe *probe = g_probe;
        LARK_M7 *viewer = probe ? probe->viewer() : nullptr;
        if (viewer && receiver == viewer->Image1 && type == QEvent::Show)
            probe->imageShown();
    };
    QCoreApplication::setApplicationName(QStringLiteral("album"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (isChild)
        return childMain(args.mid(1));

    QList<int> only;
    QStringList keys; // the cases to run, all when empty
    QString work = QDir::tempPath();
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--only") && i + 1 < args.size()) {
            for (const QString &figure : args[++i].split(u','))
                only << figure.toInt();
        } else if (args[i] == QStringLiteral("--cases") && i + 1 < args.size()) {
            keys = args[++i].split(u',');
        } else if (args[i] == QStringLiteral("--work") && i + 1 < args.size()) {
            work = args[++i];
        } else {
            std::printf(
                "usage: album-hostile [--only 1,2,3,4,5,6] [--cases KEY,...] [--work DIR]\n");
            return 2;
        }
    }
    auto wanted = [&only](int figure) { return only.isEmpty() || only.contains(figure); };
    QTemporaryDir dir(work + QStringLiteral("/album-hostile-XXXXXX"));
    if (!dir.isValid())
        return 2;
    std::printf("Album's hostile files: %s, %d cores, Qt %s; windows offscreen, %dx%d screen\n",
                qPrintable(cpuModel()), int(sysconf(_SC_NPROCESSORS_ONLN)), qVersion(), ScreenWidth,
                ScreenHeight);
    std::printf("load average at start: %s\n", qPrintable(loadAverage()));
    // The large valid pictures alone need none of the hostile files.
    QList<Case> cases = only == QList<int>{6} ? QList<Case>() : makeCases(QDir(dir.path()));
    if (!keys.isEmpty())
        cases.removeIf([&keys](const Case &c) { return !keys.contains(c.key); });
    Report report;
    // Two good 4032 x 3024 JPEGs, confirmed after the viewer was closed; the folder, with its
    // closing separator.
    const auto goodPictures = [&dir] {
        const QString good = QDir(dir.path()).filePath(QStringLiteral("good"));
        if (!QFileInfo::exists(good)) {
            QDir().mkpath(good);
            for (const char *name : {"/G1.JPG", "/G2.JPG"})
                writeFile(good + QLatin1String(name),
                          encode(photoLike(4032, 3024, true), "jpeg", false));
        }
        return good + u'/';
    };

    // 2 and 3: each file's turn, measured.
    if (wanted(2) || wanted(3)) {
        QList<QStringList> lines;
        std::printf("\nload average: %s\n", qPrintable(loadAverage()));
        report.header();
        report.section(QStringLiteral("each file alone in a show (the turn: from its start to "
                                      "the message, the picture, or the quiet end)"));
        for (const Case &c : cases) {
            const ChildResult r = child(caseArgs(QStringLiteral("show"), c));
            const QString outcome = r.values.value(QStringLiteral("outcome"), QStringLiteral("?"));
            const double turnMs = r.value(QStringLiteral("outcome_ms"));
            const qint64 read = qint64(r.value(QStringLiteral("rchar")));
            const qint64 fromDisk = qint64(r.value(QStringLiteral("read_bytes")));
            const double block = r.value(QStringLiteral("block"));
            const QString head = c.key + QStringLiteral(": ");
            report.info(head + c.what, QString());
            if (!r.exited || r.exitCode != 0) {
                report.check(QStringLiteral("   the show ran"),
                             QStringLiteral("exit %1").arg(r.exitCode), QStringLiteral("0"), false,
                             r.errors.right(300));
                continue;
            }
            const QString expected = c.refused ? QStringLiteral("message")
                                     : c.pipe  ? QStringLiteral("stopped")
                                               : QStringLiteral("shown");
            report.check(QStringLiteral("   outcome"), outcome, expected, outcome == expected);
            if (c.refused)
                report.check(QStringLiteral("   turn start to the message (ms)"), number(turnMs, 1),
                             QStringLiteral("<= %1").arg(c.refusalMs), turnMs <= c.refusalMs);
            else
                report.info(
                    QStringLiteral("   turn start to the %1 (ms)")
                        .arg(c.pipe ? QStringLiteral("quiet end") : QStringLiteral("picture")),
                    number(turnMs, 1));
            if (wanted(2))
                report.check(QStringLiteral("   window thread's longest block (ms)"),
                             number(block, 1), QStringLiteral("<= %1").arg(MaxBlockMs),
                             block >= 0 && block <= MaxBlockMs,
                             QStringLiteral("a sleeping thread's, meanwhile: %1 ms")
                                 .arg(number(r.value(QStringLiteral("machine")), 1)));
            const double peak = r.value(QStringLiteral("peak_mb"));
            report.check(QStringLiteral("   peak resident size (MB)"), number(peak, 1),
                         QStringLiteral("< %1").arg(MaxPeakMb), peak > 0 && peak < MaxPeakMb);
            if (wanted(3)) {
                report.check(
                    QStringLiteral("   read for it, MB (needs %1)").arg(megabytes(c.needed)),
                    megabytes(read), QStringLiteral("<= +%1").arg(MaxReadBeyond >> 20),
                    read >= 0 && read - c.needed <= MaxReadBeyond,
                    QStringLiteral("from the disk: %1 MB").arg(megabytes(fromDisk)));
            }
        }
        if (wanted(2)) {
            const QString folder = makeBigFolder(QDir(dir.path()), FolderFiles);
            const ChildResult r = child({QStringLiteral("folder"), folder, QStringLiteral("JPG"),
                                         QStringLiteral("-"), QStringLiteral("0")});
            report.info(QStringLiteral("folder50k: a show of a folder of %1 pictures, its first 20")
                            .arg(FolderFiles),
                        QString());
            report.check(QStringLiteral("   window thread's longest block (ms)"),
                         number(r.value(QStringLiteral("block")), 1),
                         QStringLiteral("<= %1").arg(MaxBlockMs),
                         r.exitCode == 0 && r.value(QStringLiteral("pictures")) >= FolderPictures &&
                             r.value(QStringLiteral("block")) <= MaxBlockMs,
                         QStringLiteral("a sleeping thread's, meanwhile: %1 ms")
                             .arg(number(r.value(QStringLiteral("machine")), 1)));
            report.info(QStringLiteral("   CONFERMA to the 20th picture (ms)"),
                        number(r.value(QStringLiteral("confirm_to_end_ms")), 0));
        }
    }

    // 1: F I N E at three moments of every file's turn.
    if (wanted(1)) {
        report.section(QStringLiteral("F I N E clicked at a moment of the file's turn, the real "
                                      "services and player (load %1)")
                           .arg(loadAverage()));
        QList<double> all;
        for (const Case &c : cases) {
            QList<double> exits;
            QStringList notes;
            const QList<int> moments = c.pipe ? QList<int>{0, 5, 50} : QList<int>{0, 50, 300};
            bool ok = true;
            for (int moment : moments) {
                const ChildResult r = child(caseArgs(QStringLiteral("fine"), c, moment));
                const qint64 clickNs = qint64(r.value(QStringLiteral("click")));
                if (!r.exited || r.exitCode != 0 || clickNs <= 0) {
                    ok = false;
                    notes << QStringLiteral("%1 ms: exit %2 %3")
                                 .arg(moment)
                                 .arg(r.exitCode)
                                 .arg(r.output.simplified().left(80));
                    continue;
                }
                const double exitMs = ms(r.endedNs - clickNs);
                exits << exitMs;
                all << exitMs;
                notes << QStringLiteral("%1 ms in: %2%3")
                             .arg(moment)
                             .arg(number(exitMs, 1))
                             .arg(r.value(QStringLiteral("modal")) > 0 ? QStringLiteral(" (box up)")
                                                                       : QString());
            }
            const Spread spread = spreadOf(exits);
            report.check(c.key + QStringLiteral(": click to the exit, slowest (ms)"),
                         number(spread.max, 1), QStringLiteral("<= %1").arg(MaxFineMs),
                         ok && spread.max <= MaxFineMs, notes.join(QStringLiteral("; ")));
        }
    }

    // 5: leaving during each hostile file's turn, then a show of good pictures.
    if (wanted(5)) {
        report.section(QStringLiteral("the viewer closed 300 ms into the file's turn, then "
                                      "CONFERMA on two 4032x3024 JPEGs (load %1)")
                           .arg(loadAverage()));
        for (const Case &c : cases) {
            if (!c.leave)
                continue;
            const ChildResult r = child(caseArgs(QStringLiteral("leave"), c, 300, goodPictures()));
            const double leaveMs = r.value(QStringLiteral("leave_ms"));
            const double confirmMs = r.value(QStringLiteral("confirm_ms"));
            const double peak = r.value(QStringLiteral("peak_mb"));
            report.info(c.key + QStringLiteral(": ") + c.what, QString());
            report.check(QStringLiteral("   close to the viewer gone (ms)"), number(leaveMs, 1),
                         QStringLiteral("<= %1").arg(MaxLeaveMs),
                         r.exitCode == 0 && leaveMs >= 0 && leaveMs <= MaxLeaveMs,
                         r.exitCode == 0 ? QString()
                                         : QStringLiteral("exit %1 %2")
                                               .arg(r.exitCode)
                                               .arg(r.errors.right(200).simplified()));
            report.check(QStringLiteral("   CONFERMA to the first good picture (ms)"),
                         number(confirmMs, 1), QStringLiteral("<= %1").arg(MaxConfirmMs),
                         r.exitCode == 0 && confirmMs >= 0 && confirmMs <= MaxConfirmMs,
                         QStringLiteral("window thread's longest block %1 ms")
                             .arg(number(r.value(QStringLiteral("block")), 1)));
            report.check(QStringLiteral("   peak resident size (MB)"), number(peak, 1),
                         QStringLiteral("< %1").arg(MaxPeakMb), peak > 0 && peak < MaxPeakMb);
            // A valid picture whose decode the close stopped is no refused picture.
            if (!c.refused)
                report.check(QStringLiteral("   messages"),
                             r.values.value(QStringLiteral("message")), QStringLiteral("0"),
                             r.value(QStringLiteral("message")) == 0);
        }
    }

    // 4: picture memory with a huge viewer.
    if (wanted(4)) {
        report.section(QStringLiteral("the viewer at 32767 x 32767 against full screen, a "
                                      "6000x4000 picture"));
        const QString folder = QDir(dir.path()).filePath(QStringLiteral("viewer"));
        QDir().mkpath(folder);
        const QByteArray photo = encode(photoLike(6000, 4000, true), "jpeg", false);
        writeFile(folder + QStringLiteral("/V1.JPG"), photo);
        writeFile(folder + QStringLiteral("/V2.JPG"), photo);
        auto viewerRun = [&](const QString &size) {
            return child({QStringLiteral("viewer"), folder, QStringLiteral("JPG"),
                          QStringLiteral("V2.JPG"), QStringLiteral("1"), QStringLiteral("0"),
                          size});
        };
        const ChildResult full = viewerRun(QStringLiteral("full"));
        const ChildResult huge = viewerRun(QStringLiteral("huge"));
        for (const ChildResult *r : {&full, &huge}) {
            report.info(QStringLiteral("window %1: picture decoded at")
                            .arg(r->values.value(QStringLiteral("window"))),
                        r->values.value(QStringLiteral("picture")));
            report.info(QStringLiteral("   picture memory: box, image, pixmap (MB)"),
                        megabytes(qint64(r->value(QStringLiteral("picture_bytes")))));
            report.info(QStringLiteral("   Qt's window buffer (MB)"),
                        r->values.value(QStringLiteral("buffer_mb")));
            report.info(
                QStringLiteral("   peak resident size less the window buffer (MB)"),
                number(r->value(QStringLiteral("peak_mb")) - r->value(QStringLiteral("buffer_mb")),
                       1));
        }
        // The huge viewer's window thread, memory and F I N E during the second picture's turn.
        report.check(
            QStringLiteral("32767 x 32767 asked for: the window thread's longest block (ms)"),
            number(huge.value(QStringLiteral("block")), 1), QStringLiteral("<= %1").arg(MaxBlockMs),
            huge.value(QStringLiteral("block")) >= 0 &&
                huge.value(QStringLiteral("block")) <= MaxBlockMs);
        report.check(QStringLiteral("   peak resident size (MB)"),
                     number(huge.value(QStringLiteral("peak_mb")), 1),
                     QStringLiteral("< %1").arg(MaxPeakMb),
                     huge.value(QStringLiteral("peak_mb")) > 0 &&
                         huge.value(QStringLiteral("peak_mb")) < MaxPeakMb);
        QList<double> exits;
        QStringList notes;
        for (int moment : {0, 50, 300}) {
            const ChildResult r = child({QStringLiteral("fine"), folder, QStringLiteral("JPG"),
                                         QStringLiteral("V2.JPG"), QStringLiteral("1"),
                                         QString::number(moment), QStringLiteral("huge")});
            const qint64 clickNs = qint64(r.value(QStringLiteral("click")));
            if (r.exitCode == 0 && clickNs > 0) {
                exits << ms(r.endedNs - clickNs);
                notes << QStringLiteral("%1 ms in: %2").arg(moment).arg(number(exits.last(), 1));
            } else {
                exits << 1e9;
                notes << QStringLiteral("%1 ms in: exit %2").arg(moment).arg(r.exitCode);
            }
        }
        const double slowest = spreadOf(exits).max;
        report.check(QStringLiteral("   F I N E, click to the exit, slowest (ms)"),
                     number(slowest, 1), QStringLiteral("<= %1").arg(MaxFineMs),
                     slowest <= MaxFineMs, notes.join(QStringLiteral("; ")));
        const double fullPicture = full.value(QStringLiteral("picture_bytes"));
        const double hugePicture = huge.value(QStringLiteral("picture_bytes"));
        report.check(QStringLiteral("picture memory, 32767 / full screen"),
                     number(hugePicture / fullPicture, 2) + u'x', QStringLiteral("<= 1x"),
                     fullPicture > 0 && hugePicture > 0 && hugePicture <= fullPicture);
        const double fullRest =
            full.value(QStringLiteral("peak_mb")) - full.value(QStringLiteral("buffer_mb"));
        const double hugeRest =
            huge.value(QStringLiteral("peak_mb")) - huge.value(QStringLiteral("buffer_mb"));
        report.info(QStringLiteral("peak less the window buffer, 32767 - full screen (MB)"),
                    number(hugeRest - fullRest, 1));
    }

    // 6: large valid pictures on a busy machine.
    if (wanted(6)) {
        const QDir cache(QDir::tempPath() + u'/' + QLatin1String(LargeFolder));
        QDir().mkpath(cache.path());
        std::printf("\nlarge pictures in %s\n", qPrintable(cache.path()));
        QList<Case> large = makeLargeCases(cache);
        if (!keys.isEmpty())
            large.removeIf([&keys](const Case &c) { return !keys.contains(c.key); });
        const int cores = int(sysconf(_SC_NPROCESSORS_ONLN));
        report.section(QStringLiteral("large valid pictures, each alone in a show: with a busy "
                                      "process on each core, and on one core beside a busy one"));
        for (const Case &c : std::as_const(large)) {
            report.info(c.key + QStringLiteral(": ") + c.what,
                        number(double(c.needed) / 1048576.0, 1) + QStringLiteral(" MB"));
            for (const bool oneCore : {false, true}) {
                const BusyProcesses busy(oneCore ? 1 : cores, oneCore ? 0 : -1);
                const ChildResult r = child(
                    caseArgs(QStringLiteral("show"), c),
                    oneCore ? QStringList{QStringLiteral("ALBUM_HOSTILE_CORE=0")} : QStringList{});
                const QString outcome = r.values.value(QStringLiteral("outcome"));
                const bool shown = r.exitCode == 0 && outcome == QStringLiteral("shown");
                report.check(
                    oneCore ? QStringLiteral("   on one busy core: turn start to the "
                                             "picture (ms)")
                            : QStringLiteral("   every core busy: turn start to the "
                                             "picture (ms)"),
                    number(r.value(QStringLiteral("outcome_ms")), 0), QStringLiteral("shown"),
                    shown,
                    (shown ? QStringLiteral("shown") : QStringLiteral("REFUSED ") + outcome) +
                        QStringLiteral("; processor %1 s, peak %2 MB")
                            .arg(number(r.value(QStringLiteral("cpu_s")), 1),
                                 number(r.value(QStringLiteral("peak_mb")), 0)));
            }
        }
        if (!large.isEmpty()) {
            // Every large picture in one folder, shown over and over at delay 0.
            const QString all = QDir(dir.path()).filePath(QStringLiteral("large"));
            QDir().mkpath(all);
            QStringList extensions;
            for (const Case &c : std::as_const(large)) {
                if (!extensions.contains(c.extension))
                    extensions << c.extension;
            }
            report.section(QStringLiteral("a cyclic show at delay 0 of each format's large "
                                          "pictures for %1 s, every core busy")
                               .arg(CycleSeconds));
            for (const QString &extension : std::as_const(extensions)) {
                int at = 0;
                for (const Case &c : std::as_const(large)) {
                    if (c.extension != extension)
                        continue;
                    const QString link =
                        all + QStringLiteral("/%1-%2.%3").arg(extension).arg(++at).arg(extension);
                    QFile::remove(link);
                    QFile::link(c.folder + u'/' + c.name, link);
                }
            }
            for (const QString &extension : std::as_const(extensions)) {
                // One extension a show, as the extension field takes it.
                const BusyProcesses busy(cores);
                const ChildResult r =
                    child({QStringLiteral("cycle"), all, extension, QStringLiteral("-"),
                           QStringLiteral("0"), QString::number(CycleSeconds)});
                report.check(
                    QStringLiteral("%1: pictures shown, messages").arg(extension),
                    QStringLiteral("%1, %2").arg(r.values.value(QStringLiteral("pictures")),
                                                 r.values.value(QStringLiteral("messages"))),
                    QStringLiteral("0 messages"),
                    r.exitCode == 0 && r.value(QStringLiteral("messages")) == 0 &&
                        r.value(QStringLiteral("pictures")) > 0,
                    r.values.value(QStringLiteral("message")).left(120));
            }
            report.section(QStringLiteral("the viewer closed during a large picture's decode"));
            for (const Case &c : std::as_const(large)) {
                QStringList notes;
                bool quiet = true;
                for (const int moment : {100, 400, 1200}) {
                    const ChildResult r =
                        child(caseArgs(QStringLiteral("leave"), c, moment, goodPictures()));
                    quiet = quiet && r.exitCode == 0 && r.value(QStringLiteral("message")) == 0;
                    notes << QStringLiteral("%1 ms in: gone in %2 ms")
                                 .arg(moment)
                                 .arg(number(r.value(QStringLiteral("leave_ms")), 1));
                }
                report.check(c.key + QStringLiteral(": messages after the close"),
                             quiet ? QStringLiteral("0") : QStringLiteral("some"),
                             QStringLiteral("0"), quiet, notes.join(QStringLiteral("; ")));
            }
        }
    }

    std::printf("\nload average at the end: %s\n", qPrintable(loadAverage()));
    std::printf("%d failed, %d skipped\n", report.failures(), report.skipped());
    return report.failures() == 0 ? 0 : 1;
}
