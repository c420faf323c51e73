// The data link end to end: a peer in a thread of its own connects to Marlo's
// data-link server, the peer node on the STARS bus asks "GetMCAs", and the
// peer checks every byte of the records, answers "Ack", "NAck", junk or
// nothing, disconnects and reconnects, in both transfer modes.
//
// Two units: dsp1 with channels 0 and 1 in use, dsp2 with channels 1 and 2,
// so the elements are (dsp1, 0), (dsp1, 1), (dsp2, 1), (dsp2, 2).

#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>

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
#include "vexda.h"

namespace {

using Record = DataLinkPeer::Record;
using Context = DataLinkPeer::Context;

constexpr int bins = 4096;
constexpr int elementCount = 4;

struct Elm {
    int unit;
    int ch;
};
const Elm elms[elementCount] = {{0, 0}, {0, 1}, {1, 1}, {1, 2}};

void poke48(SimUnit *u, quint32 addr, quint64 v)
{
    u->setReg(addr, quint16(v >> 32));
    u->setReg(addr + 2, quint16(v >> 16));
    u->setReg(addr + 4, quint16(v));
}

void poke32(SimUnit *u, quint32 addr, quint32 v)
{
    u->setReg(addr, quint16(v >> 16));
    u->setReg(addr + 2, quint16(v));
}

quint32 off(int ch)
{
    return quint32(ch) * 0x200;
}

// What the test puts into the simulated units.
quint64 realTicks(int unit) { return 150000000ULL + 100000000ULL * quint64(unit); }
quint64 liveTicks(int unit, int ch) { return 10000000ULL * quint64(ch + 1) + 1000ULL * quint64(unit); }
quint32 icrValue(int unit, int ch) { return quint32(1000 * (ch + 1) + unit); }
QVector<quint32> binsOf(int unit, int ch)
{
    QVector<quint32> v(bins);
    for (int i = 0; i < bins; ++i)
        v[i] = quint32(i * (ch + 1) + 7 * unit);
    return v;
}

// The transfer the peer must receive.
QList<QByteArray> expectedRecords(quint32 count, quint32 measNum, bool inMeas)
{
    QList<QByteArray> out;
    for (int k = 0; k < elementCount; ++k) {
        const Elm e = elms[k];
        McaRecordHeader h;
        h.ch = quint32(e.ch);
        h.marker = k == 0 ? count : k == 1 ? measNum : 0;
        h.inMeas = inMeas ? 1 : 0;
        h.length = bins;
        h.realTime = double(realTicks(e.unit)) * 1e-8;
        h.liveTime = double(liveTicks(e.unit, e.ch)) * 1e-8;
        h.icr = double(icrValue(e.unit, e.ch));
        out << McaRecord::encode(h, binsOf(e.unit, e.ch));
    }
    return out;
}

QList<QByteArray> bytesOf(const QList<Record> &recs)
{
    QList<QByteArray> out;
    for (const Record &r : recs)
        out << r.bytes;
    return out;
}

// A peer script step list: "read" (one transfer of four records), "send:x"
// (the bytes x), "pause" (300 ms), "silent" (no byte may come for 500 ms).
struct StepResult {
    QList<QList<Record>> transfers;
    QString error;
};

void runSteps(Context &c, const QStringList &steps, StepResult &res)
{
    for (const QString &s : steps) {
        if (s == QLatin1String("read")) {
            QList<Record> recs;
            if (!c.readRecords(elementCount, recs)) {
                res.error = c.error;
                return;
            }
            res.transfers << recs;
        } else if (s.startsWith(QLatin1String("send:"))) {
            if (!c.send(s.mid(5).toLatin1())) {
                res.error = QStringLiteral("cannot send ") + s;
                return;
            }
        } else if (s == QLatin1String("pause")) {
            QThread::msleep(300);
        } else if (s == QLatin1String("silent")) {
            if (!c.silentFor(500)) {
                res.error = QStringLiteral("bytes came after the last expected transfer (%1)").arg(c.bytesWaiting());
                return;
            }
        }
    }
}

using Counts = QList<QPair<QString, int>>;

} // namespace

Q_DECLARE_METATYPE(Counts)

class TstDataLinkE2e : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void recordBytes_data();
    void recordBytes();
    void neverFilledSet_data();
    void neverFilledSet();
    void okBeforeRecords_data();
    void okBeforeRecords();
    void replies_data();
    void replies();
    void ackWithNothingSent();
    void lostLinkResend_data();
    void lostLinkResend();
    void secondPeerWaits_data();
    void secondPeerWaits();
    void noLinkConnected_data();
    void noLinkConnected();
    void debugDiscard_data();
    void debugDiscard();
    void debugDiscardInVexDA();
    void discardOff();
    void listenAddress_data();
    void listenAddress();
    void portKey_data();
    void portKey();
    void allowList_data();
    void allowList();
    void getMCAsWithParameter();
    void destruction();

private:
    bool start(bool blocking, const QStringList &extra = {});
    void fillUnits(bool measuring);
    QStringList logLines() const;
    int count(const QString &msg) const;
    int indexOf(const QString &msg) const;
    bool connectPeer(DataLinkPeer &p, int expectedLinks);
    QString checkCounts(const Counts &counts) const;
    bool fetch(DataLinkPeer &p, const QStringList &steps, StepResult &res);

    std::unique_ptr<ServiceRig> rig;
    SimUnit *sims[2] = {nullptr, nullptr};
    Body *body = nullptr;
};

bool TstDataLinkE2e::start(bool blocking, const QStringList &extra)
{
    rig = std::make_unique<ServiceRig>();
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
    return true;
}

void TstDataLinkE2e::cleanup()
{
    if (rig && rig->body()) {
        // Every request got exactly one answer.
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->strayAnswers, QStringList());
    }
    rig.reset();
    body = nullptr;
}

// Two measurements (5, then 7) taken with known times, rates and spectra; with
// `measuring` the second one is still running.
void TstDataLinkE2e::fillUnits(bool measuring)
{
    for (SimUnit *s : sims) {
        s->setCountRate(0);
        s->setFrozenRealTime(true);
    }
    QCOMPARE(rig->ask(QStringLiteral("Resume 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("Resume 7")), QStringLiteral("Ok:"));
    // The units stop counting (Marlo still takes them as measuring), so that
    // what the test puts in stays as it is.
    for (SimUnit *s : sims)
        s->setReg(DspAddr::Start, 0);
    for (int u = 0; u < 2; ++u) {
        poke48(sims[u], DspAddr::RealTime1, realTicks(u));
        for (int ch = 0; ch < 4; ++ch) {
            poke48(sims[u], DspAddr::LiveTime1 + off(ch), liveTicks(u, ch));
            poke32(sims[u], DspAddr::ICR1 + off(ch), icrValue(u, ch));
            sims[u]->setHistogram(ch, binsOf(u, ch));
        }
    }
    if (!measuring)
        QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    rig->takeEvents();
}

QStringList TstDataLinkE2e::logLines() const
{
    const QString all = body->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    QStringList out;
    for (const QString &l : all.split(QLatin1Char('\n')))
        out << l.mid(22);   // after "yy/MM/dd hh:mm:ss.zzz:"
    return out;
}

int TstDataLinkE2e::count(const QString &msg) const
{
    return int(logLines().count(msg));
}

int TstDataLinkE2e::indexOf(const QString &msg) const
{
    return int(logLines().indexOf(msg));
}

bool TstDataLinkE2e::connectPeer(DataLinkPeer &p, int expectedLinks)
{
    const quint16 port = body->dataLinkServerPort();
    bool ok = false;
    p.run([&ok, port](Context &c) { ok = c.connectLink(port); });
    if (!p.wait() || !ok)
        return false;
    return QTest::qWaitFor([&] { return body->dataLinkConnected()
                                        && count(QStringLiteral("Data-Link Connected")) == expectedLinks; },
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

// The peer runs `steps` while Marlo is asked "GetMCAs".
bool TstDataLinkE2e::fetch(DataLinkPeer &p, const QStringList &steps, StepResult &res)
{
    p.run([&](Context &c) { runSteps(c, steps, res); });
    const QString answer = rig->ask(QStringLiteral("GetMCAs"));
    if (!p.wait())
        res.error = QStringLiteral("the peer hangs");
    else if (answer != QLatin1String("Ok:") && res.error.isEmpty())
        res.error = QStringLiteral("answer ") + answer;
    return res.error.isEmpty();
}

// ---- records -------------------------------------------------------------------

void TstDataLinkE2e::recordBytes_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<bool>("measuring");
    QTest::newRow("blocking, after the measurement") << true << false;
    QTest::newRow("asynchronous, after the measurement") << false << false;
    QTest::newRow("blocking, while measuring") << true << true;
    QTest::newRow("asynchronous, while measuring") << false << true;
}

void TstDataLinkE2e::recordBytes()
{
    QFETCH(bool, blocking);
    QFETCH(bool, measuring);
    QVERIFY(start(blocking));
    fillUnits(measuring);

    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    StepResult res;
    QVERIFY2(fetch(peer, {"read", "send:Ack", "silent"}, res), qPrintable(res.error));
    QCOMPARE(res.transfers.size(), 1);
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());

    // Markers: the first unit's measurement count, then its measurement
    // number (0 for a set taken while measuring), then 0.
    const QList<QByteArray> want = measuring ? expectedRecords(2, 0, true) : expectedRecords(2, 7, false);
    const QList<Record> &got = res.transfers.first();
    for (int k = 0; k < elementCount; ++k) {
        QCOMPARE(got.at(k).header.ch, quint32(elms[k].ch));
        QCOMPARE(got.at(k).header.length, quint64(bins));
        QCOMPARE(got.at(k).bytes.size(), 48 + 4 * bins);
        QVERIFY2(got.at(k).bytes == want.at(k), qPrintable(QStringLiteral("record %1 differs").arg(k)));
    }

    QCOMPARE(count(QStringLiteral("DSP ch 0 inMeas %1").arg(measuring ? 1 : 0)), 1);
    QCOMPARE(count(QStringLiteral("DSP ch 1 inMeas %1").arg(measuring ? 1 : 0)), 1);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 1);
    QCOMPARE(count(QStringLiteral("Start Data Trans Via Data Link")), 1);
    QCOMPARE(count(blocking ? QStringLiteral("1: Rcv::Ack")
                            : QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer")),
             1);
    const QString first = logLines().filter(QStringLiteral(":::: Trans data of DSP ")).value(0);
    QCOMPARE(first, QStringLiteral(":::: Trans data of DSP dsp1 MAC 0 : icr 1000 : realtime 1.5 : liveTime 0.1 : "
                                   "sum 8386560 : len 4096 : mcaBins 4096"));
    if (measuring)
        QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
}

void TstDataLinkE2e::neverFilledSet_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::newRow("blocking") << true;
    QTest::newRow("asynchronous") << false;
}

// Units that never measured ship their empty sets: channel number and
// length filled in, every bin 0, markers 0.
void TstDataLinkE2e::neverFilledSet()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    StepResult res;
    QVERIFY2(fetch(peer, {"read", "send:Ack"}, res), qPrintable(res.error));
    for (int k = 0; k < elementCount; ++k) {
        McaRecordHeader h;
        h.ch = quint32(elms[k].ch);
        h.length = bins;
        QCOMPARE(res.transfers.first().at(k).bytes, McaRecord::encode(h, QVector<quint32>(bins, 0)));
    }
    QTRY_VERIFY(!body->inDataTransfer());
}

// A peer that reads the data link only after it has the answer "Ok:" gets
// the spectra: the answer leaves before the records and before the wait.
void TstDataLinkE2e::okBeforeRecords_data()
{
    neverFilledSet_data();
}

void TstDataLinkE2e::okBeforeRecords()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking, {QStringLiteral("RECORD_MSG_TO_STARS 1")}));
    fillUnits(false);
    QFile key(rig->dirPath() + QStringLiteral("/Ravel2.key"));
    QVERIFY(key.open(QIODevice::WriteOnly));
    key.write("k0\nk1\nk2\n");
    key.close();

    DataLinkPeer peer;
    const quint16 busPort = body->starsClient()->port();
    const QString keyFile = key.fileName();
    bool loggedIn = false;
    QString err;
    peer.run([&](Context &c) {
        loggedIn = c.login(busPort, QStringLiteral("Ravel2"), keyFile);
        err = c.error;
    });
    QVERIFY(peer.wait());
    QVERIFY2(loggedIn, qPrintable(err));
    QVERIFY(connectPeer(peer, 1));

    QString answer;
    StepResult res;
    peer.run([&](Context &c) {
        c.sendLine(QStringLiteral("Ravel2>Marlo GetMCAs"));
        answer = c.waitAnswer(QStringLiteral("GetMCAs"));
        if (!answer.isNull())
            runSteps(c, {"read", "send:Ack", "silent"}, res);
    });
    QVERIFY(peer.wait());
    QCOMPARE(answer, QStringLiteral("Ok:"));
    QVERIFY2(res.error.isEmpty(), qPrintable(res.error));
    QCOMPARE(bytesOf(res.transfers.first()), expectedRecords(2, 7, false));
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());
    QCOMPARE(count(QStringLiteral("1: TimeOut Data Transfer")), 0);
    QCOMPARE(count(QStringLiteral("2: in data trans : TimeOut ==> Disconnect from DSP")), 0);
    const int okAt = indexOf(QStringLiteral("---- Snd Marlo>Ravel2 @GetMCAs Ok:"));
    QVERIFY(okAt >= 0);
    QVERIFY(okAt < indexOf(QStringLiteral("In sendMCAsViaDataLink")));
}

// ---- replies ---------------------------------------------------------------------

// Answers of the peer in both modes; every transfer is the full set.
void TstDataLinkE2e::replies_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("transfers");
    QTest::addColumn<Counts>("counts");
    const QString nack = QStringLiteral("2: in data trans : Rcv Nack ==> Send data again");
    const QString end = QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer");
    const QString outAck = QStringLiteral("2: out of data trans : Rcv Ack ==> Do nothing");
    const QString outNack = QStringLiteral("2: out of data trans : Rcv Nack ==> Send data again");
    const QString gotAck = QStringLiteral("Received Ack/NAck from Ravel : Ack");
    const auto row = [](const char *name, bool blocking, const QStringList &steps, int n, const Counts &c) {
        QTest::newRow(name) << blocking << steps << n << c;
    };

    row("stray bytes, NAck and Ack in one chunk", false, {"read", "send:xyNAckAck", "read", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("Ac, then k", false, {"read", "send:Ac", "pause", "send:k", "silent"}, 1, {{gotAck, 1}, {end, 1}, {nack, 0}});
    row("NA, then ck", false, {"read", "send:NA", "pause", "send:ck", "read", "send:Ack", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("N, then Ack is NAck", false, {"read", "send:N", "pause", "send:Ack", "read", "send:Ack", "silent"}, 2,
        {{nack, 1}, {end, 1}});
    row("much junk, then Ack", false, {"read", "send:" + QString(5000, QLatin1Char('z')), "send:zzAc", "send:k", "silent"},
        1, {{end, 1}});
    row("Ack inside junk", false, {"read", "send:zzAckzz", "silent"}, 1, {{end, 1}});
    row("NAck twice in one chunk", false, {"read", "send:NAckNAck", "read", "read", "send:Ack", "silent"}, 3,
        {{nack, 2}, {end, 1}});
    row("Ack twice", false, {"read", "send:Ack", "pause", "send:Ack", "silent"}, 1, {{end, 1}, {outAck, 1}});
    row("NAck after the end", false, {"read", "send:Ack", "pause", "send:NAck", "read", "send:Ack", "silent"}, 2,
        {{end, 2}, {outNack, 1}});

    const QString ack = QStringLiteral("1: Rcv::Ack");
    const QString bNack = QStringLiteral("1: Rcv::Nack");
    const QString unknown = QStringLiteral("1: Rcv::Unknown");
    row("blocking Ack", true, {"read", "send:Ack", "silent"}, 1, {{ack, 1}, {bNack, 0}, {unknown, 0}});
    row("blocking Ack with more bytes", true, {"read", "send:Ackxyz", "silent"}, 1, {{ack, 1}});
    row("blocking NAck", true, {"read", "send:NAck", "read", "send:Ack", "silent"}, 2, {{bNack, 1}, {ack, 1}});
    row("blocking NAck and Ack in one chunk", true, {"read", "send:NAckAck", "read", "send:Ack", "silent"}, 2,
        {{bNack, 1}, {ack, 1}});
    row("blocking unknown, then Ack", true, {"read", "send:hello", "pause", "send:Ack", "silent"}, 1,
        {{unknown, 1}, {ack, 1}, {bNack, 0}});
    row("blocking Ack after a stray byte", true, {"read", "send:xAck", "pause", "send:Ack", "silent"}, 1,
        {{unknown, 1}, {ack, 1}});
    row("blocking Ac, then k", true, {"read", "send:Ac", "pause", "send:k", "silent"}, 1,
        {{ack, 1}, {unknown, 0}, {"1: TimeOut Data Transfer", 0}});
    row("blocking NA, then ck", true, {"read", "send:NA", "pause", "send:ck", "read", "send:A", "pause", "send:ck", "silent"},
        2, {{bNack, 1}, {ack, 1}, {unknown, 0}, {"1: TimeOut Data Transfer", 0}});
}

void TstDataLinkE2e::replies()
{
    QFETCH(bool, blocking);
    QFETCH(QStringList, steps);
    QFETCH(int, transfers);
    QFETCH(Counts, counts);
    QVERIFY(start(blocking));
    fillUnits(false);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    StepResult res;
    QVERIFY2(fetch(peer, steps, res), qPrintable(res.error));
    QCOMPARE(res.transfers.size(), transfers);
    for (const QList<Record> &t : std::as_const(res.transfers))
        QCOMPARE(bytesOf(t), expectedRecords(2, 7, false));
    if (blocking)
        QVERIFY(!body->resendPending());
    else
        QTRY_VERIFY(!body->inDataTransfer());
    const QString bad = checkCounts(counts);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
    QVERIFY(body->dataLinkConnected());
}

void TstDataLinkE2e::ackWithNothingSent()
{
    QVERIFY(start(false));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    StepResult res;
    peer.run([&](Context &c) { runSteps(c, {"send:Ack", "silent"}, res); });
    QVERIFY(peer.wait());
    QVERIFY2(res.error.isEmpty(), qPrintable(res.error));
    QTRY_COMPARE(count(QStringLiteral("2: out of data trans : Rcv Ack ==> Do nothing")), 1);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 0);
    QVERIFY(!body->inDataTransfer());
}

// ---- lost links and resending --------------------------------------------------------

void TstDataLinkE2e::lostLinkResend_data()
{
    QTest::addColumn<bool>("blocking");
    QTest::addColumn<bool>("timeOut");
    QTest::newRow("blocking, no answer in time") << true << true;
    QTest::newRow("asynchronous, no answer in time") << false << true;
    QTest::newRow("blocking, the peer leaves mid-transfer") << true << false;
    QTest::newRow("asynchronous, the peer leaves mid-transfer") << false << false;
}

// A peer that does not answer in time loses the link (a late answer on the
// closed link changes nothing); one that leaves mid-transfer closes it itself.
// Marlo accepts again, and the reconnected peer gets the same spectra without
// a new request.
void TstDataLinkE2e::lostLinkResend()
{
    QFETCH(bool, blocking);
    QFETCH(bool, timeOut);
    QVERIFY(start(blocking));
    fillUnits(false);
    if (timeOut)
        body->setDataTransWaitMs(400);
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));

    const quint16 port = body->dataLinkServerPort();
    StepResult first, second;
    QByteArray part;
    bool closedByMarlo = false;
    bool reconnected = false;
    peer.run([&](Context &c) {
        if (timeOut) {
            runSteps(c, {"read"}, first);
            closedByMarlo = c.waitLinkClosed(10000);
            c.send("Ack");   // too late: the link is gone
        } else {
            c.readBytes(1000, part);   // part of the first record, then away
        }
        c.closeLink();
        reconnected = c.connectLink(port);
        if (reconnected)
            runSteps(c, {"read", "send:Ack", "silent"}, second);
    });
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait());
    QVERIFY2(first.error.isEmpty(), qPrintable(first.error));
    QCOMPARE(closedByMarlo, timeOut);
    QCOMPARE(part.size(), timeOut ? 0 : 1000);
    QVERIFY(reconnected);
    QVERIFY2(second.error.isEmpty(), qPrintable(second.error));
    QCOMPARE(bytesOf(second.transfers.first()), expectedRecords(2, 7, false));
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());
    const QString mode = blocking ? QStringLiteral("1: ") : QStringLiteral("2: ");
    Counts counts{{mode + "after reconnect DataLink send data again", 1}, {"Data-Link Connected", 2}};
    if (!timeOut)
        counts << qMakePair(QStringLiteral("Data-Link Dis-Connected"), 1);
    else if (blocking)
        counts << Counts{{"1: TimeOut Data Transfer", 1}, {"1: Rcv::Ack", 1}, {"Actually Discard DataLink", 1}};
    else
        counts << Counts{{"2: in data trans : TimeOut ==> Disconnect from DSP", 1},
                         {"2: in data trans : Rcv Ack ==> Normal end of Data Transfer", 1},
                         {"Actually Discard DataLink", 1}};
    const QString bad = checkCounts(counts);
    QVERIFY2(bad.isEmpty(), qPrintable(bad));
}

void TstDataLinkE2e::secondPeerWaits_data()
{
    neverFilledSet_data();
}

// A second peer is not taken while a link is open; when the first one goes,
// its link is closed (event "DiscardDataLink") and the second takes over.
void TstDataLinkE2e::secondPeerWaits()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    fillUnits(false);
    DataLinkPeer first, second;
    QVERIFY(connectPeer(first, 1));
    const quint16 port = body->dataLinkServerPort();
    bool ok = false;
    second.run([&](Context &c) { ok = c.connectLink(port); });
    QVERIFY(second.wait());
    QVERIFY(ok);   // the system completes the connection; Marlo does not take it
    QTest::qWait(300);
    QCOMPARE(count(QStringLiteral("Data-Link Connected")), 1);

    first.run([](Context &c) { c.closeLink(); });
    QVERIFY(first.wait());
    QTRY_COMPARE(count(QStringLiteral("Data-Link Connected")), 2);
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    QCOMPARE(count(QStringLiteral("Making new connection while another connection has already made!")), 0);
    QCOMPARE(count(QStringLiteral("Data-Link Dis-Connected")), 1);

    StepResult res;
    QVERIFY2(fetch(second, {"read", "send:Ack", "silent"}, res), qPrintable(res.error));
    QCOMPARE(bytesOf(res.transfers.first()), expectedRecords(2, 7, false));
    QTRY_VERIFY(!body->inDataTransfer());
}

void TstDataLinkE2e::noLinkConnected_data()
{
    neverFilledSet_data();
}

// "GetMCAs" with no link: nothing is written; the blocking mode gives up at
// once, the asynchronous one times out; the next connection gets the spectra.
void TstDataLinkE2e::noLinkConnected()
{
    QFETCH(bool, blocking);
    QVERIFY(start(blocking));
    fillUnits(false);
    body->setDataTransWaitMs(300);
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    if (blocking) {
        QCOMPARE(count(QStringLiteral("1: No Data-Link ==> send data again after reconnect")), 1);
        QVERIFY(body->resendPending());
    } else {
        QTRY_COMPARE(count(QStringLiteral("2: in data trans : TimeOut ==> Disconnect from DSP")), 1);
        QVERIFY(body->inDataTransfer());
    }
    QCOMPARE(count(QStringLiteral("Actually Discard DataLink")), 0);
    QCOMPARE(count(QStringLiteral("No Data-Link connected: nothing sent")), blocking ? 0 : 1);
    QVERIFY(!rig->events().contains(QStringLiteral("DiscardDataLink")));

    body->setDataTransWaitMs(3000);
    DataLinkPeer peer;
    StepResult res;
    const quint16 port = body->dataLinkServerPort();
    peer.run([&](Context &c) {
        if (!c.connectLink(port))
            res.error = c.error;
        else
            runSteps(c, {"read", "send:Ack", "silent"}, res);
    });
    QVERIFY(peer.wait());
    QVERIFY2(res.error.isEmpty(), qPrintable(res.error));
    QCOMPARE(bytesOf(res.transfers.first()), expectedRecords(2, 7, false));
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!body->resendPending());
}

// ---- the debug discard and DISCARD_DATA_LINK ----------------------------------------

void TstDataLinkE2e::debugDiscard_data()
{
    QTest::addColumn<bool>("discardOn");
    QTest::newRow("DISCARD_DATA_LINK 1") << true;
    QTest::newRow("DISCARD_DATA_LINK 0") << false;
}

void TstDataLinkE2e::debugDiscard()
{
    QFETCH(bool, discardOn);
    QVERIFY(start(true, {QStringLiteral("DISCARD_DATA_LINK %1").arg(discardOn ? 1 : 0)}));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    auto *box = body->findChild<QCheckBox *>(QStringLiteral("DiscardDLinBody"));
    auto *delay = body->findChild<QLineEdit *>(QStringLiteral("DiscardDLDelay"));
    QVERIFY(box && delay);
    QCOMPARE(delay->text(), QStringLiteral("1000"));
    delay->setText(QStringLiteral("50.7"));
    box->setChecked(true);

    bool closed = false;
    peer.run([&](Context &c) { closed = c.waitLinkClosed(5000); });
    QVERIFY(peer.wait());
    QVERIFY(closed);
    QTRY_VERIFY(!box->isChecked());
    QVERIFY(!body->dataLinkConnected());
    QVERIFY(rig->waitForEvent(QStringLiteral("DiscardDataLink")));
    QCOMPARE(count(QStringLiteral("Actually Discard DataLink")), 1);
    // Accepting goes on: the peer can come back.
    QVERIFY(connectPeer(peer, 2));
}

void TstDataLinkE2e::debugDiscardInVexDA()
{
    QVERIFY(start(false));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    body->findChild<QLineEdit *>(QStringLiteral("DiscardDLDelay"))->setText(QStringLiteral("20"));
    body->findChild<QCheckBox *>(QStringLiteral("DiscardDLinVexDA"))->setChecked(true);
    QTRY_VERIFY(body->discardInVexDAAsked());
    QVERIFY(body->dataLinkConnected());
    QCOMPARE(count(QStringLiteral("Actually Discard DataLink")), 0);
}

// With DISCARD_DATA_LINK 0 a lost link is not closed by Marlo; a new peer
// replaces it and gets the spectra.
void TstDataLinkE2e::discardOff()
{
    QVERIFY(start(false, {QStringLiteral("DISCARD_DATA_LINK 0")}));
    fillUnits(false);
    DataLinkPeer first, second;
    QVERIFY(connectPeer(first, 1));
    first.run([](Context &c) { c.closeLink(); });
    QVERIFY(first.wait());
    QTRY_COMPARE(count(QStringLiteral("Data-Link Dis-Connected")), 1);
    // Once when the first peer came, once when it went.
    QCOMPARE(count(QStringLiteral("Asked 'Discarding DataLink' BUT!!! I don't !!!")), 2);
    QVERIFY(connectPeer(second, 2));
    QCOMPARE(count(QStringLiteral("Asked 'Discarding DataLink' BUT!!! I don't !!!")), 3);
    QCOMPARE(count(QStringLiteral("Actually Discard DataLink")), 0);

    StepResult res;
    QVERIFY2(fetch(second, {"read", "send:Ack", "silent"}, res), qPrintable(res.error));
    QCOMPARE(bytesOf(res.transfers.first()), expectedRecords(2, 7, false));
    QTRY_VERIFY(!body->inDataTransfer());
    QVERIFY(!rig->events().contains(QStringLiteral("DiscardDataLink")));
}

// ---- set-up and end ------------------------------------------------------------------

void TstDataLinkE2e::listenAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("listens");
    QTest::newRow("localhost") << "localhost" << true;
    QTest::newRow("LOCALHOST") << "LOCALHOST" << true;
    QTest::newRow("loopback address") << "127.0.0.1" << true;
    QTest::newRow("a name") << "example.invalid" << false;
    QTest::newRow("an address of no interface") << "192.0.2.1" << false;
}

void TstDataLinkE2e::listenAddress()
{
    QFETCH(QString, ip);
    QFETCH(bool, listens);
    if (!listens)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot listen on")));
    QVERIFY(start(true, {QStringLiteral("DATA_LINK_CH_IP ") + ip}));
    const quint16 port = body->dataLinkServerPort();
    QCOMPARE(port != 0, listens);
    QCOMPARE(rig->ask(QStringLiteral("GetDataLinkCh any thing")), QStringLiteral("%1 %2").arg(ip).arg(port));
    QCOMPARE(count(QStringLiteral("Ans to Get Data Link Ch as [%1 %2]").arg(ip).arg(port)), 1);
    const int failures = int(logLines().filter(QStringLiteral("Data-Link can not listen on %1 port 0").arg(ip)).size());
    QCOMPARE(failures, listens ? 0 : 1);
    if (listens) {
        DataLinkPeer peer;
        QVERIFY(connectPeer(peer, 1));
    } else {
        // Requests are still served; the transfer waits for a link.
        QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
        QVERIFY(body->resendPending());
    }
}

void TstDataLinkE2e::portKey_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("a word") << "abc";
    QTest::newRow("beyond the port range") << "70000";
    QTest::newRow("negative") << "-1";
}

// A port that is no port in range is logged and the default port taken,
// never any free port.
void TstDataLinkE2e::portKey()
{
    QFETCH(QString, value);
    QVERIFY(start(true, {QStringLiteral("DATA_LINK_CH_PORT ") + value}));
    QCOMPARE(count(QStringLiteral("Config key DATA_LINK_CH_PORT : \"%1\" is not a number from 0 to 65535, "
                                  "using the default (6058)").arg(value)),
             1);
    QCOMPARE(rig->ask(QStringLiteral("GetDataLinkCh")).section(QLatin1Char(' '), 1), QStringLiteral("6058"));
}

void TstDataLinkE2e::allowList_data()
{
    QTest::addColumn<QString>("allow");
    QTest::addColumn<bool>("strangerTaken");
    QTest::newRow("not set") << "" << true;
    QTest::newRow("the loopback address") << "DATA_LINK_ALLOW 127.0.0.1" << false;
    QTest::newRow("mapped form among others") << "DATA_LINK_ALLOW ::ffff:127.0.0.1 127.0.0.5" << false;
}

// DATA_LINK_ALLOW: a peer from another address is closed at once and gets
// nothing, the transfer waiting for it goes to the allowed peer that follows.
void TstDataLinkE2e::allowList()
{
    QFETCH(QString, allow);
    QFETCH(bool, strangerTaken);
    QVERIFY(start(true, allow.isEmpty() ? QStringList() : QStringList{allow}));
    fillUnits(false);
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(body->resendPending());

    const quint16 port = body->dataLinkServerPort();
    DataLinkPeer stranger, friendly;
    StepResult got, gotFriendly;
    bool closed = false;
    qint64 strayBytes = -1;
    stranger.run([&](Context &c) {
        if (!c.connectLink(port, 5000, QStringLiteral("127.0.0.9")))
            got.error = c.error;
        else if (strangerTaken)
            runSteps(c, {"read", "send:Ack", "silent"}, got);
        else if ((closed = c.waitLinkClosed(5000)))
            strayBytes = c.bytesWaiting();
    });
    QVERIFY(stranger.wait());
    QVERIFY2(got.error.isEmpty(), qPrintable(got.error));
    const QString refused = QStringLiteral("Data-Link from 127.0.0.9 refused : not in DATA_LINK_ALLOW");
    QCOMPARE(count(refused), strangerTaken ? 0 : 1);
    if (strangerTaken) {
        QCOMPARE(bytesOf(got.transfers.value(0)), expectedRecords(2, 7, false));
    } else {
        QVERIFY(closed);
        QCOMPARE(strayBytes, 0);
        QVERIFY(body->resendPending());
        QCOMPARE(count(QStringLiteral("Data-Link Connected")), 0);
        friendly.run([&](Context &c) {
            if (!c.connectLink(port, 5000, QStringLiteral("127.0.0.1")))
                gotFriendly.error = c.error;
            else
                runSteps(c, {"read", "send:Ack", "silent"}, gotFriendly);
        });
        QVERIFY(friendly.wait());
        QVERIFY2(gotFriendly.error.isEmpty(), qPrintable(gotFriendly.error));
        QCOMPARE(bytesOf(gotFriendly.transfers.value(0)), expectedRecords(2, 7, false));
    }
    QVERIFY(!body->resendPending());
    QCOMPARE(count(QStringLiteral("Data-Link Connected")), 1);
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 1);
}

void TstDataLinkE2e::getMCAsWithParameter()
{
    QVERIFY(start(true));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs 1")), QStringLiteral("Er: Number of Params shuld be 0"));
    QCOMPARE(rig->ask(QStringLiteral("GetMCAs ")), QStringLiteral("Er: Number of Params shuld be 0"));
    StepResult res;
    peer.run([&](Context &c) { runSteps(c, {"silent"}, res); });
    QVERIFY(peer.wait());
    QVERIFY2(res.error.isEmpty(), qPrintable(res.error));
    QCOMPARE(count(QStringLiteral("In sendMCAsViaDataLink")), 0);
}

// When the program ends, the link is closed and the peer told.
void TstDataLinkE2e::destruction()
{
    QVERIFY(start(false));
    DataLinkPeer peer;
    QVERIFY(connectPeer(peer, 1));
    rig->takeEvents();
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
