// The sum of one channel's spectrum.
#include "mcaspectrum.h"

quint64 McaSpectrum::sum() const
{
    quint64 s = 0;
    for (quint32 v : bins)
        s += v;
    return s;
}
