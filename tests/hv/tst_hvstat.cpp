#include <QtTest>

#include "hvreadparams.h"
#include "hvstat.h"

class TstHvStat : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void metaTypes();
    void readParamsText_data();
    void readParamsText();
    void readTypeText_data();
    void readTypeText();
};

void TstHvStat::decode_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<bool>("emergency");
    QTest::addColumn<bool>("positive");
    QTest::addColumn<bool>("on");
    QTest::addColumn<int>("sweep");

    QTest::newRow("zero") << 0x0000 << false << false << false << int(HvStat::SweepOff);
    QTest::newRow("on, positive, sweeping on") << 0x0034 << true << true << true << int(HvStat::SweepOn);
    QTest::newRow("in transition") << 0x0002 << false << false << false << int(HvStat::SweepTrans);
    QTest::newRow("nibble 7 is other") << 0x0007 << false << false << false << int(HvStat::SweepOther);
    QTest::newRow("nibble 4 without bits") << 0x0004 << false << false << false << int(HvStat::SweepOn);
    QTest::newRow("bit 4 only") << 0x0010 << true << false << true << int(HvStat::SweepOff);
    QTest::newRow("bit 5 only") << 0x0020 << true << true << false << int(HvStat::SweepOff);
    QTest::newRow("bit 6 only") << 0x0040 << true << false << false << int(HvStat::SweepOff);
    QTest::newRow("bit 7 only") << 0x0080 << true << false << false << int(HvStat::SweepOff);
    QTest::newRow("high byte ignored") << 0xFF00 << false << false << false << int(HvStat::SweepOff);
    QTest::newRow("all bits") << 0xFFFF << true << true << true << int(HvStat::SweepOther);
    QTest::newRow("nibble 1") << 0x0001 << false << false << false << int(HvStat::SweepOther);
    QTest::newRow("nibble 3") << 0x0003 << false << false << false << int(HvStat::SweepOther);
    QTest::newRow("nibble 8") << 0x0008 << false << false << false << int(HvStat::SweepOther);
    QTest::newRow("nibble 15 with on") << 0x001F << true << false << true << int(HvStat::SweepOther);
    QTest::newRow("off, negative, transition") << 0x0012 << true << false << true << int(HvStat::SweepTrans);
}

void TstHvStat::decode()
{
    QFETCH(int, word);
    QFETCH(bool, emergency);
    QFETCH(bool, positive);
    QFETCH(bool, on);
    QFETCH(int, sweep);

    const HvStat s = HvStat::decode(quint16(word));
    QCOMPARE(s.stat, quint16(word));
    QCOMPARE(s.isInEmergency, emergency);
    QCOMPARE(s.isPositive, positive);
    QCOMPARE(s.isOn, on);
    QCOMPARE(int(s.sweepStat), sweep);
}

void TstHvStat::metaTypes()
{
    registerHvStatMetaTypes();
    QVERIFY(QMetaType::fromName("HvStat::SweepStat").isValid());
    QVERIFY(QMetaType::fromName("HvStat").isValid());
    // The numbers of the sweep states travel on the bus.
    QCOMPARE(int(HvStat::SweepOff), 0);
    QCOMPARE(int(HvStat::SweepTrans), 1);
    QCOMPARE(int(HvStat::SweepOn), 2);
    QCOMPARE(int(HvStat::SweepOther), 3);
}

void TstHvStat::readParamsText_data()
{
    QTest::addColumn<QString>("rest");
    QTest::addColumn<bool>("applies");
    QTest::addColumn<double>("fullScale");
    QTest::addColumn<quint32>("rawMin");
    QTest::addColumn<quint32>("rawMax");

    QTest::newRow("empty") << "" << false << 200.0 << 0x8000u << 0xFFFFu;
    QTest::newRow("blanks") << "   \t " << false << 200.0 << 0x8000u << 0xFFFFu;
    QTest::newRow("hex lower prefix") << " 100 0x0 0xFFF" << true << 100.0 << 0u << 0xFFFu;
    QTest::newRow("hex upper prefix") << " 100 0X10 0Xfff" << true << 100.0 << 0x10u << 0xFFFu;
    QTest::newRow("decimal") << " 150.5 32768 65535" << true << 150.5 << 32768u << 65535u;
    QTest::newRow("full scale not a number") << " abc 0x8000 0xFFFF" << true << 0.0 << 0x8000u << 0xFFFFu;
    QTest::newRow("bad hex digits") << " 200 0xZZ 0xFFFF" << true << 200.0 << 0u << 0xFFFFu;
    QTest::newRow("prefix only") << " 200 0x 0xFFFF" << true << 200.0 << 0u << 0xFFFFu;
    QTest::newRow("largest decimal") << " 200 4294967295 0" << true << 200.0 << 0xFFFFFFFFu << 0u;
    QTest::newRow("decimal beyond 32 bits") << " 200 4294967296 10" << true << 200.0 << 0u << 10u;
    QTest::newRow("hex beyond 32 bits") << " 200 0x100000000 10" << true << 200.0 << 0u << 10u;
    QTest::newRow("negative decimal") << " 200 -5 10" << true << 200.0 << 0u << 10u;
    QTest::newRow("trailing garbage") << " 200 12abc 10" << true << 200.0 << 0u << 10u;
    QTest::newRow("one word") << " 200" << true << 200.0 << 0u << 0u;
    QTest::newRow("quoted full scale") << " \"100\" 0x0 0xfff" << true << 100.0 << 0u << 0xFFFu;
    QTest::newRow("extra words ignored") << " 50 1 2 3 4" << true << 50.0 << 1u << 2u;
}

void TstHvStat::readParamsText()
{
    QFETCH(QString, rest);
    QFETCH(bool, applies);
    QFETCH(double, fullScale);
    QFETCH(quint32, rawMin);
    QFETCH(quint32, rawMax);

    HvReadParams p;   // the defaults, left alone when nothing applies
    QCOMPARE(HvReadParams::fromParamsText(rest, p), applies);
    QCOMPARE(p.fullScale, fullScale);
    QCOMPARE(p.rawMin, rawMin);
    QCOMPARE(p.rawMax, rawMax);
}

void TstHvStat::readTypeText_data()
{
    QTest::addColumn<QString>("rest");
    QTest::addColumn<bool>("applies");
    QTest::addColumn<quint32>("rawMin");
    QTest::addColumn<quint32>("rawMax");

    // Starting parameters that no type gives, so "nothing changed" shows.
    QTest::newRow("empty") << "" << false << 7u << 9u;
    QTest::newRow("type 0") << " 0" << true << 0x8000u << 0xFFFFu;
    QTest::newRow("type 1") << " 1" << true << 0u << 0xFFFu;
    QTest::newRow("type 2") << " 2" << true << 0u << 0x7FFu;
    QTest::newRow("type 5 changes nothing") << " 5" << false << 7u << 9u;
    QTest::newRow("type 3 changes nothing") << " 3" << false << 7u << 9u;
    QTest::newRow("negative changes nothing") << " -1" << false << 7u << 9u;
    QTest::newRow("not a number is type 0") << " abc" << true << 0x8000u << 0xFFFFu;
    QTest::newRow("fraction is type 0") << " 1.5" << true << 0x8000u << 0xFFFFu;
    QTest::newRow("too large for an int is type 0") << " 99999999999" << true << 0x8000u << 0xFFFFu;
    QTest::newRow("further words ignored") << " 1 2" << true << 0u << 0xFFFu;
    QTest::newRow("surrounding blanks") << "   2   " << true << 0u << 0x7FFu;
}

void TstHvStat::readTypeText()
{
    QFETCH(QString, rest);
    QFETCH(bool, applies);
    QFETCH(quint32, rawMin);
    QFETCH(quint32, rawMax);

    HvReadParams p;
    p.fullScale = 123.0;
    p.rawMin = 7;
    p.rawMax = 9;
    QCOMPARE(HvReadParams::fromTypeText(rest, p), applies);
    QCOMPARE(p.fullScale, applies ? 200.0 : 123.0);
    QCOMPARE(p.rawMin, rawMin);
    QCOMPARE(p.rawMax, rawMax);
}

QTEST_GUILESS_MAIN(TstHvStat)
#include "tst_hvstat.moc"
