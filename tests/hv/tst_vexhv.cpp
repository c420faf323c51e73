// VexHv without a device: conversion, read parameters, panel, and a unit
// that never answers (a bound socket that keeps every request unanswered).
#include <QtTest>

#include <QLineEdit>
#include <QPushButton>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "statdisp.h"
#include "vexhv.h"

class TstVexHv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void conversion_data();
    void conversion();
    void sameRawTwice();
    void driftAddsUp();
    void readParamsThenType();
    void unusableParamsRefused();
    void panelForm();
    void silentUnitSlowsPolling();
};

static const char *hvIp = "127.0.5.30";

void TstVexHv::initTestCase()
{
    registerHvStatMetaTypes();
}

void TstVexHv::conversion_data()
{
    QTest::addColumn<double>("fullScale");
    QTest::addColumn<quint32>("rawMin");
    QTest::addColumn<quint32>("rawMax");
    QTest::addColumn<int>("raw");
    QTest::addColumn<double>("volts");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("shown");

    QTest::newRow("half range") << 200.0 << 0x8000u << 0xFFFFu << 0xC000 << 100.0 << true << "100";
    QTest::newRow("top of range") << 200.0 << 0x8000u << 0xFFFFu << 0xFFFF << 32767.0 * 200.0 / 32768.0 << true
                                  << "199.994";
    QTest::newRow("zero volts is no change") << 200.0 << 0x8000u << 0xFFFFu << 0x8000 << 0.0 << false << "0";
    QTest::newRow("below the minimum is negative") << 200.0 << 0x8000u << 0xFFFFu << 0x4000 << -100.0 << true
                                                  << "-100";
    QTest::newRow("one above zero raw") << 200.0 << 0x8000u << 0xFFFFu << 0x0001 << -32767.0 * 200.0 / 32768.0
                                        << true << "-199.994";
    QTest::newRow("type 1") << 200.0 << 0u << 0xFFFu << 0x800 << 100.0 << true << "100";
    QTest::newRow("type 2") << 200.0 << 0u << 0x7FFu << 0x400 << 100.0 << true << "100";
    QTest::newRow("params 100 0 0xfff") << 100.0 << 0u << 0xFFFu << 0x800 << 50.0 << true << "50";
    QTest::newRow("within threshold") << 200.0 << 0x8000u << 0xFFFFu << 0x8001 << 0.0 << false << "0";
    QTest::newRow("just beyond threshold") << 200.0 << 0x8000u << 0xFFFFu << 0x8004 << 4 * 200.0 / 32768.0 << true
                                           << "0.0244141";
}

void TstVexHv::conversion()
{
    QFETCH(double, fullScale);
    QFETCH(quint32, rawMin);
    QFETCH(quint32, rawMax);
    QFETCH(int, raw);
    QFETCH(double, volts);
    QFETCH(bool, reported);
    QFETCH(QString, shown);

    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    hv.setReadParams(fullScale, rawMin, rawMax);
    QSignalSpy spy(&hv, &VexHv::changedVoltage);

    const quint16 ret = hv.setRawVoltage(quint16(raw));
    QCOMPARE(spy.count(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(spy.at(0).at(0).toDouble(), volts);
        QCOMPARE(ret, quint16(raw));
    } else {
        QCOMPARE(ret, quint16(0));   // the stored reading stays the older one
    }
    QCOMPARE(hv.voltage(), volts);
    QCOMPARE(hv.panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(), shown);
}

void TstVexHv::sameRawTwice()
{
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    QSignalSpy spy(&hv, &VexHv::changedVoltage);
    hv.setRawVoltage(0xC000);
    hv.setRawVoltage(0xC000);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(hv.lastRaw(), quint16(0xC000));
}

void TstVexHv::driftAddsUp()
{
    // Steps of 0.0061 V each are not reported until they add up beyond 0.02 V.
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    QSignalSpy spy(&hv, &VexHv::changedVoltage);
    hv.setRawVoltage(0x8001);
    hv.setRawVoltage(0x8002);
    hv.setRawVoltage(0x8003);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(hv.lastRaw(), quint16(0));
    hv.setRawVoltage(0x8004);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(hv.lastRaw(), quint16(0x8004));
    // Going back down by one step is again below the threshold.
    hv.setRawVoltage(0x8003);
    QCOMPARE(spy.count(), 1);
}

void TstVexHv::readParamsThenType()
{
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    QCOMPARE(hv.readParams(), HvReadParams());

    QVERIFY(hv.applyReadParamsText(QStringLiteral(" 100 0x0 0xFFF")));
    QCOMPARE(hv.readParams().fullScale, 100.0);
    QCOMPARE(hv.readParams().rawMin, 0u);
    QCOMPARE(hv.readParams().rawMax, 0xFFFu);
    hv.setRawVoltage(0x800);
    QCOMPARE(hv.voltage(), 50.0);

    // An unknown type leaves the parameters as they were.
    QVERIFY(!hv.applyReadTypeText(QStringLiteral(" 5")));
    QCOMPARE(hv.readParams().fullScale, 100.0);
    QCOMPARE(hv.readParams().rawMax, 0xFFFu);

    // A known type, applied after the parameters, wins.
    QVERIFY(hv.applyReadTypeText(QStringLiteral(" 2")));
    QCOMPARE(hv.readParams(), HvReadParams::ofType(2));

    // Empty texts change nothing.
    QVERIFY(!hv.applyReadParamsText(QString()));
    QVERIFY(!hv.applyReadTypeText(QStringLiteral("  ")));
    QCOMPARE(hv.readParams(), HvReadParams::ofType(2));
}

void TstVexHv::unusableParamsRefused()
{
    // A raw maximum below the minimum would divide by zero or by a negative
    // span; such parameters are refused and the previous ones stay.
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    hv.setReadParams(200.0, 0x8000, 0x7FFF);
    QCOMPARE(hv.readParams(), HvReadParams());
    QVERIFY(hv.applyReadParamsText(QStringLiteral(" 200 10 5")));
    QCOMPARE(hv.readParams(), HvReadParams());
    hv.setReadParams(qInf(), 0, 1);
    QCOMPARE(hv.readParams(), HvReadParams());
    // Equal minimum and maximum is a span of one reading: allowed.
    hv.setReadParams(10.0, 5, 5);
    QCOMPARE(hv.readParams().rawMax, 5u);
    hv.setRawVoltage(6);
    QCOMPARE(hv.voltage(), 10.0);
}

void TstVexHv::panelForm()
{
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    QFrame *p = hv.panel();
    QVERIFY(p);
    QCOMPARE(p->windowTitle(), QStringLiteral("Korvane HV Controll"));
    for (const char *n : {"Emergency", "Polarity", "HvOn", "SweepStat"}) {
        auto *sd = p->findChild<StatDisp *>(QLatin1String(n));
        QVERIFY2(sd, n);
        QCOMPARE(sd->frameShape(), QFrame::StyledPanel);
    }
    auto *v = p->findChild<QLineEdit *>(QStringLiteral("Voltage"));
    QVERIFY(v);
    QVERIFY(v->isReadOnly());
    QCOMPARE(v->text(), QStringLiteral("0.0"));
    QCOMPARE(p->findChild<QPushButton *>(QStringLiteral("TurnHvOn"))->text(), QStringLiteral("On"));
    QCOMPARE(p->findChild<QPushButton *>(QStringLiteral("TurnHvOff"))->text(), QStringLiteral("Off"));
    QCOMPARE(hv.watchIntervalMs(), 200);
    QCOMPARE(hv.hvStat(), HvStat());
    QCOMPARE(hv.voltage(), 0.0);
    QVERIFY(!hv.tcpHasConnected());

    // The panel may be destroyed by the window holding it before the unit.
    delete p;
    QVERIFY(!hv.panel());
    // ... and the unit goes on without it.
    hv.setRawVoltage(0xC000);
    QCOMPARE(hv.voltage(), 100.0);
}

void TstVexHv::silentUnitSlowsPolling()
{
    QUdpSocket device;   // takes the requests, never answers
    QVERIFY(device.bind(QHostAddress(QString::fromLatin1(hvIp)), 0));

    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.udpPort = device.localPort();
    hv.watchTimer()->stop();
    QSignalSpy sweep(&hv, &VexHv::changedSweep);

    hv.watch();
    QVERIFY(hv.isSilent());
    QCOMPARE(hv.watchTimer()->interval(), int(VexHv::silentWatchIntervalMs));

    // Only the status read was asked: the voltage read of the poll is skipped.
    QVERIFY(device.hasPendingDatagrams());
    QList<QByteArray> got;
    while (device.hasPendingDatagrams())
        got << device.receiveDatagram().data();
    QCOMPARE(got.size(), 1);
    QCOMPARE(got.at(0), QByteArray::fromHex("ffc00602b4002200"));
    // A time-out reads as status 0: nothing changed from the initial state.
    QCOMPARE(sweep.count(), 0);
    QCOMPARE(hv.voltage(), 0.0);
}

QTEST_MAIN(TstVexHv)
#include "tst_vexhv.moc"
