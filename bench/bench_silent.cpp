// Requests with one of 8 units switched off (no answers, no data): each
// request waits for it once, not once per register. Seconds per request, the
// slowest of the rounds against its target.
#include <QApplication>
#include <QElapsedTimer>

#include "benchrig.h"
#include "benchutil.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    const QList<ServiceRig::Unit> units = bench::rigUnits(8, 81);
    ServiceRig rig;
    if (!bench::startRig(rig, units))
        return 1;
    SimFaults off;
    off.silent = true;
    off.noTcpData = true;
    rig.sim(QStringLiteral("dsp8"))->setFaults(off);

    const struct {
        const char *request;
        double target;
    } rows[] = {{"GetValues", 1.0},    {"GetValuesInROI", 0.6}, {"GetRealTimes", 0.6}, {"GetLiveTimes", 0.6},
                {"GetDeadTimes", 0.6}, {"GetValue 31", 0.6},    {"GetRealTime", 0.6},  {"SetPresetValue 2", 0.6},
                {"Clear", 0.6},        {"GetROIs", 0.6}};
    std::printf("figure | slowest | median | target\n");
    int failures = 0;
    for (const auto &row : rows) {
        QList<double> s;
        for (int k = 0; k < 5; ++k) {
            QElapsedTimer t;
            t.start();
            failures += rig.ask(QString::fromLatin1(row.request)).isNull();
            s << t.nsecsElapsed() * 1e-9;
        }
        const bench::Stats st = bench::stats(s);
        std::printf("%s, 1 silent unit of 8 | %.2f s | %.2f s | <= %.1f s\n", row.request, st.max, st.median,
                    row.target);
        std::fflush(stdout);
    }
    if (failures)
        std::printf("unanswered requests: %d\n", failures);
    return 0;
}
