#pragma once

#include "pictures/workstop.h"

#include <QtGlobal>

#include <condition_variable>
#include <memory>
#include <mutex>

// The memory that decoding pictures may take at once, shared by every decode of the program:
// a decode reserves what it will take before it allocates any of it, and lets it go when it
// ends. The picture on screen's turn may wait for its share; a picture decoded ahead of its
// turn takes only what is free, and no more than half of it, so that the turn always finds
// room beside the decodes ahead.
class PictureMemory
{
public:
    // What the program's decodes may take at once, bytes: with the rest of the program that
    // keeps it about a gigabyte, which the system hands back within a tenth of a second when
    // the program ends.
    static constexpr qint64 DefaultCapacity = 768LL << 20;

    explicit PictureMemory(qint64 capacity = DefaultCapacity) : m_capacity(capacity) {}
    PictureMemory(const PictureMemory &) = delete;
    PictureMemory &operator=(const PictureMemory &) = delete;

    // A share of the memory, given back when it goes.
    class Share
    {
    public:
        Share() = default;
        Share(Share &&other) noexcept
            : m_memory(other.m_memory), m_bytes(other.m_bytes), m_ahead(other.m_ahead)
        {
            other.m_memory = nullptr;
        }
        Share &operator=(Share &&other) noexcept
        {
            std::swap(m_memory, other.m_memory);
            std::swap(m_bytes, other.m_bytes);
            std::swap(m_ahead, other.m_ahead);
            return *this;
        }
        ~Share()
        {
            if (m_memory)
                m_memory->giveBack(m_bytes, m_ahead);
        }
        explicit operator bool() const { return m_memory != nullptr; }

    private:
        friend class PictureMemory;
        Share(PictureMemory *memory, qint64 bytes, bool ahead)
            : m_memory(memory), m_bytes(bytes), m_ahead(ahead)
        {
        }
        PictureMemory *m_memory = nullptr;
        qint64 m_bytes = 0;
        bool m_ahead = false;
    };

    qint64 capacity() const { return m_capacity; }

    // bytes for the turn's decode: waits while other decodes hold the memory, until stop says
    // to stop; an empty share then, or when bytes will never fit. The wait is not charged to
    // the decode's processor time.
    Share take(qint64 bytes, const WorkStop *stop);
    // bytes for a decode ahead of its turn: only when free now within half the whole; an empty
    // share otherwise.
    Share takeAhead(qint64 bytes);

private:
    void giveBack(qint64 bytes, bool ahead);

    const qint64 m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_freed;
    qint64 m_used = 0;
    qint64 m_usedAhead = 0;
};
