#include "state/playlist.h"

#include "runtime/runtimeerror.h"

QString &Playlist::operator()(int index)
{
    checkIndex(index);
    return m_entries[std::size_t(index)];
}

const QString &Playlist::operator()(int index) const
{
    checkIndex(index);
    return m_entries[std::size_t(index)];
}

void Playlist::erase()
{
    for (QString &entry : m_entries)
        entry.clear();
}

void Playlist::checkIndex(int index)
{
    if (index < 0 || index >= Size)
        throw RuntimeError(RuntimeError::SubscriptOutOfRange);
}
