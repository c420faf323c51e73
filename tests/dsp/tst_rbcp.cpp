#include <QtTest>

#include "rbcp.h"

class TstRbcp : public QObject
{
    Q_OBJECT

private slots:
    void readRequest_data();
    void readRequest();
    void writeRequest_data();
    void writeRequest();
    void decodeAnswer_data();
    void decodeAnswer();
    void beValue_data();
    void beValue();
};

void TstRbcp::readRequest_data()
{
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("real time, 6 bytes") << quint32(0xB400001C) << 6 << QByteArray::fromHex("FFC00606B400001C");
    QTest::newRow("start, 2 bytes") << quint32(0xB4000014) << 2 << QByteArray::fromHex("FFC00602B4000014");
    QTest::newRow("icr ch3, 4 bytes") << quint32(0xB400082C) << 4 << QByteArray::fromHex("FFC00604B400082C");
    QTest::newRow("delay, low address") << quint32(0x00000008) << 4 << QByteArray::fromHex("FFC0060400000008");
    QTest::newRow("all-ones address") << quint32(0xFFFFFFFF) << 2 << QByteArray::fromHex("FFC00602FFFFFFFF");
    QTest::newRow("size 0") << quint32(0x12345678) << 0 << QByteArray::fromHex("FFC0060012345678");
    QTest::newRow("size 255") << quint32(0x12345678) << 255 << QByteArray::fromHex("FFC006FF12345678");
}

void TstRbcp::readRequest()
{
    QFETCH(quint32, addr);
    QFETCH(int, size);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Rbcp::readRequest(addr, size).toHex(' '), bytes.toHex(' '));
}

void TstRbcp::writeRequest_data()
{
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("start 1") << quint32(0xB4000014) << quint64(1) << 2
                             << QByteArray::fromHex("FF800702B40000140001");
    QTest::newRow("2 bytes drop the rest") << quint32(0xB4000014) << quint64(0x123456789) << 2
                                           << QByteArray::fromHex("FF800702B40000146789");
    QTest::newRow("6 bytes") << quint32(0xB4000016) << quint64(0x0123456789AB) << 6
                             << QByteArray::fromHex("FF800706B40000160123456789AB");
    QTest::newRow("6 bytes, high bits not sent") << quint32(0xB4000016) << quint64(0xFFFF0123456789ABULL) << 6
                                                 << QByteArray::fromHex("FF800706B40000160123456789AB");
    QTest::newRow("preset 1.5 s") << quint32(0xB4000016) << quint64(150000000) << 6
                                  << QByteArray::fromHex("FF800706B4000016000008F0D180");
    QTest::newRow("delay 3 ms") << quint32(0x00000008) << quint64(375000) << 4
                                << QByteArray::fromHex("FF800704000000080005B8D8");
    QTest::newRow("no preset word") << quint32(0xB4000016) << quint64(0x0FFF) << 2
                                    << QByteArray::fromHex("FF800702B40000160FFF");
    QTest::newRow("8 bytes") << quint32(0x10) << quint64(0x0102030405060708ULL) << 8
                             << QByteArray::fromHex("FF800708000000100102030405060708");
    QTest::newRow("10 bytes: zero above the value") << quint32(0x10) << quint64(0x0102030405060708ULL) << 10
                                                    << QByteArray::fromHex("FF80070A0000001000000102030405060708");
    QTest::newRow("size 0: header only") << quint32(0x10) << quint64(0xFF) << 0
                                         << QByteArray::fromHex("FF80070000000010");
}

void TstRbcp::writeRequest()
{
    QFETCH(quint32, addr);
    QFETCH(quint64, value);
    QFETCH(int, size);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Rbcp::writeRequest(addr, value, size).toHex(' '), bytes.toHex(' '));
}

void TstRbcp::decodeAnswer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<quint32>("header");
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<bool>("hasAddr");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("10 bytes, 300") << QByteArray::fromHex("FFC80602B4000014012C") << quint32(0xFFC80602)
                                   << quint32(0xB4000014) << true << quint64(300) << QByteArray::fromHex("012C");
    QTest::newRow("exactly 8 bytes") << QByteArray::fromHex("FFC80600B4000014") << quint32(0xFFC80600)
                                     << quint32(0xB4000014) << true << quint64(0) << QByteArray();
    QTest::newRow("6-byte time") << QByteArray::fromHex("FFC80606B400001C000008F0D180") << quint32(0xFFC80606)
                                 << quint32(0xB400001C) << true << quint64(150000000)
                                 << QByteArray::fromHex("000008F0D180");
    QTest::newRow("write echo") << QByteArray::fromHex("FF880702B40000140001") << quint32(0xFF880702)
                                << quint32(0xB4000014) << true << quint64(1) << QByteArray::fromHex("0001");
    QTest::newRow("12 data bytes: value of the first 8")
        << QByteArray::fromHex("FFC8060CB40000100102030405060708090A0B0C") << quint32(0xFFC8060C)
        << quint32(0xB4000010) << true << quint64(0x0102030405060708ULL)
        << QByteArray::fromHex("0102030405060708090A0B0C");
    QTest::newRow("empty") << QByteArray() << quint32(0) << quint32(0) << false << quint64(0) << QByteArray();
    QTest::newRow("3 bytes") << QByteArray::fromHex("FFC806") << quint32(0) << quint32(0) << false << quint64(0)
                             << QByteArray();
    QTest::newRow("4 bytes: header only") << QByteArray::fromHex("FFC80602") << quint32(0xFFC80602) << quint32(0)
                                          << false << quint64(0) << QByteArray();
    QTest::newRow("7 bytes: no address") << QByteArray::fromHex("FFC80602B40000") << quint32(0xFFC80602)
                                         << quint32(0) << false << quint64(0) << QByteArray();
    QTest::newRow("9 bytes") << QByteArray::fromHex("FFC80602B4000014FF") << quint32(0xFFC80602)
                             << quint32(0xB4000014) << true << quint64(0xFF) << QByteArray::fromHex("FF");
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
    QTEST(a.data, "data");
}

void TstRbcp::beValue_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<quint64>("value");
    QTest::newRow("6 of 6") << QByteArray::fromHex("0123456789AB") << 6 << quint64(0x0123456789ABULL);
    QTest::newRow("4 of 6") << QByteArray::fromHex("0123456789AB") << 4 << quint64(0x01234567);
    QTest::newRow("6 of 4: too short") << QByteArray::fromHex("01234567") << 6 << quint64(0);
    QTest::newRow("empty") << QByteArray() << 4 << quint64(0);
    QTest::newRow("0 bytes") << QByteArray::fromHex("FF") << 0 << quint64(0);
    QTest::newRow("negative") << QByteArray::fromHex("FF") << -1 << quint64(0);
}

void TstRbcp::beValue()
{
    QFETCH(QByteArray, data);
    QFETCH(int, bytes);
    QTEST(Rbcp::beValue(data, bytes), "value");
}

QTEST_APPLESS_MAIN(TstRbcp)
#include "tst_rbcp.moc"
