// Request codec, register file and request handling of the simulated units,
// without sockets.

#include "rbcppacket.h"
#include "simdspmodel.h"
#include "simhvmodel.h"
#include "simregisterfile.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TstSimCodec : public QObject
{
    Q_OBJECT
private slots:
    void parseRequest_data();
    void parseRequest();
    void encodeAnswer_data();
    void encodeAnswer();
    void registerBytes_data();
    void registerBytes();
    void registerWrap();
    void handle_data();
    void handle();
    void histgramWrite_data();
    void histgramWrite();
    void fuzz_data();
    void fuzz();
};

void TstSimCodec::parseRequest_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("length");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("read 6 real time") << hex("FF C0 06 06 B4 00 00 1C") << true << 0xC0 << 6 << 6 << 0xB400001Cu << QByteArray();
    QTest::newRow("write 2 start") << hex("FF 80 07 02 B4 00 00 14 00 01") << true << 0x80 << 7 << 2 << 0xB4000014u << hex("0001");
    QTest::newRow("write 6 bytes") << hex("FF 80 07 06 B4 00 00 16 01 23 45 67 89 AB") << true << 0x80 << 7 << 6 << 0xB4000016u << hex("0123456789AB");
    QTest::newRow("read 0 bytes") << hex("FF C0 01 00 00 00 00 00") << true << 0xC0 << 1 << 0 << 0u << QByteArray();
    QTest::newRow("write 0 bytes") << hex("FF 80 02 00 FF FF FF FE") << true << 0x80 << 2 << 0 << 0xFFFFFFFEu << QByteArray();
    QTest::newRow("read 255 bytes") << hex("FF C0 09 FF 00 00 00 08") << true << 0xC0 << 9 << 255 << 8u << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("one byte") << hex("FF") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("header only") << hex("FF C0 06 02") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("seven bytes") << hex("FF C0 06 02 B4 00 00") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("bad version") << hex("FE C0 06 02 B4 00 00 14") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("answer as request") << hex("FF C8 06 02 B4 00 00 14") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("unknown command") << hex("FF 00 06 02 B4 00 00 14") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("read with data") << hex("FF C0 06 02 B4 00 00 14 00 01") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("write short of data") << hex("FF 80 07 04 B4 00 00 14 00 01") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("write with extra data") << hex("FF 80 07 02 B4 00 00 14 00 01 00") << false << 0 << 0 << 0 << 0u << QByteArray();
    QTest::newRow("write without data") << hex("FF 80 07 02 B4 00 00 14") << false << 0 << 0 << 0 << 0u << QByteArray();
}

void TstSimCodec::parseRequest()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, ok);
    RbcpPacket p;
    QString why;
    QCOMPARE(RbcpPacket::parseRequest(datagram, p, &why), ok);
    QCOMPARE(why.isEmpty(), ok);
    if (!ok)
        return;
    QFETCH(int, command);
    QFETCH(int, id);
    QFETCH(int, length);
    QFETCH(quint32, address);
    QFETCH(QByteArray, data);
    QCOMPARE(int(p.command), command);
    QCOMPARE(int(p.id), id);
    QCOMPARE(int(p.length), length);
    QCOMPARE(p.address, address);
    QCOMPARE(p.data, data);
    QCOMPARE(p.encode(), datagram);
}

void TstSimCodec::encodeAnswer_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answerData");
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("read") << hex("FF C0 06 06 B4 00 00 1C") << hex("000000000123") << hex("FF C8 06 06 B4 00 00 1C 00 00 00 00 01 23");
    QTest::newRow("write echo") << hex("FF 80 07 02 B4 00 00 14 00 01") << hex("0001") << hex("FF 88 07 02 B4 00 00 14 00 01");
    QTest::newRow("read nothing") << hex("FF C0 33 00 00 00 00 08") << QByteArray() << hex("FF C8 33 00 00 00 00 08");
}

void TstSimCodec::encodeAnswer()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answerData);
    QFETCH(QByteArray, answer);
    RbcpPacket p;
    QVERIFY(RbcpPacket::parseRequest(request, p));
    QCOMPARE(p.answer(answerData).encode(), answer);
}

void TstSimCodec::registerBytes_data()
{
    QTest::addColumn<quint32>("writeAddr");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<quint32>("readAddr");
    QTest::addColumn<int>("readBytes");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<quint64>("value");

    QTest::newRow("word") << 0xB4000010u << hex("1234") << 0xB4000010u << 2 << hex("1234") << quint64(0x1234);
    QTest::newRow("two words MSB first") << 0xB400021Cu << hex("00010002") << 0xB400021Cu << 4 << hex("00010002") << quint64(0x00010002);
    QTest::newRow("three words") << 0xB4000016u << hex("0123456789AB") << 0xB4000016u << 6 << hex("0123456789AB") << quint64(0x0123456789AB);
    QTest::newRow("middle word of three") << 0xB4000016u << hex("0123456789AB") << 0xB4000018u << 2 << hex("4567") << quint64(0x4567);
    QTest::newRow("odd address low byte") << 0xB4000011u << hex("AB") << 0xB4000010u << 2 << hex("00AB") << quint64(0x00AB);
    QTest::newRow("odd read across words") << 0xB4000010u << hex("11223344") << 0xB4000011u << 2 << hex("2233") << quint64(0x2233);
    QTest::newRow("unwritten reads zero") << 0xB4000010u << hex("FFFF") << 0xB4000100u << 4 << hex("00000000") << quint64(0);
    QTest::newRow("read eight bytes") << 0x100u << hex("0102030405060708") << 0x100u << 8 << hex("0102030405060708") << quint64(0x0102030405060708);
}

void TstSimCodec::registerBytes()
{
    QFETCH(quint32, writeAddr);
    QFETCH(QByteArray, written);
    QFETCH(quint32, readAddr);
    QFETCH(int, readBytes);
    QFETCH(QByteArray, read);
    QFETCH(quint64, value);

    SimRegisterFile r;
    for (int k = 0; k < written.size(); ++k)
        r.setByte(writeAddr + quint32(k), quint8(written.at(k)));
    QCOMPARE(r.read(readAddr, readBytes), read);
    QCOMPARE(r.value(readAddr, readBytes), value);

    SimRegisterFile s;
    s.setValue(readAddr, readBytes, value);
    QCOMPARE(s.read(readAddr, readBytes), read);
}

void TstSimCodec::registerWrap()
{
    SimRegisterFile r;
    r.setValue(0xFFFFFFFE, 4, 0xAABBCCDD);
    QCOMPARE(r.word(0xFFFFFFFE), quint16(0xAABB));
    QCOMPARE(r.word(0), quint16(0xCCDD));
    QCOMPARE(r.read(0xFFFFFFFF, 2), hex("BBCC"));
    r.setWord(0x10, 0x1234);
    QCOMPARE(r.word(0x11), quint16(0x1234));
    r.clear();
    QCOMPARE(r.word(0x10), quint16(0));
}

// Each row: a sequence of requests to a fresh DSP (or HV) unit and the
// answers expected, byte for byte ("-" for none).
void TstSimCodec::handle_data()
{
    QTest::addColumn<bool>("hv");
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<QByteArray>>("answers");

    const QByteArray none("-");
    QTest::newRow("no preset at power-up")
        << false << QList<QByteArray>{hex("FF C0 06 06 B4 00 00 16")}
        << QList<QByteArray>{hex("FF C8 06 06 B4 00 00 16 0F FF FF FF FF FF")};
    QTest::newRow("write echo then read back")
        << false
        << QList<QByteArray>{hex("FF 80 07 02 B4 00 00 9E 01 23"), hex("FF C0 06 02 B4 00 00 9E")}
        << QList<QByteArray>{hex("FF 88 07 02 B4 00 00 9E 01 23"), hex("FF C8 06 02 B4 00 00 9E 01 23")};
    QTest::newRow("six-byte preset, read as words")
        << false
        << QList<QByteArray>{hex("FF 80 07 06 B4 00 00 16 00 00 00 98 96 80"), hex("FF C0 06 02 B4 00 00 18"),
                             hex("FF C0 06 02 B4 00 00 1A"), hex("FF C0 06 06 B4 00 00 16")}
        << QList<QByteArray>{hex("FF 88 07 06 B4 00 00 16 00 00 00 98 96 80"), hex("FF C8 06 02 B4 00 00 18 00 98"),
                             hex("FF C8 06 02 B4 00 00 1A 96 80"), hex("FF C8 06 06 B4 00 00 16 00 00 00 98 96 80")};
    QTest::newRow("four-byte delay")
        << false
        << QList<QByteArray>{hex("FF 80 07 04 00 00 00 08 00 01 E8 48"), hex("FF C0 06 02 00 00 00 0A")}
        << QList<QByteArray>{hex("FF 88 07 04 00 00 00 08 00 01 E8 48"), hex("FF C8 06 02 00 00 00 0A E8 48")};
    QTest::newRow("real time is read-only, echo anyway")
        << false
        << QList<QByteArray>{hex("FF 80 07 06 B4 00 00 1C 00 00 00 00 00 05"), hex("FF C0 06 06 B4 00 00 1C")}
        << QList<QByteArray>{hex("FF 88 07 06 B4 00 00 1C 00 00 00 00 00 05"), hex("FF C8 06 06 B4 00 00 1C 00 00 00 00 00 00")};
    QTest::newRow("channel 2 live time is read-only")
        << false
        << QList<QByteArray>{hex("FF 80 07 02 B4 00 06 46 12 34"), hex("FF C0 06 06 B4 00 06 46")}
        << QList<QByteArray>{hex("FF 88 07 02 B4 00 06 46 12 34"), hex("FF C8 06 06 B4 00 06 46 00 00 00 00 00 00")};
    QTest::newRow("odd packet id echoed")
        << false << QList<QByteArray>{hex("FF C0 A5 02 B4 00 00 10")}
        << QList<QByteArray>{hex("FF C8 A5 02 B4 00 00 10 00 00")};
    QTest::newRow("malformed gets nothing")
        << false << QList<QByteArray>{hex("FF C0 06"), hex("00 C0 06 02 B4 00 00 10"), hex("FF 80 07 02 B4 00 00 14 00")}
        << QList<QByteArray>{none, none, none};
    QTest::newRow("hv off at power-up")
        << true << QList<QByteArray>{hex("FF C0 06 02 B4 00 22 00"), hex("FF C0 06 02 B4 00 22 02")}
        << QList<QByteArray>{hex("FF C8 06 02 B4 00 22 00 00 20"), hex("FF C8 06 02 B4 00 22 02 80 00")};
    QTest::newRow("hv status and value are read-only")
        << true << QList<QByteArray>{hex("FF 80 07 04 B4 00 22 00 00 34 C0 00"), hex("FF C0 06 04 B4 00 22 00")}
        << QList<QByteArray>{hex("FF 88 07 04 B4 00 22 00 00 34 C0 00"), hex("FF C8 06 04 B4 00 22 00 00 20 80 00")};
}

void TstSimCodec::handle()
{
    QFETCH(bool, hv);
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, answers);
    SimDspModel dsp;
    SimHvModel hvm;
    SimDevice &dev = hv ? static_cast<SimDevice &>(hvm) : static_cast<SimDevice &>(dsp);
    qint64 t = 1000;
    for (int i = 0; i < requests.size(); ++i) {
        RbcpPacket a;
        QList<int> hist;
        const bool answered = dev.handle(requests.at(i), t += 10, a, hist);
        if (answers.at(i) == "-") {
            QVERIFY2(!answered, qPrintable(QStringLiteral("request %1 answered").arg(i)));
        } else {
            QVERIFY2(answered, qPrintable(QStringLiteral("request %1 not answered").arg(i)));
            QCOMPARE(a.encode().toHex(' '), answers.at(i).toHex(' '));
        }
        QVERIFY(hist.isEmpty());
    }
}

void TstSimCodec::histgramWrite_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<int>>("channels");

    QTest::newRow("channel 0") << hex("FF 80 07 02 B4 00 00 4A 00 00") << QList<int>{0};
    QTest::newRow("channel 3") << hex("FF 80 07 02 B4 00 00 4A 00 03") << QList<int>{3};
    QTest::newRow("channel 4 does not exist") << hex("FF 80 07 02 B4 00 00 4A 00 04") << QList<int>{};
    QTest::newRow("high byte set") << hex("FF 80 07 02 B4 00 00 4A 01 01") << QList<int>{};
    QTest::newRow("low byte alone") << hex("FF 80 07 01 B4 00 00 4B 02") << QList<int>{2};
    QTest::newRow("other register") << hex("FF 80 07 02 B4 00 00 48 00 01") << QList<int>{};
    QTest::newRow("read does not ask") << hex("FF C0 06 02 B4 00 00 4A") << QList<int>{};
}

void TstSimCodec::histgramWrite()
{
    QFETCH(QByteArray, request);
    QFETCH(QList<int>, channels);
    SimDspModel dsp;
    RbcpPacket a;
    QList<int> hist;
    QVERIFY(dsp.handle(request, 1, a, hist));
    QCOMPARE(hist, channels);
}

void TstSimCodec::fuzz_data()
{
    QTest::addColumn<bool>("hv");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("dsp 1") << false << 1u;
    QTest::newRow("dsp 2") << false << 2u;
    QTest::newRow("hv 3") << true << 3u;
}

// Random datagrams, half of them shaped like requests: a request is answered
// exactly when it is well-formed, with the header echoed and N data bytes.
void TstSimCodec::fuzz()
{
    QFETCH(bool, hv);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    SimDspModel dsp;
    dsp.setDeterministic(true);
    SimHvModel hvm;
    SimDevice &dev = hv ? static_cast<SimDevice &>(hvm) : static_cast<SimDevice &>(dsp);
    static const quint32 hot[] = {0xB4000014, 0xB4000040, 0xB400004A, 0xB4000016, 0xB400220E, 0xB400001C, 0xFFFFFFFE};
    qint64 t = 0;
    for (int i = 0; i < 20000; ++i) {
        QByteArray d(int(rng.bounded(24)), '\0');
        for (char &c : d)
            c = char(rng.bounded(256));
        if (rng.bounded(2) && d.size() >= 8) {
            d[0] = char(0xFF);
            d[1] = char(rng.bounded(2) ? 0xC0 : 0x80);
            if (rng.bounded(2)) {
                const quint32 a = hot[rng.bounded(int(sizeof hot / sizeof hot[0]))];
                d[4] = char(a >> 24);
                d[5] = char(a >> 16);
                d[6] = char(a >> 8);
                d[7] = char(a);
            }
            if (rng.bounded(2))
                d[3] = char(d[1] == char(0x80) ? d.size() - 8 : rng.bounded(16));
            if (d[1] == char(0xC0) && rng.bounded(2))
                d.truncate(8);
        }
        RbcpPacket p;
        const bool wellFormed = RbcpPacket::parseRequest(d, p);
        RbcpPacket a;
        QList<int> hist;
        t += qint64(rng.bounded(20000000));
        const bool answered = dev.handle(d, t, a, hist);
        QCOMPARE(answered, wellFormed);
        if (answered) {
            const QByteArray e = a.encode();
            QCOMPARE(e.size(), 8 + int(p.length));
            QCOMPARE(quint8(e.at(1)), quint8(p.command | 0x08));
            QCOMPARE(e.mid(2, 6), d.mid(2, 6));
        }
        for (int ch : hist)
            QVERIFY(ch >= 0 && ch < 4);
    }
}

QTEST_GUILESS_MAIN(TstSimCodec)
#include "tst_simcodec.moc"
