#pragma once

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

} // namespace Paths
