#pragma once

#include "rbcppacket.h"
#include "simregisterfile.h"

#include <QByteArray>
#include <QList>

// The behaviour of one simulated unit without any socket: a register file,
// a model that moves with time, and the handling of request datagrams.
// Time is passed in by the caller as nanoseconds of a monotonic clock, so
// the model can be driven step by step in tests.
class SimDevice
{
public:
    virtual ~SimDevice() = default;

    // Brings the model up to `nowNs` (counters, ramps).
    virtual void update(qint64 nowNs) = 0;

    // Handles one request datagram received at `nowNs`. Returns true with
    // the acknowledgement in `answer` for a well-formed request; false (no
    // answer) for anything else. Channels written to a histogram-request
    // register are appended to `histRequests`.
    bool handle(const QByteArray &datagram, qint64 nowNs, RbcpPacket &answer, QList<int> &histRequests);

    // Register access as a request does it (update first, side effects of writes).
    QByteArray read(quint32 addr, int n, qint64 nowNs);
    void write(quint32 addr, const QByteArray &data, qint64 nowNs, QList<int> &histRequests);

    // Direct access for tests: up to date, but a poke has no side effects.
    quint16 reg(quint32 addr, qint64 nowNs);
    void setReg(quint32 addr, quint16 value, qint64 nowNs);
    quint64 value(quint32 addr, int bytes, qint64 nowNs);

    const SimRegisterFile &registers() const { return regs; }

protected:
    // Whether a request may change the word at `wordAddr` (status registers may not).
    virtual bool isWritable(quint32 wordAddr) const;
    // Called for every word a write request changed, in address order.
    virtual void wordWritten(quint32 wordAddr, quint16 value, qint64 nowNs, QList<int> &histRequests) = 0;

    SimRegisterFile regs;
};
