#include <QtTest>

#include "paramrules.h"

#include <limits>

class TstParamRules : public QObject
{
    Q_OBJECT

private slots:
    void elementNo_data();
    void elementNo();
    void measNum_data();
    void measNum();
    void presetType_data();
    void presetType();
    void normalizeType_data();
    void normalizeType();
    void number_data();
    void number();
    void secondsToTicks_data();
    void secondsToTicks();
    void configValue_data();
    void configValue();
    void gText_data();
    void gText();
};

void TstParamRules::elementNo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("expected");
    QTest::newRow("first") << "0" << 3 << 0;
    QTest::newRow("last") << "2" << 3 << 2;
    QTest::newRow("equal to count") << "3" << 3 << -1;
    QTest::newRow("negative") << "-1" << 3 << -1;
    QTest::newRow("empty") << "" << 3 << -1;
    QTest::newRow("letters") << "one" << 3 << -1;
    QTest::newRow("trailing junk") << "1x" << 3 << -1;
    QTest::newRow("fraction") << "1.0" << 3 << -1;
    QTest::newRow("huge") << "99999999999999999999" << 3 << -1;
    QTest::newRow("int max") << "2147483647" << 3 << -1;
    QTest::newRow("nan") << "nan" << 3 << -1;
    QTest::newRow("no elements") << "0" << 0 << -1;
    QTest::newRow("plus sign") << "+1" << 3 << 1;
}

void TstParamRules::elementNo()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QFETCH(int, expected);
    QCOMPARE(ParamRules::elementNo(text, count), expected);
}

void TstParamRules::measNum_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("five") << "5" << 5;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("fraction") << "5.5" << 0;
    QTest::newRow("negative") << "-7" << -7;
    QTest::newRow("huge") << "12345678901234" << 0;
}

void TstParamRules::measNum()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(ParamRules::measNum(text), expected);
}

void TstParamRules::presetType_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("NONE") << "NONE" << 0;
    QTest::newRow("real lower") << "real" << 1;
    QTest::newRow("Live mixed") << "Live" << 2;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("2") << "2" << 2;
    QTest::newRow("3") << "3" << 1;
    QTest::newRow("5") << "5" << 1;
    QTest::newRow("huge") << "99999999999" << 1;
    QTest::newRow("-1") << "-1" << 0;
    QTest::newRow("text") << "fast" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
    QTest::newRow("nan") << "nan" << 0;
}

void TstParamRules::presetType()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(ParamRules::presetType(text), expected);
}

void TstParamRules::normalizeType_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("name");
    QTest::newRow("live lower") << "live" << 2 << 1 << "Live";
    QTest::newRow("REAL") << "REAL" << 2 << 0 << "Real";
    QTest::newRow("none") << "none" << 0 << 2 << "None";
    QTest::newRow("0") << "0" << 2 << 0 << "Real";
    QTest::newRow("1") << "1" << 2 << 1 << "Live";
    QTest::newRow("2") << "2" << 1 << 2 << "None";
    QTest::newRow("7 keeps live") << "7" << 1 << 1 << "Live";
    QTest::newRow("empty keeps real") << "" << 0 << 0 << "Real";
    QTest::newRow("00 is not 0") << "00" << 1 << 1 << "Live";
}

void TstParamRules::normalizeType()
{
    QFETCH(QString, text);
    QFETCH(int, current);
    QFETCH(int, expected);
    QFETCH(QString, name);
    const int t = ParamRules::normalizeType(text, current);
    QCOMPARE(t, expected);
    QCOMPARE(ParamRules::normalizeName(t), name);
}

void TstParamRules::number_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("1.5") << "1.5" << 1.5;
    QTest::newRow("exp") << "1e3" << 1000.0;
    QTest::newRow("negative") << "-2.25" << -2.25;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "x" << 0.0;
    QTest::newRow("nan") << "nan" << 0.0;
    QTest::newRow("NaN") << "NaN" << 0.0;
}

void TstParamRules::number()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(ParamRules::number(text), expected);
}

void TstParamRules::secondsToTicks_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<quint64>("ticks");
    QTest::newRow("1.5 s") << 1.5 << quint64(150000000);
    QTest::newRow("zero") << 0.0 << quint64(0);
    QTest::newRow("negative") << -3.0 << quint64(0);
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << quint64(0);
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << ParamRules::maxTicks;
    QTest::newRow("beyond 48 bits") << 1e7 << ParamRules::maxTicks;
    QTest::newRow("just below") << 2.8e6 << quint64(280000000000000ULL);
    QTest::newRow("tick fraction truncated") << 1.23456789e-8 << quint64(1);
}

void TstParamRules::secondsToTicks()
{
    QFETCH(double, seconds);
    QFETCH(quint64, ticks);
    QCOMPARE(ParamRules::secondsToTicks(seconds), ticks);
}

void TstParamRules::configValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("value");
    QTest::newRow("hex") << "0x1F4" << quint32(500);
    QTest::newRow("hex lower") << "0xa0" << quint32(160);
    QTest::newRow("decimal") << "500" << quint32(500);
    QTest::newRow("above 16 bits") << "70000" << quint32(70000);
    QTest::newRow("hex 32 bits") << "0xFFFFFFFF" << quint32(0xFFFFFFFF);
    QTest::newRow("hex 33 bits") << "0x100000000" << quint32(0);
    QTest::newRow("decimal 33 bits") << "4294967296" << quint32(0);
    QTest::newRow("decimal max") << "4294967295" << quint32(0xFFFFFFFF);
    QTest::newRow("negative") << "-1" << quint32(0xFFFFFFFF);
    QTest::newRow("too negative") << "-2147483649" << quint32(0);
    QTest::newRow("bare 0x") << "0x" << quint32(0);
    QTest::newRow("upper 0X is decimal text") << "0X10" << quint32(0);
    QTest::newRow("hex junk") << "0xZZ" << quint32(0);
    QTest::newRow("empty") << "" << quint32(0);
    QTest::newRow("letters") << "abc" << quint32(0);
    QTest::newRow("fraction") << "1.5" << quint32(0);
    QTest::newRow("hex negative") << "0x-5" << quint32(0);
}

void TstParamRules::configValue()
{
    QFETCH(QString, text);
    QFETCH(quint32, value);
    QCOMPARE(ParamRules::configValue(text), value);
}

void TstParamRules::gText_data()
{
    QTest::addColumn<double>("v");
    QTest::addColumn<QString>("text");
    QTest::newRow("half") << 0.5 << "0.5";
    QTest::newRow("six digits") << 12.34567 << "12.3457";
    QTest::newRow("small") << 0.00001 << "1e-05";
    QTest::newRow("peaking 1.6") << 160 * 0.01 << "1.6";
    QTest::newRow("integer") << 15.0 << "15";
    QTest::newRow("large") << 1234567.0 << "1.23457e+06";
    QTest::newRow("zero") << 0.0 << "0";
}

void TstParamRules::gText()
{
    QFETCH(double, v);
    QFETCH(QString, text);
    QCOMPARE(ParamRules::gText(v), text);
}

QTEST_APPLESS_MAIN(TstParamRules)
#include "tst_paramrules.moc"
