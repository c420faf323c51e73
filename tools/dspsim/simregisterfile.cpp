#include "simregisterfile.h"

quint16 SimRegisterFile::word(quint32 addr) const
{
    return words.value(addr & ~quint32(1), 0);
}

void SimRegisterFile::setWord(quint32 addr, quint16 value)
{
    words.insert(addr & ~quint32(1), value);
}

quint8 SimRegisterFile::byte(quint32 addr) const
{
    const quint16 w = word(addr);
    return (addr & 1) ? quint8(w & 0xFF) : quint8(w >> 8);
}

void SimRegisterFile::setByte(quint32 addr, quint8 value)
{
    quint16 w = word(addr);
    if (addr & 1)
        w = quint16((w & 0xFF00) | value);
    else
        w = quint16((w & 0x00FF) | (quint16(value) << 8));
    setWord(addr, w);
}

QByteArray SimRegisterFile::read(quint32 addr, int n) const
{
    QByteArray d;
    d.reserve(qMax(n, 0));
    for (int k = 0; k < n; ++k)
        d.append(char(byte(addr + quint32(k))));
    return d;
}

quint64 SimRegisterFile::value(quint32 addr, int bytes) const
{
    quint64 v = 0;
    for (int k = 0; k < qBound(0, bytes, 8); ++k)
        v = (v << 8) | byte(addr + quint32(k));
    return v;
}

void SimRegisterFile::setValue(quint32 addr, int bytes, quint64 value)
{
    const int n = qBound(0, bytes, 8);
    for (int k = n - 1; k >= 0; --k) {
        setByte(addr + quint32(k), quint8(value & 0xFF));
        value >>= 8;
    }
}

void SimRegisterFile::clear()
{
    words.clear();
}
