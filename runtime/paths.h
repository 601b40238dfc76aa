#pragma once

#include <QByteArray>
#include <QString>

namespace Paths {

// Whether c separates folders in a path ('/'; on Windows also '\').
bool isSeparator(QChar c);

// The path up to and including its last separator; the whole path when it has none.
QString folderOf(const QString &path);

// The path with one closing separator.
QString withClosingSeparator(const QString &path);

// The file-name part of a path: everything after its last separator.
QString fileNameOf(const QString &path);

// The bytes that name path in the file system, for handing it to the system. File names are
// bytes; one that is no UTF-8 reaches the program (from the listing, the file dialog, the
// command line) with U+FFFD in place of its stray bytes and no longer names its file: such a
// part of the path is looked up among the names its folder holds, and the one that reads the
// same is taken (of several, always the same one). A part found nowhere stays as spelled.
QByteArray toFileSystem(const QString &path);

} // namespace Paths
