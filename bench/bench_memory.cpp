// Resident size of the marlo program after 100 000 mixed STARS requests and
// 10 000 log lines, against its size after start-up, measured in the same
// run; and the last half of that load against the first half, which shows
// whether the memory stays flat (the log display keeps 2000 lines).
//
// The requests, sent in batches by one peer: every tenth an unknown command
// (each logs a line "**** Er: ..."), every hundredth "GetRealTimes", every
// fiftieth a "SetROI", every thousandth "GetValues", the rest requests that
// touch no unit. Two simulated units serve the real device ports (UDP 4660,
// TCP 24), which needs root.
#include <QApplication>

#include "benchmarlo.h"
#include "benchutil.h"
#include "simhost.h"
#include "simunit.h"
#include "starsnode.h"

namespace {

constexpr int requestCount = 100000;
constexpr int batch = 25;

QString requestOf(int i)
{
    if (i % 10 == 0)
        return QStringLiteral("NoSuchCommand %1").arg(i);
    if (i % 1000 == 1)
        return QStringLiteral("GetValues");
    if (i % 100 == 2)
        return QStringLiteral("GetRealTimes");
    if (i % 50 == 3)
        return QStringLiteral("SetROI %1 100 %2").arg(i % 6).arg(200 + i % 700);
    static const QStringList plain{
        QStringLiteral("GetROI 0"), QStringLiteral("IsBusy"), QStringLiteral("Hello"),
        QStringLiteral("GetPresetValue"), QStringLiteral("GetROIs"), QStringLiteral("Help GetValue"),
        QStringLiteral("GetNormalizeType"), QStringLiteral("GetMCALength"),
    };
    return plain.at(i % plain.size());
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    const char *total = "resident size, 100000 requests + 10000 log lines vs start-up";
    const char *flat = "resident size, last 50000 requests vs first 50000";
    std::printf("figure | value | floor | ratio | target\n");
    if (!bench::isRoot() || !QFile::exists(bench::marloPath())) {
        const char *why = bench::isRoot() ? "marlo not built" : "needs root (TCP port 24)";
        bench::skipRow(total, why);
        bench::skipRow(flat, why);
        return 0;
    }

    QTemporaryDir dir;
    bench::writeText(dir.filePath(QStringLiteral("Marlo.key")), "k0\nk1\n");
    bench::writeText(dir.filePath(QStringLiteral("Ravel.key")), "r0\nr1\n");
    StarsBus bus(dir.path());
    if (!bus.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    SimHost host;
    host.addDsp(QStringLiteral("dsp1"), QHostAddress(QStringLiteral("127.0.21.31")))->setDeterministic(true);
    host.addDsp(QStringLiteral("dsp2"), QHostAddress(QStringLiteral("127.0.21.32")), 4660, 24, true)->setDeterministic(true);
    if (!host.start()) {
        std::fprintf(stderr, "the simulator did not start (ports 4660 and 24 of 127.0.21.x)\n");
        return 1;
    }
    const QString cfg = dir.filePath(QStringLiteral("config.cfg"));
    bench::writeText(cfg, bench::marloConfig(dir, bus.port(),
                                             {QStringLiteral("dsp1 127.0.21.31 1 1 1 1"),
                                              QStringLiteral("dsp2 127.0.21.32 1 1 0 0 B")}));
    QProcess marlo;
    bench::startMarlo(marlo, dir, cfg);
    if (!QTest::qWaitFor([&bus] { return bus.hasNode(QStringLiteral("Marlo")); }, 30000)) {
        std::fprintf(stderr, "marlo did not log in\n");
        bench::stopMarlo(marlo, bus);
        return 1;
    }
    StarsNode peer;
    if (!peer.connectToBus(QHostAddress::LocalHost, bus.port(), QStringLiteral("Ravel"),
                           dir.filePath(QStringLiteral("Ravel.key")))) {
        std::fprintf(stderr, "peer: %s\n", qPrintable(peer.errorString()));
        bench::stopMarlo(marlo, bus);
        return 1;
    }

    int missing = 0;
    auto run = [&](int from, int to) {
        for (int i = from; i < to; i += batch) {
            const int n = std::min(batch, to - i);
            for (int k = 0; k < n; ++k)
                peer.send(QStringLiteral("Ravel>Marlo ") + requestOf(i + k));
            for (int k = 0; k < n; ++k) {
                if (!peer.waitForLineMatching([](const QString &l) { return l.startsWith(QLatin1String("Marlo>Ravel @")); },
                                              10000))
                    ++missing;
            }
        }
    };
    // Settle: the first requests of each kind allocate what they keep.
    run(0, 2000);
    QTest::qWait(500);
    const qint64 pid = marlo.processId();
    const qint64 startKiB = bench::residentKiB(pid);
    run(2000, 2000 + requestCount / 2);
    QTest::qWait(500);
    const qint64 halfKiB = bench::residentKiB(pid);
    run(2000 + requestCount / 2, 2000 + requestCount);
    QTest::qWait(500);
    const qint64 endKiB = bench::residentKiB(pid);

    bench::row(total, endKiB / 1024.0, startKiB / 1024.0, "MiB", 1.15);
    bench::row(flat, endKiB / 1024.0, halfKiB / 1024.0, "MiB", 1.05);
    if (missing)
        std::printf("unanswered requests: %d\n", missing);
    peer.disconnectFromBus(1000);
    bench::stopMarlo(marlo, bus);
    return 0;
}
