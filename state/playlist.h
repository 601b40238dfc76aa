#pragma once

#include <QString>

#include <array>

// The queue of sound file paths: entries 0..200; an index outside raises error 9.
class Playlist
{
public:
    static constexpr int Size = 201;

    QString &operator()(int index);
    const QString &operator()(int index) const;

    // Every entry becomes the empty string.
    void erase();

private:
    static void checkIndex(int index);

    std::array<QString, Size> m_entries;
};
