// One spectrum record of the data link: a 48-byte header and its bins.
#pragma once

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// One spectrum record of the data link: a 48-byte header followed by the bin
// counts, every field little-endian.
//
//   0  u32  channel number within its unit
//   4  u32  marker (see McaTransfer)
//   8  u64  1 when the unit was measuring when the data were taken
//  16  u64  number of bins n
//  24  f64  real time of the unit, seconds
//  32  f64  live time of the channel, seconds
//  40  f64  input count rate value of the channel
//  48  u32 × n  bins, bin 0 first
struct McaRecordHeader
{
    quint32 ch = 0;
    quint32 marker = 0;
    quint64 inMeas = 0;
    quint64 length = 0;
    double realTime = 0.0;
    double liveTime = 0.0;
    double icr = 0.0;
};

class McaRecord
{
public:
    static constexpr int headerBytes = 48;

    static McaRecordHeader readHeader(const char *block);
    static void writeHeader(char *block, const McaRecordHeader &h);
    static void setMarker(char *block, quint32 marker);

    // A record whose length field does not match the `bins` that follow (the
    // empty data set a unit holds before its first measurement) gets its
    // channel number and length filled in. Returns whether it was changed.
    static bool mendUnfilled(char *block, quint32 ch, quint64 bins);

    static QByteArray encode(const McaRecordHeader &h, const QVector<quint32> &bins);

    // Reads one record from the start of `bytes`: the number of bytes it
    // takes, 0 when the record is not complete yet, -1 when its length field
    // exceeds `maxBins` (not a record).
    static qsizetype decode(const QByteArray &bytes, McaRecordHeader &h, QVector<quint32> &bins,
                            quint64 maxBins = 1 << 16);
};
