// Start-up of the marlo program to its window shown, with 8 answering DSP
// units and with 7 answering units and one silent unit, measured in the same
// run (alternating, medians) against a floor: the start-up without any unit
// plus the register reads that the start-up read-out of the DSP settings
// makes (212 per unit), made as plain blocking UDP exchanges with the same
// simulated units. For the silent unit the floor adds one answer time-out
// (500 ms): the read-out gives up on a unit after its first time-out.
// A unit that does not answer at start-up costs one time-out for its start-up
// writes (the others are sent without waiting) and one for the read-out, so
// the start-up with one silent unit of eight has an absolute target too:
// 1.5 s to the window.
//
// The window is shown just before the event loop starts; Marlo's STARS
// log-in, which starts in its constructor, completes only once the loop
// runs, so the moment the bus sees "Marlo" log in marks the shown window.
// The simulated units serve the real device ports (UDP 4660, TCP 24), which
// needs root.
#include <QApplication>

#include <algorithm>

#include "benchmarlo.h"
#include "benchutil.h"
#include "dspreg.h"
#include "rbcp.h"
#include "simhost.h"
#include "simunit.h"

namespace {

constexpr int rounds = 7;

// Milliseconds from starting marlo to its log-in; < 0 on failure.
double startOnce(StarsBus &bus, const QTemporaryDir &dir, const QString &cfg)
{
    QProcess p;
    QElapsedTimer t;
    bool in = false;
    double ms = -1.0;
    const auto c = QObject::connect(&bus, &StarsBus::nodeConnected, &bus, [&](const QString &name) {
        if (name == QLatin1String("Marlo") && !in) {
            in = true;
            ms = double(t.nsecsElapsed()) / 1e6;
        }
    });
    t.start();
    bench::startMarlo(p, dir, cfg);
    (void)QTest::qWaitFor([&in, &p] { return in || p.state() == QProcess::NotRunning; }, 30000);
    QObject::disconnect(c);
    bench::stopMarlo(p, bus);
    return ms;
}

// The read requests of the settings read-out of one unit, in its order.
QList<QByteArray> readOutRequests()
{
    buildRegMap();
    QList<QByteArray> r;
    for (const DspReg &g : sysRegs)
        r << Rbcp::readRequest(g.addr, 2);
    for (const DspReg &g : commonRegs)
        r << Rbcp::readRequest(g.addr, 2);
    for (int ch = 0; ch < chOffsets.size(); ++ch)
        for (const DspReg &g : chRegs)
            r << Rbcp::readRequest(g.addr + quint32(chOffsets.at(ch)), 2);
    for (int ch = 0; ch < chOffsets.size(); ++ch)
        for (const DspReg &g : chStatRegs)
            r << Rbcp::readRequest(g.addr + quint32(chOffsets.at(ch)), 2);
    return r;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? -1.0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    const char *eight = "start-up to window shown, 8 answering units";
    const char *silent = "start-up to window shown, 7 units + 1 silent";
    const char *silentAbs = "start-up to window shown, 1 silent unit of 8";
    std::printf("figure | value | floor | ratio | target\n");
    if (!bench::isRoot() || !QFile::exists(bench::marloPath())) {
        const char *why = bench::isRoot() ? "marlo not built" : "needs root (TCP port 24)";
        bench::skipRow(eight, why);
        bench::skipRow(silent, why);
        bench::skipRow(silentAbs, why);
        return 0;
    }

    QTemporaryDir dir;
    bench::writeText(dir.filePath(QStringLiteral("Marlo.key")), "k0\nk1\n");
    StarsBus bus(dir.path());
    if (!bus.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    SimHost host;
    QStringList answering;
    for (int i = 0; i < 8; ++i) {
        const QString addr = QStringLiteral("127.0.21.%1").arg(i + 1);
        host.addDsp(QStringLiteral("dsp%1").arg(i + 1), QHostAddress(addr))->setDeterministic(true);
        answering << QStringLiteral("dsp%1 %2 1 1 1 1").arg(i + 1).arg(addr);
    }
    if (!host.start()) {
        std::fprintf(stderr, "the simulator did not start (ports 4660 and 24 of 127.0.21.x)\n");
        return 1;
    }
    QStringList withSilent = answering.mid(0, 7);
    withSilent << QStringLiteral("dsp9 127.0.21.99 1 1 1 1");   // nothing answers there

    const QString none = dir.filePath(QStringLiteral("none.cfg"));
    const QString all = dir.filePath(QStringLiteral("eight.cfg"));
    const QString quiet = dir.filePath(QStringLiteral("silent.cfg"));
    bench::writeText(none, bench::marloConfig(dir, bus.port(), {}));
    bench::writeText(all, bench::marloConfig(dir, bus.port(), answering));
    bench::writeText(quiet, bench::marloConfig(dir, bus.port(), withSilent));

    const QList<QByteArray> reads = readOutRequests();
    QList<bench::PlainUdp *> plain;
    for (int i = 0; i < 8; ++i)
        plain << new bench::PlainUdp(QHostAddress(QStringLiteral("127.0.21.%1").arg(i + 1)), 4660);
    char answer[64];
    int failures = 0;
    // Milliseconds of the plain reads of the first n units.
    auto plainReads = [&](int n) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i) {
            for (const QByteArray &q : reads)
                failures += !plain.at(i)->exchange(q, answer, sizeof answer);
        }
        return double(t.nsecsElapsed()) / 1e6;
    };

    startOnce(bus, dir, none);   // warm the caches
    QList<double> f, a, s, p8, p7;
    for (int r = 0; r < rounds; ++r) {
        p8 << plainReads(8);
        p7 << plainReads(7);
        const double x = startOnce(bus, dir, none);
        const double y = startOnce(bus, dir, all);
        const double z = startOnce(bus, dir, quiet);
        failures += (x < 0) + (y < 0) + (z < 0);
        if (x >= 0)
            f << x;
        if (y >= 0)
            a << y;
        if (z >= 0)
            s << z;
    }
    bench::row(eight, median(a), median(f) + median(p8), "ms", 1.5);
    bench::row(silent, median(s), median(f) + median(p7) + 500.0, "ms", 1.5);
    bench::absoluteRow(silentAbs, median(s), "ms", 1500.0);
    qDeleteAll(plain);
    if (failures)
        std::printf("start-ups without log-in: %d\n", failures);
    return 0;
}
