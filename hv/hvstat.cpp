// Decodes the HV unit's status word.
#include "hvstat.h"

HvStat HvStat::decode(quint16 word)
{
    HvStat s;
    s.stat = word;
    s.isInEmergency = (word & 0xF0) != 0;
    s.isPositive = (word & 0x20) != 0;
    s.isOn = (word & 0x10) != 0;
    s.sweepStat = sweepOfNibble(word & 0x0F);
    return s;
}

HvStat::SweepStat HvStat::sweepOfNibble(int nibble)
{
    switch (nibble) {
    case 0:
        return SweepOff;
    case 2:
        return SweepTrans;
    case 4:
        return SweepOn;
    default:
        return SweepOther;
    }
}

bool HvStat::operator==(const HvStat &o) const
{
    return stat == o.stat && isInEmergency == o.isInEmergency && isPositive == o.isPositive
        && isOn == o.isOn && sweepStat == o.sweepStat;
}

void registerHvStatMetaTypes()
{
    qRegisterMetaType<HvStat>("HvStat");
    qRegisterMetaType<HvStat::SweepStat>("HvStat::SweepStat");
}
