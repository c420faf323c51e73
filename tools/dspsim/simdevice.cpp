#include "simdevice.h"

bool SimDevice::handle(const QByteArray &datagram, qint64 nowNs, RbcpPacket &answer, QList<int> &histRequests)
{
    RbcpPacket req;
    if (!RbcpPacket::parseRequest(datagram, req))
        return false;
    if (req.isRead()) {
        answer = req.answer(read(req.address, req.length, nowNs));
    } else {
        write(req.address, req.data, nowNs, histRequests);
        answer = req.answer(req.data);
    }
    return true;
}

QByteArray SimDevice::read(quint32 addr, int n, qint64 nowNs)
{
    update(nowNs);
    return regs.read(addr, n);
}

void SimDevice::write(quint32 addr, const QByteArray &data, qint64 nowNs, QList<int> &histRequests)
{
    update(nowNs);
    QList<quint32> touched;
    for (int k = 0; k < data.size(); ++k) {
        const quint32 a = addr + quint32(k);
        const quint32 w = a & ~quint32(1);
        if (!isWritable(w))
            continue;
        regs.setByte(a, quint8(data.at(k)));
        if (touched.isEmpty() || touched.last() != w)
            touched.append(w);
    }
    for (quint32 w : touched)
        wordWritten(w, regs.word(w), nowNs, histRequests);
}

quint16 SimDevice::reg(quint32 addr, qint64 nowNs)
{
    update(nowNs);
    return regs.word(addr);
}

void SimDevice::setReg(quint32 addr, quint16 value, qint64 nowNs)
{
    update(nowNs);
    regs.setWord(addr, value);
}

quint64 SimDevice::value(quint32 addr, int bytes, qint64 nowNs)
{
    update(nowNs);
    return regs.value(addr, bytes);
}

bool SimDevice::isWritable(quint32) const
{
    return true;
}
