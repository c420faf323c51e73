#pragma once

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

#include "mcahistogram.h"

// One spectrum record of Marlo's data link, as received. On the wire it is a
// 48-byte header followed by the bins, all fields little-endian:
//
//   0  u32  channel number within its unit (0 to 3)
//   4  u32  marker: first record of a transfer the first unit's measurement
//           count, second record its measurement number, others 0
//   8  u64  1 when the unit was measuring when the data were taken
//  16  u64  number of bins n
//  24  f64  real time of the unit, seconds
//  32  f64  live time of the channel, seconds
//  40  f64  input count rate value of the channel
//  48  u32 × n  bin counts, bin 0 first
struct PeerRecord : McaHistogram
{
    static constexpr int headerBytes = 48;

    quint32 marker = 0;
    quint64 length = 0;       // the length field as received

    // The wire bytes: the header with `length` as it is, then `bins`.
    QByteArray encode() const;
    // A record whose length field matches its bins.
    static PeerRecord make(quint32 channel, const QVector<quint32> &bins, double realTime = 0.0,
                           double liveTime = 0.0, double icr = 0.0, quint32 marker = 0, quint64 inMeas = 0);
};
