// Fault injection at the DSP units: Marlo's Body, a simulated unit in the
// simulator thread, the STARS bus in its own thread and a peer node. Faults
// are switched on and off while Marlo runs; each test states what must come
// out. Common to all: every request is answered exactly once (cleanup()
// checks that nothing else is left over), and Marlo keeps working when the
// fault is gone.
//
// One unit, dsp1, channels 0 and 1 in use (elements 0 and 1); channel 0
// holds a histogram of ones, so "GetValue 0" over the default ROI 0 to 2047
// is 2047 when the histogram arrives and "0 Er: data transfer" when not.

#include <QtTest>

#include <memory>

#include "body.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "vexda.h"

namespace {

const QString busy1 = QStringLiteral("ChangedIsBusy 1");
const QString busy0 = QStringLiteral("ChangedIsBusy 0");
const QString noData = QStringLiteral("0 Er: data transfer");
const QString fullRoi = QStringLiteral("2047");

SimFaults unitOff()
{
    SimFaults f;
    f.silent = true;
    f.noTcpData = true;
    f.refuseTcp = true;
    return f;
}

} // namespace

class TstFaultsUnits : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void silentMidPresetMeasurement();
    void histogramStream_data();
    void histogramStream();
    void histogramStalledAtMeasurementEnd();
    void unitRestartMidMeasurement();
    void backToBackRequests();
    void watchIntervalRefused();
    void hostNameAddresses();

private:
    bool startRig(const QStringList &extra = {}, const QString &configAddress = QString());
    bool tcpUp() const;

    std::unique_ptr<ServiceRig> rig;
    SimUnit *sim = nullptr;
    VexDA *unit = nullptr;
};

void TstFaultsUnits::init()
{
    // These configure Marlo themselves.
    if (QTest::currentTestFunction() != QLatin1String("watchIntervalRefused")
        && QTest::currentTestFunction() != QLatin1String("hostNameAddresses"))
        QVERIFY(startRig());
}

bool TstFaultsUnits::startRig(const QStringList &extra, const QString &configAddress)
{
    rig = std::make_unique<ServiceRig>();
    const QString address = configAddress.isEmpty() ? QStringLiteral("127.0.9.11") : QStringLiteral("127.0.0.1");
    if (!rig->start({{QStringLiteral("dsp1"), address, QStringLiteral("1 1 0 0"), false, configAddress}}, extra)) {
        qWarning() << rig->error();
        return false;
    }
    sim = rig->sim(QStringLiteral("dsp1"));
    unit = rig->unit(QStringLiteral("dsp1"));
    if (!sim || !unit)
        return false;
    sim->setHistogram(0, QVector<quint32>(4096, 1));
    sim->clearRequests();
    return true;
}

void TstFaultsUnits::cleanup()
{
    if (rig && rig->body())
        QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    rig.reset();
}

bool TstFaultsUnits::tcpUp() const
{
    return unit->tcpSocket()->state() == QAbstractSocket::ConnectedState;
}

// The unit stops answering while a preset measurement runs: the watch reads
// no progress and ends the measurement (busy 0), requests get their answers
// with 0 for what the unit did not tell, and its data set is refused until
// it is read again: not while the unit, back, still counts; once it is
// stopped. Then a new measurement runs and ends normally, and the
// histogram is read again.
void TstFaultsUnits::silentMidPresetMeasurement()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 1000")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});

    SimFaults f;
    f.silent = true;
    f.noTcpData = true;
    sim->setFaults(f);
    QVERIFY(rig->waitForEvent(busy0, 60000));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0"), QStringLiteral("Marlo"), 30000), noData);
    // The data set taken meanwhile holds zeros: not shipped as spectra.
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs"), QStringLiteral("Marlo"), 30000),
             QStringLiteral("Er: Data of dsp1 not read"));

    // Back, but still counting towards its 1000 s: what it holds is no result.
    sim->setFaults(SimFaults());
    QVERIFY(sim->isCounting());
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs"), QStringLiteral("Marlo"), 30000),
             QStringLiteral("Er: Data of dsp1 not read"));
    QCOMPARE(rig->logCount(QStringLiteral("Err. dsp1 is still measuring: its data set of measurement 1 is not read")), 1);
    // Stopped: the set of measurement 1 is read again before the answer.
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs"), QStringLiteral("Marlo"), 30000), QStringLiteral("Ok:"));
    QCOMPARE(unit->mcaSet->measNum, 1);
    QVERIFY(unit->mcaSet->chs.at(0)->realTimeSec() > 0);

    // A new measurement with a short preset ends by itself.
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 0.3")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 2")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(rig->waitForEvent(busy0, 60000));
    QVERIFY(!sim->isCounting());
    QCOMPARE(unit->mcaSet->measNum, 2);
    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("0.3"));
    sim->setHistogram(0, QVector<quint32>(4096, 1));   // the start cleared it
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), fullRoi);
}

void TstFaultsUnits::histogramStream_data()
{
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<int>("pieceBytes");
    QTest::addColumn<int>("pieceGapMs");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("answer");
    const QString value = QStringLiteral("GetValue 0");
    QTest::newRow("stalls after 8000 bytes") << 8000 << false << 0 << 0 << value << noData;
    QTest::newRow("stalls one byte short") << 16383 << false << 0 << 0 << value << noData;
    QTest::newRow("reset after 8000 bytes") << 8000 << true << 0 << 0 << value << noData;
    QTest::newRow("in odd pieces") << -1 << false << 333 << 1 << value << fullRoi;
    // 100 bytes every 20 ms: over 3 s in all. Given up after 2 s; Marlo
    // connects again, so the rest of it cannot mix into the next one.
    QTest::newRow("slow but steady, dropped") << -1 << true << 100 << 20 << value << noData;
    // The rest comes after the 500 ms gap: it must not start the next one.
    QTest::newRow("pauses 0.8 s half way") << -1 << false << 8192 << 800 << value << noData;
    QTest::newRow("GetHistgram, stalls") << 8000 << false << 0 << 0 << QStringLiteral("GetHistgram 0") << noData;
}

// A histogram stream that stalls, is reset half way or takes longer than
// 2 s in all is no histogram: the request answers "Er: data transfer", the
// connection is made anew, and the next histogram is read whole, with
// nothing of the broken one mixed in. A stream in pieces
// with gaps under 500 ms that ends in time is whole.
void TstFaultsUnits::histogramStream()
{
    QFETCH(int, stopAfter);
    QFETCH(bool, reset);
    QFETCH(int, pieceBytes);
    QFETCH(int, pieceGapMs);
    QFETCH(QString, request);
    QFETCH(QString, answer);
    const int connections = sim->tcpConnectionCount();

    SimFaults f;
    f.stopAfterBytes = stopAfter;
    f.resetMidStream = reset;
    f.pieceBytes = pieceBytes;
    f.pieceGapMs = pieceGapMs;
    sim->setFaults(f);
    QCOMPARE(rig->ask(request, QStringLiteral("Marlo"), 30000), answer);
    QCOMPARE(rig->ask(request, QStringLiteral("Marlo"), 30000), answer);

    sim->setFaults(SimFaults());
    if (reset) {
        // Marlo connects again by itself.
        QTRY_VERIFY_WITH_TIMEOUT(sim->tcpConnectionCount() > connections && tcpUp(), 30000);
    }
    QVector<quint32> twos(4096, 2);
    sim->setHistogram(0, twos);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("4094"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("4094"));
}

// A histogram given up on when the measurement ends leaves zeros in the
// data set: GetMCAs reads it again, and is refused while it still stalls.
void TstFaultsUnits::histogramStalledAtMeasurementEnd()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 0.2")), QStringLiteral("Ok:"));
    SimFaults f;
    f.stopAfterBytes = 8000;
    sim->setFaults(f);
    QCOMPARE(rig->ask(QStringLiteral("RunStart 1")), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(busy0, 60000));
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs"), QStringLiteral("Marlo"), 30000),
             QStringLiteral("Er: Data of dsp1 not read"));
    sim->setFaults(SimFaults());
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs"), QStringLiteral("Marlo"), 30000), QStringLiteral("Ok:"));
}

// The unit is switched off and on again while it measures: TCP refused,
// no answers. Requests are answered meanwhile; afterwards Marlo has its
// connection back, and a stop ends the measurement.
void TstFaultsUnits::unitRestartMidMeasurement()
{
    sim->setCountRate(0);   // the histogram holds still while the unit measures
    QCOMPARE(rig->ask(QStringLiteral("RunStart")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(sim->isCounting());
    sim->setHistogram(0, QVector<quint32>(4096, 1));   // the start cleared it
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), fullRoi);
    const int connections = sim->tcpConnectionCount();
    sim->setFaults(unitOff());
    sim->dropTcp();
    QTRY_VERIFY_WITH_TIMEOUT(!tcpUp(), 10000);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0"), QStringLiteral("Marlo"), 30000), noData);
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("1"));

    sim->setFaults(SimFaults());
    QTRY_VERIFY_WITH_TIMEOUT(sim->tcpConnectionCount() > connections && tcpUp(), 30000);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), fullRoi);
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(busy0, 30000));
    QVERIFY(!sim->isCounting());
}

// 10 000 requests written back to back in one go: each is answered exactly
// once, in the order asked. The mix holds requests that Stars answers itself,
// requests of Body without device access and requests that read the unit.
void TstFaultsUnits::backToBackRequests()
{
    QList<QPair<QString, QString>> burst;
    const QStringList norms{QStringLiteral("Real"), QStringLiteral("Live"), QStringLiteral("None")};
    for (int i = 0; i < 10000; ++i) {
        const auto add = [&burst](const QString &request, const QString &answer) {
            burst << qMakePair(request, QStringLiteral("Marlo>Ravel @") + answer);
        };
        switch (i % 5) {
        case 0: add(QStringLiteral("Help q%1").arg(i), QStringLiteral("Help Er: Command [q%1] not found.").arg(i)); break;
        case 1:
            add(QStringLiteral("SetNormalizeType %1").arg(i % 3),
                QStringLiteral("SetNormalizeType Ok: Normalize type ") + norms.at(i % 3));
            break;
        case 2: add(QStringLiteral("GetMCALength"), QStringLiteral("GetMCALength 4096")); break;
        case 3: add(QStringLiteral("NoSuchCommand %1").arg(i), QStringLiteral("NoSuchCommand Er: Unknown Command")); break;
        default:
            if (i % 100 == 4)
                add(QStringLiteral("GetValue 0"), QStringLiteral("GetValue ") + fullRoi);
            else
                add(QStringLiteral("IsBusy"), QStringLiteral("IsBusy 0"));
        }
    }
    const QString wrong = rig->burst(burst);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

// A watch interval that is not a positive number (0, -5, abc) is refused
// with a red line naming the unit and the value; the unit keeps its own
// interval, so a preset measurement ends by itself.
void TstFaultsUnits::watchIntervalRefused()
{
    const QStringList values{QStringLiteral("0"), QStringLiteral("-5"), QStringLiteral("abc")};
    QList<ServiceRig::Unit> units;
    QStringList lines;
    for (int i = 0; i < 3; ++i) {
        units << ServiceRig::Unit{QStringLiteral("dsp%1").arg(i + 1), QStringLiteral("127.0.9.%1").arg(i + 11),
                                  QStringLiteral("1 0 0 0")};
        lines << QStringLiteral("WATCH_INTERVAL_MS dsp%1 %2").arg(i + 1).arg(values.at(i));
    }
    rig = std::make_unique<ServiceRig>();
    QVERIFY2(rig->start(units, lines), qPrintable(rig->error()));
    for (int i = 0; i < 3; ++i) {
        const QString red = QStringLiteral("WATCH_INTERVAL_MS of DSP unit dsp%1: [%2]").arg(i + 1).arg(values.at(i));
        QCOMPARE(rig->logLines(true).filter(red).size(), 1);
    }
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 0.3")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(rig->waitForEvent(busy0, 10000));
}

// Unit addresses given as host names: one that resolves (dsp1 as
// "localhost") works as its address; one that does not (dsp9) gives a red
// line, and its accesses fail at once instead of waiting 500 ms each.
void TstFaultsUnits::hostNameAddresses()
{
    const QString nowhere = QStringLiteral("no-such-unit.invalid");
    QVERIFY(startRig({QStringLiteral("VEXDA dsp9 %1 1 0 0 0").arg(nowhere)}, QStringLiteral("localhost")));
    QCOMPARE(unit->address(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), fullRoi);

    const QStringList red = rig->logLines(true);
    QCOMPARE(red.filter(QStringLiteral("localhost")), QStringList());
    QCOMPARE(red.filter(QStringLiteral("dsp9: the address [%1] does not resolve").arg(nowhere)).size(), 1);

    VexDA *lost = rig->unit(QStringLiteral("dsp9"));
    QVERIFY(lost);
    QElapsedTimer t;
    t.start();
    lost->readTimes();   // 13 register reads
    QVERIFY2(t.elapsed() < 400, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), noData);
}

QTEST_MAIN(TstFaultsUnits)
#include "tst_faults_units.moc"
