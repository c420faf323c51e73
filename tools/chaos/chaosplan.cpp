#include "chaosplan.h"

#include <algorithm>
#include <random>

namespace Chaos {

namespace {

struct Named {
    Fault fault;
    const char *name;
};

const Named names[] = {
    {Fault::BusRestart, "bus-restart"}, {Fault::BusFreeze, "bus-freeze"},
    {Fault::UnitUnplug, "unit-unplug"}, {Fault::StreamStall, "stream-stall"},
    {Fault::StreamReset, "stream-reset"}, {Fault::LinkDrop, "link-drop"},
    {Fault::NackJunk, "nack-junk"}, {Fault::LinkStall, "link-stall"},
    {Fault::HvSilent, "hv-silent"},
};

} // namespace

QList<Fault> allFaults()
{
    QList<Fault> out;
    for (const Named &n : names)
        out << n.fault;
    return out;
}

QString faultName(Fault f)
{
    for (const Named &n : names)
        if (n.fault == f)
            return QString::fromLatin1(n.name);
    return QString();
}

bool faultFromName(const QString &name, Fault *f)
{
    for (const Named &n : names) {
        if (name == QLatin1String(n.name)) {
            *f = n.fault;
            return true;
        }
    }
    return false;
}

QList<Planned> plan(int points, int every, quint32 seed, const QList<Fault> &kinds, int units)
{
    QList<Planned> out;
    if (every <= 0 || kinds.isEmpty())
        return out;
    std::mt19937 rng(seed);
    QList<Fault> bag;
    for (int p = every; p <= points; p += every) {
        if (bag.isEmpty()) {
            bag = kinds;
            std::shuffle(bag.begin(), bag.end(), rng);
        }
        Planned x;
        x.point = p;
        x.fault = bag.takeFirst();
        x.unit = units > 0 ? int(std::uniform_int_distribution<int>(0, units - 1)(rng)) : 0;
        out << x;
    }
    return out;
}

} // namespace Chaos
