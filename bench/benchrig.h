#pragma once

// The start of a benchmark that measures Marlo's Body in the end-to-end rig:
// units named dsp1, dsp2, ... on consecutive loopback addresses.
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <memory>
#include <vector>

#include "benchutil.h"
#include "servicerig.h"
#include "simhost.h"
#include "simunit.h"

namespace bench {

// `count` units with four channels each at NET.FIRST, NET.FIRST+1, ...
inline QList<ServiceRig::Unit> rigUnits(int count, int first, const QString &net = QStringLiteral("127.0.6"))
{
    QList<ServiceRig::Unit> units;
    for (int i = 0; i < count; ++i)
        units << ServiceRig::Unit{QStringLiteral("dsp%1").arg(i + 1), QStringLiteral("%1.%2").arg(net).arg(first + i),
                                  QStringLiteral("1 1 1 1")};
    return units;
}

// Starts the rig; says why on standard error when it cannot.
inline bool startRig(ServiceRig &rig, const QList<ServiceRig::Unit> &units, const QStringList &keys = {})
{
    if (rig.start(units, keys))
        return true;
    std::fprintf(stderr, "set-up failed: %s\n", qPrintable(rig.error()));
    return false;
}

// A floor unit: a simulated unit of the rig's simulator spoken to with plain
// sockets, no Marlo in between.
struct PlainUnit {
    std::unique_ptr<PlainUdp> udp;
    std::unique_ptr<PlainTcp> tcp;
};

// `count` deterministic floor units p1, p2, ... at 127.0.6.FIRST, ..., with
// their connections taken; says why on standard error when it cannot.
inline std::vector<PlainUnit> plainUnits(ServiceRig &rig, int count, int first)
{
    SimHost &host = *rig.simulator();
    QList<SimUnit *> sims;
    for (int i = 0; i < count; ++i)
        sims << host.addDsp(QStringLiteral("p%1").arg(i + 1), QHostAddress(QStringLiteral("127.0.6.%1").arg(first + i)), 0, 0);
    if (!host.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return {};
    }
    std::vector<PlainUnit> plain(count);
    for (int i = 0; i < count; ++i) {
        sims.at(i)->setDeterministic(true);
        plain[i].udp = std::make_unique<PlainUdp>(sims.at(i)->address(), sims.at(i)->udpPort());
        plain[i].tcp = std::make_unique<PlainTcp>(sims.at(i)->address(), sims.at(i)->tcpPort());
        if (!plain[i].tcp->ok()) {
            std::fprintf(stderr, "no plain TCP connection\n");
            return {};
        }
    }
    QThread::msleep(100);   // let the simulator take the connections
    return plain;
}

} // namespace bench
