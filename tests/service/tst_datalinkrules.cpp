// The texts the data link reads: the listening address of DATA_LINK_CH_IP and
// the delay field of the debug discard; and the lookup of registers by name
// for "Status" and "SetConfig".

#include <QtTest>

#include <limits>

#include "datalinkrules.h"
#include "dspreg.h"
#include "reglookup.h"

class TstDataLinkRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listenAddress_data();
    void listenAddress();
    void delayMs_data();
    void delayMs();
    void regChannel_data();
    void regChannel();
    void regAddress_data();
    void regAddress();
};

void TstDataLinkRules::initTestCase()
{
    buildRegMap();
}

void TstDataLinkRules::listenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address");   // empty: null (no listening)

    QTest::newRow("localhost") << "localhost" << "127.0.0.1";
    QTest::newRow("LocalHost") << "LocalHost" << "127.0.0.1";
    QTest::newRow("blanks around") << " localhost " << "127.0.0.1";
    QTest::newRow("ipv4") << "127.0.0.5" << "127.0.0.5";
    QTest::newRow("any") << "0.0.0.0" << "0.0.0.0";
    QTest::newRow("ipv6 loopback") << "::1" << "::1";
    // Names are not looked up: no blocking resolver at start-up.
    QTest::newRow("other name") << "example.invalid" << "";
    QTest::newRow("localhost.") << "localhost." << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "  " << "";
    QTest::newRow("bad octet") << "127.0.0.300" << "";
    QTest::newRow("with port") << "127.0.0.1:6058" << "";
}

void TstDataLinkRules::listenAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    const QHostAddress a = DataLinkRules::listenAddress(text);
    if (address.isEmpty())
        QVERIFY2(a.isNull(), qPrintable(a.toString()));
    else
        QCOMPARE(a, QHostAddress(address));
}

void TstDataLinkRules::delayMs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms");
    QTest::newRow("default field") << "1000" << 1000;
    QTest::newRow("fraction truncated") << "250.9" << 250;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-5" << 0;
    QTest::newRow("letters") << "soon" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("nan") << "nan" << 0;
    QTest::newRow("exponent") << "1e3" << 1000;
    QTest::newRow("huge") << "1e30" << std::numeric_limits<int>::max();
    QTest::newRow("inf") << "inf" << std::numeric_limits<int>::max();
    QTest::newRow("blanks") << " 20 " << 20;
}

void TstDataLinkRules::delayMs()
{
    QFETCH(QString, text);
    QFETCH(int, ms);
    QCOMPARE(DataLinkRules::delayMs(text), ms);
}

void TstDataLinkRules::regChannel_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ch");
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("3") << "3" << 3;
    QTest::newRow("7 clamped") << "7" << 3;
    QTest::newRow("negative clamped") << "-2" << 0;
    QTest::newRow("letters") << "x" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("beyond int") << "4294967297" << 3;
}

void TstDataLinkRules::regChannel()
{
    QFETCH(QString, text);
    QFETCH(int, ch);
    QCOMPARE(RegLookup::channel(text), ch);
}

void TstDataLinkRules::regAddress_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ch");
    QTest::addColumn<quint32>("addr");
    // Unit-wide registers take no channel offset.
    QTest::newRow("RealTime1") << "RealTime1" << 0 << quint32(0xB400001C);
    QTest::newRow("RealTime1 ch 3") << "RealTime1" << 3 << quint32(0xB400001C);
    // Per-channel registers move by 0x200 per channel.
    QTest::newRow("SFilterPeakingT ch 0") << "SFilterPeakingT" << 0 << quint32(0xB400020A);
    QTest::newRow("SFilterPeakingT ch 2") << "SFilterPeakingT" << 2 << quint32(0xB400060A);
    QTest::newRow("ICR1 ch 1") << "ICR1" << 1 << quint32(0xB400042C);
    QTest::newRow("unknown") << "NoSuchReg" << 0 << quint32(0);
    QTest::newRow("empty") << "" << 0 << quint32(0);
    QTest::newRow("case matters") << "sfilterpeakingt" << 0 << quint32(0);
}

void TstDataLinkRules::regAddress()
{
    QFETCH(QString, name);
    QFETCH(int, ch);
    QFETCH(quint32, addr);
    QCOMPARE(RegLookup::address(name, ch), addr);
}

QTEST_APPLESS_MAIN(TstDataLinkRules)
#include "tst_datalinkrules.moc"
