#include "peerrecord.h"

#include <QtEndian>

#include <cstring>

namespace {

template <typename T>
void put(QByteArray &b, int at, T v)
{
    qToLittleEndian<T>(v, b.data() + at);
}

void putDouble(QByteArray &b, int at, double d)
{
    quint64 u = 0;
    std::memcpy(&u, &d, sizeof u);
    put<quint64>(b, at, u);
}

} // namespace

QByteArray PeerRecord::encode() const
{
    QByteArray b(headerBytes + 4 * bins.size(), '\0');
    put<quint32>(b, 0, channel);
    put<quint32>(b, 4, marker);
    put<quint64>(b, 8, inMeas);
    put<quint64>(b, 16, length);
    putDouble(b, 24, realTime);
    putDouble(b, 32, liveTime);
    putDouble(b, 40, icr);
    for (int i = 0; i < bins.size(); ++i)
        put<quint32>(b, headerBytes + 4 * i, bins.at(i));
    return b;
}

PeerRecord PeerRecord::make(quint32 channel, const QVector<quint32> &bins, double realTime, double liveTime,
                            double icr, quint32 marker, quint64 inMeas)
{
    PeerRecord r;
    r.channel = channel;
    r.marker = marker;
    r.inMeas = inMeas;
    r.length = quint64(bins.size());
    r.realTime = realTime;
    r.liveTime = liveTime;
    r.icr = icr;
    r.bins = bins;
    return r;
}
