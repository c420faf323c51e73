// Sums the counts of one histogram over an ROI.
#include "roisum.h"

#include <algorithm>

quint64 RoiSum::exclusive(const quint32 *bins, int length, int start, int end)
{
    if (!bins || length <= 0)
        return 0;
    const qint64 from = std::max<qint64>(start, 0);
    const qint64 to = std::min<qint64>(end, length);
    quint64 sum = 0;
    for (qint64 i = from; i < to; ++i)
        sum += bins[i];
    return sum;
}

quint64 RoiSum::inclusive(const quint32 *bins, int length, int start, int end)
{
    // The end bin is included: the range [start, end + 1), computed in 64 bits
    // so that an end of INT_MAX does not overflow.
    if (!bins || length <= 0)
        return 0;
    const qint64 from = std::max<qint64>(start, 0);
    const qint64 to = std::min<qint64>(qint64(end) + 1, length);
    quint64 sum = 0;
    for (qint64 i = from; i < to; ++i)
        sum += bins[i];
    return sum;
}

quint64 RoiSum::total(const quint32 *bins, int length)
{
    quint64 sum = 0;
    for (int i = 0; bins && i < length; ++i)
        sum += bins[i];
    return sum;
}
