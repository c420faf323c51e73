// A scan through the STARS bus, as a measurement program drives it: per point
// "RunStart N", the event "ChangedIsBusy 0", then "GetValues" (or "GetMCAs"
// over the data link, to the last byte at the peer). 8 simulated units of 4
// channels, Real presets of 0.1 s and 1 s, on plain loopback and with the
// timing of a gigabit unit behind a switch (answers 200 us late, histogram
// streams at 1000 Mb/s).
//
// The figure is the overhead of a point (its time minus the preset); its
// floor is the "GetValues" round trip with the units idle, measured between
// the points of the same run. Rows give the minima (the least disturbed
// points on a shared machine) with the medians beside them and the ratio of
// the minima; the points per minute come from the median point. A line after
// each row splits the median overhead: the start ("RunStart" answered), the
// watch (from the preset's end to the first histogram request of a data
// set), the data sets (from there to the event at the peer: the histograms,
// and the watch ticks of the other units) and the read-out.
#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>
#include <QtEndian>

#include <atomic>

#include "benchlink.h"
#include "benchrig.h"
#include "benchutil.h"
#include "body.h"
#include "dspreg.h"
#include "servicerig.h"
#include "simunit.h"

namespace {

constexpr int unitCount = 8;
constexpr int chCount = 4;
constexpr qint64 transferBytes = (48 + 4 * 4096) * unitCount * chCount;

struct Timing {
    const char *name;
    int answerDelayUs;
    double streamMbps;
};

// Sim-side moments (ns of `clock`) of the first Start and the first
// histogram request after arm(); written in the simulator thread.
struct WireMarks {
    QElapsedTimer clock;
    std::atomic<qint64> firstStart{-1};
    std::atomic<qint64> firstHistogram{-1};
    void arm()
    {
        firstStart = -1;
        firstHistogram = -1;
    }
    void take(const QByteArray &d)
    {
        if (d.size() < 10 || quint8(d.at(1)) != 0x80)
            return;
        const quint32 addr = qFromBigEndian<quint32>(d.constData() + 4);
        qint64 none = -1;
        if (addr == DspAddr::Start && d.at(9) == 1)
            firstStart.compare_exchange_strong(none, clock.nsecsElapsed());
        else if (addr == DspAddr::Histgram)
            firstHistogram.compare_exchange_strong(none, clock.nsecsElapsed());
    }
};

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("marlo.*.debug=false"));

    const QList<ServiceRig::Unit> units = bench::rigUnits(unitCount, 151);
    ServiceRig rig;
    if (!bench::startRig(rig, units))
        return 1;
    Body *body = rig.body();
    WireMarks marks;
    marks.clock.start();
    for (const ServiceRig::Unit &u : units) {
        SimUnit *s = rig.sim(u.name);
        s->setDeterministic(true);
        // The simulator draws each count of a histogram when it is asked for;
        // at its default rate a 1 s point would time that, not Marlo.
        s->setCountRate(100);
        QObject::connect(s, &SimUnit::requestReceived, s, [&marks](const QByteArray &d) { marks.take(d); },
                         Qt::DirectConnection);
    }
    const int linkFd = bench::connectTo(body->dataLinkServerPort());
    if (linkFd < 0 || !bench::spin([body] { return body->dataLinkConnected(); })) {
        std::fprintf(stderr, "no data link\n");
        return 1;
    }
    bench::Reader link(linkFd, transferBytes);

    int failures = 0;
    auto askOk = [&](const QString &request) {
        const QString a = rig.ask(request);
        if (a.isNull() || a.contains(QLatin1String("Er:")))
            ++failures;
    };
    auto msSince = [](const QElapsedTimer &t) { return double(t.nsecsElapsed()) / 1e6; };
    auto getValuesMs = [&] {
        QElapsedTimer t;
        t.start();
        askOk(QStringLiteral("GetValues"));
        return msSince(t);
    };

    bench::header();
    const Timing timings[] = {{"loopback", 0, 0.0}, {"200 us, 1000 Mb/s", 200, 1000.0}};
    int measNum = 0;
    for (const Timing &timing : timings) {
        for (const ServiceRig::Unit &u : units) {
            rig.sim(u.name)->setAnswerDelayUs(timing.answerDelayUs);
            rig.sim(u.name)->setStreamMbps(timing.streamMbps);
        }
        for (const bool mcas : {false, true}) {
            for (const double preset : {0.1, 1.0}) {
                askOk(QStringLiteral("SetPresetType Real"));
                askOk(QStringLiteral("SetPresetValue %1").arg(preset));
                QList<double> starts, watches, dataSets, readOuts;
                // One point; its overhead in ms.
                auto pointMs = [&] {
                    rig.takeEvents();
                    marks.arm();
                    QElapsedTimer t;
                    t.start();
                    const qint64 t0 = marks.clock.nsecsElapsed();
                    askOk(QStringLiteral("RunStart %1").arg(++measNum));
                    const double started = msSince(t);
                    if (!rig.waitForEvent(QStringLiteral("ChangedIsBusy 0"), 30000))
                        ++failures;
                    const double ended = msSince(t);
                    double point;
                    if (mcas) {
                        link.go();
                        askOk(QStringLiteral("GetMCAs"));
                        if (!bench::spin([&] { return link.done() && !body->inDataTransfer(); }))
                            ++failures;
                        const auto sinceEnd = link.lastByte() - bench::Clock::now();
                        point = msSince(t) + double(std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEnd).count()) / 1e6;
                    } else {
                        askOk(QStringLiteral("GetValues"));
                        point = msSince(t);
                    }
                    const double presetEnd = double(marks.firstStart - t0) / 1e6 + preset * 1000.0;
                    const double firstHistogram = double(marks.firstHistogram - t0) / 1e6;
                    starts << started;
                    watches << firstHistogram - presetEnd;
                    dataSets << ended - firstHistogram;
                    readOuts << point - ended;
                    return point - preset * 1000.0;
                };
                const int rounds = preset < 0.5 ? 30 : 8;
                const bench::Interleaved r = bench::interleave(rounds, 1, getValuesMs, pointMs);
                const QByteArray figure = QStringLiteral("scan point overhead, %1, %2 s Real, %3 (%4 points/min)")
                                              .arg(QLatin1String(timing.name))
                                              .arg(preset)
                                              .arg(QLatin1String(mcas ? "GetMCAs" : "GetValues"))
                                              .arg(60000.0 / (preset * 1000.0 + r.value.median), 0, 'f', 0)
                                              .toUtf8();
                bench::minLine(figure.constData(), r, 1.0, "ms", 2.5);
                std::printf("  median split: start %.1f ms, watch %.1f ms, data sets %.1f ms, %s %.1f ms\n",
                            bench::stats(starts.mid(1)).median, bench::stats(watches.mid(1)).median, bench::stats(dataSets.mid(1)).median,
                            mcas ? "GetMCAs" : "GetValues", bench::stats(readOuts.mid(1)).median);
                std::fflush(stdout);
            }
        }
    }
    failures += link.failures;
    if (failures)
        std::printf("failed exchanges: %d\n", failures);
    return 0;
}
