// Collects the bytes of one histogram from the TCP stream, with a size limit.
#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;

// Collects the bytes of one histogram from the TCP stream (hgBytes bytes of
// big-endian 32-bit bins, bin 0 first) and converts the first mcaLength bins
// once, when the histogram is complete.
class HistogramAssembler
{
public:
    explicit HistogramAssembler(int hgBytes = 16384, int mcaLength = 4096);

    void setSizes(int hgBytes, int mcaLength);   // also resets
    int hgBytes() const { return m_hgBytes; }
    int mcaLength() const { return m_mcaLength; }

    void reset();                  // drop the bytes collected so far
    int size() const;              // bytes collected so far
    int missing() const;           // bytes still needed
    bool isComplete() const;

    // Appends at most missing() bytes of `data`; returns how many were taken.
    int feed(const char *data, int n);
    int feed(const QByteArray &data);
    // Reads at most min(maxBytes, missing()) bytes straight from dev.
    int feedFrom(QIODevice *dev, qint64 maxBytes);

    // When complete: writes min(mcaLength, hgBytes/4, maxBins) bins in host
    // order to dst and returns their number; else writes nothing, returns 0.
    int convertTo(quint32 *dst, int maxBins) const;

    static void convert(const char *src, int bins, quint32 *dst);

private:
    int m_hgBytes;
    int m_mcaLength;
    QByteArray m_data;
};
