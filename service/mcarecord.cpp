// Encodes and decodes one spectrum record of the data link.
#include "mcarecord.h"

#include <QtEndian>

#include <cstring>

namespace {

double readDouble(const char *p)
{
    const quint64 bits = qFromLittleEndian<quint64>(p);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

void writeDouble(char *p, double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    qToLittleEndian<quint64>(bits, p);
}

} // namespace

McaRecordHeader McaRecord::readHeader(const char *block)
{
    McaRecordHeader h;
    h.ch = qFromLittleEndian<quint32>(block);
    h.marker = qFromLittleEndian<quint32>(block + 4);
    h.inMeas = qFromLittleEndian<quint64>(block + 8);
    h.length = qFromLittleEndian<quint64>(block + 16);
    h.realTime = readDouble(block + 24);
    h.liveTime = readDouble(block + 32);
    h.icr = readDouble(block + 40);
    return h;
}

void McaRecord::writeHeader(char *block, const McaRecordHeader &h)
{
    qToLittleEndian<quint32>(h.ch, block);
    qToLittleEndian<quint32>(h.marker, block + 4);
    qToLittleEndian<quint64>(h.inMeas, block + 8);
    qToLittleEndian<quint64>(h.length, block + 16);
    writeDouble(block + 24, h.realTime);
    writeDouble(block + 32, h.liveTime);
    writeDouble(block + 40, h.icr);
}

void McaRecord::setMarker(char *block, quint32 marker)
{
    qToLittleEndian<quint32>(marker, block + 4);
}

bool McaRecord::mendUnfilled(char *block, quint32 ch, quint64 bins)
{
    if (qFromLittleEndian<quint64>(block + 16) == bins)
        return false;
    qToLittleEndian<quint32>(ch, block);
    qToLittleEndian<quint64>(bins, block + 16);
    return true;
}

QByteArray McaRecord::encode(const McaRecordHeader &h, const QVector<quint32> &bins)
{
    QByteArray out(headerBytes + 4 * bins.size(), '\0');
    writeHeader(out.data(), h);
    char *p = out.data() + headerBytes;
    for (quint32 b : bins) {
        qToLittleEndian<quint32>(b, p);
        p += 4;
    }
    return out;
}

qsizetype McaRecord::decode(const QByteArray &bytes, McaRecordHeader &h, QVector<quint32> &bins,
                            quint64 maxBins)
{
    if (bytes.size() < headerBytes)
        return 0;
    const McaRecordHeader head = readHeader(bytes.constData());
    if (head.length > maxBins)
        return -1;
    const qsizetype total = headerBytes + qsizetype(4 * head.length);
    if (bytes.size() < total)
        return 0;
    h = head;
    bins.resize(qsizetype(head.length));
    const char *p = bytes.constData() + headerBytes;
    for (qsizetype i = 0; i < bins.size(); ++i, p += 4)
        bins[i] = qFromLittleEndian<quint32>(p);
    return total;
}
