#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

struct dirent;

namespace Paths {

// Whether c separates folders in a path ('/'; on Windows also '\').
bool isSeparator(QChar c);

// The path up to and including its last separator; the whole path when it has none.
QString folderOf(const QString &path);

// The path with one closing separator.
QString withClosingSeparator(const QString &path);

// The file-name part of a path: everything after its last separator.
QString fileNameOf(const QString &path);

// A name or path as the system stores it (bytes) read as the program keeps it: UTF-8 is read
// as usual; each byte of a sequence that is no UTF-8 becomes a lone surrogate of its own,
// U+DC80 + (byte - 0x80). Two different names never read the same, and toFileSystem gives
// the bytes back.
QString fromFileSystem(QByteArrayView bytes);

// The bytes that name path in the file system: those fromFileSystem read it from. A path
// typed, pasted or read by Qt has U+FFFD in place of each byte that is no UTF-8: a part of
// such a path that names nothing as spelled is looked up among the names its folder holds,
// and the one that reads the same is taken (of several, always the same one). A part found
// nowhere stays as spelled.
QByteArray toFileSystem(const QString &path);

// The path as the user sees it: U+FFFD for each byte of a name that is no UTF-8.
QString forDisplay(const QString &path);

// One entry of a folder, as the listing hands it out.
class FolderEntry
{
public:
    FolderEntry(int folder, const dirent &entry) : m_folder(folder), m_entry(entry) {}
    // The name as stored.
    QByteArrayView stored() const;
    // The name as the program keeps it (fromFileSystem).
    QString name() const { return fromFileSystem(stored()); }
    // Whether it is an ordinary file, itself or through a link.
    bool isRegularFile() const;

private:
    int m_folder;
    const dirent &m_entry;
};

// The program's one folder listing: hands each entry of folder (its bytes; empty for the
// current folder) but "." and ".." to take. False when the folder cannot be read.
bool listFolder(const QByteArray &folder, const std::function<void(const FolderEntry &)> &take);

} // namespace Paths
