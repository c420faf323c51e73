// Holds the blocks of one unit's measurement and hands out channels.
#include "mcadataset.h"

MCADataSet::MCADataSet(int chCount, qint64 length, int measNum, int count)
    : measNum(measNum)
    , count(count)
{
    for (int c = 0; c < chCount; ++c)
        chs.append(new MCAData(length));
}

MCADataSet::~MCADataSet()
{
    qDeleteAll(chs);
}
