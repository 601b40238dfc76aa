#include "runtime/paths.h"

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

} // namespace Paths
