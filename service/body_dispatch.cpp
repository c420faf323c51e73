// Body: the entry point of the measurement service, and the parameter checks
// that every request handler shares.

#include "body.h"

#include "paramrules.h"
#include "vexhv.h"

void Body::anyAsk(AMsg msg)
{
    if (LogMsgFromStars->isChecked())
        emit log(QStringLiteral(":::: Rcv %1").arg(msg.line), rcvColor);
    // A unit that does not answer costs this request one wait at most.
    for (VexDA *u : std::as_const(units.units))
        u->beginRequest();
    if (hv)
        hv->beginRequest();

    if (const Handler run = handlerOf(msg.cmdId)) {
        run(this, msg);
        return;
    }
    stars->sendAns(msg, QStringLiteral("Er: Unknown Command"));
    emit log(QStringLiteral("**** Er: %1").arg(msg.rest));
}

Body::Handler Body::handlerOf(int cmdId)
{
    // The command numbers of the command table and what each one reaches: a
    // handler, or a fixed answer for the commands that only report a dummy.
    struct Route
    {
        int id;
        Handler run;
    };
    static const Route routes[] = {
        {3, [](Body *b, const AMsg &m) { b->askGetDataLinkCh(m); }},
        {4, [](Body *b, const AMsg &m) { b->askGetMCALength(m); }},
        {5, [](Body *b, const AMsg &m) { b->askGetPeakingTime(m); }},
        {6, [](Body *b, const AMsg &m) { b->askStart(m, true); }},   // RunStart
        {7, [](Body *b, const AMsg &m) { b->askStart(m, false); }},  // Resume
        {8, [](Body *b, const AMsg &m) { b->askStop(m); }},          // RunStop
        {9, [](Body *b, const AMsg &m) { b->askClear(m); }},
        {10, [](Body *b, const AMsg &m) { b->askStart(m, false); }}, // Start
        {11, [](Body *b, const AMsg &m) { b->askStop(m); }},         // Stop
        {12, [](Body *b, const AMsg &m) { b->askGetMCAs(m); }},
        {13, [](Body *b, const AMsg &m) { b->askSetNormalizeType(m); }},
        {14, [](Body *b, const AMsg &m) { b->askGetNormalizeType(m); }},
        {15, [](Body *b, const AMsg &m) { b->askSetPresetType(m); }},
        {16, [](Body *b, const AMsg &m) { b->askGetPresetType(m); }},
        {17, [](Body *b, const AMsg &m) { b->askSetPresetValue(m); }},
        {18, [](Body *b, const AMsg &m) { b->askGetPresetValue(m); }},
        {19, [](Body *b, const AMsg &m) { b->askGetRealTime(m); }},
        {20, [](Body *b, const AMsg &m) { b->askGetLiveTime(m); }},
        {21, [](Body *b, const AMsg &m) { b->askSetROI(m); }},
        {22, [](Body *b, const AMsg &m) { b->askSetROIs(m); }},
        {23, [](Body *b, const AMsg &m) { b->askGetROI(m); }},
        {24, [](Body *b, const AMsg &m) { b->askGetROIs(m); }},
        {25, [](Body *b, const AMsg &m) { b->askGetValue(m); }},     // GetValue
        {26, [](Body *b, const AMsg &m) { b->askGetValue(m); }},     // GetValueInROI
        {27, [](Body *b, const AMsg &m) { b->askGetValues(m); }},    // GetValues
        {28, [](Body *b, const AMsg &m) { b->askGetValues(m); }},    // GetValuesInROI
        {29, [](Body *b, const AMsg &m) { b->askHvStart(m); }},
        {30, [](Body *b, const AMsg &m) { b->askHvStop(m); }},
        {31, [](Body *b, const AMsg &m) { b->askHvStat(m); }},
        {32, [](Body *b, const AMsg &m) { b->askHvVol(m); }},
        {33, [](Body *b, const AMsg &m) { b->askGetRealTimes(m); }},
        {34, [](Body *b, const AMsg &m) { b->askGetLiveTimes(m); }},
        {35, [](Body *b, const AMsg &m) { b->askGetDeadTimes(m); }},
        {36, [](Body *b, const AMsg &m) { b->stars->sendAns(m, QStringLiteral("0")); }}, // GetThreshold
        {37, [](Body *b, const AMsg &m) { b->stars->sendAns(m, QStringLiteral("0")); }}, // GetCalibration
        {38, [](Body *b, const AMsg &m) { b->stars->sendAns(m, QStringLiteral("1")); }}, // GetDynamicRange
        {39, [](Body *b, const AMsg &m) { b->stars->sendAns(m, QStringLiteral("1")); }}, // GetPreAMPGain
        {40, [](Body *b, const AMsg &m) { b->askStatus(m); }},
        {41, [](Body *b, const AMsg &m) { b->askSetConfig(m); }},
        {42, [](Body *b, const AMsg &m) { b->askGetHistgram(m); }},
        {43, [](Body *b, const AMsg &m) { b->askSetMeasTimeInSec(m); }},
        {44, [](Body *b, const AMsg &m) { b->askGetMeasTimeInSec(m); }},
    };

    for (const Route &r : routes) {
        if (r.id == cmdId)
            return r.run;
    }
    return nullptr;
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

void Body::logUnread(const AMsg &msg, const QString &text, const QString &what, const QString &outcome)
{
    emit log(QStringLiteral("%1 [%2] is no %3: %4").arg(msg.cmd, text, what, outcome), QColor(255, 0, 0));
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

bool Body::readHistogram(const AMsg &msg, const Element &e)
{
    e.unit->askHistogram(e.ch, true);
    if (!e.unit->hgReady)
        stars->sendAns(msg, QStringLiteral("0 Er: data transfer"));
    return e.unit->hgReady;
}
