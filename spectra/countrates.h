// The figures of one element's row in the Spectra window.
#pragma once

#include <QVector>
#include <QtGlobal>

// The figures of one element's row in the Spectra window, from its times,
// its bins and its ROI: dead time in percent of the real time, output count
// rate (total counts per real-time second), the counts of the ROI (both ends
// included, as "GetValues" counts them) and their rate. A zero, negative or
// non-finite time gives 0 for what would be divided by it, never NaN.
class CountRates
{
public:
    enum class Level { Normal, Amber, Red };   // dead time above 30 %, above 60 %

    double deadPercent = 0.0;
    double ocr = 0.0;
    double roiRate = 0.0;
    quint64 total = 0;
    quint64 roiCounts = 0;
    Level level = Level::Normal;

    static CountRates of(double realTime, double liveTime, const QVector<quint32> &bins, int roiStart, int roiEnd);

    // counts / seconds, 0 when seconds is not a positive finite number.
    static double perSecond(double counts, double seconds);
    // 100 × (real − live) / real, within 0 to 100; 0 without a real time.
    static double deadPercentOf(double realTime, double liveTime);
    static Level levelOf(double deadPercent);
};
