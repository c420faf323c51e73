// The register packets: request bytes and answer decoding, malformed
// answers included. Tests of units and simulators rely on this one for bytes.
#include <QtTest>

#include "rbcp.h"

class TstRbcp : public QObject
{
    Q_OBJECT

private slots:
    void request_data();
    void request();
    void decodeAnswer_data();
    void decodeAnswer();
    void beValue();
};

void TstRbcp::request_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("bytes");
    auto row = [](const char *name, bool write, quint32 addr, quint64 value, int size, const char *hex) {
        QTest::newRow(name) << write << addr << value << size << QByteArray::fromHex(hex);
    };
    row("read 6 bytes", false, 0xB400001C, 0, 6, "FFC00606B400001C");
    row("read size 255", false, 0xFFFFFFFF, 0, 255, "FFC006FFFFFFFFFF");
    row("write 2 bytes drops the rest", true, 0xB4000014, 0x123456789, 2, "FF800702B40000146789");
    row("write 6 bytes, high bits not sent", true, 0xB4000016, 0xFFFF0123456789ABULL, 6,
        "FF800706B40000160123456789AB");
    row("write delay 3 ms", true, 0x00000008, 375000, 4, "FF800704000000080005B8D8");
    row("write 10 bytes: zero above the value", true, 0x10, 0x0102030405060708ULL, 10,
        "FF80070A0000001000000102030405060708");
    row("write size 0: header only", true, 0x10, 0xFF, 0, "FF80070000000010");
}

void TstRbcp::request()
{
    QFETCH(bool, write);
    QFETCH(quint32, addr);
    QFETCH(quint64, value);
    QFETCH(int, size);
    QFETCH(QByteArray, bytes);
    const QByteArray got = write ? Rbcp::writeRequest(addr, value, size) : Rbcp::readRequest(addr, size);
    QCOMPARE(got.toHex(' '), bytes.toHex(' '));
}

void TstRbcp::decodeAnswer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<quint32>("header");
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<bool>("hasAddr");
    QTest::addColumn<quint64>("value");
    auto row = [](const char *name, const char *hex, quint32 header, quint32 addr, bool hasAddr, quint64 value) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << header << addr << hasAddr << value;
    };
    row("one word", "FFC80602B4000014012C", 0xFFC80602, 0xB4000014, true, 300);
    row("6-byte time", "FFC80606B400001C000008F0D180", 0xFFC80606, 0xB400001C, true, 150000000);
    row("12 data bytes: value of the first 8", "FFC8060CB40000100102030405060708090A0B0C", 0xFFC8060C, 0xB4000010,
        true, 0x0102030405060708ULL);
    row("exactly 8 bytes", "FFC80600B4000014", 0xFFC80600, 0xB4000014, true, 0);
    row("9 bytes", "FFC80602B4000014FF", 0xFFC80602, 0xB4000014, true, 0xFF);
    row("7 bytes: no address", "FFC80602B40000", 0xFFC80602, 0, false, 0);
    row("4 bytes: header only", "FFC80602", 0xFFC80602, 0, false, 0);
    row("3 bytes", "FFC806", 0, 0, false, 0);
    row("empty", "", 0, 0, false, 0);
}

void TstRbcp::decodeAnswer()
{
    QFETCH(QByteArray, datagram);
    const Rbcp::Answer a = Rbcp::decodeAnswer(datagram);
    QCOMPARE(a.datagram, datagram);
    QTEST(a.header, "header");
    QTEST(a.addr, "addr");
    QTEST(a.hasAddr, "hasAddr");
    QTEST(a.value, "value");
    QCOMPARE(a.data, datagram.mid(8));
}

void TstRbcp::beValue()
{
    const QByteArray six = QByteArray::fromHex("0123456789AB");
    QCOMPARE(Rbcp::beValue(six, 6), quint64(0x0123456789ABULL));
    QCOMPARE(Rbcp::beValue(six, 4), quint64(0x01234567));
    QCOMPARE(Rbcp::beValue(six.left(4), 6), quint64(0));   // too short
    QCOMPARE(Rbcp::beValue(six, -1), quint64(0));
}

QTEST_APPLESS_MAIN(TstRbcp)
#include "tst_rbcp.moc"
