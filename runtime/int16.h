#pragma once

#include "runtime/runtimeerror.h"

#include <cstdint>

// A signed 16-bit integer whose arithmetic raises the overflow error (6) instead of wrapping.
class Int16
{
public:
    static constexpr int Min = -32768;
    static constexpr int Max = 32767;

    constexpr Int16() = default;
    Int16(int value) : m_value(checked(value)) {} // NOLINT: used like the plain integer it models

    operator int() const { return m_value; } // NOLINT

    Int16 &operator=(int value)
    {
        m_value = checked(value);
        return *this;
    }
    Int16 &operator+=(int step)
    {
        m_value = checked(qint64(m_value) + step);
        return *this;
    }
    Int16 &operator-=(int step)
    {
        m_value = checked(qint64(m_value) - step);
        return *this;
    }

    // The value after adding step, or the overflow error; nothing is stored.
    int plus(int step) const { return checked(qint64(m_value) + step); }

    static int16_t checked(qint64 value)
    {
        if (value < Min || value > Max)
            throw RuntimeError(RuntimeError::Overflow);
        return static_cast<int16_t>(value);
    }

private:
    int16_t m_value = 0;
};
