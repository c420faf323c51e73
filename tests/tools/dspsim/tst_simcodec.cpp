// Request codec, register file and request handling of the simulated units,
// without sockets.

#include "rbcppacket.h"
#include "simdspmodel.h"
#include "simhvmodel.h"

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
    void handle_data();
    void handle();
    void histgramWrite_data();
    void histgramWrite();
    void fuzz_data();
    void fuzz();
};

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
    QTest::newRow("six-byte preset, read as words")
        << false
        << QList<QByteArray>{hex("FF 80 07 06 B4 00 00 16 00 00 00 98 96 80"), hex("FF C0 06 02 B4 00 00 18"),
                             hex("FF C0 06 02 B4 00 00 1A"), hex("FF C0 06 06 B4 00 00 16")}
        << QList<QByteArray>{hex("FF 88 07 06 B4 00 00 16 00 00 00 98 96 80"), hex("FF C8 06 02 B4 00 00 18 00 98"),
                             hex("FF C8 06 02 B4 00 00 1A 96 80"), hex("FF C8 06 06 B4 00 00 16 00 00 00 98 96 80")};
    QTest::newRow("real time is read-only, echo anyway")
        << false
        << QList<QByteArray>{hex("FF 80 07 06 B4 00 00 1C 00 00 00 00 00 05"), hex("FF C0 06 06 B4 00 00 1C")}
        << QList<QByteArray>{hex("FF 88 07 06 B4 00 00 1C 00 00 00 00 00 05"), hex("FF C8 06 06 B4 00 00 1C 00 00 00 00 00 00")};
    QTest::newRow("odd packet id echoed")
        << false << QList<QByteArray>{hex("FF C0 A5 02 B4 00 00 10")}
        << QList<QByteArray>{hex("FF C8 A5 02 B4 00 00 10 00 00")};
    QTest::newRow("malformed gets nothing")
        << false << QList<QByteArray>{hex("FF C0 06"), hex("00 C0 06 02 B4 00 00 10"), hex("FF 80 07 02 B4 00 00 14 00")}
        << QList<QByteArray>{none, none, none};
    QTest::newRow("hv off at power-up")
        << true << QList<QByteArray>{hex("FF C0 06 02 B4 00 22 00"), hex("FF C0 06 02 B4 00 22 02")}
        << QList<QByteArray>{hex("FF C8 06 02 B4 00 22 00 00 20"), hex("FF C8 06 02 B4 00 22 02 80 00")};
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
    QTest::newRow("channel 4 does not exist") << hex("FF 80 07 02 B4 00 00 4A 00 04") << QList<int>{};
    QTest::newRow("low byte alone") << hex("FF 80 07 01 B4 00 00 4B 02") << QList<int>{2};
    QTest::newRow("other register") << hex("FF 80 07 02 B4 00 00 48 00 01") << QList<int>{};
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
