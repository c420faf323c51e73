// The simulated units over real sockets: a plain UDP/TCP client against a
// SimHost serving on 127.0.4.x with ephemeral ports.

#include "simdspmodel.h"
#include "simfaults.h"
#include "simhost.h"
#include "simhvmodel.h"
#include "simspectrum.h"
#include "simunit.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <numeric>

namespace {

const QHostAddress dspAddr(QStringLiteral("127.0.4.1"));
const QHostAddress dspBAddr(QStringLiteral("127.0.4.2"));
const QHostAddress hvAddr(QStringLiteral("127.0.4.3"));

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray readReq(quint32 addr, int n)
{
    QByteArray d = hex("FF C0 06 00 00 00 00 00");
    d[3] = char(n);
    for (int k = 0; k < 4; ++k)
        d[4 + k] = char(addr >> (24 - 8 * k));
    return d;
}

QByteArray writeReq(quint32 addr, quint64 value, int n)
{
    QByteArray d = hex("FF 80 07 00 00 00 00 00");
    d[3] = char(n);
    for (int k = 0; k < 4; ++k)
        d[4 + k] = char(addr >> (24 - 8 * k));
    for (int k = n - 1; k >= 0; --k)
        d.append(char(value >> (8 * k)));
    return d;
}

QByteArray bigEndian(const QVector<quint32> &h)
{
    QByteArray d;
    for (quint32 v : h) {
        d.append(char(v >> 24));
        d.append(char(v >> 16));
        d.append(char(v >> 8));
        d.append(char(v));
    }
    return d;
}

QVector<quint32> pattern(int bins, quint32 seed)
{
    QVector<quint32> h(bins);
    for (int i = 0; i < bins; ++i)
        h[i] = seed * 0x01000193u + quint32(i) * 2654435761u;
    return h;
}

} // namespace

class TstDspSim : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void portsAndAddresses();
    void readWrite_data();
    void readWrite();
    void malformedNotAnswered_data();
    void malformedNotAnswered();
    void requestLog();
    void counting();
    void presetStop();
    void clearPulse();
    void histogramStream_data();
    void histogramStream();
    void histogramGrowsWhileCounting();
    void twoHistogramsInARow();
    void histogramWithoutConnection();
    void silent();
    void lateAnswer();
    void wrongAnswerAddress();
    void noTcpData();
    void pieces();
    void stall();
    void resetMidStream();
    void strayOnConnect();
    void acceptThenClose();
    void refuseTcp();
    void dropTcp();
    void newConnectionReplacesOld();
    void sendToLastRequester();
    void hvRamp();
    void bindFailure();
    void destroyWithPendingAnswer();

private:
    QByteArray exchange(SimUnit *u, const QByteArray &req, int waitMs = 5000);
    bool connectTcp(SimUnit *u, QTcpSocket &t);
    static QByteArray readTcp(QTcpSocket &t, int bytes, int gapMs = 5000);

    std::unique_ptr<SimHost> host;
    std::unique_ptr<QUdpSocket> udp;
    SimUnit *dsp = nullptr;
    SimUnit *dspB = nullptr;
    SimUnit *hv = nullptr;
    QHostAddress lastSender;
    quint16 lastSenderPort = 0;
};

void TstDspSim::init()
{
    host = std::make_unique<SimHost>();
    dsp = host->addDsp(QStringLiteral("dsp1"), dspAddr, 0, 0);
    dspB = host->addDsp(QStringLiteral("dsp2"), dspBAddr, 0, 0, true);
    hv = host->addHv(QStringLiteral("hv"), hvAddr, 0);
    QVERIFY(host->start());
    udp = std::make_unique<QUdpSocket>();
    QVERIFY(udp->bind(QHostAddress::LocalHost, 0));
}

void TstDspSim::cleanup()
{
    udp.reset();
    host.reset();
}

QByteArray TstDspSim::exchange(SimUnit *u, const QByteArray &req, int waitMs)
{
    udp->writeDatagram(req, u->address(), u->udpPort());
    if (!udp->hasPendingDatagrams() && !udp->waitForReadyRead(waitMs))
        return QByteArray();
    const QNetworkDatagram d = udp->receiveDatagram();
    lastSender = d.senderAddress();
    lastSenderPort = quint16(d.senderPort());
    return d.data();
}

bool TstDspSim::connectTcp(SimUnit *u, QTcpSocket &t)
{
    const int before = u->tcpConnectionCount();
    t.connectToHost(u->address(), u->tcpPort());
    if (!t.waitForConnected(5000))
        return false;
    QElapsedTimer w;
    w.start();
    while (u->tcpConnectionCount() == before && w.elapsed() < 5000)
        QThread::msleep(2);
    return u->tcpConnectionCount() > before;
}

QByteArray TstDspSim::readTcp(QTcpSocket &t, int bytes, int gapMs)
{
    QByteArray got;
    while (got.size() < bytes) {
        if (t.bytesAvailable() == 0 && !t.waitForReadyRead(gapMs))
            break;
        got += t.read(bytes - got.size());
    }
    return got;
}

void TstDspSim::portsAndAddresses()
{
    QCOMPARE(host->units().size(), 3);
    QCOMPARE(host->unit(QStringLiteral("dsp2")), dspB);
    QCOMPARE(host->unit(QStringLiteral("nope")), nullptr);
    QVERIFY(dsp->udpPort() != 0);
    QVERIFY(dsp->tcpPort() != 0);
    QCOMPARE(hv->tcpPort(), quint16(0));
    QCOMPARE(dsp->kind(), SimUnit::Kind::Dsp);
    QCOMPARE(hv->kind(), SimUnit::Kind::Hv);
    QVERIFY(dspB->bMode());
    QVERIFY(!dsp->bMode());
    QCOMPARE(exchange(dsp, readReq(0xB4000010, 2)), hex("FF C8 06 02 B4 00 00 10 00 00"));
    QCOMPARE(lastSender, dspAddr);
    QCOMPARE(lastSenderPort, dsp->udpPort());
    QCOMPARE(exchange(hv, readReq(0xB4002200, 2)), hex("FF C8 06 02 B4 00 22 00 00 20"));
    QCOMPARE(lastSender, hvAddr);
}

void TstDspSim::readWrite_data()
{
    QTest::addColumn<QList<QByteArray>>("requests");
    QTest::addColumn<QList<QByteArray>>("answers");

    QTest::newRow("preset default")
        << QList<QByteArray>{hex("FF C0 06 06 B4 00 00 16")}
        << QList<QByteArray>{hex("FF C8 06 06 B4 00 00 16 0F FF FF FF FF FF")};
    QTest::newRow("roi word")
        << QList<QByteArray>{hex("FF 80 07 02 B4 00 00 9E 07 FF"), hex("FF C0 06 02 B4 00 00 9E")}
        << QList<QByteArray>{hex("FF 88 07 02 B4 00 00 9E 07 FF"), hex("FF C8 06 02 B4 00 00 9E 07 FF")};
    QTest::newRow("preset as three words")
        << QList<QByteArray>{hex("FF 80 07 02 B4 00 00 16 0F FF"), hex("FF 80 07 02 B4 00 00 18 FF FF"),
                             hex("FF 80 07 02 B4 00 00 1A 00 01"), hex("FF C0 06 06 B4 00 00 16")}
        << QList<QByteArray>{hex("FF 88 07 02 B4 00 00 16 0F FF"), hex("FF 88 07 02 B4 00 00 18 FF FF"),
                             hex("FF 88 07 02 B4 00 00 1A 00 01"), hex("FF C8 06 06 B4 00 00 16 0F FF FF FF 00 01")};
    QTest::newRow("delay four bytes, read two words")
        << QList<QByteArray>{hex("FF 80 07 04 00 00 00 08 00 01 E8 48"), hex("FF C0 06 02 00 00 00 08"),
                             hex("FF C0 06 02 00 00 00 0A")}
        << QList<QByteArray>{hex("FF 88 07 04 00 00 00 08 00 01 E8 48"), hex("FF C8 06 02 00 00 00 08 00 01"),
                             hex("FF C8 06 02 00 00 00 0A E8 48")};
    QTest::newRow("channel 3 setting")
        << QList<QByteArray>{hex("FF 80 07 02 B4 00 08 0A 00 40"), hex("FF C0 06 02 B4 00 08 0A"),
                             hex("FF C0 06 02 B4 00 02 0A")}
        << QList<QByteArray>{hex("FF 88 07 02 B4 00 08 0A 00 40"), hex("FF C8 06 02 B4 00 08 0A 00 40"),
                             hex("FF C8 06 02 B4 00 02 0A 00 20")};
    QTest::newRow("zero-length read")
        << QList<QByteArray>{hex("FF C0 06 00 B4 00 00 10")} << QList<QByteArray>{hex("FF C8 06 00 B4 00 00 10")};
    QTest::newRow("counters idle")
        << QList<QByteArray>{hex("FF C0 06 06 B4 00 00 1C"), hex("FF C0 06 04 B4 00 02 2C"), hex("FF C0 06 04 B4 00 04 1C")}
        << QList<QByteArray>{hex("FF C8 06 06 B4 00 00 1C 00 00 00 00 00 00"), hex("FF C8 06 04 B4 00 02 2C 00 00 00 00"),
                             hex("FF C8 06 04 B4 00 04 1C 00 00 00 00")};
}

void TstDspSim::readWrite()
{
    QFETCH(QList<QByteArray>, requests);
    QFETCH(QList<QByteArray>, answers);
    for (int i = 0; i < requests.size(); ++i) {
        QCOMPARE(exchange(dsp, requests.at(i)).toHex(' '), answers.at(i).toHex(' '));
        QCOMPARE(lastSender, dspAddr);
    }
    QCOMPARE(dsp->requests(), requests);
}

void TstDspSim::malformedNotAnswered_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("short") << hex("FF C0 06 02 B4");
    QTest::newRow("bad version") << hex("00 C0 06 02 B4 00 00 10");
    QTest::newRow("answer sent back") << hex("FF C8 06 02 B4 00 00 10 00 00");
    QTest::newRow("write short of data") << hex("FF 80 07 06 B4 00 00 16 00 00");
}

void TstDspSim::malformedNotAnswered()
{
    QFETCH(QByteArray, datagram);
    QCOMPARE(exchange(dsp, datagram, 300), QByteArray());
    // The unit still answers the next good request, and logged both.
    QCOMPARE(exchange(dsp, readReq(0xB4000014, 2)), hex("FF C8 06 02 B4 00 00 14 00 00"));
    QCOMPARE(dsp->requests(), (QList<QByteArray>{datagram, readReq(0xB4000014, 2)}));
}

void TstDspSim::requestLog()
{
    QVERIFY(!exchange(dsp, readReq(0xB4000010, 2)).isEmpty());
    QVERIFY(!exchange(dsp, writeReq(0xB4000010, 5, 2)).isEmpty());
    QCOMPARE(dsp->requests(), (QList<QByteArray>{readReq(0xB4000010, 2), writeReq(0xB4000010, 5, 2)}));
    QVERIFY(hv->requests().isEmpty());
    dsp->clearRequests();
    QVERIFY(dsp->requests().isEmpty());
    dsp->setRequestLogLimit(2);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!exchange(dsp, readReq(0xB4000010 + 2 * i, 2)).isEmpty());
    QCOMPARE(dsp->requests(), (QList<QByteArray>{readReq(0xB4000014, 2), readReq(0xB4000016, 2)}));
}

void TstDspSim::counting()
{
    dsp->setDeterministic(true);
    dsp->setCountRate(100000);
    dsp->setDeadFraction(0.1);
    QCOMPARE(exchange(dsp, writeReq(0xB4000014, 1, 2)), hex("FF 88 07 02 B4 00 00 14 00 01"));
    QVERIFY(dsp->isCounting());
    QTRY_VERIFY_WITH_TIMEOUT(dsp->value(0xB400001C, 6) > 1000000, 10000);   // 10 ms
    QCOMPARE(exchange(dsp, writeReq(0xB4000014, 0, 2)), hex("FF 88 07 02 B4 00 00 14 00 00"));
    QVERIFY(!dsp->isCounting());

    const QByteArray a1 = exchange(dsp, readReq(0xB400001C, 6));
    QTest::qWait(30);
    const QByteArray a2 = exchange(dsp, readReq(0xB400001C, 6));
    QCOMPARE(a1.size(), 14);
    QCOMPARE(a2, a1);   // stopped: real time stands still
    const quint64 real = dsp->value(0xB400001C, 6);
    QVERIFY(real > 1000000);
    for (int c = 0; c < 4; ++c) {
        const quint32 off = quint32(c) * 0x200;
        const quint64 live = dsp->value(0xB4000246 + off, 6);
        const quint64 dead = dsp->value(0xB400024C + off, 6);
        QCOMPARE(live + dead, real);
        QVERIFY(qAbs(double(dead) - 0.1 * double(real)) <= 2.0);
        const QByteArray icr = exchange(dsp, readReq(0xB400022C + off, 4));
        QCOMPARE(icr.mid(8).toHex(), QByteArray("000186a0"));   // 100000 per second
        const double expected = 100000.0 * double(real) / 1e8;
        QVERIFY(qAbs(double(dsp->value(0xB400021C + off, 4)) - expected) <= 2.0);
    }
}

void TstDspSim::presetStop()
{
    QCOMPARE(exchange(dsp, writeReq(0xB4000016, 2000000, 6)), hex("FF 88 07 06 B4 00 00 16 00 00 00 1E 84 80"));
    QVERIFY(!exchange(dsp, writeReq(0xB4000014, 1, 2)).isEmpty());
    QElapsedTimer w;
    w.start();
    QByteArray start;
    do {
        start = exchange(dsp, readReq(0xB4000014, 2));
        if (start == hex("FF C8 06 02 B4 00 00 14 00 00"))
            break;
        QThread::msleep(5);
    } while (w.elapsed() < 10000);
    QCOMPARE(start, hex("FF C8 06 02 B4 00 00 14 00 00"));
    QCOMPARE(exchange(dsp, readReq(0xB400001C, 6)), hex("FF C8 06 06 B4 00 00 1C 00 00 00 1E 84 80"));
    QVERIFY(!dsp->isCounting());
}

void TstDspSim::clearPulse()
{
    dsp->setCountRate(50000);
    QVERIFY(!exchange(dsp, writeReq(0xB4000014, 1, 2)).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(dsp->value(0xB400001C, 6) > 500000, 10000);
    QVERIFY(!exchange(dsp, writeReq(0xB4000014, 0, 2)).isEmpty());
    QVERIFY(std::accumulate(dsp->histogram(0).cbegin(), dsp->histogram(0).cend(), quint64(0)) > 0);
    for (quint64 v : {0, 1, 0})
        QCOMPARE(exchange(dsp, writeReq(0xB4000040, v, 2)).size(), 10);
    QCOMPARE(exchange(dsp, readReq(0xB400001C, 6)), hex("FF C8 06 06 B4 00 00 1C 00 00 00 00 00 00"));
    QCOMPARE(exchange(dsp, readReq(0xB4000646, 6)), hex("FF C8 06 06 B4 00 06 46 00 00 00 00 00 00"));
    for (int c = 0; c < 4; ++c)
        QCOMPARE(dsp->histogram(c), QVector<quint32>(4096, 0));
}

void TstDspSim::histogramStream_data()
{
    QTest::addColumn<bool>("bMode");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bytes");
    QTest::newRow("normal ch 0") << false << 0 << 16384;
    QTest::newRow("normal ch 3") << false << 3 << 16384;
    QTest::newRow("B ch 1") << true << 1 << 32768;
}

void TstDspSim::histogramStream()
{
    QFETCH(bool, bMode);
    QFETCH(int, channel);
    QFETCH(int, bytes);
    SimUnit *u = bMode ? dspB : dsp;
    const QVector<quint32> h = pattern(bytes / 4, quint32(channel + 1));
    for (int c = 0; c < 4; ++c)
        u->setHistogram(c, c == channel ? h : QVector<quint32>(bytes / 4, 0));
    QCOMPARE(u->histogram(channel), h);

    QTcpSocket t;
    QVERIFY(connectTcp(u, t));
    QByteArray ans = hex("FF 88 07 02 B4 00 00 4A 00 00");
    ans[9] = char(channel);
    QCOMPARE(exchange(u, writeReq(0xB400004A, quint64(channel), 2)), ans);
    const QByteArray got = readTcp(t, bytes);
    QCOMPARE(got.size(), bytes);
    QCOMPARE(got, bigEndian(h));
    QVERIFY(!t.waitForReadyRead(200));   // exactly one histogram
    QCOMPARE(t.bytesAvailable(), qint64(0));
}

void TstDspSim::histogramGrowsWhileCounting()
{
    dsp->setDeterministic(true);
    dsp->setCountRate(200000);
    QVERIFY(!exchange(dsp, writeReq(0xB4000014, 1, 2)).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(dsp->value(0xB4000220 + 0x400, 4) > 2000, 10000);
    QVERIFY(!exchange(dsp, writeReq(0xB4000014, 0, 2)).isEmpty());

    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 2, 2)).isEmpty());
    const QByteArray got = readTcp(t, 16384);
    const QVector<quint32> h = dsp->histogram(2);
    QCOMPARE(got, bigEndian(h));
    const quint64 total = std::accumulate(h.cbegin(), h.cend(), quint64(0));
    QCOMPARE(total, dsp->value(0xB4000220 + 0x400, 4));
    QCOMPARE(h, SimSpectrum(2, 4096).deterministic(total));
}

void TstDspSim::twoHistogramsInARow()
{
    dsp->setHistogram(0, pattern(4096, 10));
    dsp->setHistogram(1, pattern(4096, 11));
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    udp->writeDatagram(writeReq(0xB400004A, 0, 2), dsp->address(), dsp->udpPort());
    udp->writeDatagram(writeReq(0xB400004A, 1, 2), dsp->address(), dsp->udpPort());
    const QByteArray got = readTcp(t, 2 * 16384);
    QCOMPARE(got, bigEndian(pattern(4096, 10)) + bigEndian(pattern(4096, 11)));
}

void TstDspSim::histogramWithoutConnection()
{
    // Answered on UDP; the histogram has nowhere to go; a later connection gets nothing stale.
    QCOMPARE(exchange(dsp, writeReq(0xB400004A, 0, 2)), hex("FF 88 07 02 B4 00 00 4A 00 00"));
    // The unit answers before it streams; a second exchange makes sure the
    // histogram has been dealt with before the connection is made.
    QVERIFY(!exchange(dsp, readReq(0xB4000014, 2)).isEmpty());
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QVERIFY(!t.waitForReadyRead(200));
}

void TstDspSim::silent()
{
    SimFaults f;
    f.silent = true;
    dsp->setFaults(f);
    QVERIFY(dsp->faults().silent);
    QCOMPARE(exchange(dsp, writeReq(0xB400009E, 0x55, 2), 300), QByteArray());
    QCOMPARE(dsp->requests().size(), 1);
    QCOMPARE(dsp->reg(0xB400009E), quint16(0x55));   // carried out all the same
    dsp->setFaults(SimFaults());
    QCOMPARE(exchange(dsp, readReq(0xB400009E, 2)), hex("FF C8 06 02 B4 00 00 9E 00 55"));
}

void TstDspSim::lateAnswer()
{
    SimFaults f;
    f.answerDelayMs = 400;
    dsp->setFaults(f);
    QElapsedTimer w;
    w.start();
    udp->writeDatagram(readReq(0xB4000014, 2), dsp->address(), dsp->udpPort());
    QVERIFY(!udp->waitForReadyRead(150));
    udp->writeDatagram(readReq(0xB4000016, 2), dsp->address(), dsp->udpPort());
    QVERIFY(udp->waitForReadyRead(10000));
    QVERIFY(w.elapsed() >= 400);
    QCOMPARE(udp->receiveDatagram().data(), hex("FF C8 06 02 B4 00 00 14 00 00"));
    if (!udp->hasPendingDatagrams())
        QVERIFY(udp->waitForReadyRead(10000));
    QCOMPARE(udp->receiveDatagram().data(), hex("FF C8 06 02 B4 00 00 16 0F FF"));
}

void TstDspSim::wrongAnswerAddress()
{
    SimFaults f;
    f.wrongAnswerAddress = true;
    dsp->setFaults(f);
    QCOMPARE(exchange(dsp, readReq(0xB4000016, 2)), hex("FF C8 06 02 B4 00 00 18 0F FF"));
    QCOMPARE(exchange(dsp, writeReq(0xB4000010, 3, 2)), hex("FF 88 07 02 B4 00 00 12 00 03"));
}

void TstDspSim::noTcpData()
{
    SimFaults f;
    f.noTcpData = true;
    dsp->setFaults(f);
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QCOMPARE(exchange(dsp, writeReq(0xB400004A, 1, 2)), hex("FF 88 07 02 B4 00 00 4A 00 01"));
    QVERIFY(!t.waitForReadyRead(300));
    QCOMPARE(t.state(), QAbstractSocket::ConnectedState);
}

void TstDspSim::pieces()
{
    SimFaults f;
    f.pieceBytes = 1000;
    f.pieceGapMs = 20;
    dsp->setFaults(f);
    dsp->setHistogram(0, pattern(4096, 3));
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QElapsedTimer w;
    w.start();
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 0, 2)).isEmpty());
    // The UDP side keeps answering while the pieces trickle out.
    QCOMPARE(exchange(dsp, readReq(0xB4000014, 2)), hex("FF C8 06 02 B4 00 00 14 00 00"));
    QByteArray got;
    while (got.size() < 16384) {
        if (t.bytesAvailable() == 0 && !t.waitForReadyRead(5000))
            break;
        const QByteArray piece = t.readAll();
        QVERIFY(piece.size() <= 16384 - got.size());
        got += piece;
    }
    QCOMPARE(got, bigEndian(pattern(4096, 3)));
    QVERIFY(w.elapsed() >= 16 * 19);   // 17 pieces, 16 gaps of 20 ms (timers count whole milliseconds)
}

void TstDspSim::stall()
{
    SimFaults f;
    f.stopAfterBytes = 5000;
    dsp->setFaults(f);
    dsp->setHistogram(1, pattern(4096, 4));
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 1, 2)).isEmpty());
    const QByteArray got = readTcp(t, 16384, 400);
    QCOMPARE(got, bigEndian(pattern(4096, 4)).left(5000));
    QCOMPARE(t.state(), QAbstractSocket::ConnectedState);
    // The next histogram goes out again (and stalls again at the same place).
    f.stopAfterBytes = -1;
    dsp->setFaults(f);
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 1, 2)).isEmpty());
    QCOMPARE(readTcp(t, 16384), bigEndian(pattern(4096, 4)));
}

void TstDspSim::resetMidStream()
{
    SimFaults f;
    f.stopAfterBytes = 3000;
    f.resetMidStream = true;
    dsp->setFaults(f);
    dsp->setHistogram(0, pattern(4096, 5));
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 0, 2)).isEmpty());
    QByteArray got = readTcp(t, 16384, 2000);
    if (t.state() != QAbstractSocket::UnconnectedState)
        t.waitForDisconnected(5000);
    got += t.readAll();
    QCOMPARE(got, bigEndian(pattern(4096, 5)).left(3000));
    QCOMPARE(t.state(), QAbstractSocket::UnconnectedState);
}

void TstDspSim::strayOnConnect()
{
    SimFaults f;
    f.strayOnConnect = "stray!";
    dsp->setFaults(f);
    dsp->setHistogram(0, pattern(4096, 6));
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QCOMPARE(readTcp(t, 6), QByteArray("stray!"));
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 0, 2)).isEmpty());
    QCOMPARE(readTcp(t, 16384), bigEndian(pattern(4096, 6)));
}

void TstDspSim::acceptThenClose()
{
    SimFaults f;
    f.acceptThenClose = true;
    dsp->setFaults(f);
    for (int i = 1; i <= 2; ++i) {
        QTcpSocket t;
        QVERIFY(connectTcp(dsp, t));
        QCOMPARE(dsp->tcpConnectionCount(), i);
        if (t.state() != QAbstractSocket::UnconnectedState)
            QVERIFY(t.waitForDisconnected(5000));
    }
    dsp->setFaults(SimFaults());
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QVERIFY(!t.waitForDisconnected(200));
}

void TstDspSim::refuseTcp()
{
    SimFaults f;
    f.refuseTcp = true;
    dsp->setFaults(f);
    const quint16 port = dsp->tcpPort();
    {
        QTcpSocket t;
        t.connectToHost(dsp->address(), port);
        QVERIFY(!t.waitForConnected(5000));
        QCOMPARE(t.error(), QAbstractSocket::ConnectionRefusedError);
    }
    QCOMPARE(dsp->tcpConnectionCount(), 0);
    dsp->setFaults(SimFaults());
    QCOMPARE(dsp->tcpPort(), port);
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    QCOMPARE(dsp->tcpConnectionCount(), 1);
}

void TstDspSim::dropTcp()
{
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    dsp->dropTcp();
    QVERIFY(t.waitForDisconnected(5000));
    QTcpSocket t2;
    QVERIFY(connectTcp(dsp, t2));
    QCOMPARE(dsp->tcpConnectionCount(), 2);
}

void TstDspSim::newConnectionReplacesOld()
{
    dsp->setHistogram(3, pattern(4096, 7));
    QTcpSocket t1, t2;
    QVERIFY(connectTcp(dsp, t1));
    QVERIFY(connectTcp(dsp, t2));
    QVERIFY(t1.waitForDisconnected(5000));
    QVERIFY(!exchange(dsp, writeReq(0xB400004A, 3, 2)).isEmpty());
    QCOMPARE(readTcp(t2, 16384), bigEndian(pattern(4096, 7)));
}

void TstDspSim::sendToLastRequester()
{
    QVERIFY(!exchange(dsp, readReq(0xB4000010, 2)).isEmpty());
    const QByteArray stale = hex("FF C8 06 02 B4 00 00 1C 12 34");
    dsp->sendToLastRequester(stale);
    QVERIFY(udp->waitForReadyRead(5000));
    const QNetworkDatagram d = udp->receiveDatagram();
    QCOMPARE(d.data(), stale);
    QCOMPARE(d.senderAddress(), dspAddr);
    QCOMPARE(dsp->requests().size(), 1);
}

void TstDspSim::hvRamp()
{
    hv->setRampMs(300);
    QCOMPARE(exchange(hv, writeReq(0xB400220E, 1, 2)), hex("FF 88 07 02 B4 00 22 0E 00 01"));
    const QByteArray s = exchange(hv, readReq(0xB4002200, 2));
    QVERIFY(s == hex("FF C8 06 02 B4 00 22 00 00 32") || s == hex("FF C8 06 02 B4 00 22 00 00 34"));
    quint16 last = 0x8000;
    QElapsedTimer w;
    w.start();
    for (;;) {
        const QByteArray v = exchange(hv, readReq(0xB4002202, 2));
        QCOMPARE(v.size(), 10);
        const quint16 raw = quint16((quint8(v[8]) << 8) | quint8(v[9]));
        QVERIFY(raw >= last);
        last = raw;
        if (raw == 0xC000 || w.elapsed() > 10000)
            break;
        QThread::msleep(20);
    }
    QCOMPARE(last, quint16(0xC000));
    QTRY_COMPARE_WITH_TIMEOUT(hv->reg(0xB4002200), quint16(0x0034), 10000);

    QVERIFY(!exchange(hv, writeReq(0xB400220E, 0, 2)).isEmpty());
    QVERIFY(hv->reg(0xB4002200) == 0x0022 || hv->reg(0xB4002200) == 0x0020);
    QTRY_COMPARE_WITH_TIMEOUT(hv->reg(0xB4002200), quint16(0x0020), 10000);
    QCOMPARE(exchange(hv, readReq(0xB4002200, 4)), hex("FF C8 06 04 B4 00 22 00 00 20 80 00"));
}

void TstDspSim::bindFailure()
{
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress(QStringLiteral("127.0.4.9")), 0));
    SimHost h;
    SimUnit *u = h.addDsp(QStringLiteral("clash"), QHostAddress(QStringLiteral("127.0.4.9")), taken.localPort(), 0);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("clash")));
    QVERIFY(!h.start());
    QVERIFY(!u->isOpen());
    QVERIFY(u->errorString().contains(QStringLiteral("UDP")));
}

void TstDspSim::destroyWithPendingAnswer()
{
    SimFaults f;
    f.answerDelayMs = 5000;
    f.pieceBytes = 10;
    f.pieceGapMs = 1000;
    dsp->setFaults(f);
    QTcpSocket t;
    QVERIFY(connectTcp(dsp, t));
    udp->writeDatagram(writeReq(0xB400004A, 0, 2), dsp->address(), dsp->udpPort());
    QTRY_COMPARE_WITH_TIMEOUT(dsp->requests().size(), 1, 5000);
    host.reset();   // must not hang or crash with the answer and the stream pending
    QVERIFY(t.waitForDisconnected(5000) || t.state() == QAbstractSocket::UnconnectedState);
}

QTEST_GUILESS_MAIN(TstDspSim)
#include "tst_dspsim.moc"
