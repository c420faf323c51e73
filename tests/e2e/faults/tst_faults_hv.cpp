// Fault injection at the HV unit: it stops answering while the high voltage
// is on, and answers again later.
//
// Expected: a silent unit reads as status 0, so Marlo reports
// "ChangedHVStat 0" once; it then polls it only every 2 s (one blocked
// 500 ms wait per poll instead of one every 200 ms), and every request,
// including a burst of back-to-back ones, is answered exactly once and in
// order; "HVStat2" tells 0 and "HVVol" the last voltage read. When the unit
// answers again, "ChangedHVStat 2" comes, the poll is back at 200 ms and the
// voltage is read again. A switch-on sent while the unit is silent is
// answered "Ok:" and takes effect in the unit.

#include <QtTest>

#include <memory>

#include "body.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "vexhv.h"

namespace {
const QString hvAddress = QStringLiteral("127.0.9.40");
const QString hvOn = QStringLiteral("ChangedHVStat 2");
const QString hvOff = QStringLiteral("ChangedHVStat 0");
}

class TstFaultsHv : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void silentWhileOn();
    void switchedOnWhileSilent();

private:
    void requestsInOrder(int n);

    std::unique_ptr<ServiceRig> rig;
    SimUnit *simHv = nullptr;
    VexHv *hv = nullptr;
};

void TstFaultsHv::init()
{
    rig = std::make_unique<ServiceRig>();
    rig->addHv(QStringLiteral("hv1"), hvAddress);
    QVERIFY2(rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.9.41"), QStringLiteral("1 0 0 0")}},
                        {QStringLiteral("VEXHV hv1 ") + hvAddress}),
             qPrintable(rig->error()));
    simHv = rig->sim(QStringLiteral("hv1"));
    hv = rig->body()->hvUnit();
    QVERIFY(simHv && hv);
    simHv->setRampMs(100);
    rig->sim(QStringLiteral("dsp1"))->setHistogram(0, QVector<quint32>(4096, 1));
}

void TstFaultsHv::cleanup()
{
    if (rig && rig->body()) {
        simHv->setFaults(SimFaults());
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->strayAnswers, QStringList());
    }
    rig.reset();
}

// n requests back to back; their answers must come once each, in order.
void TstFaultsHv::requestsInOrder(int n)
{
    QByteArray burst;
    QStringList expected;
    for (int i = 0; i < n; ++i) {
        if (i % 3 == 0) {
            burst += QStringLiteral("Ravel>Marlo Help h%1\n").arg(i).toLatin1();
            expected << QStringLiteral("Marlo>Ravel @Help Er: Command [h%1] not found.").arg(i);
        } else if (i % 3 == 1) {
            burst += "Ravel>Marlo GetValue 0\n";
            expected << QStringLiteral("Marlo>Ravel @GetValue 2047");
        } else {
            burst += "Ravel>Marlo HVStat2\n";
            expected << QStringLiteral("Marlo>Ravel @HVStat2 0");
        }
    }
    QVERIFY(rig->peer().sendRaw(burst));
    for (int i = 0; i < n; ++i) {
        std::optional<QString> line;
        do
            line = rig->peer().waitForLine(30000);
        while (line && line->contains(QLatin1String(" _")));   // events may come in between
        QVERIFY2(line, qPrintable(QStringLiteral("answer %1 of %2 missing").arg(i).arg(n)));
        QCOMPARE(*line, expected.at(i));
    }
}

void TstFaultsHv::silentWhileOn()
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

    // Requests go on while the silent unit is polled at least three times.
    QElapsedTimer clock;
    clock.start();
    simHv->clearRequests();
    int asked = 0;
    while (ServiceRig::readsOf(simHv, VexHv::regStat) < 3 && clock.elapsed() < 60000) {
        QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
        QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("2047"));
        QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
        asked += 3;
    }
    QVERIFY(ServiceRig::readsOf(simHv, VexHv::regStat) >= 3);
    requestsInOrder(300);
    // For the record (not a check): what the silent unit cost.
    qInfo("%d requests with a silent HV unit: %lld ms, %d status polls", asked + 300,
          clock.elapsed(), ServiceRig::readsOf(simHv, VexHv::regStat));
    // The last voltage read stays (a read that times out is no reading).
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), volts);
    QCOMPARE(rig->takeEvents(), QStringList());

    simHv->setFaults(SimFaults());
    QVERIFY(rig->waitForEvent(hvOn, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(!hv->isSilent(), 10000);
    QCOMPARE(hv->watchTimer()->interval(), VexHv::defaultWatchIntervalMs);
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), volts);
}

void TstFaultsHv::switchedOnWhileSilent()
{
    SimFaults f;
    f.silent = true;
    simHv->setFaults(f);
    QTRY_VERIFY_WITH_TIMEOUT(hv->isSilent(), 10000);
    QCOMPARE(rig->ask(QStringLiteral("HVStart")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
    simHv->setFaults(SimFaults());
    QVERIFY(rig->waitForEvent(hvOn, 20000));
    QCOMPARE(rig->ask(QStringLiteral("HVStop")), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(hvOff, 20000));
}

QTEST_MAIN(TstFaultsHv)
#include "tst_faults_hv.moc"
