// Register round trip: readReg with wait against the simulator on loopback,
// against a plain blocking UDP request/answer with the same simulator.
#include <QApplication>

#include "benchutil.h"
#include "rbcp.h"
#include "simhost.h"
#include "simunit.h"
#include "vexunit.h"

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    SimHost host;
    SimUnit *plainSim = host.addDsp(QStringLiteral("plain"), QHostAddress(QStringLiteral("127.0.3.100")), 0, 0);
    SimUnit *unitSim = host.addDsp(QStringLiteral("unit"), QHostAddress(QStringLiteral("127.0.3.101")), 0, 0);
    if (!host.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    plainSim->setDeterministic(true);
    unitSim->setDeterministic(true);

    VexUnit unit(QStringLiteral("bench"), unitSim->address().toString(), unitSim->udpPort(), unitSim->tcpPort());
    bench::PlainUdp plain(plainSim->address(), plainSim->udpPort());
    const QByteArray request = Rbcp::readRequest(0xB400001C, 6);
    char answer[64];

    const int n = 200;
    const int rounds = 21;
    // warm up both paths
    for (int i = 0; i < 100; ++i) {
        plain.exchange(request, answer, sizeof answer);
        unit.readReg(0xB400001C, true, 6);
    }
    int failures = 0;
    const bench::Pair r = bench::compare(
        rounds, n,
        [&] {
            if (!plain.exchange(request, answer, sizeof answer))
                ++failures;
        },
        [&] {
            if (!unit.readReg(0xB400001C, true, 6))
                ++failures;
        });
    bench::header();
    bench::line("readReg round trip (6 bytes)", r.value, r.floor, 1.3);
    if (failures)
        std::printf("time-outs: %d\n", failures);
    return 0;
}
