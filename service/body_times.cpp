// Body: time commands — real, live and dead times as means and lists.

#include "body.h"

#include "timetexts.h"
#include "vexda.h"

QStringList Body::realTimeTexts()
{
    QList<double> times;
    for (VexDA *u : std::as_const(units.units)) {
        u->readTimes();
        times << u->realTime;
    }
    return TimeTexts::texts(times);
}

QStringList Body::liveTimeTexts()
{
    for (VexDA *u : std::as_const(units.units))
        u->readTimes();
    QList<double> times;
    for (const Element &e : std::as_const(units.elements))
        times << e.unit->liveTimes.value(e.ch, 0.0);
    return TimeTexts::texts(times);
}

void Body::askGetRealTime(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    stars->sendAns(msg, TimeTexts::mean(realTimeTexts()));
}

void Body::askGetLiveTime(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    stars->sendAns(msg, TimeTexts::mean(liveTimeTexts()));
}

void Body::askGetRealTimes(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    stars->sendAns(msg, realTimeTexts().join(QLatin1Char(' ')));
}

void Body::askGetLiveTimes(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    stars->sendAns(msg, liveTimeTexts().join(QLatin1Char(' ')));
}

void Body::askGetDeadTimes(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    for (VexDA *u : std::as_const(units.units))
        u->readTimes();
    QList<double> times;
    for (const Element &e : std::as_const(units.elements))
        times << e.unit->deadTimes.value(e.ch, 0.0);
    stars->sendAns(msg, TimeTexts::texts(times).join(QLatin1Char(' ')));
}
