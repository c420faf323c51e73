// Body: measurement control commands — start, resume, stop and clear; MCA
// length and peaking time; normalisation type; presets; measuring time.

#include "body.h"

#include "dspreg.h"
#include "paramrules.h"
#include "presetanswer.h"
#include "vexda.h"

void Body::askStart(AMsg msg, bool clearHgm)
{
    if (checkMaxNumOfParams(msg, 1) < 0)
        return;
    const int num = ParamRules::measNum(msg.param0);
    if (units.units.isEmpty()) {
        stars->sendOk(msg);
        return;
    }
    // A repeated number (a request retried after a time-out) starts nothing
    // and so clears nothing: the measurement it refers to keeps its data.
    const auto starts = [num](const VexDA *u) { return num == 0 || u->startMeasNum != num; };
    if (clearHgm) {
        for (VexDA *u : std::as_const(units.units)) {
            if (starts(u))
                u->clearHistogram();
        }
    }
    for (VexDA *u : std::as_const(units.units)) {
        u->writeReg(DspAddr::Start, 0);
        u->stopMeasWatch();
    }
    for (VexDA *u : std::as_const(units.units)) {
        if (starts(u)) {
            u->startMeasNum = num;
            u->startMeasWatch();
            if (u->writeReg(DspAddr::Start, 1))
                u->measStarted();
        } else {
            // The same measurement again: nothing is restarted, but the unit
            // reports busy and then idle once.
            u->inMeas = true;
            u->checkIsBusy();
            u->inMeas = false;
            u->checkIsBusy();
        }
    }
    stars->sendOk(msg);
}

void Body::askStop(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    for (VexDA *u : std::as_const(units.units)) {
        u->writeReg(DspAddr::Start, 0);
        u->stopMeasWatch();
    }
    stars->sendOk(msg);
}

void Body::askClear(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    for (VexDA *u : std::as_const(units.units))
        u->clearHistogram();
    stars->sendOk(msg);
}

void Body::askGetMCALength(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    if (units.units.isEmpty()) {
        stars->sendAns(msg, QStringLiteral("Er: No DSPs are managed"));
        return;
    }
    const int length = units.units.first()->mcaLength;
    for (VexDA *u : std::as_const(units.units)) {
        if (u->mcaLength != length) {
            stars->sendAns(msg, QStringLiteral("Er: MCA lengths are not the same among DSPs."));
            return;
        }
    }
    stars->sendAns(msg, QString::number(length));
}

void Body::askGetPeakingTime(AMsg msg)
{
    const int n = getElmNo(msg, 1);
    if (n < 0)
        return;
    const Element &e = units.elements.at(n);
    const quint32 offset = quint32(chOffsets.value(e.ch, 0));
    e.unit->readReg(DspAddr::SFilterPeakingT + offset, true, 2);
    const QByteArray d = e.unit->ansData();
    const int raw = d.size() >= 2 ? (quint8(d.at(0)) << 8) | quint8(d.at(1)) : 0;
    stars->sendAns(msg, ParamRules::gText(raw * 0.01));
}

void Body::askSetNormalizeType(AMsg msg)
{
    if (!checkNumOfParams(msg, 1))
        return;
    bool read = true;
    normalizeType = ParamRules::normalizeType(msg.param0, normalizeType, &read);
    if (!read)
        logUnread(msg, msg.param0, QStringLiteral("normalize type"),
                  QStringLiteral("%1 (%2) is kept").arg(ParamRules::normalizeName(normalizeType)).arg(normalizeType));
    stars->sendAns(msg, QStringLiteral("Ok: Normalize type %1").arg(ParamRules::normalizeName(normalizeType)));
}

void Body::askGetNormalizeType(AMsg msg)
{
    stars->sendAns(msg, ParamRules::normalizeName(normalizeType));
}

void Body::askSetPresetType(AMsg msg)
{
    if (!checkNumOfParams(msg, 1))
        return;
    bool read = true;
    const int type = ParamRules::presetType(msg.param0, &read);
    if (!read)
        logUnread(msg, msg.param0, QStringLiteral("preset type"), QStringLiteral("None (0) is set"));
    for (VexDA *u : std::as_const(units.units))
        u->setPresetType(type);
    stars->sendOk(msg);
}

void Body::askGetPresetType(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    QStringList texts;
    for (VexDA *u : std::as_const(units.units))
        texts << QString::number(u->getPresetType());
    stars->sendAns(msg, PresetAnswer::build(texts));
}

void Body::askSetPresetValue(AMsg msg)
{
    if (!checkNumOfParams(msg, 1))
        return;
    bool read = true;
    const double seconds = ParamRules::number(msg.param0, &read);
    if (!read)
        logUnread(msg, msg.param0, QStringLiteral("number"), QStringLiteral("0 is set"));
    for (VexDA *u : std::as_const(units.units))
        u->setPresetValue(seconds);
    stars->sendOk(msg);
}

void Body::askGetPresetValue(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    QStringList texts;
    for (VexDA *u : std::as_const(units.units))
        texts << ParamRules::gText(u->getPresetValue());
    stars->sendAns(msg, PresetAnswer::build(texts));
}

void Body::askSetMeasTimeInSec(AMsg msg)
{
    VexDA *u = addressedUnit(msg);
    if (!u)
        return;
    // Clamped as presets are: negative or NaN 0, beyond the 48-bit register
    // its largest count.
    bool read = true;
    u->setMeasTime(VexDA::presetTicks(ParamRules::number(msg.param0, &read)));
    if (!read)
        logUnread(msg, msg.param0, QStringLiteral("number"), QStringLiteral("0 is set"));
    stars->sendOk(msg);
}

void Body::askGetMeasTimeInSec(AMsg msg)
{
    VexDA *u = addressedUnit(msg);
    if (!u)
        return;
    stars->sendAns(msg, ParamRules::gText(double(u->getMeasTime()) * 1e-8));
}
