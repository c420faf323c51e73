// Encodes register requests and checks the units' register replies.
#include "rbcp.h"

#include <QtEndian>

namespace {

QByteArray header(quint8 cmd, quint8 id, int size, quint32 addr)
{
    QByteArray d(Rbcp::headerBytes, '\0');
    auto *p = reinterpret_cast<uchar *>(d.data());
    p[0] = 0xFF;
    p[1] = cmd;
    p[2] = id;
    p[3] = quint8(size & 0xFF);
    qToBigEndian<quint32>(addr, p + 4);
    return d;
}

} // namespace

QByteArray Rbcp::readRequest(quint32 addr, int size)
{
    return header(readCmd, readId, size, addr);
}

QByteArray Rbcp::writeRequest(quint32 addr, quint64 value, int size)
{
    const int n = size & 0xFF;
    QByteArray d = header(writeCmd, writeId, n, addr);
    d.resize(headerBytes + n);
    auto *p = reinterpret_cast<uchar *>(d.data()) + headerBytes;
    for (int i = 0; i < n; ++i) {
        const int shift = 8 * (n - 1 - i);
        p[i] = shift < 64 ? uchar((value >> shift) & 0xFF) : 0;
    }
    return d;
}

quint64 Rbcp::beValue(const QByteArray &data, int bytes)
{
    if (bytes < 0 || data.size() < bytes)
        return 0;
    quint64 v = 0;
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

Rbcp::Answer Rbcp::decodeAnswer(const QByteArray &datagram)
{
    Answer a;
    a.datagram = datagram;
    const auto *p = reinterpret_cast<const uchar *>(datagram.constData());
    if (datagram.size() >= 4)
        a.header = qFromBigEndian<quint32>(p);
    if (datagram.size() >= headerBytes) {
        a.addr = qFromBigEndian<quint32>(p + 4);
        a.hasAddr = true;
        a.data = datagram.mid(headerBytes);
        a.value = beValue(a.data, int(qMin<qsizetype>(a.data.size(), 8)));
    }
    return a;
}
