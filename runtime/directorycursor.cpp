#include "runtime/directorycursor.h"

#include "runtime/paths.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DirectoryMatching {

static bool sameLetter(QChar a, QChar b)
{
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

bool wildcardMatch(QStringView name, QStringView mask)
{
    // Greedy matching with one backtrack point: linear in practice, never exponential.
    qsizetype n = 0, m = 0;
    qsizetype starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == QLatin1Char('*')) {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() &&
                   (mask[m] == QLatin1Char('?') || sameLetter(mask[m], name[n]))) {
            ++m;
            ++n;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == QLatin1Char('*'))
        ++m;
    return m == mask.size();
}

static bool separatesExtensions(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char(',') ||
           c == QLatin1Char(';');
}

QStringList masksOf(QStringView mask)
{
    if (std::none_of(mask.begin(), mask.end(), separatesExtensions))
        return {mask.toString()};
    const QString beginning = mask.first(mask.indexOf(QLatin1Char('.')) + 1).toString();
    QStringList masks;
    qsizetype start = beginning.size();
    for (qsizetype i = start; i <= mask.size(); ++i) {
        if (i < mask.size() && !separatesExtensions(mask[i]))
            continue;
        if (i > start)
            masks << beginning + mask.sliced(start, i - start).toString();
        start = i + 1;
    }
    return masks;
}

static bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares a and b; negative, zero or positive.
static int naturalCompare(const QString &a, const QString &b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            // Leading zeros do not change the value.
            qsizetype si = i, sj = j;
            while (si < ei - 1 && a[si] == QLatin1Char('0'))
                ++si;
            while (sj < ej - 1 && b[sj] == QLatin1Char('0'))
                ++sj;
            const qsizetype li = ei - si, lj = ej - sj;
            if (li != lj)
                return li < lj ? -1 : 1;
            for (qsizetype k = 0; k < li; ++k) {
                if (a[si + k] != b[sj + k])
                    return a[si + k] < b[sj + k] ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return 0;
}

// The name as an Italian reader orders it: every letter as its base letter, without accent
// (È as E), and without case.
static QString collationKey(const QString &name)
{
    QString key;
    key.reserve(name.size());
    for (QChar c : name) {
        while (c.decompositionTag() == QChar::Canonical) {
            const QString parts = c.decomposition();
            if (parts.isEmpty() || parts[0] == c)
                break;
            c = parts[0];
        }
        key += c.toCaseFolded();
    }
    return key;
}

static bool orderedBefore(const QString &keyA, const QString &a, const QString &keyB,
                          const QString &b)
{
    int order = naturalCompare(keyA, keyB);
    // Names equal but for accents come unaccented first; equal but for case or zeros, they
    // still get a fixed order.
    if (order == 0)
        order = naturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool naturalLess(const QString &a, const QString &b)
{
    return orderedBefore(collationKey(a), a, collationKey(b), b);
}

} // namespace DirectoryMatching

QStringList DirectoryCursor::list(const QString &pattern)
{
    QStringList names;

    QString folder = Paths::folderOf(pattern);
    const QStringList masks = DirectoryMatching::masksOf(Paths::fileNameOf(pattern));
    if (folder == pattern) // no separator: a mask in the current folder
        folder.clear();

    Paths::listFolder(Paths::toFileSystem(folder), [&](const Paths::FolderEntry &entry) {
        // Hidden files.
        if (entry.stored().startsWith('.'))
            return;
        const QString name = entry.name();
        const bool matches = std::any_of(masks.begin(), masks.end(), [&name](const QString &mask) {
            return DirectoryMatching::wildcardMatch(name, mask);
        });
        // Ordinary files, also through a link.
        if (matches && entry.isRegularFile())
            names << name;
    });
    // Each name's key is made once, not at every comparison.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(std::size_t(names.size()));
    for (const QString &name : std::as_const(names))
        keyed.emplace_back(DirectoryMatching::collationKey(name), name);
    std::sort(keyed.begin(), keyed.end(), [](const auto &x, const auto &y) {
        return DirectoryMatching::orderedBefore(x.first, x.second, y.first, y.second);
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = keyed[std::size_t(i)].second;
    return names;
}

bool DirectoryCursor::canList(const QString &folder)
{
    const QByteArray bytes = Paths::toFileSystem(folder);
    struct stat status;
    // Listing needs the right to read the folder, opening its files the right to enter it.
    return ::stat(bytes.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           ::faccessat(AT_FDCWD, bytes.constData(), R_OK | X_OK, AT_EACCESS) == 0;
}

QString DirectoryCursor::startWith(QStringList names)
{
    m_names = std::move(names);
    m_position = 0;
    return next();
}

QString DirectoryCursor::peek(int count) const
{
    const qsizetype at = m_position + count - 1;
    return count > 0 && at < m_names.size() ? m_names[at] : QString();
}

QString DirectoryCursor::next()
{
    if (m_position >= m_names.size())
        return {};
    return m_names[m_position++];
}
