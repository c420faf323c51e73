// One DSP unit against a simulated unit: presets, times, watch, busy,
// histogram read-out and data sets.
#include <QLineEdit>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>

#include "dspreg.h"
#include "logcapture.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "statdisp.h"
#include "unitstat.h"
#include "vexda.h"

namespace {

using DaAction = std::function<void(VexDA &)>;

QStringList hex(const QList<QByteArray> &requests)
{
    QStringList l;
    for (const QByteArray &r : requests)
        l << QString::fromLatin1(r.toHex());
    return l;
}

const QStringList noPresetWrites{
    QStringLiteral("ff800702b40000160fff"),
    QStringLiteral("ff800702b4000018ffff"),
    QStringLiteral("ff800702b400001affff"),
};

} // namespace

Q_DECLARE_METATYPE(DaAction)

class TstVexDASim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void constructionWrites();
    void writes_data();
    void writes();
    void presetAccessors();
    void readTimes();
    void readTimesTimeout();
    void startTwiceReportsOnce();
    void noPresetNoWatch();
    void watchEndsPresetMeasurement();
    void frozenRealTimeStopsAtFirstTick();

    void inLineHistogram_data();
    void inLineHistogram();
    void histogramInPieces();
    void bModeKeeps4096Bins();
    void noTcpDataTimesOut();
    void leftoverBytesAreDiscarded();
    void signalPathHistogram();
    void signalPathAfterStrayOnConnect();

    void initMcaSet();
    void makeMcaSetHeaders();
    void makeMcaSetReuse();
    void emulationRamp();

private:
    bool startUnit(const QString &addr, bool bMode = false);
    // Opens the unit's connection and waits until the simulator has taken it.
    bool connectTcp();
    bool hasBins(int ch, const quint32 *got) const;
    void setPieces(int bytes, int gapMs);

    std::unique_ptr<LogCapture> log;
    std::unique_ptr<SimHost> host;
    SimUnit *sim = nullptr;
    std::unique_ptr<VexDA> da;
};

void TstVexDASim::initTestCase()
{
    buildRegMap();
}

void TstVexDASim::init()
{
    log = std::make_unique<LogCapture>();
}

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
    // configured as the main window does it
    da->chUse = {true, true, false, false};
    da->roiStart.resize(4);
    da->roiEnd.resize(4);
    da->initMcaSet();
    if (bMode)
        da->hgBytes = 32768;
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

void TstVexDASim::setPieces(int bytes, int gapMs)
{
    SimFaults f;
    f.pieceBytes = bytes;
    f.pieceGapMs = gapMs;
    sim->setFaults(f);
}

void TstVexDASim::constructionWrites()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.30")));
    QCOMPARE(hex(sim->requests()), noPresetWrites + noPresetWrites);
    QCOMPARE(da->getPresetType(), 0);
    QCOMPARE(da->getPresetValue(), 1.0);
    QVERIFY(!da->inMeas);
    QVERIFY(!da->busyReported);
    QCOMPARE(da->hgBytes, 16384);
    QCOMPARE(da->mcaLength, 4096);
    QCOMPARE(da->measCount, 0);
    QCOMPARE(da->startMeasNum, 0);
    QCOMPARE(da->watchTimerIntervalMs(), 200);
    QCOMPARE(sim->value(0xB4000016, 6), quint64(0x0FFFFFFFFFFFULL));
    da->setWatchInterval(250.7);   // the timer takes whole milliseconds
    QCOMPARE(da->watchTimerIntervalMs(), 250);
    QCOMPARE(da->watchIntervalSec(), 250.7 * 0.001);
}

void TstVexDASim::writes_data()
{
    QTest::addColumn<DaAction>("action");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("presetType");
    QTest::newRow("type 2: preset 1 s")
        << DaAction([](VexDA &d) { d.setPresetType(2); })
        << QStringList{"ff800706b4000016000005f5e100"} << 2;
    QTest::newRow("type 1 then 1.5 s")
        << DaAction([](VexDA &d) {
               d.setPresetType(1);
               d.setPresetValue(1.5);
           })
        << QStringList{"ff800706b4000016000005f5e100", "ff800706b4000016000008f0d180"} << 1;
    QTest::newRow("type 7 counts as none") << DaAction([](VexDA &d) { d.setPresetType(7); }) << noPresetWrites << 0;
    QTest::newRow("type -1 counts as none") << DaAction([](VexDA &d) { d.setPresetType(-1); }) << noPresetWrites << 0;
    QTest::newRow("value without type: no preset")
        << DaAction([](VexDA &d) { d.setPresetValue(3.0); }) << noPresetWrites << 0;
    QTest::newRow("negative preset counts as 0")
        << DaAction([](VexDA &d) {
               d.setPresetValue(-2.0);
               d.setPresetType(1);
           })
        << (noPresetWrites + QStringList{"ff800706b4000016000000000000"}) << 1;
    QTest::newRow("NaN preset counts as 0")
        << DaAction([](VexDA &d) {
               d.setPresetValue(qQNaN());
               d.setPresetType(2);
           })
        << (noPresetWrites + QStringList{"ff800706b4000016000000000000"}) << 2;
    QTest::newRow("huge preset clamped")
        << DaAction([](VexDA &d) {
               d.setPresetValue(1e9);
               d.setPresetType(1);
           })
        << (noPresetWrites + QStringList{"ff800706b4000016ffffffffffff"}) << 1;
    QTest::newRow("clear pulses 0 1 0")
        << DaAction([](VexDA &d) { d.clearHistogram(); })
        << QStringList{"ff800702b40000400000", "ff800702b40000400001", "ff800702b40000400000"} << 0;
    QTest::newRow("delay 3 ms") << DaAction([](VexDA &d) { d.setDataTransDelay(3); })
                                << QStringList{"ff800704000000080005b8d8"} << 0;
    QTest::newRow("delay 0") << DaAction([](VexDA &d) { d.setDataTransDelay(0); })
                             << QStringList{"ff8007040000000800000000"} << 0;
    QTest::newRow("measuring time") << DaAction([](VexDA &d) { d.setMeasTime(0x0123456789ABULL); })
                                    << QStringList{"ff800706b40000160123456789ab"} << 0;
    QTest::newRow("measuring time clamped") << DaAction([](VexDA &d) { d.setMeasTime(1ULL << 50); })
                                            << QStringList{"ff800706b4000016ffffffffffff"} << 0;
}

void TstVexDASim::writes()
{
    QFETCH(DaAction, action);
    QVERIFY(startUnit(QStringLiteral("127.0.3.31")));
    sim->clearRequests();
    action(*da);
    QTEST(hex(sim->requests()), "requests");
    QTEST(da->getPresetType(), "presetType");
}

void TstVexDASim::presetAccessors()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.32")));
    da->setPresetValue(1e9);
    da->setPresetType(2);
    QCOMPARE(da->getPresetValue(), 1e9);   // kept as asked; the register holds the largest count
    QVERIFY(log->contains(QStringLiteral("preset time 1e+09 s is beyond")));
    QCOMPARE(sim->value(0xB4000016, 6), quint64(0xFFFFFFFFFFFFULL));
    QCOMPARE(VexDA::presetTicks(1.5), quint64(150000000));
    QCOMPARE(VexDA::presetTicks(-1), quint64(0));
    QCOMPARE(VexDA::presetTicks(0), quint64(0));
    bool clamped = true;
    QCOMPARE(VexDA::presetTicks(2.8e6, &clamped), quint64(280000000000000ULL));   // near the top, still fits
    QVERIFY(!clamped);
    QCOMPARE(VexDA::presetTicks(1e7, &clamped), quint64(0xFFFFFFFFFFFFULL));
    QVERIFY(clamped);

    da->setMeasTime(123456789012ULL);
    QCOMPARE(da->getMeasTime(), quint64(123456789012ULL));
    SimFaults f;
    f.silent = true;
    sim->setFaults(f);
    QCOMPARE(da->getMeasTime(), quint64(0));
}

void TstVexDASim::readTimes()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.34")));
    da->chUse = {true, true, true, true};
    // real time 2.5 s; channel c: live (1 + c) s, dead c * 0.25 s, ICR 1000 + c
    auto set48 = [this](quint32 addr, quint64 v) {
        sim->setReg(addr, quint16(v >> 32));
        sim->setReg(addr + 2, quint16(v >> 16));
        sim->setReg(addr + 4, quint16(v));
    };
    set48(0xB400001C, 250000000);
    for (int c = 0; c < 4; ++c) {
        const quint32 o = quint32(chOffsets.at(c));
        set48(0xB4000246 + o, quint64(100000000) * quint64(1 + c));
        set48(0xB400024C + o, quint64(25000000) * quint64(c));
        sim->setReg(0xB400022C + o, 0);
        sim->setReg(0xB400022E + o, quint16(1000 + c));
    }
    sim->clearRequests();
    da->readTimes();
    const QStringList expected{
        "ffc00606b400001c",
        "ffc00606b4000246", "ffc00606b400024c", "ffc00604b400022c",
        "ffc00606b4000446", "ffc00606b400044c", "ffc00604b400042c",
        "ffc00606b4000646", "ffc00606b400064c", "ffc00604b400062c",
        "ffc00606b4000846", "ffc00606b400084c", "ffc00604b400082c",
    };
    QCOMPARE(hex(sim->requests()), expected);
    QCOMPARE(da->realTime, 2.5);
    QCOMPARE(da->liveTimes, (QList<double>{1.0, 2.0, 3.0, 4.0}));
    QCOMPARE(da->deadTimes, (QList<double>{0.0, 0.25, 0.5, 0.75}));
    QCOMPARE(da->icrs, (QList<double>{1000, 1001, 1002, 1003}));
}

void TstVexDASim::readTimesTimeout()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.35")));
    da->chUse = {true};
    da->realTime = 9;
    SimFaults f;
    f.silent = true;
    sim->setFaults(f);
    da->readTimes();
    QCOMPARE(da->realTime, 0.0);
    QCOMPARE(da->liveTimes, QList<double>{0.0});
    QCOMPARE(da->deadTimes, QList<double>{0.0});
    QCOMPARE(da->icrs, QList<double>{0.0});
    QCOMPARE(log->count(QStringLiteral("Err. Timeout waiting ans from UDP")), 4);
}

void TstVexDASim::startTwiceReportsOnce()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.37")));
    QSignalSpy busy(da.get(), &VexDA::changedIsBusy);
    QSignalSpy logs(da.get(), &VexDA::log);
    da->startMeasWatch();
    da->startMeasWatch();
    QCOMPARE(busy.count(), 1);
    QCOMPARE(da->measCount, 1);
    QVERIFY(da->busyReported);
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.first().first().toString(), QStringLiteral("Changed Busy 1"));
    da->checkIsBusy();   // no change, no report
    QCOMPARE(busy.count(), 1);
    da->stopMeasWatch();
    QCOMPARE(busy.count(), 2);
    QCOMPARE(logs.last().first().toString(), QStringLiteral("Changed Busy 0"));
    QVERIFY(!da->busyReported);
}

void TstVexDASim::noPresetNoWatch()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.38")));
    // Stopping an idle unit does nothing.
    MCADataSet *before = da->mcaSet;
    QSignalSpy busy(da.get(), &VexDA::changedIsBusy);
    sim->clearRequests();
    da->stopMeasWatch();
    QVERIFY(sim->requests().isEmpty());
    QCOMPARE(da->mcaSet, before);
    QCOMPARE(busy.count(), 0);

    da->startMeasWatch();
    QVERIFY(!da->watchIsRunning());
    sim->clearRequests();
    QTest::qWait(3 * da->watchTimerIntervalMs());
    QVERIFY(sim->requests().isEmpty());   // no tick reads anything
    QVERIFY(da->inMeas);
    QVERIFY(da->busyReported);
}

void TstVexDASim::watchEndsPresetMeasurement()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.39")));
    QVERIFY(connectTcp());
    da->setWatchInterval(100);
    da->setPresetType(1);
    da->setPresetValue(0.5);
    da->startMeasNum = 12;
    QSignalSpy busy(da.get(), &VexDA::changedIsBusy);
    QVERIFY(da->writeReg(0xB4000014, 1));
    da->startMeasWatch();
    QVERIFY(da->watchIsRunning());
    QVERIFY(sim->isCounting());
    QTRY_VERIFY_WITH_TIMEOUT(!da->inMeas, 10000);
    QVERIFY(!sim->isCounting());
    QVERIFY(!da->watchIsRunning());
    QCOMPARE(busy.count(), 2);
    QVERIFY(!da->busyReported);
    QVERIFY(da->mcaSet);
    QCOMPARE(da->mcaSet->measNum, 12);
    QCOMPARE(da->mcaSet->count, 1);
    QCOMPARE(da->mcaSet->chs.size(), 4);
    for (MCAData *d : std::as_const(da->mcaSet->chs)) {
        QCOMPARE(d->inMeas(), quint64(0));
        QVERIFY2(qAbs(d->realTimeSec() - 0.5) < 0.05, qPrintable(QString::number(d->realTimeSec())));
    }
    QVERIFY(hasBins(1, da->mcaSet->chs.at(1)->data));
    QVERIFY(log->contains(QStringLiteral("Calling stopMeasWatch to Turn flag inMeas false")));
    QVERIFY(log->contains(QStringLiteral("Turn flag inMeas false")));
    QVERIFY(log->contains(QStringLiteral("Watching Times : realTime ")));
}

void TstVexDASim::frozenRealTimeStopsAtFirstTick()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.40")));
    sim->setFrozenRealTime(true);
    da->setWatchInterval(100);
    da->setPresetType(1);
    da->setPresetValue(100.0);
    QVERIFY(da->writeReg(0xB4000014, 1));
    da->startMeasWatch();
    QTRY_VERIFY(!da->inMeas);
    QCOMPARE(log->count(QStringLiteral("Watching Times")), 1);   // the first tick
    QVERIFY(log->contains(QStringLiteral("Watching Times : realTime 0 : last RealTime 0 : Interval 0.2")));
}

void TstVexDASim::inLineHistogram_data()
{
    QTest::addColumn<int>("ch");
    QTest::addColumn<bool>("ownBuffer");
    QTest::newRow("ch 0 into hg") << 0 << true;
    QTest::newRow("ch 3 into hg") << 3 << true;
    QTest::newRow("ch 1 into a target") << 1 << false;
}

void TstVexDASim::inLineHistogram()
{
    QFETCH(int, ch);
    QFETCH(bool, ownBuffer);
    QVERIFY(startUnit(QStringLiteral("127.0.3.42")));
    QVector<quint32> bins(4096);
    for (int i = 0; i < 4096; ++i)
        bins[i] = quint32(i * 3 + ch);
    bins[0] = 258;
    sim->setHistogram(ch, bins);
    QVERIFY(connectTcp());
    QSignalSpy ready(da.get(), &VexDA::hgDataReady);
    sim->clearRequests();
    QVector<quint32> target(4096, 0xFFFFFFFF);
    da->askHistogram(ch, true, ownBuffer ? nullptr : target.data());
    QVERIFY(da->hgReady);
    QCOMPARE(ready.count(), 1);
    const quint32 *got = ownBuffer ? da->hg : target.constData();
    QCOMPARE(got[0], 258u);
    QVERIFY(std::equal(bins.begin(), bins.end(), got));
    QCOMPARE(hex(sim->requests()), QStringList{QStringLiteral("ff800702b400004a000%1").arg(ch)});
    QCOMPARE(da->status()->findChild<StatDisp *>(QStringLiteral("TCPTimeout"))->styleSheetOfLabel(),
             StatDisp::okStyle);
    QVERIFY(log->contains(QStringLiteral("dspA %1 *** asking Histgram").arg(ch)));
    QVERIFY(log->contains(QStringLiteral("dspA %1 InLine:: wait Histgram Data in line").arg(ch)));
    QVERIFY(log->contains(QStringLiteral("dspA InLine:: histgram ready")));
}

void TstVexDASim::histogramInPieces()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.43")));
    setPieces(1000, 20);
    QVERIFY(connectTcp());
    QSignalSpy ready(da.get(), &VexDA::hgDataReady);
    da->askHistogram(2, true);
    QVERIFY(da->hgReady);
    QCOMPARE(ready.count(), 1);
    QVERIFY(hasBins(2, da->hg));
    // the figure of bytes so far grows piece by piece
    static const QRegularExpression figure(QStringLiteral("dspA InLine:: tcp bytes available : (\\d+), hgBytes : (\\d+)"));
    QList<int> sofar;
    int total = 0;
    for (auto it = figure.globalMatch(log->text()); it.hasNext();) {
        const auto m = it.next();
        QCOMPARE(m.captured(2).toInt(), total);
        sofar << total;
        total += m.captured(1).toInt();
    }
    QCOMPARE(total, 16384);
    QVERIFY2(sofar.size() >= 3, qPrintable(QString::number(sofar.size())));
    QCOMPARE(sofar.first(), 0);
    QCOMPARE(log->count(QStringLiteral("histgram ready")), 1);
}

void TstVexDASim::bModeKeeps4096Bins()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.44"), true));
    QVector<quint32> bins(8192);
    for (int i = 0; i < 8192; ++i)
        bins[i] = quint32(i + 1);
    sim->setHistogram(0, bins);
    QVERIFY(connectTcp());
    da->askHistogram(0, true);
    QVERIFY(da->hgReady);
    QCOMPARE(da->hg[0], 1u);
    QCOMPARE(da->hg[4095], 4096u);
    QCOMPARE(da->hg[4096], 0u);   // not converted
    QCOMPARE(da->tcpSocket()->bytesAvailable(), 0);   // the rest was taken, not left behind
}

void TstVexDASim::noTcpDataTimesOut()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.45")));
    QVERIFY(connectTcp());
    SimFaults f;
    f.noTcpData = true;
    sim->setFaults(f);
    QSignalSpy logs(da.get(), &VexDA::log);
    QVector<quint32> target(4096, 77);
    da->askHistogram(1, true, target.data());
    QVERIFY(!da->hgReady);
    QCOMPARE(target[0], 77u);
    QCOMPARE(target[4095], 77u);
    QCOMPARE(logs.count(), 1);
    QCOMPARE(logs.first().first().toString(), QStringLiteral("Err. Timeout waiting ans from TCP for Histgram"));
    auto *tcpTimeout = da->status()->findChild<StatDisp *>(QStringLiteral("TCPTimeout"));
    QCOMPARE(tcpTimeout->styleSheetOfLabel(), StatDisp::ngStyle);

    sim->setFaults(SimFaults());
    da->askHistogram(1, true, target.data());
    QVERIFY(da->hgReady);
    QCOMPARE(tcpTimeout->styleSheetOfLabel(), StatDisp::okStyle);
}

void TstVexDASim::leftoverBytesAreDiscarded()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.46")));
    QVERIFY(connectTcp());
    // Ask channel 0 without reading it: its bytes stay in the socket.
    da->suspendTcpSignals();
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

void TstVexDASim::signalPathHistogram()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.47")));
    setPieces(4000, 10);
    QVERIFY(connectTcp());
    QSignalSpy ready(da.get(), &VexDA::hgDataReady);
    da->askHistogram(3, false);
    QTRY_COMPARE(ready.count(), 1);
    QVERIFY(da->hgReady);
    QVERIFY(hasBins(3, da->hg));
    QVERIFY(log->contains(QStringLiteral("dspA Signal:: tcpDataReady")));
    QVERIFY(log->contains(QStringLiteral("dspA Signal:: histgram ready")));
    // two in a row are taken one after another
    da->askHistogram(0, false);
    da->askHistogram(1, false);
    QTRY_COMPARE(ready.count(), 3);
    QVERIFY(hasBins(1, da->hg));
}

void TstVexDASim::signalPathAfterStrayOnConnect()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.48")));
    SimFaults f;
    f.strayOnConnect = QByteArray("xyz");
    sim->setFaults(f);
    da->openTcp();
    QTRY_VERIFY(log->contains(QStringLiteral("On Establishing TCP connection, something in buffer [3bytes]")));
    QSignalSpy ready(da.get(), &VexDA::hgDataReady);
    da->askHistogram(2, false);
    QTRY_COMPARE(ready.count(), 1);
    QVERIFY(hasBins(2, da->hg));   // not shifted by the stray bytes
}

void TstVexDASim::initMcaSet()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.49")));
    da->mcaSet->chs.at(0)->data[5] = 9;
    sim->clearRequests();
    da->initMcaSet();
    QVERIFY(sim->requests().isEmpty());
    QCOMPARE(da->mcaSet->measNum, 0);
    QCOMPARE(da->mcaSet->count, 0);
    QCOMPARE(da->mcaSet->chs.size(), 4);
    QCOMPARE(da->mcaSet->chs.at(0)->length, qint64(4096));
    QCOMPARE(da->mcaSet->chs.at(0)->data[5], 0u);
}

void TstVexDASim::makeMcaSetHeaders()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.50")));
    QVERIFY(connectTcp());
    QVERIFY(da->writeReg(0xB4000014, 1));
    QTest::qWait(100);
    QVERIFY(da->writeReg(0xB4000014, 0));
    da->inMeas = true;   // as for "GetMCAs" on a running unit
    da->measCount = 4;
    MCADataSet *s = da->makeMcaSet(0);
    QCOMPARE(s, da->mcaSet);
    QCOMPARE(s->measNum, 0);
    QCOMPARE(s->count, 4);
    for (int c = 0; c < 4; ++c) {
        MCAData *d = s->chs.at(c);
        QCOMPARE(d->ch(), qint64(c));
        QCOMPARE(*d->linkField, 0);
        QCOMPARE(d->inMeas(), quint64(1));
        QCOMPARE(d->len(), qint64(4096));
        QCOMPARE(d->realTimeSec(), da->realTime);
        QCOMPARE(d->liveTimeSec(), da->liveTimes.at(c));
        QCOMPARE(d->icr(), da->icrs.at(c));
        QVERIFY(hasBins(c, d->data));
    }
    QVERIFY(da->realTime > 0);
    QVERIFY(log->contains(QStringLiteral("Setting Times of DSP dspA : Ch 3 : RealTimeSec ")));
}

void TstVexDASim::makeMcaSetReuse()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.51")));
    QVERIFY(connectTcp());
    MCADataSet *s = da->makeMcaSet(5);
    QCOMPARE(s->measNum, 5);
    sim->clearRequests();
    QCOMPARE(da->makeMcaSet(5), s);   // same number: nothing read
    QVERIFY(sim->requests().isEmpty());
    QCOMPARE(da->tcpSocket()->bytesAvailable(), 0);
    // 0 always rebuilds: 13 reads and four histogram requests
    MCADataSet *t = da->makeMcaSet(0);
    QCOMPARE(t->measNum, 0);
    QCOMPARE(sim->requests().size(), 17);
    sim->clearRequests();
    da->makeMcaSet(0);
    QCOMPARE(sim->requests().size(), 17);
    sim->clearRequests();
    da->makeMcaSet(6);   // another number rebuilds too
    QCOMPARE(sim->requests().size(), 17);
    QCOMPARE(da->mcaSet->measNum, 6);
}

void TstVexDASim::emulationRamp()
{
    QVERIFY(startUnit(QStringLiteral("127.0.3.52")));
    QVERIFY(connectTcp());
    da->setEmulateSignal(true);
    MCADataSet *s = da->makeMcaSet(0);
    QCOMPARE(s->chs.at(2)->data[10], 30u);
    QCOMPARE(s->chs.at(0)->data[4095], 4095u);
    QCOMPARE(s->chs.at(3)->data[0], 0u);
    da->setEmulateSignal(false);
    s = da->makeMcaSet(0);
    QVERIFY(hasBins(2, s->chs.at(2)->data));
}

QTEST_MAIN(TstVexDASim)
#include "tst_vexda_sim.moc"
