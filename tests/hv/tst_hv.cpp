// The HV unit without a device: the status word's decoding, the read-out's
// parameters and the voltage changes it reports. Its polling and switching
// against a simulated unit are end-to-end tests.
#include <QLineEdit>
#include <QtTest>

#include "hvreadparams.h"
#include "hvstat.h"
#include "vexhv.h"

class TstHv : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void readParamsText_data();
    void readParamsText();
    void reportedVoltages_data();
    void reportedVoltages();
    void unusableParamsRefused();
    void panelGoesFirst();
};

static const char *hvIp = "127.0.5.30";

void TstHv::decode_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("flags");   // e: emergency, p: positive, o: on
    QTest::addColumn<int>("sweep");

    QTest::newRow("zero") << 0x0000 << "" << int(HvStat::SweepOff);
    QTest::newRow("on, positive, sweeping on") << 0x0034 << "epo" << int(HvStat::SweepOn);
    QTest::newRow("in transition") << 0x0002 << "" << int(HvStat::SweepTrans);
    QTest::newRow("nibble 7 is other") << 0x0007 << "" << int(HvStat::SweepOther);
    QTest::newRow("bit 4: on") << 0x0010 << "eo" << int(HvStat::SweepOff);
    QTest::newRow("bit 5: positive") << 0x0020 << "ep" << int(HvStat::SweepOff);
    QTest::newRow("bit 6") << 0x0040 << "e" << int(HvStat::SweepOff);
    QTest::newRow("bit 7") << 0x0080 << "e" << int(HvStat::SweepOff);
    QTest::newRow("high byte ignored") << 0xFF04 << "" << int(HvStat::SweepOn);
    QTest::newRow("all bits") << 0xFFFF << "epo" << int(HvStat::SweepOther);
}

void TstHv::decode()
{
    QFETCH(int, word);
    const HvStat s = HvStat::decode(quint16(word));
    QCOMPARE(s.stat, quint16(word));
    QString flags;
    flags += s.isInEmergency ? "e" : "";
    flags += s.isPositive ? "p" : "";
    flags += s.isOn ? "o" : "";
    QTEST(flags, "flags");
    QTEST(int(s.sweepStat), "sweep");
}

void TstHv::readParamsText_data()
{
    QTest::addColumn<bool>("type");       // HV_READ_TYPE, else HV_READ_PARAMS
    QTest::addColumn<QString>("rest");
    QTest::addColumn<bool>("applies");
    QTest::addColumn<double>("fullScale");
    QTest::addColumn<quint32>("rawMin");
    QTest::addColumn<quint32>("rawMax");

    // Starting from 123 V over 7..9, which no text gives.
    QTest::newRow("params empty") << false << "   " << false << 123.0 << 7u << 9u;
    QTest::newRow("params hex") << false << " 100 0X10 0xfff" << true << 100.0 << 0x10u << 0xFFFu;
    QTest::newRow("params decimal, quoted") << false << " \"150.5\" 32768 65535" << true << 150.5 << 32768u << 65535u;
    QTest::newRow("full scale not a number") << false << " abc 0x8000 0xFFFF" << true << 0.0 << 0x8000u << 0xFFFFu;
    QTest::newRow("bad hex digits") << false << " 200 0xZZ 10" << true << 200.0 << 0u << 10u;
    QTest::newRow("largest decimal") << false << " 200 4294967295 0" << true << 200.0 << 0xFFFFFFFFu << 0u;
    QTest::newRow("beyond 32 bits") << false << " 200 4294967296 0x100000000" << true << 200.0 << 0u << 0u;
    QTest::newRow("negative, trailing garbage") << false << " 200 -5 12abc" << true << 200.0 << 0u << 0u;
    QTest::newRow("extra words ignored") << false << " 50 1 2 3 4" << true << 50.0 << 1u << 2u;
    QTest::newRow("type empty") << true << "" << false << 123.0 << 7u << 9u;
    QTest::newRow("type 1") << true << " 1 2" << true << 200.0 << 0u << 0xFFFu;
    QTest::newRow("type 2") << true << "   2   " << true << 200.0 << 0u << 0x7FFu;
    QTest::newRow("type 3 changes nothing") << true << " 3" << false << 123.0 << 7u << 9u;
    QTest::newRow("negative type changes nothing") << true << " -1" << false << 123.0 << 7u << 9u;
    QTest::newRow("not a number is type 0") << true << " 1.5" << true << 200.0 << 0x8000u << 0xFFFFu;
    QTest::newRow("too large for an int is type 0") << true << " 99999999999" << true << 200.0 << 0x8000u << 0xFFFFu;
}

void TstHv::readParamsText()
{
    QFETCH(bool, type);
    QFETCH(QString, rest);
    HvReadParams p;
    p.fullScale = 123.0;
    p.rawMin = 7;
    p.rawMax = 9;
    QTEST(type ? HvReadParams::fromTypeText(rest, p) : HvReadParams::fromParamsText(rest, p), "applies");
    QTEST(p.fullScale, "fullScale");
    QTEST(p.rawMin, "rawMin");
    QTEST(p.rawMax, "rawMax");
}

// Readings in turn: a change of the voltage within 0.02 V is no change.
void TstHv::reportedVoltages_data()
{
    QTest::addColumn<QList<int>>("raws");
    QTest::addColumn<QList<double>>("reported");
    QTest::addColumn<QString>("shown");

    const double step = 200.0 / 32768.0;
    QTest::newRow("half range, twice") << QList<int>{0xC000, 0xC000} << QList<double>{100.0} << "100";
    QTest::newRow("below the minimum is negative") << QList<int>{0x4000} << QList<double>{-100.0} << "-100";
    QTest::newRow("zero volts is no change") << QList<int>{0x8000} << QList<double>{} << "0";
    QTest::newRow("drift adds up") << QList<int>{0x8001, 0x8002, 0x8003, 0x8004, 0x8003} << QList<double>{4 * step}
                                   << "0.0244141";
    QTest::newRow("back by less than the threshold") << QList<int>{0xC000, 0xBFFF, 0xC000} << QList<double>{100.0}
                                                     << "100";
}

void TstHv::reportedVoltages()
{
    QFETCH(QList<int>, raws);
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    QList<double> reported;
    connect(&hv, &VexHv::changedVoltage, this, [&reported](double v) { reported << v; });
    for (int raw : raws)
        hv.setRawVoltage(quint16(raw));
    QTEST(reported, "reported");
    QTEST(hv.panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(), "shown");
}

// A raw maximum below the minimum would divide by zero or by a negative span:
// such parameters are refused and the previous ones stay.
void TstHv::unusableParamsRefused()
{
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    hv.setReadParams(200.0, 0x8000, 0x7FFF);
    QCOMPARE(hv.readParams(), HvReadParams());
    QVERIFY(hv.applyReadParamsText(QStringLiteral(" 200 10 5")));
    QCOMPARE(hv.readParams(), HvReadParams());
    hv.setReadParams(qInf(), 0, 1);
    QCOMPARE(hv.readParams(), HvReadParams());
    hv.setReadParams(10.0, 5, 5);   // a span of one reading: allowed
    hv.setRawVoltage(6);
    QCOMPARE(hv.voltage(), 10.0);
}

// The window holding the panel may destroy it before the unit, which goes on.
void TstHv::panelGoesFirst()
{
    VexHv hv(QStringLiteral("hv"), QString::fromLatin1(hvIp));
    hv.watchTimer()->stop();
    delete hv.panel();
    QVERIFY(!hv.panel());
    hv.setRawVoltage(0xC000);
    QCOMPARE(hv.voltage(), 100.0);
}

QTEST_MAIN(TstHv)
#include "tst_hv.moc"
