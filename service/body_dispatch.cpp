// Body: the entry point of the measurement service, and the parameter checks
// that every request handler shares.

#include "body.h"

#include "paramrules.h"

void Body::anyAsk(AMsg msg)
{
    if (LogMsgFromStars->isChecked())
        emit log(QStringLiteral(":::: Rcv %1").arg(msg.line), rcvColor);

    switch (msg.cmdId) {
    case 3: askGetDataLinkCh(msg); break;
    case 4: askGetMCALength(msg); break;
    case 5: askGetPeakingTime(msg); break;
    case 6: askStart(msg, true); break;
    case 7: askStart(msg, false); break;
    case 8: askStop(msg); break;
    case 9: askClear(msg); break;
    case 10: askStart(msg, false); break;
    case 11: askStop(msg); break;
    case 12: askGetMCAs(msg); break;
    case 13: askSetNormalizeType(msg); break;
    case 14: askGetNormalizeType(msg); break;
    case 15: askSetPresetType(msg); break;
    case 16: askGetPresetType(msg); break;
    case 17: askSetPresetValue(msg); break;
    case 18: askGetPresetValue(msg); break;
    case 19: askGetRealTime(msg); break;
    case 20: askGetLiveTime(msg); break;
    case 21: askSetROI(msg); break;
    case 22: askSetROIs(msg); break;
    case 23: askGetROI(msg); break;
    case 24: askGetROIs(msg); break;
    case 25:
    case 26: askGetValue(msg); break;
    case 27:
    case 28: askGetValues(msg); break;
    case 29: askHvStart(msg); break;
    case 30: askHvStop(msg); break;
    case 31: askHvStat(msg); break;
    case 32: askHvVol(msg); break;
    case 33: askGetRealTimes(msg); break;
    case 34: askGetLiveTimes(msg); break;
    case 35: askGetDeadTimes(msg); break;
    case 36: // GetThreshold
    case 37: // GetCalibration
        stars->sendAns(msg, QStringLiteral("0"));
        break;
    case 38: // GetDynamicRange
    case 39: // GetPreAMPGain
        stars->sendAns(msg, QStringLiteral("1"));
        break;
    case 40: askStatus(msg); break;
    case 41: askSetConfig(msg); break;
    case 42: askGetHistgram(msg); break;
    case 43: askSetMeasTimeInSec(msg); break;
    case 44: askGetMeasTimeInSec(msg); break;
    default:
        stars->sendAns(msg, QStringLiteral("Er: Unknown Command"));
        emit log(QStringLiteral("**** Er: %1").arg(msg.rest));
        break;
    }
}

bool Body::checkNumOfParams(const AMsg &msg, int n)
{
    if (msg.params.size() == n)
        return true;
    stars->sendAns(msg, QStringLiteral("Er: Number of Params shuld be %1").arg(n));
    return false;
}

int Body::checkMaxNumOfParams(const AMsg &msg, int n)
{
    if (msg.params.size() <= n)
        return int(msg.params.size());
    stars->sendAns(msg, QStringLiteral("Er: Number of Params shuld be %1").arg(n));
    return -1;
}

int Body::getElmNo(const AMsg &msg, int n)
{
    if (!checkNumOfParams(msg, n))
        return -1;
    const int e = ParamRules::elementNo(msg.param0, int(units.elements.size()));
    if (e < 0)
        stars->sendAns(msg, QStringLiteral("Er: Elment No."));
    return e;
}

VexDA *Body::addressedUnit(const AMsg &msg)
{
    for (VexDA *u : std::as_const(units.units)) {
        if (u->name() == msg.toCh)
            return u;
    }
    stars->sendAns(msg, QStringLiteral("Er: No dsp of id %1").arg(msg.toCh));
    return nullptr;
}
