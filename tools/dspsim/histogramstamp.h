#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// A self-checking histogram: the simulator's stamp mode sends these instead
// of a simulated spectrum, so that whoever receives a histogram can tell,
// with no other knowledge, whether it is whole, which unit and channel sent
// it, and after which start of that unit it was taken.
//
// Layout (32-bit bins, bin 0 first):
//   bin 0  the mark 0x53544D50
//   bin 1  the unit's index (configuration order of the DSP units, from 0)
//   bin 2  the channel (0 to 3)
//   bin 3  the unit's start count: how many times Start was set to 1 since
//          the simulator began
//   bin 4  CRC-32 (IEEE 802.3) of all bins, each as 4 big-endian bytes, with
//          bin 4 itself taken as 0
//   bin i >= 5  fill(unit, channel, start, i): a 16-bit count derived from
//          the three values and the bin number, so two starts never give
//          the same spectrum
class HistogramStamp
{
public:
    static constexpr quint32 mark = 0x53544D50;
    static constexpr int reservedBins = 5;

    struct Id {
        quint32 unit = 0;
        quint32 channel = 0;
        quint32 start = 0;
    };

    // The stamped histogram of `bins` bins (at least reservedBins).
    static QVector<quint32> make(int bins, const Id &id);

    // Reads the stamp of a histogram; empty when it is sound (then `id`
    // holds its values), else what is wrong with it.
    static QString read(const quint32 *bins, int count, Id *id);
    // As read(), and the stamp must carry `expected`'s unit, channel and
    // start count; an earlier start reads "old start".
    static QString check(const QVector<quint32> &bins, const Id &expected);

    static quint32 fill(const Id &id, int bin);
    static quint32 crc(const quint32 *bins, int count);
};
