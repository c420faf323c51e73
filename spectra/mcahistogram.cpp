// The sum of one channel's spectrum.
#include "mcahistogram.h"

quint64 McaHistogram::sum() const
{
    quint64 s = 0;
    for (quint32 v : bins)
        s += v;
    return s;
}
