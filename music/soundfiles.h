#pragma once

#include <QString>

// The names of a picture's tracks, and how a track is found in its folder: rules of plain
// strings and files, with no player and no window.
namespace BackgroundMusic {

// The path without the extension of its file name: cut at the last dot of the file-name
// part, never inside the folder; a name without a dot stays whole.
QString cutExtension(const QString &path);

// The playlist entry for a picture: folder & the picture's name without its extension & ".MP3".
QString playlistEntryFor(const QString &folder, const QString &pictureName);

// The ordinary file present under path's folder whose name equals path's file name ignoring
// letter case, as folder & the name found; the exact spelling wins when it exists. Empty when
// there is none: folders, devices and pipes do not count.
QString findIgnoringCase(const QString &path);

// The sound file findIgnoringCase finds for path, when it opens for reading; empty otherwise.
QString openableIgnoringCase(const QString &path);

} // namespace BackgroundMusic
