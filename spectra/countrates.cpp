// Computes the figures of one element's row in the Spectra window.
#include "countrates.h"

#include <algorithm>
#include <cmath>

double CountRates::perSecond(double counts, double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0.0 || !std::isfinite(counts))
        return 0.0;
    return counts / seconds;
}

double CountRates::deadPercentOf(double realTime, double liveTime)
{
    if (!std::isfinite(realTime) || realTime <= 0.0)
        return 0.0;
    const double live = std::isfinite(liveTime) ? liveTime : 0.0;
    return std::clamp(100.0 * (realTime - live) / realTime, 0.0, 100.0);
}

CountRates::Level CountRates::levelOf(double deadPercent)
{
    if (deadPercent > 60.0)
        return Level::Red;
    if (deadPercent > 30.0)
        return Level::Amber;
    return Level::Normal;
}

CountRates CountRates::of(double realTime, double liveTime, const QVector<quint32> &bins, int roiStart,
                                int roiEnd)
{
    CountRates r;
    for (quint32 v : bins)
        r.total += v;
    const int from = std::max(0, roiStart);
    const int to = std::min(int(bins.size()) - 1, roiEnd);
    for (int i = from; i <= to; ++i)
        r.roiCounts += bins.at(i);
    r.deadPercent = deadPercentOf(realTime, liveTime);
    r.level = levelOf(r.deadPercent);
    r.ocr = perSecond(double(r.total), realTime);
    r.roiRate = perSecond(double(r.roiCounts), realTime);
    return r;
}
