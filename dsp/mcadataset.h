// The times and histograms of one unit for one measurement.
#pragma once

#include <QList>
#include <QtGlobal>

#include "mcadata.h"

// The times and histograms of one unit for one measurement; owns its blocks.
class MCADataSet
{
public:
    MCADataSet(int chCount, qint64 length, int measNum, int count);
    ~MCADataSet();
    MCADataSet(const MCADataSet &) = delete;
    MCADataSet &operator=(const MCADataSet &) = delete;

    int measNum;            // measurement the set was built for (0: none)
    int count;              // the unit's measCount when built
    bool whole = true;      // every read of its times and bins was answered
    QList<MCAData *> chs;   // one block per channel
};
