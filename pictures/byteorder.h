#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// Numbers as picture files store them, in either byte order.
namespace ByteOrder {

// The unsigned number of bytes (1 to 4) at data[at], its most significant byte first (big
// endian) or last (little endian); 0 where data ends before it.
inline quint32 number(QByteArrayView data, qsizetype at, int bytes, bool little)
{
    if (at < 0 || bytes < 0 || at + bytes > data.size())
        return 0;
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | quint8(data[at + (little ? bytes - 1 - i : i)]);
    return value;
}

inline quint32 bigEndian(QByteArrayView data, qsizetype at, int bytes)
{
    return number(data, at, bytes, false);
}

inline quint32 littleEndian(QByteArrayView data, qsizetype at, int bytes)
{
    return number(data, at, bytes, true);
}

} // namespace ByteOrder
