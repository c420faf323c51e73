// The register transport and the TCP connection against simulated units.
#include <QLabel>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

#include "logcapture.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "statdisp.h"
#include "unitstat.h"
#include "vexunit.h"

namespace {

const QString okStyle = QStringLiteral("background-color: rgb(211, 255, 241);");
const QString ngStyle = QStringLiteral("background-color: rgb(255, 192, 192);");
const QString transStyle = QStringLiteral("background-color: rgb(255, 243, 162);");

QString style(VexUnit &u, const char *indicator)
{
    return u.status()->findChild<StatDisp *>(QLatin1String(indicator))->styleSheetOfLabel();
}

using UnitAction = std::function<bool(VexUnit &)>;

} // namespace

Q_DECLARE_METATYPE(UnitAction)

class TstVexUnitSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestBytes_data();
    void requestBytes();
    void answerDecoding_data();
    void answerDecoding();
    void timeoutThenRecovery();
    void staleAnswerIsDrained();
    void lateAnswerDuringWaitIsDropped();
    void injectedAnswerIsDrained();
    void wrongAddressTimesOut();
    void asyncAnswerTakenBySlot();

    void invalidUnit();
    void closeBeforeConnection();
    void connectAndClose();
    void strayBytesOnConnectAreDrained();
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

void TstVexUnitSim::requestBytes_data()
{
    QTest::addColumn<UnitAction>("action");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("read 6 at RealTime1")
        << UnitAction([](VexUnit &u) { return u.readReg(0xB400001C, true, 6); })
        << QByteArray::fromHex("FFC00606B400001C");
    QTest::newRow("write 1 to Start")
        << UnitAction([](VexUnit &u) { return u.writeReg(0xB4000014, 1, true, 2); })
        << QByteArray::fromHex("FF800702B40000140001");
    QTest::newRow("6-byte write, high bits dropped")
        << UnitAction([](VexUnit &u) { return u.writeReg(0xB4000016, 0xFFFF0123456789ABULL, true, 6); })
        << QByteArray::fromHex("FF800706B40000160123456789AB");
    QTest::newRow("4-byte write")
        << UnitAction([](VexUnit &u) { return u.writeReg(0x00000008, 375000, true, 4); })
        << QByteArray::fromHex("FF800704000000080005B8D8");
    QTest::newRow("read default size")
        << UnitAction([](VexUnit &u) { return u.readReg(0xB400020A); })
        << QByteArray::fromHex("FFC00602B400020A");
    QTest::newRow("write without wait")
        << UnitAction([](VexUnit &u) { return u.writeReg(0xB4000040, 1, false); })
        << QByteArray::fromHex("FF800702B40000400001");
}

void TstVexUnitSim::requestBytes()
{
    QFETCH(UnitAction, action);
    QFETCH(QByteArray, request);
    QVERIFY(startUnit(QStringLiteral("127.0.3.1")));
    QVERIFY(action(*unit));
    QTRY_COMPARE(sim->requests().size(), 1);
    QCOMPARE(sim->requests().first().toHex(' '), request.toHex(' '));
}

void TstVexUnitSim::answerDecoding_data()
{
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<quint16>>("words");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("one word 300") << quint32(0xB400020A) << 2 << QList<quint16>{300} << quint64(300)
                                  << QByteArray::fromHex("012C");
    QTest::newRow("two words") << quint32(0xB400022C) << 4 << QList<quint16>{0x0001, 0x86A0} << quint64(100000)
                               << QByteArray::fromHex("000186A0");
    QTest::newRow("three words") << quint32(0xB4000016) << 6 << QList<quint16>{0x0000, 0x08F0, 0xD180}
                                 << quint64(150000000) << QByteArray::fromHex("000008F0D180");
    QTest::newRow("top word set") << quint32(0xB4000016) << 6 << QList<quint16>{0xFFFF, 0xFFFF, 0xFFFF}
                                  << quint64(0xFFFFFFFFFFFFULL) << QByteArray::fromHex("FFFFFFFFFFFF");
}

void TstVexUnitSim::answerDecoding()
{
    QFETCH(quint32, addr);
    QFETCH(int, size);
    QFETCH(QList<quint16>, words);
    QVERIFY(startUnit(QStringLiteral("127.0.3.2")));
    for (int i = 0; i < words.size(); ++i)
        sim->setReg(addr + 2 * quint32(i), words.at(i));
    QVERIFY(unit->readReg(addr, true, size));
    QTEST(unit->ansValue(), "value");
    QTEST(unit->ansData(), "data");
    QCOMPARE(unit->ansAddr(), addr);
    QCOMPARE(unit->ansHeader(), 0xFFC80600u + quint32(size));
    QCOMPARE(unit->lastDatagram().size(), 8 + size);
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
    QVERIFY(unit->ansData().isEmpty());
    QVERIFY(unit->lastDatagram().isEmpty());
    QCOMPARE(unit->ansAddr(), 0u);
    QVERIFY(log->contains(QStringLiteral("Err. Timeout waiting ans from UDP for CMD [b400001c]")));
    QCOMPARE(style(*unit, "UDPTimeout"), ngStyle);
    QCOMPARE(sim->requests().size(), 2);   // a request is never repeated

    sim->setFaults(SimFaults());
    QVERIFY(unit->readReg(0xB400001C, true, 2));
    QCOMPARE(unit->ansValue(), quint64(1));
    QCOMPARE(style(*unit, "UDPTimeout"), okStyle);
    QCOMPARE(log->count(QStringLiteral("Err. Timeout")), 1);
}

void TstVexUnitSim::staleAnswerIsDrained()
{
    // A late answer left in the socket must not be taken for the next one.
    QVERIFY(startUnit(QStringLiteral("127.0.3.4")));
    sim->setReg(0xB4000010, 0x1111);
    sim->setReg(0xB4000012, 0x2222);
    SimFaults f;
    f.answerDelayMs = 600;
    sim->setFaults(f);
    QVERIFY(!unit->readReg(0xB4000010));
    sim->setFaults(SimFaults());
    QThread::msleep(300);   // the late answer arrives; no event loop runs
    QVERIFY(unit->readReg(0xB4000012));
    QCOMPARE(unit->ansAddr(), 0xB4000012u);
    QCOMPARE(unit->ansValue(), quint64(0x2222));
}

void TstVexUnitSim::lateAnswerDuringWaitIsDropped()
{
    // The late answer comes while the next request waits: it is dropped and
    // the wait goes on for the right one.
    QVERIFY(startUnit(QStringLiteral("127.0.3.5")));
    sim->setReg(0xB4000010, 0x1111);
    sim->setReg(0xB4000012, 0x2222);
    SimFaults f;
    f.answerDelayMs = 600;
    sim->setFaults(f);
    QVERIFY(!unit->readReg(0xB4000010));
    f.answerDelayMs = 300;
    sim->setFaults(f);
    QVERIFY(unit->readReg(0xB4000012));
    QCOMPARE(unit->ansAddr(), 0xB4000012u);
    QCOMPARE(unit->ansValue(), quint64(0x2222));
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
    QCOMPARE(unit->ansValue(), quint64(0));
    QVERIFY(log->contains(QStringLiteral("dropped an answer for [b4000016] while waiting for [b4000014]")));
    QVERIFY(log->contains(QStringLiteral("Err. Timeout waiting ans from UDP for CMD [b4000014]")));
    sim->setFaults(SimFaults());
    QVERIFY(unit->readReg(0xB4000014));
}

void TstVexUnitSim::asyncAnswerTakenBySlot()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.8")));
    sim->setReg(0xB4000010, 0x0007);
    QSignalSpy spy(unit.get(), &VexUnit::lastUdpDataReady);
    QVERIFY(unit->readReg(0xB4000010, false));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(unit->ansValue(), quint64(7));
    QCOMPARE(unit->ansAddr(), 0xB4000010u);
}

void TstVexUnitSim::invalidUnit()
{
    VexUnit u;
    QCOMPARE(u.name(), QStringLiteral("id"));
    QCOMPARE(u.ip(), QStringLiteral("0.0.0.0"));
    QVERIFY(!u.isValid());
    u.openTcp();
    QVERIFY(log->contains(QStringLiteral("Can't open :: Machine Info is not valid.")));
    QVERIFY(!u.keepTcp());
    QCOMPARE(u.tcpSocket()->state(), QAbstractSocket::UnconnectedState);
}

void TstVexUnitSim::closeBeforeConnection()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.9")));
    unit->closeTcp();
    QVERIFY(log->contains(QStringLiteral("Can't close :: TCP has not been connected.")));
    QVERIFY(!unit->keepTcp());
}

void TstVexUnitSim::connectAndClose()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.10")));
    QCOMPARE(unit->status()->findChild<QLineEdit *>(QStringLiteral("IP"))->text(), QStringLiteral("127.0.3.10"));
    QCOMPARE(unit->status()->findChild<QLineEdit *>(QStringLiteral("ID"))->text(), QStringLiteral("dspT"));
    unit->openTcp();
    QVERIFY(unit->keepTcp());
    QVERIFY(log->contains(QStringLiteral("Trying to connect via TCP")));
    QTRY_VERIFY(unit->tcpHasConnected());
    QVERIFY(log->contains(QStringLiteral("tcp connected")));
    QCOMPARE(style(*unit, "TCPStat"), okStyle);
    unit->closeTcp();
    QVERIFY(!unit->keepTcp());
    QTRY_COMPARE(unit->tcpSocket()->state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(log->contains(QStringLiteral("tcp disconnected")));
    QTest::qWait(400);
    QCOMPARE(sim->tcpConnectionCount(), 1);   // not reopened
    QVERIFY(unit->tcpHasConnected());          // stays set
    QCOMPARE(style(*unit, "TCPStat"), QStringLiteral("background-color: rgb(176, 192, 192);"));
}

void TstVexUnitSim::strayBytesOnConnectAreDrained()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.11")));
    SimFaults f;
    f.strayOnConnect = QByteArray("GARBAGE");
    sim->setFaults(f);
    QSignalSpy data(unit.get(), &VexUnit::tcpDataReadySignal);
    unit->openTcp();
    QTRY_VERIFY(log->contains(QStringLiteral("On Establishing TCP connection, something in buffer [7bytes]")));
    QCOMPARE(unit->tcpSocket()->bytesAvailable(), 0);
    QCOMPARE(data.count(), 0);   // not taken for data
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
    QCOMPARE(style(*unit, "TCPStat"), okStyle);
}

void TstVexUnitSim::refusedThenListening()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.13")));
    SimFaults f;
    f.refuseTcp = true;
    sim->setFaults(f);
    unit->openTcp();
    QTRY_VERIFY(log->contains(QStringLiteral("TCP connection of dspT failed")));
    // the delay doubles while the unit refuses ...
    QTRY_VERIFY_WITH_TIMEOUT(unit->nextRetryDelayMs() >= 4 * VexUnit::firstRetryBackoffMs, 10000);
    QCOMPARE(log->count(QStringLiteral("failed")), 1);   // ... with one line, not one per attempt
    QVERIFY(!unit->tcpHasConnected());
    QCOMPARE(style(*unit, "TCPStat"), transStyle);
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
    QVERIFY(log->count(QStringLiteral("tcp disconnected")) <= 1);
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
