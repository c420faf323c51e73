// The register transport and the TCP connection against simulated units:
// time-outs, late answers, TCP back-off and the status strip's lifetime.
// Request bytes and answer decoding are the RBCP test's.
#include <QThread>
#include <QtTest>

#include <memory>

#include "logcapture.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "statdisp.h"
#include "unitstat.h"
#include "vexunit.h"

namespace {

QString style(VexUnit &u, const char *indicator)
{
    return u.status()->findChild<StatDisp *>(QLatin1String(indicator))->styleSheetOfLabel();
}

} // namespace

class TstVexUnitSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void timeoutThenRecovery();
    void lateAnswer_data();
    void lateAnswer();
    void injectedAnswerIsDrained();
    void wrongAddressTimesOut();
    void foreignSenderIgnored();

    void connectAndClose();
    void lostConnectionIsReopened();
    void refusedThenListening();
    void acceptThenCloseBacksOff();

    void statusStripUnitFirst();
    void statusStripWindowFirst();

private:
    // Starts a simulated unit at addr and a VexUnit talking to it.
    bool startUnit(const QString &addr);

    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimHost> host;
    SimUnit *sim = nullptr;
    std::unique_ptr<VexUnit> unit;
};

void TstVexUnitSim::init()
{
    log = std::make_unique<LogCapture>();
}

void TstVexUnitSim::cleanup()
{
    unit.reset();
    host.reset();
    sim = nullptr;
    log.reset();
}

bool TstVexUnitSim::startUnit(const QString &addr)
{
    host = std::make_unique<SimHost>();
    sim = host->addDsp(QStringLiteral("sim"), QHostAddress(addr), 0, 0);
    if (!sim || !host->start())
        return false;
    sim->setDeterministic(true);
    unit = std::make_unique<VexUnit>(QStringLiteral("dspT"), addr, sim->udpPort(), sim->tcpPort());
    return true;
}

void TstVexUnitSim::timeoutThenRecovery()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.3")));
    sim->setReg(0xB400001C, 0x0001);
    QVERIFY(unit->readReg(0xB400001C, true, 2));
    QCOMPARE(unit->ansValue(), quint64(1));
    SimFaults f;
    f.silent = true;
    sim->setFaults(f);
    QVERIFY(!unit->readReg(0xB400001C, true, 6));
    QCOMPARE(unit->ansValue(), quint64(0));
    QVERIFY(log->contains(QStringLiteral("Err. Timeout waiting ans from UDP for CMD [b400001c]")));
    QCOMPARE(style(*unit, "UDPTimeout"), StatDisp::ngStyle);
    QCOMPARE(sim->requests().size(), 2);   // a request is never repeated

    sim->setFaults(SimFaults());
    unit->beginRequest();   // a new request waits again
    QVERIFY(unit->readReg(0xB400001C, true, 2));
    QCOMPARE(unit->ansValue(), quint64(1));
    QCOMPARE(style(*unit, "UDPTimeout"), StatDisp::okStyle);
    QCOMPARE(log->count(QStringLiteral("Err. Timeout")), 1);
}

void TstVexUnitSim::lateAnswer_data()
{
    QTest::addColumn<int>("nextDelayMs");
    QTest::addColumn<bool>("droppedInWait");
    QTest::newRow("left in the socket before the next request") << 0 << false;
    QTest::newRow("arriving while the next request waits") << 300 << true;
}

// A late answer must not be taken for the next one.
void TstVexUnitSim::lateAnswer()
{
    QFETCH(int, nextDelayMs);
    QFETCH(bool, droppedInWait);
    QVERIFY(startUnit(QStringLiteral("127.0.3.4")));
    sim->setReg(0xB4000010, 0x1111);
    sim->setReg(0xB4000012, 0x2222);
    SimFaults f;
    f.answerDelayMs = 600;
    sim->setFaults(f);
    QVERIFY(!unit->readReg(0xB4000010));
    f.answerDelayMs = nextDelayMs;
    sim->setFaults(f);
    if (!droppedInWait)
        QThread::msleep(300);   // the late answer arrives; no event loop runs
    unit->beginRequest();   // a new request waits again
    QVERIFY(unit->readReg(0xB4000012));
    QCOMPARE(unit->ansAddr(), 0xB4000012u);
    QCOMPARE(unit->ansValue(), quint64(0x2222));
    if (droppedInWait)
        QVERIFY(log->contains(QStringLiteral("dspT dropped an answer for [b4000010] while waiting for [b4000012]")));
}

void TstVexUnitSim::injectedAnswerIsDrained()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.6")));
    sim->setReg(0xB4000012, 0x0042);
    QVERIFY(unit->readReg(0xB4000012));   // the simulator learns the requester
    // A stale answer for the very register about to be read, already pending.
    sim->sendToLastRequester(QByteArray::fromHex("FFC80602B4000012DEAD"));
    QThread::msleep(100);
    QVERIFY(unit->readReg(0xB4000012));
    QCOMPARE(unit->ansValue(), quint64(0x0042));
}

void TstVexUnitSim::wrongAddressTimesOut()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.7")));
    SimFaults f;
    f.wrongAnswerAddress = true;
    sim->setFaults(f);
    QVERIFY(!unit->readReg(0xB4000014));
    QVERIFY(log->contains(QStringLiteral("dropped an answer for [b4000016] while waiting for [b4000014]")));
    QVERIFY(log->contains(QStringLiteral("Err. Timeout waiting ans from UDP for CMD [b4000014]")));
    sim->setFaults(SimFaults());
    unit->beginRequest();   // a new request waits again
    QVERIFY(unit->readReg(0xB4000014));
}

// Another host answering first, with other data, is not taken for the unit.
void TstVexUnitSim::foreignSenderIgnored()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.8")));
    sim->setReg(0xB4000014, 0x1234);
    SimFaults f;
    f.foreignAnswerFirst = true;
    sim->setFaults(f);
    QVERIFY(unit->readReg(0xB4000014));
    QCOMPARE(unit->ansValue(), quint64(0x1234));
}

void TstVexUnitSim::connectAndClose()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.10")));
    unit->openTcp();
    QTRY_VERIFY(unit->tcpHasConnected());
    unit->closeTcp();
    QVERIFY(!unit->keepTcp());
    QTRY_COMPARE(unit->tcpSocket()->state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(log->contains(QStringLiteral("tcp disconnected")));
    QTest::qWait(400);
    QCOMPARE(sim->tcpConnectionCount(), 1);   // not reopened
}

void TstVexUnitSim::lostConnectionIsReopened()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.12")));
    unit->openTcp();
    QTRY_VERIFY(unit->tcpHasConnected());
    QTest::qWait(VexUnit::stableConnectionMs + 200);
    sim->dropTcp();
    QTRY_VERIFY(log->contains(QStringLiteral("tcp disconnected")));
    QTRY_COMPARE(sim->tcpConnectionCount(), 2);
    QTRY_COMPARE(unit->tcpSocket()->state(), QAbstractSocket::ConnectedState);
    QCOMPARE(log->count(QStringLiteral("tcp connected")), 2);
    QVERIFY(!log->contains(QStringLiteral("retrying")));   // an ordinary loss, retried at once
}

void TstVexUnitSim::refusedThenListening()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.13")));
    SimFaults f;
    f.refuseTcp = true;
    sim->setFaults(f);
    unit->openTcp();
    QTRY_VERIFY(log->contains(QStringLiteral("TCP connection of dspT failed (Connection refused); retrying")));
    // the delay doubles while the unit refuses ...
    QTRY_VERIFY_WITH_TIMEOUT(unit->nextRetryDelayMs() >= 4 * VexUnit::firstRetryBackoffMs, 10000);
    QCOMPARE(log->count(QStringLiteral("failed")), 1);   // ... with one line, not one per attempt
    QVERIFY(!unit->tcpHasConnected());
    QCOMPARE(sim->tcpConnectionCount(), 0);
    // ... and the unit is reached once it listens.
    sim->setFaults(SimFaults());
    QTRY_VERIFY_WITH_TIMEOUT(unit->tcpHasConnected(), 3 * VexUnit::maxRetryBackoffMs);
    QTRY_VERIFY(log->contains(QStringLiteral("tcp connected")));
    QCOMPARE(unit->nextRetryDelayMs(), 0);
}

void TstVexUnitSim::acceptThenCloseBacksOff()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.14")));
    SimFaults f;
    f.acceptThenClose = true;
    sim->setFaults(f);
    unit->openTcp();
    QTRY_VERIFY(sim->tcpConnectionCount() >= 1);
    QTest::qWait(2000);
    // Attempts at 0, 0, 250, 750, 1750 ms: a handful, not thousands.
    const int attempts = sim->tcpConnectionCount();
    QVERIFY2(attempts >= 2 && attempts <= 12, qPrintable(QString::number(attempts)));
    QVERIFY(unit->nextRetryDelayMs() >= 2 * VexUnit::firstRetryBackoffMs);
    const int connectedLines = log->count(QStringLiteral("tcp connected"));
    QVERIFY(connectedLines <= 1);
    QCOMPARE(log->count(QStringLiteral("closed right after it came up")), 1);

    sim->setFaults(SimFaults());
    QTRY_VERIFY_WITH_TIMEOUT(unit->tcpSocket()->state() == QAbstractSocket::ConnectedState,
                             3 * VexUnit::maxRetryBackoffMs);
    // reported once it has stayed up, and the back-off starts afresh
    QTRY_COMPARE(unit->nextRetryDelayMs(), 0);
    QTRY_COMPARE(log->count(QStringLiteral("tcp connected")), connectedLines + 1);
}

void TstVexUnitSim::statusStripUnitFirst()
{
    QWidget window;
    auto *u = new VexUnit(QStringLiteral("s1"), QStringLiteral("127.0.3.15"), 9, 9);
    QPointer<UnitStat> strip = u->status();
    QVERIFY(strip);
    QVERIFY(!strip->parent());
    strip->setParent(&window);
    delete u;
    QVERIFY(strip.isNull());
}

void TstVexUnitSim::statusStripWindowFirst()
{
    auto *window = new QWidget;
    auto *u = new VexUnit(QStringLiteral("s2"), QStringLiteral("127.0.3.16"), 9, 9);
    u->status()->setParent(window);
    delete window;
    QVERIFY(!u->status());
    delete u;   // must not delete the strip again
}

QTEST_MAIN(TstVexUnitSim)
#include "tst_vexunit_sim.moc"
