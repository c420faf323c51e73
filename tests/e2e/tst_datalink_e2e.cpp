// The data link end to end: a peer in a thread of its own connects to Marlo's
// data-link server, a node on the STARS bus asks "GetMCAs", and the peer
// checks the records byte for byte; it answers "Ack", "NAck", junk, parts of
// replies or nothing, drops the link mid-transfer and connects again, in both
// transfer modes. Whatever it does, the spectra arrive whole on the next
// connection, once per acknowledged transfer, and STARS requests are answered.
//
// Two units: dsp1 with channels 0 and 1 in use, dsp2 with channels 1 and 2,
// so the elements are (dsp1, 0), (dsp1, 1), (dsp2, 1), (dsp2, 2).

#include <QtTest>

#include <QtEndian>

#include <memory>

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
constexpr qint64 recordSize = McaRecord::headerBytes + 4 * bins;
constexpr qint64 transferBytes = elementCount * recordSize;
const int elementUnit[elementCount] = {0, 0, 1, 1};
const int elementCh[elementCount] = {0, 1, 1, 2};

// What the test puts into the simulated units.
quint64 realTicks(int unit) { return 150000000ULL + 100000000ULL * quint64(unit); }
quint64 liveTicks(int unit, int ch) { return 10000000ULL * quint64(ch + 1) + 1000ULL * quint64(unit); }
quint32 icrValue(int unit, int ch) { return quint32(1000 * (ch + 1) + unit); }
// The spectrum that measurement `meas` leaves in channel `ch` of unit `unit`.
QVector<quint32> spectrum(int meas, int unit, int ch)
{
    QVector<quint32> v(bins);
    for (int i = 0; i < bins; ++i)
        v[i] = quint32(meas * 100000 + unit * 10000 + ch * 1000 + i % 997);
    return v;
}

// A peer script: "read" (one transfer), "send:x" (the bytes x), "pause"
// (300 ms), "silent" (no byte may come for 300 ms).
struct StepResult {
    QList<QList<Record>> transfers;
    QString error;
};

void runSteps(Context &c, const QStringList &steps, StepResult &res)
{
    for (const QString &s : steps) {
        QList<Record> recs;
        if (s == QLatin1String("read") && !c.readRecords(elementCount, recs))
            return void(res.error = c.error);
        if (s == QLatin1String("read"))
            res.transfers << recs;
        else if (s.startsWith(QLatin1String("send:")) && !c.send(s.mid(5).toLatin1()))
            return void(res.error = QStringLiteral("cannot send ") + s.left(20));
        else if (s == QLatin1String("pause"))
            QThread::msleep(300);
        else if (s == QLatin1String("silent") && !c.silentFor(300))
            return void(res.error = QStringLiteral("bytes came after the last transfer (%1)").arg(c.bytesWaiting()));
    }
}

using Counts = QList<QPair<QString, int>>;

#define CHECK_TRANSFER(...)                                                                                            \
    do {                                                                                                               \
        const QString bad_ = checkTransfer(__VA_ARGS__);                                                               \
        QVERIFY2(bad_.isEmpty(), qPrintable(bad_));                                                                    \
    } while (false)

} // namespace

Q_DECLARE_METATYPE(Counts)

class TstDataLinkE2e : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void recordBytes_data();
    void recordBytes();
    void requestWhileWaiting();
    void replies_data();
    void replies();
    void nackRepeatedly();
    void nothingLostOverCuts_data();
    void nothingLostOverCuts();
    void tricklingPeer();
    void nackWithoutReading();
    void getMCAsWithoutReading();
    void discardOff();
    void linkKeys_data();
    void linkKeys();
    void allowList();
    void destruction();

private:
    // A rig in the given mode; with `reuse` the one of the row before when
    // it is in the same mode (its log cleared, its peer still linked).
    bool start(bool blocking, const QStringList &extra = {}, bool reuse = false);
    // One measurement numbered `meas` whose data set holds spectrum(meas, ...);
    // with `measuring` it is still running.
    void measure(int meas, bool measuring = false);
    // Checks a transfer against measurement `meas`; empty when right.
    QString checkTransfer(const QList<Record> &recs, int meas, bool measuring = false) const;
    int count(const QString &msg) const { return rig->logCount(msg); }
    bool connectPeer(DataLinkPeer &p, int receiveBuffer = 0);
    QString checkCounts(const Counts &counts) const;
    static void modes_data();
    // The peer runs `steps` while Marlo is asked "GetMCAs".
    bool fetch(DataLinkPeer &p, const QStringList &steps, StepResult &res);
    // The peer connects (from `from`) and takes the transfer that waits for
    // it; empty when that is measurement `meas`, whole, else what is wrong.
    QString takeWaiting(DataLinkPeer &p, int meas, const QString &from = QString());

    std::unique_ptr<ServiceRig> rig;
    std::unique_ptr<DataLinkPeer> kept;   // the peer of a reused rig
    bool rigBlocking = false;
    bool keepRig = false;
    SimUnit *sims[2] = {nullptr, nullptr};
    Body *body = nullptr;
    int measurements = 0;
    int links = 0;
};

bool TstDataLinkE2e::start(bool blocking, const QStringList &extra, bool reuse)
{
    if (reuse && rig && rigBlocking == blocking) {
        rig->clearLog();
        links = 0;
        return true;
    }
    kept.reset();
    keepRig = false;
    rig = std::make_unique<ServiceRig>();
    rigBlocking = blocking;
    if (!rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.31"), QStringLiteral("1 1 0 0")},
                     {QStringLiteral("dsp2"), QStringLiteral("127.0.6.32"), QStringLiteral("0 1 1 0")}},
                    QStringList{QStringLiteral("SIMPLE_TRANS %1").arg(blocking ? 1 : 0)} + extra)) {
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

void TstDataLinkE2e::cleanup()
{
    if (rig && rig->body())
        QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    if (keepRig && !QTest::currentTestFailed())
        return;
    logSink = nullptr;
    kept.reset();
    rig.reset();
    body = nullptr;
}

void TstDataLinkE2e::measure(int meas, bool measuring)
{
    ++measurements;
    QCOMPARE(rig->ask(QStringLiteral("RunStart %1").arg(meas)), QStringLiteral("Ok:"));
    // The units stop counting (Marlo still takes them as measuring), so that
    // what the test puts in stays as it is.
    for (int u = 0; u < 2; ++u) {
        sims[u]->setReg(DspAddr::Start, 0);
        ServiceRig::poke(sims[u], DspAddr::RealTime1, realTicks(u));
        for (int ch = 0; ch < 4; ++ch) {
            ServiceRig::poke(sims[u], DspAddr::LiveTime1 + 0x200 * ch, liveTicks(u, ch));
            ServiceRig::poke(sims[u], DspAddr::ICR1 + 0x200 * ch, icrValue(u, ch), 2);
            sims[u]->setHistogram(ch, spectrum(meas, u, ch));
        }
    }
    if (!measuring)
        QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    rig->takeEvents();
}

QString TstDataLinkE2e::checkTransfer(const QList<Record> &recs, int meas, bool measuring) const
{
    if (recs.size() != elementCount)
        return QStringLiteral("%1 records").arg(recs.size());
    for (int k = 0; k < elementCount; ++k) {
        // Markers: the first unit's measurement count, then its measurement
        // number (0 for a set taken while measuring), then 0.
        McaRecordHeader h;
        const int u = elementUnit[k], ch = elementCh[k];
        h.ch = quint32(ch);
        h.marker = k == 0 ? quint32(measurements) : k == 1 && !measuring ? quint32(meas) : 0;
        h.inMeas = measuring ? 1 : 0;
        h.length = bins;
        h.realTime = double(realTicks(u)) * 1e-8;
        h.liveTime = double(liveTicks(u, ch)) * 1e-8;
        h.icr = double(icrValue(u, ch));
        if (recs.at(k).bytes != McaRecord::encode(h, spectrum(meas, u, ch)))
            return QStringLiteral("record %1 (marker %2) is not that of measurement %3").arg(k).arg(recs.at(k).header.marker).arg(meas);
    }
    return QString();
}

bool TstDataLinkE2e::connectPeer(DataLinkPeer &p, int receiveBuffer)
{
    const quint16 port = body->dataLinkServerPort();
    bool ok = false;
    p.run([&ok, port, receiveBuffer](Context &c) { ok = c.connectLink(port, 5000, QString(), receiveBuffer); });
    if (!p.wait() || !ok)
        return false;
    ++links;
    return QTest::qWaitFor([&] { return body->dataLinkConnected() && count(QStringLiteral("Data-Link Connected")) == links; },
                           5000);
}

QString TstDataLinkE2e::checkCounts(const Counts &counts) const
{
    for (const auto &c : counts) {
        if (count(c.first) != c.second)
            return QStringLiteral("\"%1\" logged %2 times, expected %3").arg(c.first).arg(count(c.first)).arg(c.second);
    }
    return QString();
}

bool TstDataLinkE2e::fetch(DataLinkPeer &p, const QStringList &steps, StepResult &res)
{
    p.run([&](Context &c) { runSteps(c, steps, res); });
    const QString answer = rig->ask(QStringLiteral("GetMCAs"));
    if (!p.wait(60000))
        res.error = QStringLiteral("the peer hangs");
    else if (answer != QLatin1String("Ok:") && res.error.isEmpty())
        res.error = QStringLiteral("answer ") + answer;
    return res.error.isEmpty();
}

QString TstDataLinkE2e::takeWaiting(DataLinkPeer &p, int meas, const QString &from)
{
    StepResult res;
    const quint16 port = body->dataLinkServerPort();
    p.run([&](Context &c) {
        if (!c.connectLink(port, 5000, from))
            res.error = c.error;
        else
            runSteps(c, {"read", "send:Ack", "silent"}, res);
    });
    if (!p.wait())
        return QStringLiteral("the peer hangs");
    return res.error.isEmpty() ? checkTransfer(res.transfers.value(0), meas) : res.error;
}

// ---- records -------------------------------------------------------------------

void TstDataLinkE2e::recordBytes_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<bool>("measuring");
    QTest::newRow("blocking, after the measurement") << true << false;
    QTest::newRow("asynchronous, while measuring") << false << true;
}

void TstDataLinkE2e::recordBytes()
{
    QFETCH(bool, blocking);
    QFETCH(bool, measuring);
    QVERIFY(start(blocking));
    measure(7);
    measure(8, measuring);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    StepResult res;
    QVERIFY2(fetch(peer, {"read", "send:Ack", "silent"}, res), qPrintable(res.error));
    QCOMPARE(res.transfers.size(), 1);
    CHECK_TRANSFER(res.transfers.first(), 8, measuring);
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());

    // The layout itself, field by field (little-endian): dsp1's channel 1.
    const char *p = res.transfers.first().at(1).bytes.constData();
    QCOMPARE(qFromLittleEndian<quint32>(p), 1u);
    QCOMPARE(qFromLittleEndian<quint32>(p + 4), measuring ? 0u : 8u);
    QCOMPARE(qFromLittleEndian<quint64>(p + 8), measuring ? 1u : 0u);
    QCOMPARE(qFromLittleEndian<quint64>(p + 16), quint64(bins));
    QCOMPARE(qFromLittleEndian<double>(p + 24), 1.5);
    QCOMPARE(qFromLittleEndian<double>(p + 32), 0.2);
    QCOMPARE(qFromLittleEndian<double>(p + 40), 2000.0);
    QCOMPARE(qFromLittleEndian<quint32>(p + 48 + 4 * 5), 801005u);
    QCOMPARE(qFromLittleEndian<quint32>(res.transfers.first().at(0).bytes.constData() + 4), 2u);

    if (measuring)
        QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
}

// Blocking mode, the peer asking over the bus itself: it reads the link only
// after the answer "Ok:", so that answer leaves before the records. A second
// "GetMCAs" sent while the first transfer waits for its reply is answered
// after the "Ack", and its transfer follows the first.
void TstDataLinkE2e::requestWhileWaiting()
{
    QVERIFY(start(true));
    measure(3);
    const QString key = rig->addKey(QStringLiteral("Ravel2"));
    const quint16 busPort = rig->stars()->port();
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    QString first, early, second, error;
    QList<Record> t1, t2;
    bool ok = false;
    peer.run([&](Context &c) {
        ok = c.login(busPort, QStringLiteral("Ravel2"), key) && c.sendLine(QStringLiteral("Ravel2>Marlo GetMCAs"));
        first = c.waitAnswer(QStringLiteral("GetMCAs"));
        ok = ok && c.readRecords(elementCount, t1) && c.sendLine(QStringLiteral("Ravel2>Marlo GetMCAs"));
        early = c.waitAnswer(QStringLiteral("GetMCAs"), 500);
        ok = ok && c.silentFor(100) && c.send("Ack");
        second = c.waitAnswer(QStringLiteral("GetMCAs"));
        ok = ok && c.readRecords(elementCount, t2) && c.send("Ack") && c.silentFor(300);
        error = c.error;
    });
    QVERIFY(peer.wait());
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(first, QStringLiteral("Ok:"));
    QCOMPARE(early, QString());
    QCOMPARE(second, QStringLiteral("Ok:"));
    for (const QList<Record> &t : {t1, t2}) {
        CHECK_TRANSFER(t, 3);
    }
    QCOMPARE(count(QStringLiteral("1: Rcv::Ack")), 2);
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 0);
    QVERIFY(!body->resendPending());
}

// ---- replies ---------------------------------------------------------------------

// Replies of the peer in both modes, also split or among junk; every
// transfer is the full set. One rig per mode serves the rows.
void TstDataLinkE2e::replies_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("transfers");
    QTest::addColumn<Counts>("counts");
    const QString nack = QStringLiteral("2: in data trans : Rcv Nack ==> Send data again");
    const QString end = QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer");
    const auto row = [](const char *name, bool blocking, const QStringList &steps, int n, const Counts &c) {
        QTest::newRow(name) << blocking << steps << n << c;
    };
    row("stray bytes, NAck and Ack in one chunk", false, {"read", "send:xyNAckAck", "read", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("NA, then ck", false, {"read", "send:NA", "pause", "send:ck", "read", "send:Ack", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("N, then Ack is NAck", false, {"read", "send:N", "pause", "send:Ack", "read", "send:Ack", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("1 MiB of junk, then Ac and k", false,
        {"read", "send:" + QString(1 << 20, QLatin1Char('z')), "send:zzAc", "send:k", "silent"}, 1, {{end, 1}, {nack, 0}});
    row("Ack twice", false, {"read", "send:Ack", "pause", "send:Ack", "silent"}, 1,
        {{end, 1}, {"2: out of data trans : Rcv Ack ==> Do nothing", 1}});
    row("NAck after the end", false, {"read", "send:Ack", "pause", "send:NAck", "read", "send:Ack", "silent"}, 2,
        {{end, 2}, {"2: out of data trans : Rcv Nack ==> Send data again", 1}});

    const QString ack = QStringLiteral("1: Rcv::Ack");
    const QString bNack = QStringLiteral("1: Rcv::Nack");
    const QString unknown = QStringLiteral("1: Rcv::Unknown");
    row("blocking NAck and Ack in one chunk", true, {"read", "send:NAckAck", "read", "send:Ack", "silent"}, 2,
        {{bNack, 1}, {ack, 1}});
    row("blocking unknown, then Ack", true, {"read", "send:hello", "pause", "send:Ack", "silent"}, 1,
        {{unknown, 1}, {ack, 1}, {bNack, 0}});
    row("blocking junk glued to the Ack hides it", true, {"read", "send:xAck", "pause", "send:Ack", "silent"}, 1,
        {{unknown, 1}, {ack, 1}});
    row("blocking NA, then ck", true, {"read", "send:NA", "pause", "send:ck", "read", "send:A", "pause", "send:ck", "silent"},
        2, {{bNack, 1}, {ack, 1}, {unknown, 0}, {"1: TimeOut Data Transfer", 0}});
}

void TstDataLinkE2e::replies()
{
    QFETCH(bool, blocking);
    QFETCH(QStringList, steps);
    QFETCH(int, transfers);
    QFETCH(Counts, counts);
    QVERIFY(start(blocking, {}, true));
    keepRig = true;
    if (!kept) {
        kept = std::make_unique<DataLinkPeer>();
        QVERIFY(connectPeer(*kept));
    }
    measure(measurements + 1);
    StepResult res;
    QVERIFY2(fetch(*kept, steps, res), qPrintable(res.error));
    QCOMPARE(res.transfers.size(), transfers);
    for (const QList<Record> &t : std::as_const(res.transfers)) {
        CHECK_TRANSFER(t, measurements);
    }
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());
    const QString bad = checkCounts(counts);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY(body->dataLinkConnected());
}

// Blocking mode, a peer that answers NAck to every transfer: after three
// resends Marlo drops the link instead of waiting on for ever, answers STARS
// again at once, and the next link receives the transfer.
void TstDataLinkE2e::nackRepeatedly()
{
    QVERIFY(start(true));
    measure(4);
    body->setDataTransWaitMs(1000);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();
    int nacked = 0;
    QList<Record> last;
    bool ok = false;
    QString error;
    peer.run([&](Context &c) {
        QList<Record> recs;
        // Bounded, so that a Marlo that never gives up fails instead of hanging.
        while (nacked < 10 && c.readRecords(elementCount, recs, 3000) && c.send("NAck")) {
            ++nacked;
            recs.clear();
        }
        c.closeLink();
        ok = c.connectLink(port) && c.readRecords(elementCount, last) && c.send("Ack") && c.silentFor(300);
        error = c.error;
    });
    QElapsedTimer t;
    t.start();
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QVERIFY2(t.elapsed() < 3000, qPrintable(QStringLiteral("%1 ms").arg(t.elapsed())));
    QVERIFY(peer.wait());
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(nacked, 4);
    QCOMPARE(count(QStringLiteral("1: Rcv::Nack")), 4);
    QCOMPARE(count(QStringLiteral("1: Rcv::Nack 4 times ==> Disconnect")), 1);
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 0);
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    CHECK_TRANSFER(last, 4);
    QVERIFY(!body->resendPending());
}

// ---- lost links and resending --------------------------------------------------------

void TstDataLinkE2e::modes_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::newRow("blocking") << true;
    QTest::newRow("asynchronous") << false;
}

void TstDataLinkE2e::nothingLostOverCuts_data()
{
    modes_data();
}

// Five measurements, each fetched with "GetMCAs"; the peer drops the link in
// the middle of the first transfer (inside a header) and three times during
// the third (inside a record, after a record, one byte short); it does not
// answer the fifth in time, so Marlo drops the link (a late "Ack" changes
// nothing). Each time the peer connects again and gets the whole transfer
// without a new request: in the end it holds exactly one whole, acknowledged
// transfer per measurement, in order.
void TstDataLinkE2e::nothingLostOverCuts()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 port = body->dataLinkServerPort();
    const QList<QList<qint64>> cuts{{47}, {}, {recordSize + 5, recordSize, transferBytes - 1}, {}, {-1}};
    for (int meas = 1; meas <= int(cuts.size()); ++meas) {
        measure(meas);
        if (cuts.at(meas - 1) == QList<qint64>{-1})
            body->setDataTransWaitMs(400);
        QList<Record> recs;
        bool ok = true, quiet = false;
        QString error;
        peer.run([&](Context &c) {
            for (qint64 cut : cuts.at(meas - 1)) {
                QByteArray part;
                if (cut < 0)
                    ok = c.readRecords(elementCount, recs) && c.waitLinkClosed(10000) && !c.send("Ack");
                else
                    ok = ok && c.readBytes(cut, part);
                c.closeLink();
                ok = ok && c.connectLink(port);
            }
            recs.clear();
            ok = ok && c.readRecords(elementCount, recs) && c.send("Ack");
            quiet = ok && c.silentFor(300);
            error = c.error;
        });
        QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
        QVERIFY(peer.wait(60000));
        QVERIFY2(ok && quiet, qPrintable(QStringLiteral("measurement %1: %2").arg(meas).arg(error)));
        CHECK_TRANSFER(recs, meas);
        QTRY_VERIFY(!body->inDataTransfer() && !body->resendPending());
    }
    const QString mode = blocking ? QStringLiteral("1: ") : QStringLiteral("2: ");
    Counts counts{{"In sendMCAsViaDataLink", 5 + 5},
                  {mode + "after reconnect DataLink send data again", 5},
                  {blocking ? "1: Rcv::Ack" : "2: in data trans : Rcv Ack ==> Normal end of Data Transfer", 5}};
    if (blocking) // the four cuts are lost links, not slow peers
        counts << Counts{{"1: Data-Link lost ==> send data again after reconnect", 4}, {"1: TimeOut Data Transfer", 1}};
    const QString bad = checkCounts(counts);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
}

// Blocking mode: a peer that sends a junk byte every 400 ms instead of a
// reply keeps Marlo no longer than one wait after the end of sending (after
// each resend too); the transfer then ends as a time-out, and a STARS request
// sent meanwhile is answered after it.
void TstDataLinkE2e::tricklingPeer()
{
    QVERIFY(start(true));
    measure(8);
    body->setDataTransWaitMs(1000);
    const QString key = rig->addKey(QStringLiteral("Ravel2"));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    const quint16 busPort = rig->stars()->port();

    bool ok = false, closed = false;
    qint64 closedAfter = -1;
    QString answer, error;
    peer.run([&](Context &c) {
        QList<Record> recs;
        ok = c.login(busPort, QStringLiteral("Ravel2"), key) && c.readRecords(elementCount, recs);
        for (int i = 0; ok && i < 2; ++i) {
            recs.clear();
            ok = c.send("NAck") && c.readRecords(elementCount, recs);
        }
        QElapsedTimer sinceSent;
        sinceSent.start();
        bool asked = false;
        while (ok && !closed && sinceSent.elapsed() < 5000) {
            if (!asked && sinceSent.elapsed() > 300)
                asked = c.sendLine(QStringLiteral("Ravel2>Marlo GetMCALength"));
            closed = c.waitLinkClosed(400) || !c.send("z");
        }
        closedAfter = sinceSent.elapsed();
        answer = c.waitAnswer(QStringLiteral("GetMCALength"), 5000);
        error = c.error;
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait());
    QVERIFY2(ok, qPrintable(error));
    QVERIFY2(closed && closedAfter < 2000, qPrintable(QStringLiteral("link closed after %1 ms").arg(closedAfter)));
    QCOMPARE(answer, QStringLiteral("4096"));
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 1);
    QCOMPARE(count(QStringLiteral("1: Rcv::Nack")), 2);
    QVERIFY(body->resendPending());
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
}

// Asynchronous mode: a peer that answers NAck after NAck without reading
// gets no more than one transfer queued in Marlo; once it reads, every
// transfer it gets is whole, and its "Ack" ends them.
void TstDataLinkE2e::nackWithoutReading()
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
        quiet = ok && c.silentFor(300);
        error = c.error;
    });
    QVERIFY(peer.wait(60000));
    sampler.stop();
    QVERIFY2(mostUnwritten <= transferBytes, qPrintable(QStringLiteral("%1 bytes were queued at once").arg(mostUnwritten)));
    QVERIFY2(ok && quiet, qPrintable(error));
    // Logged once per resend: the NAcks that find one owed add no line.
    QCOMPARE(count(QStringLiteral("2: in data trans : Rcv Nack ==> Send data again")), int(transfers.size()) - 1);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), int(transfers.size()));
    for (const QList<Record> &t : std::as_const(transfers)) {
        CHECK_TRANSFER(t, 9);
    }
    QTRY_VERIFY(!body->inDataTransfer());
}

// Asynchronous mode: a peer that never reads while "GetMCAs" keeps coming.
// Once the system's buffers are full, Marlo queues less than two transfers,
// then drops the link as that of a peer that does not answer; the next link
// receives the transfer.
void TstDataLinkE2e::getMCAsWithoutReading()
{
    QVERIFY(start(false));
    measure(4);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 4096));
    // Only a request adds bytes: the most is right after one.
    qint64 mostUnwritten = 0;
    for (int i = 0; i < 300 && body->dataLinkConnected(); ++i) {
        QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
        mostUnwritten = qMax(mostUnwritten, body->dataLinkUnwritten());
    }
    QVERIFY2(mostUnwritten < 2 * transferBytes, qPrintable(QStringLiteral("%1 bytes were queued").arg(mostUnwritten)));
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 1);
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    DataLinkPeer second;
    QCOMPARE(takeWaiting(second, 4), QString());
}

// With DISCARD_DATA_LINK 0 a lost link is not closed by Marlo; a new peer
// replaces it and gets the spectra.
void TstDataLinkE2e::discardOff()
{
    QVERIFY(start(false, {QStringLiteral("DISCARD_DATA_LINK 0")}));
    measure(2);
    DataLinkPeer first, second;
    QVERIFY(connectPeer(first));
    first.run([](Context &c) { c.closeLink(); });
    QVERIFY(first.wait());
    QTRY_COMPARE(count(QStringLiteral("Data-Link Dis-Connected")), 1);
    // Once when the first peer came, once when it went.
    QCOMPARE(count(QStringLiteral("Asked 'Discarding DataLink' BUT!!! I don't !!!")), 2);
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QCOMPARE(takeWaiting(second, 2), QString());
    QCOMPARE(count(QStringLiteral("Actually Discard DataLink")), 0);
    QVERIFY(!rig->events().contains(QStringLiteral("DiscardDataLink")));
}

// ---- set-up and end ------------------------------------------------------------------

void TstDataLinkE2e::linkKeys_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("logged");   // a line of the log
    QTest::addColumn<int>("port");         // -1: an ephemeral one
    const QString noPort = QStringLiteral("Config key DATA_LINK_CH_PORT : \"%1\" is not a number from 0 to 65535, "
                                          "using the default (6058)");
    QTest::newRow("LOCALHOST") << "DATA_LINK_CH_IP LOCALHOST" << "" << -1;
    QTest::newRow("an address of no interface") << "DATA_LINK_CH_IP 192.0.2.1"
                                                << "Data-Link can not listen on 192.0.2.1 port 0" << 0;
    QTest::newRow("port a word") << "DATA_LINK_CH_PORT abc" << noPort.arg("abc") << 6058;
    QTest::newRow("port beyond the range") << "DATA_LINK_CH_PORT 70000" << noPort.arg("70000") << 6058;
}

// The data-link keys: a port that is no port in range is logged and the
// default port taken, never any free port; a listen failure is logged,
// requests are still served, and the transfer waits for a link.
void TstDataLinkE2e::linkKeys()
{
    QFETCH(QString, line);
    QFETCH(QString, logged);
    QFETCH(int, port);
    if (port == 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot listen on")));
    QVERIFY(start(true, {line}));
    const quint16 listening = body->dataLinkServerPort();
    QVERIFY(port < 0 ? listening != 0 : listening == port);
    const QString ip = line.startsWith(QLatin1String("DATA_LINK_CH_IP ")) ? line.section(QLatin1Char(' '), 1) : "127.0.0.1";
    QCOMPARE(rig->ask(QStringLiteral("GetDataLinkCh any thing")), QStringLiteral("%1 %2").arg(ip).arg(listening));
    QVERIFY(logged.isEmpty() || rig->logLines().filter(logged).size() == 1);
    if (port == 0) {
        QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
        QVERIFY(body->resendPending());
    }
}

// DATA_LINK_ALLOW (here in the mapped form among others): a peer from
// another address is closed at once and gets nothing, the transfer waiting
// for it goes to the allowed peer that follows.
void TstDataLinkE2e::allowList()
{
    QVERIFY(start(true, {QStringLiteral("DATA_LINK_ALLOW ::ffff:127.0.0.1 127.0.0.5")}));
    measure(2);
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    const quint16 port = body->dataLinkServerPort();
    DataLinkPeer stranger, friendly;
    bool closed = false;
    qint64 strayBytes = -1;
    stranger.run([&](Context &c) {
        if (c.connectLink(port, 5000, QStringLiteral("127.0.0.9")) && (closed = c.waitLinkClosed(5000)))
            strayBytes = c.bytesWaiting();
    });
    QVERIFY(stranger.wait());
    QVERIFY(closed);
    QCOMPARE(strayBytes, 0);
    QCOMPARE(count(QStringLiteral("Data-Link from 127.0.0.9 refused : not in DATA_LINK_ALLOW")), 1);
    QVERIFY(body->resendPending());
    QCOMPARE(takeWaiting(friendly, 2, QStringLiteral("127.0.0.1")), QString());
    QVERIFY(!body->resendPending());
    QCOMPARE(count(QStringLiteral("Data-Link Connected")), 1);
}

// When the program ends, the link is closed and the peer told.
void TstDataLinkE2e::destruction()
{
    QVERIFY(start(false));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer));
    rig->takeEvents();
    logSink = nullptr;
    rig->destroyBody();
    body = nullptr;
    bool closed = false;
    peer.run([&](Context &c) { closed = c.waitLinkClosed(5000); });
    QVERIFY(peer.wait());
    QVERIFY(closed);
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
}

QTEST_MAIN(TstDataLinkE2e)
#include "tst_datalink_e2e.moc"
