// Assembles one histogram from the bytes of the TCP stream.
#include "histogramassembler.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <climits>

HistogramAssembler::HistogramAssembler(int hgBytes, int mcaLength)
{
    setSizes(hgBytes, mcaLength);
}

void HistogramAssembler::setSizes(int hgBytes, int mcaLength)
{
    m_hgBytes = std::max(0, hgBytes);
    m_mcaLength = std::max(0, mcaLength);
    reset();
}

void HistogramAssembler::reset()
{
    m_data.clear();
    m_data.reserve(m_hgBytes);
}

int HistogramAssembler::size() const
{
    return int(m_data.size());
}

int HistogramAssembler::missing() const
{
    return m_hgBytes - size();
}

bool HistogramAssembler::isComplete() const
{
    return m_hgBytes > 0 && size() == m_hgBytes;
}

int HistogramAssembler::feed(const char *data, int n)
{
    if (!data || n <= 0)
        return 0;
    const int k = std::min(n, missing());
    if (k > 0)
        m_data.append(data, k);
    return k;
}

int HistogramAssembler::feed(const QByteArray &data)
{
    return feed(data.constData(), int(std::min<qsizetype>(data.size(), INT_MAX)));
}

int HistogramAssembler::feedFrom(QIODevice *dev, qint64 maxBytes)
{
    const int k = int(std::min<qint64>(maxBytes, missing()));
    if (!dev || k <= 0)
        return 0;
    const qsizetype old = m_data.size();
    m_data.resize(old + k);
    const qint64 got = dev->read(m_data.data() + old, k);
    m_data.resize(old + std::max<qint64>(got, 0));
    return int(std::max<qint64>(got, 0));
}

int HistogramAssembler::convertTo(quint32 *dst, int maxBins) const
{
    if (!dst || !isComplete())
        return 0;
    const int bins = std::max(0, std::min({m_mcaLength, m_hgBytes / 4, maxBins}));
    convert(m_data.constData(), bins, dst);
    return bins;
}

void HistogramAssembler::convert(const char *src, int bins, quint32 *dst)
{
    const auto *p = reinterpret_cast<const uchar *>(src);
    for (int i = 0; i < bins; ++i)
        dst[i] = qFromBigEndian<quint32>(p + 4 * i);
}
