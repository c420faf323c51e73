// The simulated units over real sockets: a plain UDP/TCP client against a
// SimHost serving on 127.0.4.x with ephemeral ports.

#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

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

    void readWrite_data();
    void readWrite();
    void histogramStream_data();
    void histogramStream();
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

void TstDspSim::histogramStream_data()
{
    QTest::addColumn<bool>("bMode");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("bytes");
    QTest::newRow("normal ch 0") << false << 0 << 16384;
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

QTEST_GUILESS_MAIN(TstDspSim)
#include "tst_dspsim.moc"
