// In-line histogram read (16 KiB and 32 KiB) against a plain TCP read of the
// same bytes from the same simulator (request by plain UDP, then a blocking
// read of the stream).
#include <QApplication>
#include <QThread>

#include <vector>

#include "benchutil.h"
#include "rbcp.h"
#include "simhost.h"
#include "simunit.h"
#include "vexda.h"

namespace {

bool measure(SimHost &host, SimUnit *plainSim, SimUnit *unitSim, int hgBytes, const char *figure)
{
    Q_UNUSED(host);
    plainSim->setDeterministic(true);
    unitSim->setDeterministic(true);

    VexDA da(QStringLiteral("bench"), unitSim->address().toString(), unitSim->udpPort(), unitSim->tcpPort());
    da.chUse = {true, true, true, true};
    da.hgBytes = hgBytes;
    da.openTcp();
    QElapsedTimer t;
    t.start();
    while (!da.tcpHasConnected() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!da.tcpHasConnected())
        return false;

    bench::PlainTcp tcp(plainSim->address(), plainSim->tcpPort());
    bench::PlainUdp udp(plainSim->address(), plainSim->udpPort());
    if (!tcp.ok())
        return false;
    QThread::msleep(100);   // let the simulator take the connection
    const QByteArray ask = Rbcp::writeRequest(0xB400004A, 0, 2);
    std::vector<char> buf(static_cast<size_t>(hgBytes));
    char answer[64];
    int failures = 0;
    auto plainRead = [&] {
        if (!udp.exchange(ask, answer, sizeof answer) || !tcp.readExactly(buf.data(), hgBytes))
            ++failures;
    };
    auto unitRead = [&] {
        da.askHistogram(0, true);
        if (!da.hgReady)
            ++failures;
    };
    for (int i = 0; i < 20; ++i) {
        plainRead();
        unitRead();
    }
    const int n = 40;
    const int rounds = 15;
    const bench::Pair r = bench::compare(rounds, n, plainRead, unitRead);
    bench::line(figure, r.value, r.floor, 1.5);
    if (failures)
        std::printf("failed reads: %d\n", failures);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    SimHost host;
    SimUnit *plain16 = host.addDsp(QStringLiteral("p16"), QHostAddress(QStringLiteral("127.0.3.110")), 0, 0);
    SimUnit *unit16 = host.addDsp(QStringLiteral("u16"), QHostAddress(QStringLiteral("127.0.3.111")), 0, 0);
    SimUnit *plain32 = host.addDsp(QStringLiteral("p32"), QHostAddress(QStringLiteral("127.0.3.112")), 0, 0, true);
    SimUnit *unit32 = host.addDsp(QStringLiteral("u32"), QHostAddress(QStringLiteral("127.0.3.113")), 0, 0, true);
    if (!host.start()) {
        std::fprintf(stderr, "simulator did not start\n");
        return 1;
    }
    bench::header();
    if (!measure(host, plain16, unit16, 16384, "in-line histogram 16 KiB"))
        std::printf("in-line histogram 16 KiB | no connection\n");
    if (!measure(host, plain32, unit32, 32768, "in-line histogram 32 KiB"))
        std::printf("in-line histogram 32 KiB | no connection\n");
    return 0;
}
