// VexHv against a simulated HV unit.
#include <QtTest>

#include <QLineEdit>
#include <QPushButton>

#include "simhost.h"
#include "simhvmodel.h"
#include "simunit.h"
#include "statdisp.h"
#include "vexhv.h"

class TstVexHvSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void panelPainting_data();
    void panelPainting();
    void signalsOncePerChange();
    void signalsSeeOldState();
    void voltageThroughPoll();
    void onOffWrites();
    void switchOnEndToEnd();
    void silentThenBack();
    void timerPolls();
    void pollWithoutPanel();

private:
    VexHv *makeHv();

    SimHost *host = nullptr;
    SimUnit *sim = nullptr;
};

static const char *hvIp = "127.0.5.31";

void TstVexHvSim::initTestCase()
{
    registerHvStatMetaTypes();
    host = new SimHost;
    sim = host->addHv(QStringLiteral("hv"), QHostAddress(QString::fromLatin1(hvIp)), 0);
    QVERIFY(host->start());
    QVERIFY(sim->udpPort() != 0);
}

void TstVexHvSim::cleanupTestCase()
{
    delete host;
}

void TstVexHvSim::init()
{
    sim->setFaults(SimFaults());
    sim->setRampMs(0);
    sim->setReg(SimHvModel::RegStat, 0);
    sim->setReg(SimHvModel::RegValue, 0x8000);
    sim->clearRequests();
}

VexHv *TstVexHvSim::makeHv()
{
    auto *hv = new VexHv(QStringLiteral("hv"), QString::fromLatin1(hvIp), this);
    hv->udpPort = sim->udpPort();
    hv->watchTimer()->stop();
    return hv;
}

void TstVexHvSim::panelPainting_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("emergencyStyle");
    QTest::addColumn<QString>("polarityText");
    QTest::addColumn<QString>("polarityStyle");
    QTest::addColumn<QString>("onStyle");
    QTest::addColumn<QString>("sweepText");
    QTest::addColumn<QString>("sweepStyle");

    const QString ok = StatDisp::okStyle, ng = StatDisp::ngStyle;
    QTest::newRow("on positive") << 0x0034 << ok << "Pos" << ok << ok << "On" << StatDisp::okStyle;
    QTest::newRow("transition") << 0x0002 << ng << "Neg" << ng << ng << "Trans" << StatDisp::inTransitionStyle;
    QTest::newRow("other nibble") << 0x0007 << ng << "Neg" << ng << ng << "Off" << StatDisp::stayStyle;
    QTest::newRow("off") << 0x0000 << ng << "Neg" << ng << ng << "Off" << StatDisp::stayStyle;
    QTest::newRow("positive, not on") << 0x0024 << ok << "Pos" << ok << ng << "On" << StatDisp::okStyle;
}

void TstVexHvSim::panelPainting()
{
    QFETCH(int, word);
    QFETCH(QString, emergencyStyle);
    QFETCH(QString, polarityText);
    QFETCH(QString, polarityStyle);
    QFETCH(QString, onStyle);
    QFETCH(QString, sweepText);
    QFETCH(QString, sweepStyle);

    QScopedPointer<VexHv> hv(makeHv());
    sim->setReg(SimHvModel::RegStat, quint16(word));
    hv->watch();
    QFrame *p = hv->panel();
    auto sd = [p](const char *n) { return p->findChild<StatDisp *>(QLatin1String(n)); };
    QCOMPARE(sd("Emergency")->styleSheetOfLabel(), emergencyStyle);
    QCOMPARE(sd("Emergency")->text(), QString());
    QCOMPARE(sd("Polarity")->text(), polarityText);
    QCOMPARE(sd("Polarity")->styleSheetOfLabel(), polarityStyle);
    QCOMPARE(sd("HvOn")->styleSheetOfLabel(), onStyle);
    QCOMPARE(sd("HvOn")->text(), QString());
    QCOMPARE(sd("SweepStat")->text(), sweepText);
    QCOMPARE(sd("SweepStat")->styleSheetOfLabel(), sweepStyle);
    QCOMPARE(hv->hvStat(), HvStat::decode(quint16(word)));
}

void TstVexHvSim::signalsOncePerChange()
{
    QScopedPointer<VexHv> hv(makeHv());
    QStringList seen;
    connect(hv.data(), &VexHv::changedInEmergency, this, [&](bool f) { seen << QStringLiteral("emergency %1").arg(f); });
    connect(hv.data(), &VexHv::changedPolarity, this, [&](bool f) { seen << QStringLiteral("polarity %1").arg(f); });
    connect(hv.data(), &VexHv::changedIsOn, this, [&](bool f) { seen << QStringLiteral("on %1").arg(f); });
    connect(hv.data(), &VexHv::changedSweep, this,
            [&](HvStat::SweepStat s) { seen << QStringLiteral("sweep %1").arg(int(s)); });
    QSignalSpy sweepSpy(hv.data(), &VexHv::changedSweep);   // the registered meta type

    sim->setReg(SimHvModel::RegStat, 0x0034);
    hv->watch();
    QCOMPARE(seen, QStringList({"emergency 1", "polarity 1", "on 1", "sweep 2"}));
    QCOMPARE(sweepSpy.count(), 1);
    QCOMPARE(sweepSpy.at(0).at(0).value<HvStat::SweepStat>(), HvStat::SweepOn);

    seen.clear();
    hv->watch();   // same word: nothing
    QCOMPARE(seen, QStringList());

    sim->setReg(SimHvModel::RegStat, 0x0030);   // only the sweep changes
    hv->watch();
    QCOMPARE(seen, QStringList({"sweep 0"}));

    seen.clear();
    sim->setReg(SimHvModel::RegStat, 0x0002);
    hv->watch();
    QCOMPARE(seen, QStringList({"emergency 0", "polarity 0", "on 0", "sweep 1"}));

    seen.clear();
    sim->setReg(SimHvModel::RegStat, 0x0003);
    hv->watch();
    QCOMPARE(seen, QStringList({"sweep 3"}));
}

void TstVexHvSim::signalsSeeOldState()
{
    QScopedPointer<VexHv> hv(makeHv());
    int oldSweep = -1;
    connect(hv.data(), &VexHv::changedSweep, this, [&](HvStat::SweepStat) { oldSweep = hv->hvStat().sweepStat; });
    sim->setReg(SimHvModel::RegStat, 0x0004);
    hv->watch();
    QCOMPARE(oldSweep, int(HvStat::SweepOff));
    QCOMPARE(hv->hvStat().sweepStat, HvStat::SweepOn);
}

void TstVexHvSim::voltageThroughPoll()
{
    QScopedPointer<VexHv> hv(makeHv());
    QSignalSpy spy(hv.data(), &VexHv::changedVoltage);
    sim->setReg(SimHvModel::RegValue, 0xC000);
    hv->watch();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toDouble(), 100.0);
    hv->watch();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(hv->panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(), QStringLiteral("100"));

    // Each poll reads the status word, then the raw voltage, 2 bytes each.
    const QList<QByteArray> req = sim->requests();
    QCOMPARE(req.size(), 4);
    QCOMPARE(req.at(0), QByteArray::fromHex("ffc00602b4002200"));
    QCOMPARE(req.at(1), QByteArray::fromHex("ffc00602b4002202"));
}

void TstVexHvSim::onOffWrites()
{
    QScopedPointer<VexHv> hv(makeHv());
    hv->hvOn();
    hv->hvOff();
    hv->hvOnOff(true);
    hv->hvOnOff(false);
    hv->panel()->findChild<QPushButton *>(QStringLiteral("TurnHvOn"))->click();
    hv->panel()->findChild<QPushButton *>(QStringLiteral("TurnHvOff"))->click();
    const QByteArray on = QByteArray::fromHex("ff800702b400220e0001");
    const QByteArray off = QByteArray::fromHex("ff800702b400220e0000");
    QCOMPARE(sim->requests(), QList<QByteArray>({on, off, on, off, on, off}));
    QVERIFY(!hv->isSilent());
}

void TstVexHvSim::switchOnEndToEnd()
{
    QScopedPointer<VexHv> hv(makeHv());
    sim->setReg(SimHvModel::RegStat, SimHvModel::BitPositive);
    hv->watch();
    QSignalSpy sweep(hv.data(), &VexHv::changedSweep);
    QSignalSpy volts(hv.data(), &VexHv::changedVoltage);
    hv->hvOn();   // the simulated ramp takes no time
    hv->watch();
    QCOMPARE(hv->hvStat().sweepStat, HvStat::SweepOn);
    QVERIFY(hv->hvStat().isOn);
    QCOMPARE(sweep.count(), 1);
    QCOMPARE(hv->voltage(), 100.0);
    QCOMPARE(volts.count(), 1);
    hv->hvOff();
    hv->watch();
    QCOMPARE(hv->hvStat().sweepStat, HvStat::SweepOff);
    QCOMPARE(hv->voltage(), 0.0);
    QCOMPARE(sweep.count(), 2);
    QCOMPARE(volts.count(), 2);
}

void TstVexHvSim::silentThenBack()
{
    QScopedPointer<VexHv> hv(makeHv());
    sim->setReg(SimHvModel::RegValue, 0xC000);
    hv->watch();
    QCOMPARE(hv->voltage(), 100.0);

    SimFaults f;
    f.silent = true;
    sim->setFaults(f);
    sim->clearRequests();
    hv->watch();
    QVERIFY(hv->isSilent());
    QCOMPARE(hv->watchTimer()->interval(), int(VexHv::silentWatchIntervalMs));
    QCOMPARE(sim->requests().size(), 1);   // the voltage read was skipped
    QCOMPARE(hv->voltage(), 100.0);        // no reading is no change of voltage
    hv->watch();
    QCOMPARE(sim->requests().size(), 2);

    sim->setFaults(SimFaults());
    sim->clearRequests();
    hv->watch();
    QVERIFY(!hv->isSilent());
    QCOMPARE(hv->watchTimer()->interval(), hv->watchIntervalMs());
    QCOMPARE(sim->requests().size(), 2);
    QCOMPARE(hv->voltage(), 100.0);
}

void TstVexHvSim::timerPolls()
{
    QScopedPointer<VexHv> hv(makeHv());
    QSignalSpy sweep(hv.data(), &VexHv::changedSweep);
    sim->setReg(SimHvModel::RegStat, 0x0034);
    hv->watchTimer()->start();
    QVERIFY(sweep.wait(5000));
    QCOMPARE(hv->hvStat().sweepStat, HvStat::SweepOn);
}

void TstVexHvSim::pollWithoutPanel()
{
    QScopedPointer<VexHv> hv(makeHv());
    delete hv->panel();   // the main window went first
    QSignalSpy sweep(hv.data(), &VexHv::changedSweep);
    sim->setReg(SimHvModel::RegStat, 0x0034);
    sim->setReg(SimHvModel::RegValue, 0xC000);
    hv->watch();
    QCOMPARE(sweep.count(), 1);
    QCOMPARE(hv->voltage(), 100.0);
}

QTEST_MAIN(TstVexHvSim)
#include "tst_vexhv_sim.moc"
