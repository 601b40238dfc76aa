#pragma once

#include <QString>

namespace FileProbe {

// Whether path names an existing file that can be opened for reading: the file is opened
// and closed again at once, nothing is read. A folder fails.
bool canOpenForReading(const QString &path);

} // namespace FileProbe
