// libFuzzer target for the text the program reads and cuts by itself: the delay field's
// number (Val), the path cuts, the names read from bytes, the sound names' cuts and the
// enumeration's matching and order.
// Each input is checked against properties that must hold for every text.
#include "music/soundfiles.h"
#include "runtime/directorycursor.h"
#include "runtime/paths.h"
#include "runtime/runtimeerror.h"
#include "runtime/val.h"

#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void require(bool condition, const char *property)
{
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

// Val raises nothing but the overflow error, gives no NaN, and ignores blanks, tabs and line
// feeds wherever they stand.
void checkVal(const QString &text)
{
    const auto read = [](const QString &s, double &value) {
        try {
            value = Val(s);
            return true;
        } catch (const RuntimeError &error) {
            require(error.number() == RuntimeError::Overflow, "Val raises only error 6");
            return false;
        }
    };
    QString packed = text;
    packed.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    double value = 0, packedValue = 0;
    const bool read1 = read(text, value);
    const bool read2 = read(packed, packedValue);
    require(read1 == read2, "blanks do not change whether Val overflows");
    if (read1) {
        require(!std::isnan(value), "Val gives no NaN");
        require(value == packedValue, "blanks do not change Val");
    }
}

void checkPaths(const QString &path, const QString &folder)
{
    const QString head = Paths::folderOf(path);
    const QString name = Paths::fileNameOf(path);
    bool hasSeparator = false;
    for (QChar c : path)
        hasSeparator = hasSeparator || Paths::isSeparator(c);
    if (hasSeparator) {
        require(head + name == path, "folder and name make the path");
        require(Paths::isSeparator(head.back()), "the folder keeps its separator");
    } else {
        require(head == path && name == path, "a bare name is its own folder and name");
    }
    for (QChar c : name)
        require(!Paths::isSeparator(c), "a file name has no separator");
    const QString closed = Paths::withClosingSeparator(path);
    require(Paths::isSeparator(closed.back()), "a closed folder ends with a separator");
    require(Paths::withClosingSeparator(closed) == closed, "closing twice adds nothing");

    // The sound names' cut takes the extension off the file name only.
    const QString cut = BackgroundMusic::cutExtension(path);
    require(path.startsWith(cut), "the cut is a beginning of the path");
    const QString dropped = path.mid(cut.size());
    if (!dropped.isEmpty()) {
        require(dropped.front() == QLatin1Char('.'), "the cut drops from a dot");
        require(dropped.lastIndexOf(QLatin1Char('.')) == 0, "the cut is at the last dot");
        for (QChar c : dropped)
            require(!Paths::isSeparator(c), "the cut never reaches into the folder");
    }
    require(BackgroundMusic::playlistEntryFor(folder, path) ==
                folder + cut + QStringLiteral(".MP3"),
            "a playlist entry is the folder, the cut name and .MP3");
}

// A name read from the bytes the file system stores gives those bytes back, whatever they are.
void checkNames(const QByteArray &bytes)
{
    require(Paths::toFileSystem(Paths::fromFileSystem(bytes)) == bytes,
            "a name read from its bytes gives them back");
}

// Wildcard matching by the book, ignoring case the way the enumeration does.
bool referenceMatch(const QString &name, const QString &mask)
{
    const auto same = [](QChar a, QChar b) {
        return a == b || a.toCaseFolded() == b.toCaseFolded();
    };
    const qsizetype n = name.size(), m = mask.size();
    // matches[j]: whether mask[0, j) matches name[0, i) for the current i.
    std::vector<char> matches(size_t(m + 1), 0), next(size_t(m + 1), 0);
    matches[0] = 1;
    for (qsizetype j = 1; j <= m; ++j)
        matches[size_t(j)] = matches[size_t(j - 1)] && mask[j - 1] == QLatin1Char('*');
    for (qsizetype i = 1; i <= n; ++i) {
        next[0] = 0;
        for (qsizetype j = 1; j <= m; ++j) {
            const QChar k = mask[j - 1];
            if (k == QLatin1Char('*'))
                next[size_t(j)] = next[size_t(j - 1)] || matches[size_t(j)];
            else
                next[size_t(j)] =
                    matches[size_t(j - 1)] && (k == QLatin1Char('?') || same(k, name[i - 1]));
        }
        matches.swap(next);
    }
    return matches[size_t(m)];
}

void checkMatching(const QString &name, const QString &mask)
{
    using DirectoryMatching::wildcardMatch;
    require(wildcardMatch(name, QStringLiteral("*")), "* matches every name");
    require(wildcardMatch(name, name), "a name matches itself");
    require(wildcardMatch(name, QLatin1Char('*') + name.right(name.size() / 2)),
            "* and an ending match the names with that ending");
    if (name.size() <= 200 && mask.size() <= 200)
        require(wildcardMatch(name, mask) == referenceMatch(name, mask),
                "matching agrees with matching by the book");
}

// naturalLess must be a strict total order, or sorting the folder's names is undefined.
void checkOrder(const QString &a, const QString &b, const QString &c)
{
    using DirectoryMatching::naturalLess;
    const QString names[3] = {a, b, c};
    for (const QString &x : names) {
        require(!naturalLess(x, x), "no name comes before itself");
        for (const QString &y : names) {
            const bool xy = naturalLess(x, y), yx = naturalLess(y, x);
            require(!(xy && yx), "two names are not each before the other");
            require(x == y || xy || yx, "two different names have an order");
            for (const QString &z : names) {
                if (xy && naturalLess(y, z))
                    require(naturalLess(x, z), "the order is transitive");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how the rest is read: as UTF-8, or as raw UTF-16 code units
    // (lone surrogates and all).
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype length = qsizetype(size - 1);
    QString text;
    if (data[0] & 1) {
        text = QString::fromUtf8(rest, length);
    } else {
        text = QString(length / 2, Qt::Uninitialized);
        std::memcpy(text.data(), rest, size_t(length / 2) * 2);
    }
    checkVal(text);
    checkNames(QByteArray(rest, length));
    const QStringList parts = text.split(QLatin1Char('\n'));
    const QString a = parts.value(0), b = parts.value(1), c = parts.value(2);
    checkPaths(a, b);
    checkMatching(a, b);
    checkOrder(a, b, c);
    return 0;
}
