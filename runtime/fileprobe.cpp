#include "runtime/fileprobe.h"

#include <QFile>
#include <QFileInfo>

namespace FileProbe {

bool canOpenForReading(const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).isDir())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.close();
    return true;
}

} // namespace FileProbe
