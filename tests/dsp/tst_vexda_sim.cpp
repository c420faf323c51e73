// One DSP unit against a simulated unit: presets, times, watch, busy,
// histogram read-out and data sets.
#include <QtTest>

#include <functional>
#include <memory>

#include "dspreg.h"
#include "logcapture.h"
#include "rbcp.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "statdisp.h"
#include "unitstat.h"
#include "vexda.h"

namespace {

using DaAction = std::function<void(VexDA &)>;

// The registers written by the requests, as "address=value" in hex.
QStringList written(const QList<QByteArray> &requests)
{
    QStringList l;
    for (const QByteArray &r : requests) {
        const Rbcp::Answer a = Rbcp::decodeAnswer(r);
        if (quint8(r.at(1)) == Rbcp::writeCmd)
            l << QStringLiteral("%1=%2").arg(a.addr, 0, 16).arg(a.value, 0, 16);
    }
    return l;
}

// A 48-bit value in the three 16-bit registers from addr on.
void poke48(SimUnit *s, quint32 addr, quint64 v)
{
    s->setReg(addr, quint16(v >> 32));
    s->setReg(addr + 2, quint16(v >> 16));
    s->setReg(addr + 4, quint16(v));
}

const QStringList noPreset{"b4000016=fff", "b4000018=ffff", "b400001a=ffff"};

} // namespace

Q_DECLARE_METATYPE(DaAction)

class TstVexDASim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { buildRegMap(); }
    void init() { log = std::make_unique<LogCapture>(); }
    void cleanup();

    void writes_data();
    void writes();
    void readTimes();
    void silentUnit();
    void busyReportedOnce();
    void watchEnds_data();
    void watchEnds();

    void histogram_data();
    void histogram();
    void givenUpRead_data();
    void givenUpRead();
    void leftoverBytesAreDiscarded();

    void dataSet();
    void dataSetReuse();

private:
    bool startUnit(const QString &addr, bool bMode = false);
    // Opens the unit's connection and waits until the simulator has taken it.
    bool connectTcp();
    bool hasBins(int ch, const quint32 *got) const;

    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimHost> host;
    SimUnit *sim = nullptr;
    std::unique_ptr<VexDA> da;
    QStringList daLog;   // lines of the unit's log signal
};

void TstVexDASim::cleanup()
{
    da.reset();
    host.reset();
    sim = nullptr;
    log.reset();
}

bool TstVexDASim::startUnit(const QString &addr, bool bMode)
{
    host = std::make_unique<SimHost>();
    sim = host->addDsp(QStringLiteral("sim"), QHostAddress(addr), 0, 0, bMode);
    if (!sim || !host->start())
        return false;
    sim->setDeterministic(true);
    da = std::make_unique<VexDA>(QStringLiteral("dspA"), addr, sim->udpPort(), sim->tcpPort());
    daLog.clear();
    connect(da.get(), &VexDA::log, this, [this](const QString &m) { daLog << m; });
    // configured as the main window does it
    da->chUse = {true, true, false, false};
    da->roiStart.resize(4);
    da->roiEnd.resize(4);
    da->initMcaSet();
    if (bMode)
        da->hgBytes = 32768;
    sim->clearRequests();
    return true;
}

bool TstVexDASim::connectTcp()
{
    const int before = sim->tcpConnectionCount();
    da->openTcp();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000 && !(da->tcpHasConnected() && sim->tcpConnectionCount() > before))
        QTest::qWait(10);
    return da->tcpHasConnected() && sim->tcpConnectionCount() > before;
}

// The unit's spectrum of channel ch, bin for bin.
bool TstVexDASim::hasBins(int ch, const quint32 *got) const
{
    const QVector<quint32> bins = sim->histogram(ch);
    return std::equal(bins.begin(), bins.begin() + 4096, got);
}

void TstVexDASim::writes_data()
{
    QTest::addColumn<DaAction>("action");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<int>("presetType");
    QTest::newRow("type 2 then 1.5 s") << DaAction([](VexDA &d) {
        d.setPresetType(2);
        d.setPresetValue(1.5);
    }) << QStringList{"b4000016=5f5e100", "b4000016=8f0d180"} << 2;
    QTest::newRow("type 7 counts as none") << DaAction([](VexDA &d) { d.setPresetType(7); }) << noPreset << 0;
    QTest::newRow("NaN preset counts as 0") << DaAction([](VexDA &d) {
        d.setPresetValue(qQNaN());
        d.setPresetType(2);
    }) << (noPreset + QStringList{"b4000016=0"}) << 2;
    QTest::newRow("huge preset clamped") << DaAction([](VexDA &d) {
        d.setPresetValue(1e9);
        d.setPresetType(1);
    }) << (noPreset + QStringList{"b4000016=ffffffffffff"}) << 1;
    QTest::newRow("clear pulses 0 1 0") << DaAction([](VexDA &d) { d.clearHistogram(); })
                                        << QStringList{"b4000040=0", "b4000040=1", "b4000040=0"} << 0;
    QTest::newRow("delay 3 ms") << DaAction([](VexDA &d) { d.setDataTransDelay(3); })
                                << QStringList{"8=5b8d8"} << 0;
}

void TstVexDASim::writes()
{
    QFETCH(DaAction, action);
    QVERIFY(startUnit(QStringLiteral("127.0.3.31")));
    action(*da);
    QTEST(written(sim->requests()), "written");
    QTEST(da->getPresetType(), "presetType");
}

void TstVexDASim::readTimes()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.34")));
    da->chUse = {true, true, true, true};
    // real time 2.5 s; channel c: live (1 + c) s, dead c * 0.25 s, ICR 1000 + c
    poke48(sim, 0xB400001C, 250000000);
    for (int c = 0; c < 4; ++c) {
        const quint32 o = quint32(chOffsets.at(c));
        poke48(sim, 0xB4000246 + o, quint64(100000000) * quint64(1 + c));
        poke48(sim, 0xB400024C + o, quint64(25000000) * quint64(c));
        sim->setReg(0xB400022E + o, quint16(1000 + c));
    }
    da->readTimes();
    QCOMPARE(sim->requests().size(), 13);
    QCOMPARE(da->realTime, 2.5);
    QCOMPARE(da->liveTimes, (QList<double>{1.0, 2.0, 3.0, 4.0}));
    QCOMPARE(da->deadTimes, (QList<double>{0.0, 0.25, 0.5, 0.75}));
    QCOMPARE(da->icrs, (QList<double>{1000, 1001, 1002, 1003}));
}

// A silent unit reads as zeros, one time-out per request, and keeps the
// preset asked for.
void TstVexDASim::silentUnit()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.35")));
    da->setPresetValue(1e9);
    da->setPresetType(2);
    QVERIFY(log->contains(QStringLiteral("preset time 1e+09 s is beyond")));
    da->chUse = {true};
    da->realTime = 9;
    SimFaults f;
    f.silent = true;
    sim->setFaults(f);
    QCOMPARE(da->getMeasTime(), quint64(0));
    da->readTimes();
    QCOMPARE(da->realTime, 0.0);
    QCOMPARE(da->icrs, QList<double>{0.0});
    // One wait: the rest of the request's accesses are sent without waiting.
    QCOMPARE(log->count(QStringLiteral("Err. Timeout waiting ans from UDP")), 1);
    QCOMPARE(da->getPresetValue(), 1e9);
}

void TstVexDASim::busyReportedOnce()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.37")));
    QSignalSpy busy(da.get(), &VexDA::changedIsBusy);
    da->stopMeasWatch();   // stopping an idle unit does nothing
    QVERIFY(sim->requests().isEmpty());
    da->startMeasWatch();
    da->startMeasWatch();
    QCOMPARE(busy.count(), 1);
    QCOMPARE(da->measCount, 1);
    QVERIFY(!da->watchIsRunning());   // no preset: nothing to watch
    da->checkIsBusy();
    QCOMPARE(busy.count(), 1);
    da->stopMeasWatch();
    QCOMPARE(busy.count(), 2);
    QCOMPARE(daLog.filter(QStringLiteral("Changed Busy")), (QStringList{"Changed Busy 1", "Changed Busy 0"}));
}

// How many watch ticks a preset measurement takes, told by the real-time
// reads the unit received (the data set reads it again unless the tick that
// ended the measurement saw the preset reached).
void TstVexDASim::watchEnds_data()
{
    QTest::addColumn<bool>("quick");
    QTest::addColumn<double>("preset");
    QTest::addColumn<double>("unitStopsAt");   // < 0: at the preset
    QTest::addColumn<int>("kind");             // 0 counting, 1 real time frozen, 2 silent
    QTest::addColumn<int>("realTimeReads");
    QTest::addColumn<double>("dataRealTime");
    QTest::newRow("0.1 s: the first tick, aimed at the end") << true << 0.1 << -1.0 << 0 << 1 << 0.1;
    QTest::newRow("stopped short: still ended once it stands still") << true << 0.1 << 0.05 << 0 << 3 << 0.05;
    QTest::newRow("QUICK_PRESET_END 0: ticks at the interval") << false << 0.1 << -1.0 << 0 << 3 << 0.1;
    QTest::newRow("frozen, 100 s preset: the first tick at the interval") << true << 100.0 << -1.0 << 1 << 2 << 0.0;
    QTest::newRow("silent: the first tick") << true << 0.1 << -1.0 << 2 << 2 << 0.0;
}

void TstVexDASim::watchEnds()
{
    QFETCH(bool, quick);
    QFETCH(double, preset);
    QFETCH(double, unitStopsAt);
    QFETCH(int, kind);
    QVERIFY(startUnit(QStringLiteral("127.0.3.39")));
    if (kind == 2)
        da->chUse = {true};   // a quarter of the time-outs
    else
        QVERIFY(connectTcp());
    sim->setFrozenRealTime(kind == 1);
    da->setQuickPresetEnd(quick);
    da->setPresetType(1);
    da->setPresetValue(preset);
    if (unitStopsAt >= 0)
        poke48(sim, DspAddr::MeasTime1, quint64(unitStopsAt * 1e8));
    da->startMeasNum = 12;
    QSignalSpy busy(da.get(), &VexDA::changedIsBusy);
    sim->clearRequests();
    da->startMeasWatch();
    QVERIFY(da->writeReg(DspAddr::Start, 1));
    da->measStarted();
    if (kind == 2) {
        SimFaults f;
        f.silent = true;
        sim->setFaults(f);
    }
    QVERIFY(da->watchIsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!da->inMeas, 20000);
    QVERIFY(!da->watchIsRunning());
    const auto reads = [this] {
        int n = 0;
        for (const QByteArray &r : sim->requests())
            n += quint8(r.at(1)) == Rbcp::readCmd && Rbcp::decodeAnswer(r).addr == DspAddr::RealTime1;
        return n;
    };
    // A read sent without waiting (a silent unit) may still be on its way.
    QFETCH(int, realTimeReads);
    QTRY_COMPARE_WITH_TIMEOUT(reads(), realTimeReads, 2000);
    QCOMPARE(busy.count(), 2);
    QCOMPARE(da->mcaSet->measNum, 12);
    QTEST(da->mcaSet->chs.at(0)->realTimeSec(), "dataRealTime");
    if (kind == 0)
        QVERIFY(hasBins(1, da->mcaSet->chs.at(1)->data));
}

void TstVexDASim::histogram_data()
{
    QTest::addColumn<int>("ch");
    QTest::addColumn<bool>("inLine");
    QTest::addColumn<bool>("ownBuffer");
    QTest::addColumn<int>("pieceBytes");
    QTest::addColumn<bool>("bMode");
    QTest::addColumn<QByteArray>("stray");   // bytes the unit sends on connecting
    QTest::newRow("in line, whole") << 3 << true << true << 0 << false << QByteArray();
    QTest::newRow("in line, into a target") << 1 << true << false << 0 << false << QByteArray();
    QTest::newRow("in line, 1000-byte pieces") << 2 << true << true << 1000 << false << QByteArray();
    QTest::newRow("in line, B mode") << 0 << true << true << 0 << true << QByteArray();
    QTest::newRow("by signal, 4000-byte pieces") << 3 << false << true << 4000 << false << QByteArray();
    QTest::newRow("by signal, B mode") << 1 << false << true << 0 << true << QByteArray();
    QTest::newRow("by signal, stray bytes on connect") << 2 << false << true << 0 << false << QByteArray("xyz");
}

void TstVexDASim::histogram()
{
    QFETCH(int, ch);
    QFETCH(bool, inLine);
    QFETCH(bool, ownBuffer);
    QFETCH(int, pieceBytes);
    QFETCH(bool, bMode);
    QFETCH(QByteArray, stray);
    QVERIFY(startUnit(QStringLiteral("127.0.3.42"), bMode));
    SimFaults f;
    f.pieceBytes = pieceBytes;
    f.pieceGapMs = 10;
    f.strayOnConnect = stray;
    sim->setFaults(f);
    QVERIFY(connectTcp());
    QTRY_COMPARE(da->tcpSocket()->bytesAvailable(), 0);   // stray bytes are drained, not taken for bins
    QSignalSpy ready(da.get(), &VexDA::hgDataReady);
    QVector<quint32> target(4097, 0xFFFFFFFF);
    da->askHistogram(ch, inLine, ownBuffer ? nullptr : target.data());
    QTRY_COMPARE(ready.count(), 1);
    QVERIFY(da->hgReady);
    const quint32 *got = ownBuffer ? da->hg : target.constData();
    QVERIFY(hasBins(ch, got));
    QCOMPARE(got[4096], ownBuffer ? 0u : 0xFFFFFFFFu);   // 4096 bins only, also in B mode
    QTRY_COMPARE(da->tcpSocket()->bytesAvailable(), 0);  // the rest was taken, not left behind
    // The next two asks are served one after another.
    da->askHistogram(0, inLine);
    da->askHistogram(1, inLine);
    QTRY_COMPARE(ready.count(), 3);
    QVERIFY(hasBins(1, da->hg));
}

void TstVexDASim::givenUpRead_data()
{
    QTest::addColumn<bool>("noData");
    QTest::addColumn<int>("pieceGapMs");   // between the two halves of the stream
    QTest::newRow("nothing sent") << true << 0;
    QTest::newRow("stall of 0.8 s half way") << false << 800;
}

// A read given up leaves its target as it was; the read of channel 1 right
// after it gets channel 1, not the rest of channel 0 in front of it.
void TstVexDASim::givenUpRead()
{
    QFETCH(bool, noData);
    QFETCH(int, pieceGapMs);
    QVERIFY(startUnit(QStringLiteral("127.0.3.45")));
    QVERIFY(connectTcp());
    sim->setHistogram(0, QVector<quint32>(4096, 1));
    sim->setHistogram(1, QVector<quint32>(4096, 2));
    SimFaults f;
    f.noTcpData = noData;
    f.pieceBytes = 8192;
    f.pieceGapMs = pieceGapMs;
    sim->setFaults(f);
    QVector<quint32> target(4096, 77);
    da->askHistogram(0, true, target.data());
    QVERIFY(!da->hgReady);
    QCOMPARE(target[0], 77u);
    QVERIFY(daLog.contains(QStringLiteral("Err. Timeout waiting ans from TCP for Histgram")));
    auto *tcpTimeout = da->status()->findChild<StatDisp *>(QStringLiteral("TCPTimeout"));
    QCOMPARE(tcpTimeout->styleSheetOfLabel(), StatDisp::ngStyle);
    sim->setFaults(SimFaults());
    da->askHistogram(1, true, target.data());
    QVERIFY(da->hgReady);
    QVERIFY(hasBins(1, target.constData()));
    QCOMPARE(tcpTimeout->styleSheetOfLabel(), StatDisp::okStyle);
}

void TstVexDASim::leftoverBytesAreDiscarded()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.46")));
    QVERIFY(connectTcp());
    // Ask channel 0 without reading it: its bytes stay in the socket.
    da->disconnectTcpSignals();
    da->askHistogram(0, false);
    QTcpSocket *tcp = da->tcpSocket();
    while (tcp->bytesAvailable() < 16384 && tcp->waitForReadyRead(2000)) {
    }
    QCOMPARE(tcp->bytesAvailable(), 16384);
    da->askHistogram(1, true);
    QVERIFY(log->contains(QStringLiteral("Something left in TCP read buffer of 16384 bytes are discarded")));
    QVERIFY(da->hgReady);
    QVERIFY(hasBins(1, da->hg));
}

// A data set of a running unit: every channel's times and spectrum; with
// the emulated signal, a ramp instead.
void TstVexDASim::dataSet()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.50")));
    QVERIFY(connectTcp());
    QVERIFY(da->writeReg(0xB4000014, 1));
    QTest::qWait(100);
    QVERIFY(da->writeReg(0xB4000014, 0));
    da->inMeas = true;   // as for "GetMCAs" on a running unit
    da->measCount = 4;
    MCADataSet *s = da->makeMcaSet(0);
    QCOMPARE(s->count, 4);
    QVERIFY(da->realTime > 0);
    for (int c = 0; c < 4; ++c) {
        MCAData *d = s->chs.at(c);
        QCOMPARE(d->ch(), qint64(c));
        QCOMPARE(d->inMeas(), quint64(1));
        QCOMPARE(d->realTimeSec(), da->realTime);
        QCOMPARE(d->liveTimeSec(), da->liveTimes.at(c));
        QCOMPARE(d->icr(), da->icrs.at(c));
        QVERIFY(hasBins(c, d->data));
    }
    da->setEmulateSignal(true);
    s = da->makeMcaSet(0);
    QCOMPARE(s->chs.at(2)->data[10], 30u);
    QCOMPARE(s->chs.at(0)->data[4095], 4095u);
}

void TstVexDASim::dataSetReuse()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.51")));
    QVERIFY(connectTcp());
    MCADataSet *s = da->makeMcaSet(5);
    QCOMPARE(s->measNum, 5);
    sim->clearRequests();
    QCOMPARE(da->makeMcaSet(5), s);   // same number: nothing read
    QVERIFY(sim->requests().isEmpty());
    QCOMPARE(da->tcpSocket()->bytesAvailable(), 0);
    // 0 and any other number rebuild: 13 reads and four histogram requests
    for (int n : {0, 0, 6}) {
        sim->clearRequests();
        QCOMPARE(da->makeMcaSet(n)->measNum, n);
        QCOMPARE(sim->requests().size(), 17);
    }
}

QTEST_MAIN(TstVexDASim)
#include "tst_vexda_sim.moc"
