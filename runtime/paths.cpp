#include "runtime/paths.h"

#include <cstring>

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

// Bytes that are no UTF-8 stand for themselves as U+DC80..U+DCFF.
constexpr char16_t EscapedBytes = 0xDC00;

// Whether text[i] stands for a byte of a name that is no UTF-8: a low surrogate of that range
// that is not the second half of a pair.
static bool isEscapedByte(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    return c >= EscapedBytes + 0x80 && c <= EscapedBytes + 0xFF &&
           (i == 0 || !text[i - 1].isHighSurrogate());
}

QString fromFileSystem(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000}; // by sequence length
    QString text;
    text.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const uchar lead = uchar(bytes[i]);
        const qsizetype length = lead < 0x80                    ? 1
                                 : lead >= 0xC2 && lead <= 0xDF ? 2
                                 : lead >= 0xE0 && lead <= 0xEF ? 3
                                 : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                : 0;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length > 0 && i + length <= bytes.size();
        for (qsizetype k = 1; valid && k < length; ++k) {
            const uchar next = uchar(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            point = point << 6 | (next & 0x3F);
        }
        valid = valid && point >= Least[length] && point <= 0x10FFFF &&
                (point < 0xD800 || point > 0xDFFF);
        if (valid) {
            text += QChar::fromUcs4(point);
            i += length;
        } else {
            text += QChar(char16_t(EscapedBytes + lead));
            ++i;
        }
    }
    return text;
}

// The bytes path spells, without looking anything up.
static QByteArray spelledBytes(QStringView path)
{
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscapedByte(path, i))
            continue;
        bytes += path.mid(start, i - start).toUtf8();
        bytes += char(path[i].unicode() - EscapedBytes);
        start = i + 1;
    }
    return bytes + path.mid(start).toUtf8();
}

QString forDisplay(const QString &path)
{
    QString shown = path;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (isEscapedByte(path, i))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QByteArrayView FolderEntry::stored() const { return QByteArrayView(m_entry.d_name); }

bool FolderEntry::isRegularFile() const
{
    // The folder tells most entries' kind with their name; only links and entries of unknown
    // kind are asked about.
    if (m_entry.d_type != DT_LNK && m_entry.d_type != DT_UNKNOWN)
        return m_entry.d_type == DT_REG;
    struct stat status;
    return ::fstatat(m_folder, m_entry.d_name, &status, 0) == 0 && S_ISREG(status.st_mode);
}

bool listFolder(const QByteArray &folder, const std::function<void(const FolderEntry &)> &take)
{
    DIR *entries = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!entries)
        return false;
    while (const dirent *entry = ::readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            take(FolderEntry(::dirfd(entries), *entry));
    }
    ::closedir(entries);
    return true;
}

static bool exists(const QByteArray &path)
{
    struct stat status;
    return ::lstat(path.constData(), &status) == 0;
}

// The name held in folder (bytes with a closing '/', or empty for the current folder) that
// reads as name, which has U+FFFD for stray bytes; empty when there is none.
static QByteArray storedNameFor(const QByteArray &folder, const QString &name)
{
    QByteArray found;
    listFolder(folder, [&](const FolderEntry &entry) {
        const QByteArray stored = entry.stored().toByteArray();
        if ((found.isEmpty() || stored < found) && forDisplay(entry.name()) == name)
            found = stored;
    });
    return found;
}

QByteArray toFileSystem(const QString &path)
{
    const QByteArray spelled = spelledBytes(path);
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
        QByteArray name = spelledBytes(part);
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
