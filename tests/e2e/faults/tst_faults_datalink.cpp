// Fault injection on the data link: the peer drops the link in the middle of
// a transfer (at every kind of place, and several times in a row) and
// connects again, it sends junk, also a byte now and then for as long as it
// likes, and it asks again and again without reading, in both transfer modes.
//
// Expected: the spectra always arrive whole on the next connection, byte for
// byte what the units held, once per acknowledged transfer; nothing of a
// measurement is lost over a series of measurements with broken transfers;
// junk never ends, repeats or prolongs a transfer by itself; at most one
// transfer waits unwritten; and STARS requests are answered throughout.
//
// Two units: dsp1 with channels 0 and 1 in use, dsp2 with channels 1 and 2,
// so the elements are (dsp1, 0), (dsp1, 1), (dsp2, 1), (dsp2, 2).

#include <QtTest>

#include <QTextEdit>

#include <memory>
#include <random>

#include "body.h"
#include "datalinkpeer.h"
#include "dspreg.h"
#include "logarea.h"
#include "logsink.h"
#include "mcarecord.h"
#include "servicerig.h"
#include "simunit.h"
#include "stars.h"

namespace {

using Record = DataLinkPeer::Record;
using Context = DataLinkPeer::Context;

constexpr int bins = 4096;
constexpr int elementCount = 4;
constexpr qint64 recordBytes = McaRecord::headerBytes + 4 * bins;
constexpr qint64 transferBytes = elementCount * recordBytes;
const int elementUnit[elementCount] = {0, 0, 1, 1};
const int elementCh[elementCount] = {0, 1, 1, 2};

// The spectrum that measurement `meas` leaves in channel `ch` of unit `unit`.
QVector<quint32> spectrum(int meas, int unit, int ch)
{
    QVector<quint32> v(bins);
    for (int i = 0; i < bins; ++i)
        v[i] = quint32(meas * 100000 + unit * 10000 + ch * 1000 + i % 997);
    return v;
}

// Junk without the letters A and N, so that it can hold no reply.
QByteArray junk(qsizetype n, quint32 seed)
{
    std::mt19937 rng(seed);
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        char c;
        do
            c = char(rng() & 0xFF);
        while (c == 'A' || c == 'N');
        b[i] = c;
    }
    return b;
}

} // namespace

class TstFaultsDataLink : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void cutMidTransfer_data();
    void cutMidTransfer();
    void cutRepeatedly_data();
    void cutRepeatedly();
    void nothingLostOverMeasurements_data();
    void nothingLostOverMeasurements();
    void junkAsync_data();
    void junkAsync();
    void junkBlocking();
    void tricklingPeer_data();
    void tricklingPeer();
    void nackWithoutReading();

private:
    bool start(bool blocking);
    // One measurement numbered `meas` whose data set holds spectrum(meas, ...).
    void measure(int meas);
    // Checks one received transfer against measurement `meas`; empty when right.
    QString checkTransfer(const QList<Record> &recs, int meas) const;
    bool connectPeer(DataLinkPeer &p, int receiveBuffer = 0);
    int count(const QString &msg) const;

    std::unique_ptr<ServiceRig> rig;
    SimUnit *sims[2] = {nullptr, nullptr};
    Body *body = nullptr;
    int measurements = 0;
    int links = 0;
};

bool TstFaultsDataLink::start(bool blocking)
{
    rig = std::make_unique<ServiceRig>();
    if (!rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.9.51"), QStringLiteral("1 1 0 0")},
                     {QStringLiteral("dsp2"), QStringLiteral("127.0.9.52"), QStringLiteral("0 1 1 0")}},
                    {QStringLiteral("SIMPLE_TRANS %1").arg(blocking ? 1 : 0)})) {
        qWarning() << rig->error();
        return false;
    }
    body = rig->body();
    logSink = body->logArea();
    sims[0] = rig->sim(QStringLiteral("dsp1"));
    sims[1] = rig->sim(QStringLiteral("dsp2"));
    for (SimUnit *s : sims) {
        s->setCountRate(0);
        s->setFrozenRealTime(true);
    }
    measurements = 0;
    links = 0;
    return true;
}

void TstFaultsDataLink::cleanup()
{
    if (rig && rig->body()) {
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->strayAnswers, QStringList());
    }
    logSink = nullptr;
    rig.reset();
    body = nullptr;
}

void TstFaultsDataLink::measure(int meas)
{
    ++measurements;
    QCOMPARE(rig->ask(QStringLiteral("RunStart %1").arg(meas)), QStringLiteral("Ok:"));
    for (int u = 0; u < 2; ++u)
        for (int ch = 0; ch < 4; ++ch)
            sims[u]->setHistogram(ch, spectrum(meas, u, ch));
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    rig->takeEvents();
}

QString TstFaultsDataLink::checkTransfer(const QList<Record> &recs, int meas) const
{
    if (recs.size() != elementCount)
        return QStringLiteral("%1 records").arg(recs.size());
    for (int k = 0; k < elementCount; ++k) {
        const Record &r = recs.at(k);
        if (r.bytes.size() != recordBytes)
            return QStringLiteral("record %1: %2 bytes").arg(k).arg(r.bytes.size());
        if (r.header.ch != quint32(elementCh[k]) || r.header.length != quint64(bins))
            return QStringLiteral("record %1: channel %2, length %3").arg(k).arg(r.header.ch).arg(r.header.length);
        const quint32 marker = k == 0 ? quint32(measurements) : k == 1 ? quint32(meas) : 0;
        if (r.header.marker != marker)
            return QStringLiteral("record %1: marker %2, expected %3").arg(k).arg(r.header.marker).arg(marker);
        if (r.bins != spectrum(meas, elementUnit[k], elementCh[k]))
            return QStringLiteral("record %1: bins are not those of measurement %2").arg(k).arg(meas);
    }
    return QString();
}

bool TstFaultsDataLink::connectPeer(DataLinkPeer &p, int receiveBuffer)
{
    const quint16 port = body->dataLinkServerPort();
    bool ok = false;
    p.run([&ok, port, receiveBuffer](Context &c) { ok = c.connectLink(port, 5000, QString(), receiveBuffer); });
    if (!p.wait() || !ok)
        return false;
    ++links;
    return QTest::qWaitFor([&] { return body->dataLinkConnected() && count(QStringLiteral("Data-Link Connected")) == links; },
                           10000);
}

int TstFaultsDataLink::count(const QString &msg) const
{
    const QString all = body->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    int n = 0;
    for (const QString &l : all.split(QLatin1Char('\n')))
        n += l.mid(22) == msg;   // after "yy/MM/dd hh:mm:ss.zzz:"
    return n;
}

void TstFaultsDataLink::cutMidTransfer_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<qint64>("cut");
    const QList<QPair<const char *, qint64>> cuts{
        {"first byte", 1},
        {"inside the first header", 47},
        {"after the first header", 48},
        {"after the first record", recordBytes},
        {"inside the third record", 2 * recordBytes + 100},
        {"one byte short", transferBytes - 1},
    };
    for (bool blocking : {false, true}) {
        for (const auto &c : cuts)
            QTest::addRow("%s, %s", blocking ? "blocking" : "async", c.first) << blocking << c.second;
    }
}

// The peer reads part of a transfer, drops the link, connects again: the
// whole transfer comes again on the new link, once, and an "Ack" ends it.
void TstFaultsDataLink::cutMidTransfer()
{
    QFETCH(bool, blocking);
    QFETCH(qint64, cut);
    QVERIFY(start(blocking));
    measure(3);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();

    QByteArray part;
    QList<Record> recs;
    bool readPart = false, reconnected = false, readAll = false, quiet = false;
    QString error;
    peer.run([&](Context &c) {
        readPart = c.readBytes(cut, part);
        c.closeLink();
        reconnected = c.connectLink(port);
        readAll = reconnected && c.readRecords(elementCount, recs);
        if (readAll && c.send("Ack"))
            quiet = c.silentFor(500);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait());
    QVERIFY2(readPart && reconnected && readAll, qPrintable(error));
    QVERIFY2(quiet, "bytes came after the acknowledged transfer");
    const QString bad = checkTransfer(recs, 3);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    QTRY_VERIFY(!body->inDataTransfer() && !body->resendPending());
    QVERIFY(body->dataLinkConnected());
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 2);
}

void TstFaultsDataLink::cutRepeatedly_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::newRow("async") << false;
    QTest::newRow("blocking") << true;
}

// Three broken connections in a row during one transfer; the fourth gets
// it whole.
void TstFaultsDataLink::cutRepeatedly()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    measure(4);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();

    QList<Record> recs;
    QString error;
    bool ok = true, quiet = false;
    peer.run([&](Context &c) {
        for (qint64 cut : {qint64(100), recordBytes + 5, transferBytes - 2}) {
            QByteArray part;
            ok = ok && c.readBytes(cut, part);
            c.closeLink();
            ok = ok && c.connectLink(port);
        }
        ok = ok && c.readRecords(elementCount, recs) && c.send("Ack");
        quiet = ok && c.silentFor(500);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait(60000));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY(quiet);
    const QString bad = checkTransfer(recs, 4);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QTRY_VERIFY(!body->inDataTransfer() && !body->resendPending());
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 4);
    for (int i = 0; i < 3; ++i)
        QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
}

void TstFaultsDataLink::nothingLostOverMeasurements_data()
{
    cutRepeatedly_data();
}

// Six measurements, each fetched with "GetMCAs"; every other transfer is
// broken off by the peer. Afterwards the peer holds exactly one whole,
// acknowledged transfer per measurement, in order, with its own spectra.
void TstFaultsDataLink::nothingLostOverMeasurements()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();

    for (int meas = 1; meas <= 6; ++meas) {
        measure(meas);
        QList<Record> recs;
        bool ok = true, quiet = false;
        QString error;
        const bool breakOff = meas % 2 == 1;
        peer.run([&](Context &c) {
            if (breakOff) {
                QByteArray part;
                ok = c.readBytes(recordBytes * meas / 2 + 1, part);
                c.closeLink();
                ok = ok && c.connectLink(port);
            }
            ok = ok && c.readRecords(elementCount, recs) && c.send("Ack");
            quiet = ok && c.silentFor(300);
            error = c.error;
        });
        QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
        QVERIFY(peer.wait(60000));
        QVERIFY2(ok, qPrintable(QStringLiteral("measurement %1: %2").arg(meas).arg(error)));
        QVERIFY2(quiet, qPrintable(QStringLiteral("measurement %1: more bytes after the Ack").arg(meas)));
        const QString bad = checkTransfer(recs, meas);
        QVERIFY2(bad.isEmpty(), qPrintable(QStringLiteral("measurement %1: %2").arg(meas).arg(bad)));
        QTRY_VERIFY(!body->inDataTransfer() && !body->resendPending());
    }
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 6 + 3);
}

void TstFaultsDataLink::junkAsync_data()
{
    QTest::addColumn<qsizetype>("before");    // junk while no transfer is on
    QTest::addColumn<qsizetype>("between");   // junk after the transfer, before the reply
    QTest::newRow("a byte each") << qsizetype(1) << qsizetype(1);
    QTest::newRow("4 KiB each") << qsizetype(4096) << qsizetype(4096);
    QTest::newRow("1 MiB before") << qsizetype(1 << 20) << qsizetype(0);
    QTest::newRow("1 MiB between") << qsizetype(0) << qsizetype(1 << 20);
}

// Asynchronous mode: junk on the data link, also a lot of it, changes
// nothing: STARS requests are answered meanwhile, the transfer goes out once
// and ends with the "Ack" that follows the junk.
void TstFaultsDataLink::junkAsync()
{
    QFETCH(qsizetype, before);
    QFETCH(qsizetype, between);
    QVERIFY(start(false));
    measure(5);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));

    bool sent = true;
    if (before > 0) {
        peer.run([&](Context &c) { sent = c.send(junk(before, 1)); });
        QVERIFY(peer.wait());
        QVERIFY(sent);
        QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    }
    QList<Record> recs;
    bool ok = false, quiet = false;
    QString error;
    peer.run([&](Context &c) {
        ok = c.readRecords(elementCount, recs) && (between == 0 || c.send(junk(between, 2))) && c.send("Ack");
        quiet = ok && c.silentFor(500);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QVERIFY(peer.wait(60000));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY(quiet);
    const QString bad = checkTransfer(recs, 5);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QTRY_VERIFY(!body->inDataTransfer());
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 1);
    QCOMPARE(count(QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer")), 1);
    QVERIFY(body->dataLinkConnected());
}

// Blocking mode: junk before the transfer is dropped, junk as a reply is
// "Unknown" and waited past, and junk glued in front of the "Ack" hides it,
// so the wait runs out, the link is dropped and the peer gets the whole
// transfer again on its next connection.
void TstFaultsDataLink::junkBlocking()
{
    QVERIFY(start(true));
    measure(6);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();

    // Junk while nothing is sent, then a transfer with a junk reply first.
    bool sent = false;
    peer.run([&](Context &c) { sent = c.send(junk(4096, 3)); });
    QVERIFY(peer.wait());
    QVERIFY(sent);
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));

    QList<Record> recs;
    bool ok = false, quiet = false;
    QString error;
    peer.run([&](Context &c) {
        ok = c.readRecords(elementCount, recs) && c.send(junk(100, 4));
        QThread::msleep(300);
        ok = ok && c.send("Ack");
        quiet = ok && c.silentFor(500);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait(60000));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY(quiet);
    QString bad = checkTransfer(recs, 6);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY(!body->resendPending());
    QCOMPARE(count(QStringLiteral("1: Rcv::Ack")), 1);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 1);

    // Junk glued to the "Ack": not seen as a reply; the transfer is sent
    // again when the peer connects anew.
    measure(7);
    recs.clear();
    peer.run([&](Context &c) {
        ok = c.readRecords(elementCount, recs) && c.send(junk(10, 5) + "Ack");
        ok = ok && c.waitLinkClosed(20000);
        recs.clear();
        ok = ok && c.connectLink(port) && c.readRecords(elementCount, recs) && c.send("Ack");
        quiet = ok && c.silentFor(500);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait(60000));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY(quiet);
    bad = checkTransfer(recs, 7);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY(!body->resendPending());
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 1);
    QCOMPARE(count(QStringLiteral("1: Rcv::Ack")), 2);
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
}

void TstFaultsDataLink::tricklingPeer_data()
{
    QTest::addColumn<int>("nacks");   // NAcks before the trickle, each read again
    QTest::newRow("after the transfer") << 0;
    QTest::newRow("after two resends") << 2;
}

// Blocking mode: a peer that sends a junk byte every 400 ms instead of a
// reply keeps Marlo no longer than one wait after the end of sending (after
// each resend too); the transfer then ends as a time-out, and a STARS request
// sent meanwhile is answered after it.
void TstFaultsDataLink::tricklingPeer()
{
    QFETCH(int, nacks);
    QVERIFY(start(true));
    measure(8);
    QFile key(rig->dirPath() + QStringLiteral("/Ravel2.key"));
    QVERIFY(key.open(QIODevice::WriteOnly));
    key.write("k0\nk1\n");
    key.close();
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 busPort = body->starsClient()->port();
    const QString keyFile = key.fileName();

    bool ok = false, closed = false;
    qint64 closedAfter = -1;
    QString answer, error;
    peer.run([&](Context &c) {
        QList<Record> recs;
        ok = c.login(busPort, QStringLiteral("Ravel2"), keyFile) && c.readRecords(elementCount, recs);
        for (int i = 0; ok && i < nacks; ++i) {
            recs.clear();
            ok = c.send("NAck") && c.readRecords(elementCount, recs);
        }
        QElapsedTimer sinceSent;
        sinceSent.start();
        bool asked = false;
        while (ok && !closed && sinceSent.elapsed() < 9000) {
            if (!asked && sinceSent.elapsed() > 1000)
                asked = c.sendLine(QStringLiteral("Ravel2>Marlo GetMCALength"));
            closed = c.waitLinkClosed(400) || !c.send("z");
        }
        closedAfter = sinceSent.elapsed();
        answer = c.waitAnswer(QStringLiteral("GetMCALength"), 5000);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait(30000));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY2(closed && closedAfter < 4500, qPrintable(QStringLiteral("link closed after %1 ms").arg(closedAfter)));
    QCOMPARE(answer, QStringLiteral("4096"));
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 1);
    QCOMPARE(count(QStringLiteral("1: Rcv::Nack")), nacks);
    QVERIFY(body->resendPending());
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
}

// Asynchronous mode: a peer that answers NAck after NAck without reading
// gets no more than one transfer queued in Marlo; once it reads, every
// transfer it gets is whole, and its "Ack" ends them.
void TstFaultsDataLink::nackWithoutReading()
{
    QVERIFY(start(false));
    measure(9);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 4096));

    qint64 mostUnwritten = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { mostUnwritten = qMax(mostUnwritten, body->dataLinkUnwritten()); });
    sampler.start(1);

    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QList<QList<Record>> transfers;
    bool ok = true, quiet = false;
    QString error;
    peer.run([&](Context &c) {
        for (int round = 0; ok && round < 5; ++round) {
            ok = c.send(QByteArray("NAck").repeated(20));
            QThread::msleep(100);
        }
        QThread::msleep(300);
        while (ok && !c.silentFor(700) && transfers.size() < 200) {
            QList<Record> recs;
            ok = c.readRecords(elementCount, recs);
            transfers << recs;
        }
        ok = ok && c.send("Ack");
        quiet = ok && c.silentFor(500);
        error = c.error;
    });
    QVERIFY(peer.wait(60000));
    sampler.stop();
    QVERIFY2(mostUnwritten <= transferBytes,
             qPrintable(QStringLiteral("%1 bytes were queued at once").arg(mostUnwritten)));
    QVERIFY2(ok, qPrintable(error));
    QVERIFY(quiet);
    QCOMPARE(count(QStringLiteral("2: in data trans : Rcv Nack ==> Send data again")), 100);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), int(transfers.size()));
    for (const QList<Record> &t : std::as_const(transfers)) {
        const QString bad = checkTransfer(t, 9);
        QVERIFY2(bad.isEmpty(), qPrintable(bad));
    }
    QTRY_VERIFY(!body->inDataTransfer());
}

QTEST_MAIN(TstFaultsDataLink)
#include "tst_faults_datalink.moc"
