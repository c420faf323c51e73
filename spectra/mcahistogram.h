// One channel's spectrum with its times and rate.
#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// One channel's spectrum with the times and rate that came with it: what the
// data link ships per element, and what the Spectra window reads itself.
struct McaHistogram
{
    quint32 channel = 0;      // channel within its unit (0 to 3)
    quint64 inMeas = 0;       // 1 when the unit was measuring when the data were taken
    double realTime = 0.0;    // seconds
    double liveTime = 0.0;    // seconds
    double icr = 0.0;         // the channel's ICR register value
    QVector<quint32> bins;

    quint64 sum() const;
};

// One element of Marlo: a used channel of a DSP unit. The element number is
// the position in the element list.
struct ElementInfo
{
    int unit = 0;          // index of the unit in configuration order
    QString unitName;      // empty when not known
    int channel = 0;

    bool operator==(const ElementInfo &o) const
    {
        return unit == o.unit && unitName == o.unitName && channel == o.channel;
    }
};
