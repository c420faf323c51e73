// Body: the HV commands ("HVStart", "HVStop", "HVStat2", "HVVol") and the
// event "ChangedHVStat" for every change of the HV unit's sweep state.

#include "body.h"

#include "paramrules.h"
#include "vexhv.h"

namespace {

const QString noHv = QStringLiteral("Er: HV unit is not avaliable.");

// The sweep state as it travels on STARS: 0, 1 and 2 as they are, else -1.
int sweepNumber(HvStat::SweepStat s)
{
    switch (s) {
    case HvStat::SweepOff:
    case HvStat::SweepTrans:
    case HvStat::SweepOn:
        return int(s);
    default:
        return -1;
    }
}

} // namespace

void Body::askHvStart(AMsg msg)
{
    if (!hv) {
        stars->sendAns(msg, noHv);
        return;
    }
    hv->hvOnOff(true);
    stars->sendOk(msg);
}

void Body::askHvStop(AMsg msg)
{
    if (!hv) {
        stars->sendAns(msg, noHv);
        return;
    }
    hv->hvOnOff(false);
    stars->sendOk(msg);
}

void Body::askHvStat(AMsg msg)
{
    if (!hv) {
        stars->sendAns(msg, noHv);
        return;
    }
    stars->sendAns(msg, QString::number(sweepNumber(hv->hvStat().sweepStat)));
}

void Body::askHvVol(AMsg msg)
{
    if (!hv) {
        stars->sendAns(msg, noHv);
        return;
    }
    // A read that got no answer is no reading: the stored voltage stays
    // (a raw 0 would read as a large negative voltage).
    if (hv->readReg(VexHv::regValue, true, 2))
        hv->setRawVoltage(quint16(hv->ansValue() & 0xFFFF));
    stars->sendAns(msg, ParamRules::gText(hv->voltage()));
}

void Body::newHvStat(HvStat::SweepStat stat)
{
    if (stars)
        stars->sendEvent(QString(), QStringLiteral("%1 %2").arg(QStringLiteral("ChangedHVStat")).arg(sweepNumber(stat)));
}
