// "GetValues" with 8 simulated units of 4 channels on loopback, asked by a
// peer over the STARS bus, against the sum of its floors measured in the same
// run: the plain exchanges of the same register reads and histogram requests
// (UDP) and the plain reads of the same 32 histograms (TCP), made with
// blocking sockets against simulated units of their own, served by the same
// simulator thread as Marlo's units.
#include <QApplication>

#include <vector>

#include "benchrig.h"
#include "benchutil.h"
#include "dspreg.h"
#include "rbcp.h"
#include "servicerig.h"
#include "body.h"
#include "vexda.h"

namespace {

constexpr int unitCount = 8;
constexpr int chCount = 4;
constexpr int hgBytes = 16384;

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    const QList<ServiceRig::Unit> units = bench::rigUnits(unitCount, 41);
    ServiceRig rig;
    if (!bench::startRig(rig, units))
        return 1;

    // One unit's share of the floor: the 13 register reads of a time refresh,
    // then per channel the histogram request, the histogram, and the two
    // counter reads.
    std::vector<bench::PlainUnit> plain = bench::plainUnits(rig, unitCount, 61);
    if (plain.empty())
        return 1;

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
        for (bench::PlainUnit &u : plain) {
            for (const QByteArray &r : timeReads)
                failures += !u.udp->exchange(r, answer, sizeof answer);
        }
        for (bench::PlainUnit &u : plain) {
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
