// The set of units: busy combination and deletion of shared units.
#include <QtTest>

#include <memory>

#include "simhost.h"
#include "simunit.h"
#include "vexdas.h"

class TstVexDAsSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void busyCombination();
    void startThatDoesNotStart();
    void emptySetReportsIdle();
    void sharedUnitsDeletedOnce_data();
    void sharedUnitsDeletedOnce();

private:
    VexDA *makeUnit(int i);
    std::unique_ptr<SimHost> host;
    QList<SimUnit *> sims;
};

void TstVexDAsSim::init()
{
    host = std::make_unique<SimHost>();
    sims.clear();
    for (int i = 0; i < 2; ++i)
        sims << host->addDsp(QStringLiteral("s%1").arg(i), QHostAddress(QStringLiteral("127.0.3.%1").arg(60 + i)), 0, 0);
    QVERIFY(host->start());
}

void TstVexDAsSim::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    host.reset();
}

VexDA *TstVexDAsSim::makeUnit(int i)
{
    SimUnit *s = sims.at(i);
    auto *u = new VexDA(QStringLiteral("dsp%1").arg(i), s->address().toString(), s->udpPort(), s->tcpPort());
    u->chUse = {true, true, true, true};
    return u;
}

void TstVexDAsSim::busyCombination()
{
    VexDAs set;
    VexDA *u1 = makeUnit(0);
    VexDA *u2 = makeUnit(1);
    set.addUnit(u1);
    set.addUnit(u2);
    QSignalSpy spy(&set, &VexDAs::changedIsBusy);
    u1->startMeasWatch();
    QCOMPARE(spy.count(), 1);
    QVERIFY(set.isBusy);
    u2->startMeasWatch();
    QCOMPARE(spy.count(), 1);
    u1->inMeas = false;   // idle reported without building a data set
    u1->checkIsBusy();
    QCOMPARE(spy.count(), 1);
    QVERIFY(set.isBusy);
    u2->inMeas = false;
    u2->checkIsBusy();
    QCOMPARE(spy.count(), 2);
    QVERIFY(!set.isBusy);
}

void TstVexDAsSim::startThatDoesNotStart()
{
    VexDAs set;
    VexDA *u = makeUnit(0);
    set.addUnit(u);
    QSignalSpy spy(&set, &VexDAs::changedIsBusy);
    u->inMeas = true;
    u->checkIsBusy();
    u->inMeas = false;
    u->checkIsBusy();
    QCOMPARE(spy.count(), 2);
    QVERIFY(!set.isBusy);
}

void TstVexDAsSim::emptySetReportsIdle()
{
    VexDAs set;
    set.isBusy = true;
    QSignalSpy spy(&set, &VexDAs::changedIsBusy);
    QMetaObject::invokeMethod(&set, "changedOneBusy");
    QCOMPARE(spy.count(), 1);
    QVERIFY(!set.isBusy);
    QMetaObject::invokeMethod(&set, "changedOneBusy");
    QCOMPARE(spy.count(), 1);
}

void TstVexDAsSim::sharedUnitsDeletedOnce_data()
{
    QTest::addColumn<bool>("firstGoesFirst");
    QTest::addColumn<bool>("deleteInBetween");
    QTest::newRow("main set first, deletion in between") << true << true;
    QTest::newRow("editor set first, deletion in between") << false << true;
    QTest::newRow("both sets before any deletion") << true << false;
}

void TstVexDAsSim::sharedUnitsDeletedOnce()
{
    QFETCH(bool, firstGoesFirst);
    QFETCH(bool, deleteInBetween);
    auto *main = new VexDAs;
    auto *editor = new VexDAs;
    QList<QPointer<VexDA>> guards;
    int destroyed = 0;
    for (int i = 0; i < 2; ++i) {
        VexDA *u = makeUnit(i);
        guards << u;
        connect(u, &QObject::destroyed, this, [&destroyed] { ++destroyed; });
        main->addUnit(u);
    }
    for (VexDA *u : std::as_const(main->units))
        editor->addUnit(u);
    delete (firstGoesFirst ? main : editor);
    if (deleteInBetween) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(destroyed, 2);
    }
    delete (firstGoesFirst ? editor : main);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed, 2);
    for (const auto &g : guards)
        QVERIFY(g.isNull());
}

QTEST_MAIN(TstVexDAsSim)
#include "tst_vexdas_sim.moc"
