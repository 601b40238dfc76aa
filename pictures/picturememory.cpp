#include "pictures/picturememory.h"

#include <chrono>

PictureMemory::Share PictureMemory::take(qint64 bytes, const WorkStop *stop)
{
    if (bytes > m_capacity)
        return {};
    std::unique_lock lock(m_mutex);
    // Waiting for memory is not the decode's own work: it is not charged processor time.
    if (stop)
        stop->setWorking(false);
    // A stop is looked at every few milliseconds: it is not told to this wait.
    bool given = true;
    while (m_used + bytes > m_capacity) {
        if (stop && stop->stopped()) {
            given = false;
            break;
        }
        m_freed.wait_for(lock, std::chrono::milliseconds(10));
    }
    if (stop)
        stop->setWorking(true);
    if (!given)
        return {};
    m_used += bytes;
    return Share(this, bytes, false);
}

PictureMemory::Share PictureMemory::takeAhead(qint64 bytes)
{
    std::lock_guard lock(m_mutex);
    if (m_usedAhead + bytes > m_capacity / 2 || m_used + bytes > m_capacity)
        return {};
    m_used += bytes;
    m_usedAhead += bytes;
    return Share(this, bytes, true);
}

void PictureMemory::giveBack(qint64 bytes, bool ahead)
{
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
        if (ahead)
            m_usedAhead -= bytes;
    }
    m_freed.notify_all();
}
