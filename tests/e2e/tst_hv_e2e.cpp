// The HV unit end to end: the peer node asks over the STARS bus, Marlo polls
// and drives a simulated HV unit (hv1) beside one DSP unit, the test checks
// the answers, the events and what the unit was told. The unit also stops
// answering while the high voltage is on, and answers again later.
//
// Expected of a silent unit: it reads as status 0, so Marlo reports
// "ChangedHVStat 0" once; it is then polled only every 2 s, and every
// request, including a burst of back-to-back ones, is answered exactly once
// and in order; "HVStat2" tells 0 and "HVVol" the last voltage read. Its
// lamps show "unknown" (grey) and one red line names it. When the unit
// answers again, "ChangedHVStat 2" comes, one red line says so, the lamps
// show its state and the poll is back at 200 ms.

#include <QtTest>

#include <QLineEdit>
#include <QPushButton>

#include <memory>

#include "body.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "statdisp.h"
#include "vexhv.h"

namespace {
const QString hvOn = QStringLiteral("ChangedHVStat 2");
const QString hvOff = QStringLiteral("ChangedHVStat 0");
const QString hvMid = QStringLiteral("ChangedHVStat 1");
}

class TstHvE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase() { rig.reset(); }
    void switching();
    void silentWhileOn();
    void switchedOnWhileSilent();

private:
    // Two complete polls of the unit after this call.
    bool waitForPoll();
    // The lamps showing "unknown" (grey).
    int greyLamps() const;

    std::unique_ptr<ServiceRig> rig;
    SimUnit *simHv = nullptr;
    VexHv *hv = nullptr;
};

void TstHvE2e::initTestCase()
{
    rig = std::make_unique<ServiceRig>();
    rig->addHv(QStringLiteral("hv1"), QStringLiteral("127.0.9.40"));
    QVERIFY2(rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.9.41"), QStringLiteral("1 0 0 0")}},
                        {QStringLiteral("VEXHV hv1 127.0.9.40")}),
             qPrintable(rig->error()));
    simHv = rig->sim(QStringLiteral("hv1"));
    hv = rig->body()->hvUnit();
    QVERIFY(simHv && hv);
    simHv->setRampMs(300);
    rig->sim(QStringLiteral("dsp1"))->setHistogram(0, QVector<quint32>(4096, 1));
}

void TstHvE2e::cleanup()
{
    QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    if (QTest::currentTestFailed())
        return;
    // Off again for the next test.
    QCOMPARE(rig->ask(QStringLiteral("HVStop")), QStringLiteral("Ok:"));
    QTRY_COMPARE_WITH_TIMEOUT(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"), 10000);
    hv->watchTimer()->start();
    rig->takeEvents();
}

bool TstHvE2e::waitForPoll()
{
    const int before = ServiceRig::readsOf(simHv, VexHv::regValue);
    return QTest::qWaitFor([&] { return ServiceRig::readsOf(simHv, VexHv::regValue) >= before + 2; }, 10000);
}

// "HVStart" ramps the unit up, "HVStop" down: the events follow its sweep
// state, from Marlo's own name; the panel's buttons do the same.
void TstHvE2e::switching()
{
    QVERIFY(waitForPoll());
    rig->takeEvents();
    simHv->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("HVStart")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), QList<quint64>{1});
    QVERIFY(rig->waitForEvent(hvMid));
    QVERIFY(rig->waitForEvent(hvOn));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QVERIFY(waitForPoll());
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), QStringLiteral("100"));
    QCOMPARE(hv->panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(), QStringLiteral("100"));

    QCOMPARE(rig->ask(QStringLiteral("HVStop any")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), (QList<quint64>{1, 0}));
    QVERIFY(rig->waitForEvent(hvMid));
    QVERIFY(rig->waitForEvent(hvOff));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
    QCOMPARE(rig->takeEvents(), QStringList());
    QVERIFY(rig->peer().receivedLines().contains(QStringLiteral("Marlo>Ravel _ChangedHVStat 2")));

    hv->panel()->findChild<QPushButton *>(QStringLiteral("TurnHvOn"))->click();
    hv->panel()->findChild<QPushButton *>(QStringLiteral("TurnHvOff"))->click();
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), (QList<quint64>{1, 0, 1, 0}));
}

void TstHvE2e::silentWhileOn()
{
    QCOMPARE(rig->ask(QStringLiteral("HVStart")), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(hvOn, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(hv->voltage() > 0, 10000);
    const QString volts = rig->ask(QStringLiteral("HVVol"));
    QVERIFY(!volts.isEmpty() && volts != QLatin1String("0"));

    SimFaults f;
    f.silent = true;
    simHv->setFaults(f);
    QVERIFY(rig->waitForEvent(hvOff, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(hv->isSilent(), 10000);
    QCOMPARE(hv->watchTimer()->interval(), VexHv::silentWatchIntervalMs);
    QCOMPARE(greyLamps(), 4);
    QCOMPARE(rig->logCount(QStringLiteral("hv1 (127.0.9.40) does not answer")), 1);

    // Requests go on while the silent unit is polled at least twice; the
    // polls read the status word only.
    QElapsedTimer clock;
    clock.start();
    simHv->clearRequests();
    while (ServiceRig::readsOf(simHv, VexHv::regStat) < 2 && clock.elapsed() < 60000) {
        QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
        QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("2047"));
    }
    QCOMPARE(ServiceRig::readsOf(simHv, VexHv::regValue), 0);
    // Back-to-back requests: answered once each, in order.
    QList<QPair<QString, QString>> burst;
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0)
            burst << qMakePair(QStringLiteral("Help h%1").arg(i), QStringLiteral("Marlo>Ravel @Help Er: Command [h%1] not found.").arg(i));
        else if (i % 3 == 1)
            burst << qMakePair(QStringLiteral("GetValue 0"), QStringLiteral("Marlo>Ravel @GetValue 2047"));
        else
            burst << qMakePair(QStringLiteral("HVStat2"), QStringLiteral("Marlo>Ravel @HVStat2 0"));
    }
    const QString wrong = rig->burst(burst);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // The last voltage read stays (a read that times out is no reading).
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), volts);
    QCOMPARE(rig->takeEvents(), QStringList());

    simHv->setFaults(SimFaults());
    QVERIFY(rig->waitForEvent(hvOn, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(!hv->isSilent(), 10000);
    QCOMPARE(hv->watchTimer()->interval(), VexHv::defaultWatchIntervalMs);
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QCOMPARE(greyLamps(), 0);
    QCOMPARE(rig->logCount(QStringLiteral("hv1 answers again")), 1);
}

int TstHvE2e::greyLamps() const
{
    int n = 0;
    for (const char *name : {"Emergency", "Polarity", "HvOn", "SweepStat"})
        n += hv->panel()->findChild<StatDisp *>(QLatin1String(name))->styleSheetOfLabel() == StatDisp::stayStyle;
    return n;
}

// A switch-on sent while the unit is silent is answered "Ok:" and takes
// effect in the unit.
void TstHvE2e::switchedOnWhileSilent()
{
    SimFaults f;
    f.silent = true;
    simHv->setFaults(f);
    QTRY_VERIFY_WITH_TIMEOUT(hv->isSilent(), 10000);
    QCOMPARE(rig->ask(QStringLiteral("HVStart")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
    simHv->setFaults(SimFaults());
    QVERIFY(rig->waitForEvent(hvOn, 20000));
}

QTEST_MAIN(TstHvE2e)
#include "tst_hv_e2e.moc"
