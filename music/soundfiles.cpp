#include "music/soundfiles.h"

#include "runtime/fileprobe.h"
#include "runtime/paths.h"

#include <sys/stat.h>

namespace {

// The folder part of a path, with its closing separator; empty for a bare name.
QString folderPartOf(const QString &path)
{
    return path.left(path.size() - Paths::fileNameOf(path).size());
}

} // namespace

namespace BackgroundMusic {

QString cutExtension(const QString &path)
{
    const qsizetype nameStart = path.size() - Paths::fileNameOf(path).size();
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot >= nameStart ? path.left(dot) : path;
}

QString playlistEntryFor(const QString &folder, const QString &pictureName)
{
    return folder + cutExtension(pictureName) + QStringLiteral(".MP3");
}

QString findIgnoringCase(const QString &path)
{
    const QString name = Paths::fileNameOf(path);
    if (name.isEmpty())
        return {};
    // The exact spelling needs no look at the whole folder.
    struct stat status;
    if (::stat(Paths::toFileSystem(path).constData(), &status) == 0 && S_ISREG(status.st_mode))
        return path;
    // The folder's names are read as they are stored, without asking the file system about
    // each: a folder of tens of thousands of pictures is looked through in milliseconds.
    // Spellings of one name differ in the case of their letters, rarely in their length; a
    // name with U+FFFD may have been typed for stray bytes of any length.
    const QString folder = folderPartOf(path);
    const qsizetype nameBytes =
        name.contains(QChar::ReplacementCharacter) ? -1 : Paths::toFileSystem(name).size();
    QString found;
    Paths::listFolder(Paths::toFileSystem(folder), [&](const Paths::FolderEntry &entry) {
        if (nameBytes >= 0 && entry.stored().size() != nameBytes)
            return;
        const QString candidate = entry.name();
        // Of several spellings the same one is taken every time, whatever the folder's order.
        if (candidate.compare(name, Qt::CaseInsensitive) == 0 &&
            (found.isEmpty() || candidate < found) && entry.isRegularFile())
            found = candidate;
    });
    return found.isEmpty() ? QString() : folder + found;
}

QString openableIgnoringCase(const QString &path)
{
    const QString found = findIgnoringCase(path);
    return !found.isEmpty() && FileProbe::canOpenForReading(found) ? found : QString();
}

} // namespace BackgroundMusic
