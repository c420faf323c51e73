#include "histogramstamp.h"

#include <array>

namespace {

const std::array<quint32, 256> &crcTable()
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

} // namespace

quint32 HistogramStamp::crc(const quint32 *bins, int count)
{
    const auto &t = crcTable();
    quint32 c = 0xFFFFFFFFu;
    for (int i = 0; i < count; ++i) {
        const quint32 v = i == 4 ? 0 : bins[i];
        for (int shift = 24; shift >= 0; shift -= 8)
            c = t[(c ^ (v >> shift)) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

quint32 HistogramStamp::fill(const Id &id, int bin)
{
    // splitmix64 of the four values: neighbouring starts and bins differ everywhere.
    quint64 x = (quint64(id.unit) << 56) ^ (quint64(id.channel) << 48) ^ (quint64(id.start) << 16) ^ quint64(bin);
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return quint32(x & 0xFFFF);
}

QVector<quint32> HistogramStamp::make(int bins, const Id &id)
{
    QVector<quint32> h(qMax(bins, reservedBins), 0);
    h[0] = mark;
    h[1] = id.unit;
    h[2] = id.channel;
    h[3] = id.start;
    for (int i = reservedBins; i < h.size(); ++i)
        h[i] = fill(id, i);
    h[4] = crc(h.constData(), int(h.size()));
    return h;
}

QString HistogramStamp::read(const quint32 *bins, int count, Id *id)
{
    if (count < reservedBins)
        return QStringLiteral("%1 bins, too short for a stamp").arg(count);
    if (bins[0] != mark)
        return QStringLiteral("no mark (bin 0 is 0x%1)").arg(bins[0], 8, 16, QLatin1Char('0'));
    if (crc(bins, count) != bins[4])
        return QStringLiteral("checksum wrong");
    const Id got{bins[1], bins[2], bins[3]};
    for (int i = reservedBins; i < count; ++i)
        if (bins[i] != fill(got, i))
            return QStringLiteral("bin %1 does not follow from the stamp").arg(i);
    if (id)
        *id = got;
    return QString();
}

QString HistogramStamp::check(const QVector<quint32> &bins, const Id &expected)
{
    Id got;
    const QString why = read(bins.constData(), int(bins.size()), &got);
    if (!why.isEmpty())
        return why;
    if (got.unit != expected.unit || got.channel != expected.channel)
        return QStringLiteral("unit %1 channel %2, expected unit %3 channel %4")
            .arg(got.unit).arg(got.channel).arg(expected.unit).arg(expected.channel);
    if (got.start != expected.start)
        return QStringLiteral("%1 start %2, expected %3")
            .arg(got.start < expected.start ? QStringLiteral("old") : QStringLiteral("later"))
            .arg(got.start).arg(expected.start);
    return QString();
}
