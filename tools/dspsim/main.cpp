// marlo-sim: serves simulated DSP units and an HV unit on loopback addresses
// until SIGTERM or SIGINT.

#include "marloversion.h"
#include "rbcppacket.h"
#include "simhost.h"
#include "simsetup.h"
#include "simunit.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    const ssize_t n = ::write(signalPipe[1], &c, 1);
    (void)n;
}

void printLine(FILE *f, const QString &text)
{
    std::fprintf(f, "%s\n", text.toLocal8Bit().constData());
    std::fflush(f);
}

// The units of the command line, set up as it asks.
void addUnits(SimHost &host, const SimSetup &setup)
{
    int dspIndex = 0;
    for (const SimSetup::Unit &u : setup.units) {
        SimUnit *unit = u.hv ? host.addHv(u.name, QHostAddress(u.address), quint16(setup.udpPort))
                             : host.addDsp(u.name, QHostAddress(u.address), quint16(setup.udpPort),
                                           quint16(setup.tcpPort), u.bMode);
        unit->setRequestLogLimit(1000);   // nothing reads the log here; keep it bounded
        if (setup.deterministic)
            unit->setDeterministic(true);
        if (setup.stamp && !u.hv)
            unit->setStamp(dspIndex);
        if (!u.hv)
            ++dspIndex;
        if (setup.rate >= 0)
            unit->setCountRate(setup.rate);
        if (setup.deadFraction >= 0)
            unit->setDeadFraction(setup.deadFraction);
        unit->setAnswerDelayUs(setup.answerDelayUs);
        unit->setStreamMbps(setup.streamMbps);
        if (setup.logRequests) {
            const QString name = u.name;
            QObject::connect(unit, &SimUnit::requestReceived, unit,
                             [name](const QByteArray &d, const QHostAddress &from, quint16 port) {
                                 printLine(stdout, QStringLiteral("%1 <- %2:%3 %4")
                                                       .arg(name, from.toString()).arg(port)
                                                       .arg(RbcpPacket::describe(d)));
                             }, Qt::DirectConnection);
        }
    }
}

void reportStartFailure(SimHost &host, const SimSetup &setup)
{
    for (SimUnit *u : host.units()) {
        if (u->isOpen())
            continue;
        printLine(stderr, QStringLiteral("marlo-sim: cannot serve %1 at %2: %3")
                              .arg(u->name(), u->address().toString(), u->errorString()));
    }
    if (setup.udpPort < 1024 || (setup.tcpPort < 1024 && setup.tcpPort != 0))
        printLine(stderr, QStringLiteral("marlo-sim: ports below 1024 (TCP 24) need root: run it with sudo. "
                                         "Marlo always uses the units' own ports (UDP 4660, TCP 24); "
                                         "--udp-port and --tcp-port serve tests that point their units elsewhere"));
}

void printUnits(SimHost &host)
{
    for (SimUnit *u : host.units()) {
        if (u->kind() == SimUnit::Kind::Hv)
            printLine(stdout, QStringLiteral("HV %1 %2 udp %3").arg(u->name(), u->address().toString()).arg(u->udpPort()));
        else
            printLine(stdout, QStringLiteral("DSP %1 %2 udp %3 tcp %4%5")
                                  .arg(u->name(), u->address().toString()).arg(u->udpPort()).arg(u->tcpPort())
                                  .arg(u->bMode() ? QStringLiteral(" B") : QString()));
    }
}

// SIGTERM and SIGINT end the event loop (through a socket pair, the one
// thing a signal handler may safely touch).
bool quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char c;
        const ssize_t n = ::read(signalPipe[0], &c, 1);
        (void)n;
        QCoreApplication::quit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    SimSetup setup;
    if (!setup.parseArgs(app.arguments())) {
        printLine(stderr, QStringLiteral("marlo-sim: %1").arg(setup.error));
        printLine(stderr, SimSetup::usage());
        return 2;
    }
    if (setup.help) {
        printLine(stdout, SimSetup::usage());
        return 0;
    }
    if (setup.version) {
        printLine(stdout, QStringLiteral("marlo-sim %1").arg(QLatin1String(marloVersion())));
        return 0;
    }

    SimHost host;
    addUnits(host, setup);
    if (!host.start()) {
        reportStartFailure(host, setup);
        return 1;
    }
    printUnits(host);
    if (!quitOnSignals(app)) {
        printLine(stderr, QStringLiteral("marlo-sim: cannot set up signal handling"));
        return 1;
    }

    const int rc = app.exec();
    printLine(stdout, QStringLiteral("marlo-sim: stopped"));
    return rc;
}
