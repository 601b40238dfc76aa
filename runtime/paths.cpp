#include "runtime/paths.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace Paths {

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    if (c == QLatin1Char('\\'))
        return true;
#endif
    return c == QLatin1Char('/');
}

static qsizetype lastSeparator(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (isSeparator(path[i]))
            return i;
    }
    return -1;
}

QString folderOf(const QString &path)
{
    const qsizetype i = lastSeparator(path);
    return i < 0 ? path : path.left(i + 1);
}

QString withClosingSeparator(const QString &path)
{
    if (!path.isEmpty() && isSeparator(path.back()))
        return path;
    return path + QLatin1Char('/');
}

QString fileNameOf(const QString &path) { return path.mid(lastSeparator(path) + 1); }

static bool exists(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

// The name held in folder (bytes with a closing '/', or empty for the current folder) that
// reads as name; empty when there is none.
static QByteArray storedNameFor(const QByteArray &folder, const QString &name)
{
    DIR *entries = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!entries)
        return {};
    QByteArray found;
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray stored(entry->d_name);
        if ((found.isEmpty() || stored < found) && QFile::decodeName(stored) == name)
            found = stored;
    }
    ::closedir(entries);
    return found;
}

QByteArray toFileSystem(const QString &path)
{
    const QByteArray spelled = QFile::encodeName(path);
    // A path read whole from the system, or that names its file as spelled, is taken at once.
    if (!path.contains(QChar::ReplacementCharacter) || exists(spelled))
        return spelled;
    QByteArray bytes;
    bytes.reserve(spelled.size());
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        const QString part = path.mid(start, end - start);
        QByteArray name = QFile::encodeName(part);
        if (part.contains(QChar::ReplacementCharacter) && !exists(bytes + name)) {
            const QByteArray stored = storedNameFor(bytes, part);
            if (!stored.isEmpty())
                name = stored;
        }
        bytes += name;
        if (end == path.size())
            return bytes;
        bytes += '/';
        start = end + 1;
    }
}

} // namespace Paths
