// "GetValues" with 8 simulated units of 4 channels on loopback, asked by a
// peer over the STARS bus, against the sum of its floors measured in the same
// run: the plain exchanges of the same register reads and histogram requests
// (UDP) and the plain reads of the same 32 histograms (TCP), made with
// blocking sockets against simulated units of their own, served by the same
// simulator thread as Marlo's units.
#include <QApplication>
#include <QThread>

#include <memory>
#include <vector>

#include "benchutil.h"
#include "dspreg.h"
#include "rbcp.h"
#include "servicerig.h"
#include "simhost.h"
#include "simunit.h"
#include "body.h"
#include "vexda.h"

namespace {

constexpr int unitCount = 8;
constexpr int chCount = 4;
constexpr int hgBytes = 16384;

// One unit's share of the floor: the 13 register reads of a time refresh,
// then per channel the histogram request, the histogram, and the two counter
// reads.
struct PlainUnit {
    std::unique_ptr<bench::PlainUdp> udp;
    std::unique_ptr<bench::PlainTcp> tcp;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QList<ServiceRig::Unit> units;
    for (int i = 0; i < unitCount; ++i)
        units << ServiceRig::Unit{QStringLiteral("dsp%1").arg(i + 1), QStringLiteral("127.0.6.%1").arg(41 + i),
                                  QStringLiteral("1 1 1 1")};
    ServiceRig rig;
    if (!rig.start(units)) {
        std::fprintf(stderr, "set-up failed: %s\n", qPrintable(rig.error()));
        return 1;
    }

    SimHost &host = *rig.simulator();
    QList<SimUnit *> plainSims;
    for (int i = 0; i < unitCount; ++i)
        plainSims << host.addDsp(QStringLiteral("p%1").arg(i + 1), QHostAddress(QStringLiteral("127.0.6.%1").arg(61 + i)), 0, 0);
    if (!host.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    std::vector<PlainUnit> plain(unitCount);
    for (int i = 0; i < unitCount; ++i) {
        plainSims.at(i)->setDeterministic(true);
        plain[i].udp = std::make_unique<bench::PlainUdp>(plainSims.at(i)->address(), plainSims.at(i)->udpPort());
        plain[i].tcp = std::make_unique<bench::PlainTcp>(plainSims.at(i)->address(), plainSims.at(i)->tcpPort());
        if (!plain[i].tcp->ok()) {
            std::fprintf(stderr, "no plain TCP connection\n");
            return 1;
        }
    }
    QThread::msleep(100);   // let the simulator take the connections

    QList<QByteArray> timeReads{Rbcp::readRequest(DspAddr::RealTime1, 6)};
    for (int ch = 0; ch < chCount; ++ch) {
        const quint32 o = quint32(chOffsets.value(ch, ch * 0x200));
        timeReads << Rbcp::readRequest(DspAddr::LiveTime1 + o, 6) << Rbcp::readRequest(DspAddr::DeadTime1 + o, 6)
                  << Rbcp::readRequest(DspAddr::ICR1 + o, 4);
    }
    QList<QByteArray> hgAsks, counterReads;
    for (int ch = 0; ch < chCount; ++ch) {
        const quint32 o = quint32(chOffsets.value(ch, ch * 0x200));
        hgAsks << Rbcp::writeRequest(DspAddr::Histgram, quint64(ch), 2);
        counterReads << Rbcp::readRequest(DspAddr::FTotalCount1 + o, 4) << Rbcp::readRequest(DspAddr::ICR1 + o, 4);
    }

    std::vector<char> buf(hgBytes);
    char answer[64];
    int failures = 0;
    auto floorFn = [&] {
        for (PlainUnit &u : plain) {
            for (const QByteArray &r : timeReads)
                failures += !u.udp->exchange(r, answer, sizeof answer);
        }
        for (PlainUnit &u : plain) {
            for (int ch = 0; ch < chCount; ++ch) {
                failures += !u.udp->exchange(hgAsks.at(ch), answer, sizeof answer);
                failures += !u.tcp->readExactly(buf.data(), hgBytes);
                failures += !u.udp->exchange(counterReads.at(2 * ch), answer, sizeof answer);
                failures += !u.udp->exchange(counterReads.at(2 * ch + 1), answer, sizeof answer);
            }
        }
    };
    auto valueFn = [&] {
        const QString a = rig.ask(QStringLiteral("GetValues"));
        if (a.isNull() || a.contains(QLatin1String("Er:")))
            ++failures;
    };

    // The same exchanges made by calling the units directly (no STARS, no
    // handler): shows how much of the figure is the unit transport's.
    const QList<VexDA *> das = rig.body()->dspSet().units;
    auto unitsFn = [&] {
        for (VexDA *u : das)
            u->readTimes();
        for (VexDA *u : das) {
            for (int ch = 0; ch < chCount; ++ch) {
                const quint32 o = quint32(chOffsets.value(ch, ch * 0x200));
                u->askHistogram(ch, true);
                failures += !u->hgReady;
                u->readReg(DspAddr::FTotalCount1 + o, true, 4);
                u->readReg(DspAddr::ICR1 + o, true, 4);
            }
        }
    };

    for (int i = 0; i < 5; ++i) {
        floorFn();
        valueFn();
        unitsFn();
    }
    bench::header();
    const bench::Pair r = bench::compare(15, 5, floorFn, valueFn);
    bench::line("GetValues 8 units x 4 channels", r.value, r.floor, 1.3);
    const bench::Pair d = bench::compare(15, 5, floorFn, unitsFn);
    bench::line("(same exchanges through VexDA, no STARS)", d.value, d.floor, 1.3);
    if (failures)
        std::printf("failed exchanges: %d\n", failures);
    return 0;
}
