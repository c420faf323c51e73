// The set of units: units shared by two sets are deleted exactly once,
// whichever set goes first. (The busy event of a set is tst_bodybuild's.)
#include <QtTest>

#include <memory>

#include "simhost.h"
#include "simunit.h"
#include "vexdas.h"

class TstVexDAsSim : public QObject
{
    Q_OBJECT

private slots:
    void sharedUnitsDeletedOnce_data();
    void sharedUnitsDeletedOnce();
};

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
    SimHost host;
    auto *main = new VexDAs;
    auto *editor = new VexDAs;
    QList<QPointer<VexDA>> guards;
    int destroyed = 0;
    for (int i = 0; i < 2; ++i) {
        SimUnit *s = host.addDsp(QStringLiteral("s%1").arg(i), QHostAddress(QStringLiteral("127.0.3.%1").arg(60 + i)),
                                 0, 0);
        QVERIFY(s && host.start());
        auto *u = new VexDA(QStringLiteral("dsp%1").arg(i), s->address().toString(), s->udpPort(), s->tcpPort());
        guards << u;
        connect(u, &QObject::destroyed, this, [&destroyed] { ++destroyed; });
        main->addUnit(u);
        editor->addUnit(u);
    }
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
