#include "mcarecordparser.h"

#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

double readDouble(const char *p)
{
    const quint64 u = qFromLittleEndian<quint64>(p);
    double d = 0.0;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

} // namespace

McaRecordParser::McaRecordParser(quint64 maxBins)
    : maxBins(maxBins)
{
}

void McaRecordParser::append(const QByteArray &bytes)
{
    // Drop what was consumed before growing the buffer.
    if (pos > 0 && pos == buf.size()) {
        buf.clear();
        pos = 0;
    } else if (pos > (1 << 20)) {
        buf.remove(0, pos);
        pos = 0;
    }
    buf.append(bytes);
}

void McaRecordParser::clear()
{
    buf.clear();
    pos = 0;
    why.clear();
}

PeerRecord McaRecordParser::readHeader(const char *b)
{
    PeerRecord r;
    r.channel = qFromLittleEndian<quint32>(b);
    r.marker = qFromLittleEndian<quint32>(b + 4);
    r.inMeas = qFromLittleEndian<quint64>(b + 8);
    r.length = qFromLittleEndian<quint64>(b + 16);
    r.realTime = readDouble(b + 24);
    r.liveTime = readDouble(b + 32);
    r.icr = readDouble(b + 40);
    return r;
}

QString McaRecordParser::headerProblem(const PeerRecord &h, quint64 maxBins, quint64 expectedBins)
{
    if (h.length == 0)
        return QStringLiteral("length field 0");
    if (h.length > maxBins)
        return QStringLiteral("length field %1 above %2").arg(h.length).arg(maxBins);
    if (expectedBins != 0 && h.length != expectedBins)
        return QStringLiteral("length field %1, expected %2 bins").arg(h.length).arg(expectedBins);
    if (h.channel > 3)
        return QStringLiteral("channel %1 (0 to 3)").arg(h.channel);
    if (h.inMeas > 1)
        return QStringLiteral("measuring flag %1 (0 or 1)").arg(h.inMeas);
    if (!std::isfinite(h.realTime) || h.realTime < 0)
        return QStringLiteral("real time %1").arg(h.realTime);
    if (!std::isfinite(h.liveTime) || h.liveTime < 0)
        return QStringLiteral("live time %1").arg(h.liveTime);
    if (!std::isfinite(h.icr))
        return QStringLiteral("count rate %1").arg(h.icr);
    return QString();
}

McaRecordParser::Result McaRecordParser::next(PeerRecord &record)
{
    why.clear();
    const qsizetype avail = buf.size() - pos;
    if (avail < PeerRecord::headerBytes)
        return Result::NeedMore;
    const char *b = buf.constData() + pos;
    PeerRecord r = readHeader(b);
    why = headerProblem(r, maxBins, expectedBins);
    if (!why.isEmpty())
        return Result::Malformed;
    const qsizetype need = PeerRecord::headerBytes + qsizetype(4 * r.length);
    if (avail < need)
        return Result::NeedMore;
    r.bins.resize(qsizetype(r.length));
    for (qsizetype i = 0; i < r.bins.size(); ++i)
        r.bins[i] = qFromLittleEndian<quint32>(b + PeerRecord::headerBytes + 4 * i);
    pos += need;
    record = std::move(r);
    return Result::Record;
}
