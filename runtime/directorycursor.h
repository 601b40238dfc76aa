#pragma once

#include <QString>
#include <QStringList>

// The program's one directory enumeration. start() lists the files of a folder that match a
// wildcard pattern and returns the first name; next() hands out the following names one by
// one, then the empty string. Matching ignores letter case; only ordinary files are listed,
// never folders or hidden files; names come in natural order (IMG_2 before IMG_10).
// The list is taken at start(): files added or removed later are not seen.
class DirectoryCursor
{
public:
    // pattern: a folder with its closing separator (or nothing: the current folder) followed
    // by a file-name mask with * and ?, as "/foto/*.JPG", or by one for several extensions,
    // as "/foto/*.JPG HEIC" (see DirectoryMatching::masksOf).
    QString start(const QString &pattern) { return startWith(list(pattern)); }
    QString next();
    // The name that the count-th call of next() from now would return, without moving on.
    QString peek(int count = 1) const;

    // The names start() would hand out, in their order. Touches nothing else, so a worker
    // thread may list a folder while the cursor goes on with another list.
    static QStringList list(const QString &pattern);
    // Whether folder names a folder, itself or through a link, whose files can be listed and
    // opened: not a missing one, not a file, not one the user may not read or enter.
    static bool canList(const QString &folder);
    // Takes names as the list, as start() does, and returns the first.
    QString startWith(QStringList names);

private:
    QStringList m_names;
    qsizetype m_position = 0;
};

namespace DirectoryMatching {

// Whether a file name matches a mask of * (any run of characters) and ? (any one
// character), ignoring letter case.
bool wildcardMatch(QStringView name, QStringView mask);

// The masks that a mask for several extensions stands for: "*.JPG HEIC" and "*.jpg,heic;png"
// list their extensions separated by blanks, commas or semicolons, and each extension after
// the first takes the mask's beginning up to its first dot ("*.HEIC"). A mask without such a
// separator stands for itself, letter for letter.
QStringList masksOf(QStringView mask);

// Natural order as an Italian reader expects it, whatever the process's locale: letters
// compare with their accents and case ignored (Èlba before Zucca), runs of digits by their value.
bool naturalLess(const QString &a, const QString &b);

} // namespace DirectoryMatching
