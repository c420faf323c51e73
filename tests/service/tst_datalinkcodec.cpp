#include <QtTest>

#include "mcarecord.h"
#include "replyscanner.h"
#include "mcatransfer.h"
#include "wordfinder.h"

#include <cstring>
#include <memory>

Q_DECLARE_METATYPE(QList<QByteArray>)

class TstDataLinkCodec : public QObject
{
    Q_OBJECT

private slots:
    void wordFinder_data();
    void wordFinder();
    void scanner_data();
    void scanner();
    void scannerJunkStaysBounded();
    void classify_data();
    void classify();
    void encodeBytes();
    void decode_data();
    void decode();
    void decodeStream();
    void mendUnfilled();
    void transferMarkersAndOrder();
    void transferMismatch();
    void transferUnfilledSet();
    void transferNothing();
    void transferSkipsBadElements();
};

void TstDataLinkCodec::wordFinder_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<qsizetype>("from");
    QTest::addColumn<qsizetype>("pos");
    QTest::addColumn<int>("which");
    QTest::newRow("ack") << QByteArray("Ack") << qsizetype(0) << qsizetype(0) << 0;
    QTest::newRow("nack wins at its N") << QByteArray("NAck") << qsizetype(0) << qsizetype(0) << 1;
    QTest::newRow("stray then nack") << QByteArray("xyNAckAck") << qsizetype(0) << qsizetype(2) << 1;
    QTest::newRow("ack before nack") << QByteArray("AckNAck") << qsizetype(0) << qsizetype(0) << 0;
    QTest::newRow("from skips") << QByteArray("AckNAck") << qsizetype(3) << qsizetype(3) << 1;
    QTest::newRow("split") << QByteArray("Ac") << qsizetype(0) << qsizetype(-1) << -1;
    QTest::newRow("case matters") << QByteArray("ack nack") << qsizetype(0) << qsizetype(-1) << -1;
    QTest::newRow("empty") << QByteArray() << qsizetype(0) << qsizetype(-1) << -1;
}

void TstDataLinkCodec::wordFinder()
{
    QFETCH(QByteArray, buf);
    QFETCH(qsizetype, from);
    QFETCH(qsizetype, pos);
    QFETCH(int, which);
    WordFinder f;
    f.setWords({"Ack", "NAck"});
    int w = -2;
    QCOMPARE(f.find(buf, w, from), pos);
    QCOMPARE(w, which);
    QCOMPARE(f.longestWord(), 4);
}

void TstDataLinkCodec::scanner_data()
{
    // Chunks fed in turn; tokens found overall ("A" Ack, "N" NAck); what is left.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("tokens");
    QTest::addColumn<QByteArray>("left");
    QTest::newRow("ack") << QList<QByteArray>{"Ack"} << "A" << QByteArray();
    QTest::newRow("two stray, nack, ack") << QList<QByteArray>{"xyNAckAck"} << "NA" << QByteArray();
    QTest::newRow("Ac then k") << QList<QByteArray>{"Ac", "k"} << "A" << QByteArray();
    QTest::newRow("N then Ack is NAck") << QList<QByteArray>{"N", "Ack"} << "N" << QByteArray();
    QTest::newRow("NAc then k") << QList<QByteArray>{"NAc", "k"} << "N" << QByteArray();
    QTest::newRow("junk then split nack") << QList<QByteArray>{"0123456789NA", "ck"} << "N" << QByteArray();
    QTest::newRow("junk kept short") << QList<QByteArray>{"0123456789"} << "" << QByteArray("789");
    QTest::newRow("tail after token") << QList<QByteArray>{"Ackxy"} << "A" << QByteArray("xy");
    QTest::newRow("long tail after token") << QList<QByteArray>{"Ackwxyz"} << "A" << QByteArray("xyz");
    QTest::newRow("byte by byte") << QList<QByteArray>{"N", "A", "c", "k", "A", "c", "k"} << "NA" << QByteArray();
    QTest::newRow("nothing") << QList<QByteArray>{""} << "" << QByteArray();
    QTest::newRow("zero bytes") << QList<QByteArray>{QByteArray(5, '\0')} << "" << QByteArray(3, '\0');
}

void TstDataLinkCodec::scanner()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, tokens);
    QFETCH(QByteArray, left);
    ReplyScanner s;
    QString got;
    for (const QByteArray &c : chunks)
        for (ReplyScanner::Token t : s.feed(c))
            got += t == ReplyScanner::Ack ? QLatin1Char('A') : QLatin1Char('N');
    QCOMPARE(got, tokens);
    QCOMPARE(s.buffer(), left);
}

void TstDataLinkCodec::scannerJunkStaysBounded()
{
    ReplyScanner s;
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(s.feed(QByteArray(4096, 'z')).isEmpty());
        QVERIFY(s.buffer().size() <= ReplyScanner::keepBytes);
    }
    QCOMPARE(s.feed("NAck"), QList<ReplyScanner::Token>{ReplyScanner::NAck});
    QCOMPARE(ReplyScanner::tokenText(ReplyScanner::NAck), QByteArray("NAck"));
    QCOMPARE(ReplyScanner::tokenText(ReplyScanner::Ack), QByteArray("Ack"));
}

void TstDataLinkCodec::classify_data()
{
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<int>("reply");
    QTest::newRow("Ack") << QByteArray("Ack") << int(ReplyScanner::AckReply);
    QTest::newRow("Ack and more") << QByteArray("AckNAck") << int(ReplyScanner::AckReply);
    QTest::newRow("NAck") << QByteArray("NAck") << int(ReplyScanner::NAckReply);
    QTest::newRow("NAck and more") << QByteArray("NAckxx") << int(ReplyScanner::NAckReply);
    QTest::newRow("Ac") << QByteArray("Ac") << int(ReplyScanner::UnknownReply);
    QTest::newRow("stray then Ack") << QByteArray("xAck") << int(ReplyScanner::UnknownReply);
    QTest::newRow("empty") << QByteArray() << int(ReplyScanner::UnknownReply);
}

void TstDataLinkCodec::classify()
{
    QFETCH(QByteArray, chunk);
    QFETCH(int, reply);
    QCOMPARE(int(ReplyScanner::classify(chunk)), reply);
}

void TstDataLinkCodec::encodeBytes()
{
    McaRecordHeader h;
    h.ch = 2;
    h.marker = 0x01020304;
    h.inMeas = 1;
    h.length = 2;
    h.realTime = 1.5;
    h.liveTime = -2.0;
    h.icr = 0.0;
    const QByteArray got = McaRecord::encode(h, {0x11223344u, 5u});
    const QByteArray want = QByteArray::fromHex(
        "02000000" "04030201"
        "0100000000000000"
        "0200000000000000"
        "000000000000f83f"
        "00000000000000c0"
        "0000000000000000"
        "44332211" "05000000");
    QCOMPARE(got, want);

    const McaRecordHeader back = McaRecord::readHeader(got.constData());
    QCOMPARE(back.ch, 2u);
    QCOMPARE(back.marker, 0x01020304u);
    QCOMPARE(back.inMeas, quint64(1));
    QCOMPARE(back.length, quint64(2));
    QCOMPARE(back.realTime, 1.5);
    QCOMPARE(back.liveTime, -2.0);
}

void TstDataLinkCodec::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qsizetype>("taken");
    McaRecordHeader h;
    h.length = 3;
    const QByteArray rec = McaRecord::encode(h, {1, 2, 3});
    QTest::newRow("whole") << rec << rec.size();
    QTest::newRow("with more") << rec + "Ack" << rec.size();
    QTest::newRow("header only") << rec.left(48) << qsizetype(0);
    QTest::newRow("short header") << rec.left(47) << qsizetype(0);
    QTest::newRow("one byte short") << rec.left(rec.size() - 1) << qsizetype(0);
    QTest::newRow("empty") << QByteArray() << qsizetype(0);
    McaRecordHeader big;
    big.length = quint64(1) << 40;
    QTest::newRow("absurd length") << McaRecord::encode(big, {}) << qsizetype(-1);
    McaRecordHeader none;
    QTest::newRow("zero bins") << McaRecord::encode(none, {}) << qsizetype(48);
}

void TstDataLinkCodec::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qsizetype, taken);
    McaRecordHeader h;
    QVector<quint32> bins;
    QCOMPARE(McaRecord::decode(bytes, h, bins), taken);
    if (taken > 0)
        QCOMPARE(qsizetype(bins.size()), qsizetype(h.length));
}

void TstDataLinkCodec::decodeStream()
{
    McaRecordHeader a, b;
    a.ch = 0;
    a.length = 2;
    b.ch = 3;
    b.length = 1;
    const QByteArray stream = McaRecord::encode(a, {7, 8}) + McaRecord::encode(b, {9});
    McaRecordHeader h;
    QVector<quint32> bins;
    const qsizetype n = McaRecord::decode(stream, h, bins);
    QCOMPARE(n, qsizetype(56));
    QCOMPARE(bins, (QVector<quint32>{7, 8}));
    QCOMPARE(McaRecord::decode(stream.mid(n), h, bins), qsizetype(52));
    QCOMPARE(h.ch, 3u);
    QCOMPARE(bins, QVector<quint32>{9});
}

void TstDataLinkCodec::mendUnfilled()
{
    QByteArray block(48 + 4 * 4, '\0');
    QVERIFY(McaRecord::mendUnfilled(block.data(), 2, 4));
    McaRecordHeader h = McaRecord::readHeader(block.constData());
    QCOMPARE(h.ch, 2u);
    QCOMPARE(h.length, quint64(4));
    QCOMPARE(h.marker, 0u);
    QCOMPARE(h.realTime, 0.0);
    // A filled record is left as it is.
    QVERIFY(!McaRecord::mendUnfilled(block.data(), 1, 4));
    QCOMPARE(McaRecord::readHeader(block.constData()).ch, 2u);
}

namespace {

// Data sets made of encoded records, as units hold them.
struct FakeUnit {
    QString name;
    int measNum = 0;
    int count = 0;
    QList<QByteArray> blocks;
};

FakeUnit filledUnit(const QString &name, int measNum, int count, int chs, int bins, quint32 base)
{
    FakeUnit u{name, measNum, count, {}};
    for (int c = 0; c < chs; ++c) {
        McaRecordHeader h;
        h.ch = quint32(c);
        h.length = quint64(bins);
        h.realTime = 2.5;
        h.liveTime = 2.0 + c;
        h.icr = 100.0 * (c + 1);
        QVector<quint32> b(bins);
        for (int i = 0; i < bins; ++i)
            b[i] = base + quint32(c);
        u.blocks << McaRecord::encode(h, b);
    }
    return u;
}

QList<McaTransfer::Unit> viewOf(QList<FakeUnit> &units)
{
    QList<McaTransfer::Unit> out;
    for (FakeUnit &f : units) {
        McaTransfer::Unit u;
        u.name = f.name;
        u.measNum = f.measNum;
        u.count = f.count;
        for (QByteArray &b : f.blocks)
            u.chs << McaTransfer::Record{b.data(), (b.size() - 48) / 4};
        out << u;
    }
    return out;
}

} // namespace

void TstDataLinkCodec::transferMarkersAndOrder()
{
    QList<FakeUnit> units{filledUnit("dsp1", 5, 3, 4, 4, 10), filledUnit("dsp2", 5, 3, 4, 4, 20)};
    const QList<McaTransfer::Element> elms{{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const McaTransfer::Plan plan = McaTransfer::prepare(viewOf(units), elms);
    QVERIFY(plan.mismatches.isEmpty());
    QCOMPARE(plan.pieces.size(), 4);
    QByteArray wire;
    for (const auto &p : plan.pieces)
        wire.append(p.block, p.bytes);
    QCOMPARE(wire.size(), 4 * (48 + 16));

    const quint32 expectMarker[4] = {3, 5, 0, 0};
    const quint32 expectCh[4] = {0, 1, 0, 1};
    const quint32 expectBin[4] = {10, 11, 20, 21};
    qsizetype pos = 0;
    for (int k = 0; k < 4; ++k) {
        McaRecordHeader h;
        QVector<quint32> bins;
        const qsizetype n = McaRecord::decode(wire.mid(pos), h, bins);
        QCOMPARE(n, qsizetype(64));
        QCOMPARE(h.marker, expectMarker[k]);
        QCOMPARE(h.ch, expectCh[k]);
        QCOMPARE(bins.first(), expectBin[k]);
        pos += n;
    }
    QCOMPARE(plan.pieces.at(1).log,
             QStringLiteral(":::: Trans data of DSP dsp1 MAC 1 : icr 200 : realtime 2.5 : liveTime 3 : sum 44 : len 4 : mcaBins 4"));
    // The markers stay in the units' own records: a resend carries them again.
    QCOMPARE(McaRecord::readHeader(units[0].blocks[0].constData()).marker, 3u);
    QCOMPARE(McaRecord::readHeader(units[0].blocks[1].constData()).marker, 5u);
    QCOMPARE(McaRecord::readHeader(units[0].blocks[2].constData()).marker, 0u);
}

void TstDataLinkCodec::transferMismatch()
{
    QList<FakeUnit> units{filledUnit("a", 5, 1, 1, 1, 0), filledUnit("b", 6, 1, 1, 1, 0),
                          filledUnit("c", 5, 1, 1, 1, 0), filledUnit("d", 7, 1, 1, 1, 0)};
    const McaTransfer::Plan plan = McaTransfer::prepare(viewOf(units), {{0, 0}, {1, 0}, {2, 0}, {3, 0}});
    QCOMPARE(plan.mismatches,
             (QStringList{"!! *** MeasNums are different between dsps 0 for 5, 1 for 6",
                          "!! *** MeasNums are different between dsps 0 for 5, 3 for 7"}));
    QCOMPARE(plan.pieces.size(), 4);
}

void TstDataLinkCodec::transferUnfilledSet()
{
    // The empty set of a unit that never measured: all zeros.
    FakeUnit u{"dsp1", 0, 0, {}};
    for (int c = 0; c < 4; ++c)
        u.blocks << QByteArray(48 + 4 * 4096, '\0');
    QList<FakeUnit> units{u};
    const McaTransfer::Plan plan = McaTransfer::prepare(viewOf(units), {{0, 0}, {0, 2}, {0, 3}});
    QByteArray wire;
    for (const auto &p : plan.pieces)
        wire.append(p.block, p.bytes);
    const quint32 chs[3] = {0, 2, 3};
    qsizetype pos = 0;
    for (int k = 0; k < 3; ++k) {
        McaRecordHeader h;
        QVector<quint32> bins;
        const qsizetype n = McaRecord::decode(wire.mid(pos), h, bins);
        QCOMPARE(n, qsizetype(48 + 4 * 4096));
        QCOMPARE(h.ch, chs[k]);
        QCOMPARE(h.length, quint64(4096));
        QCOMPARE(bins.count(0u), qsizetype(4096));
        pos += n;
    }
    QCOMPARE(pos, wire.size());
    QVERIFY(plan.pieces.at(2).log.endsWith(QLatin1String(": sum 0 : len 4096 : mcaBins 4096")));
}

void TstDataLinkCodec::transferNothing()
{
    const McaTransfer::Plan none = McaTransfer::prepare({}, {});
    QVERIFY(none.mismatches.isEmpty());
    QVERIFY(none.pieces.isEmpty());
    QList<FakeUnit> units{filledUnit("dsp1", 2, 1, 4, 4, 1)};
    QVERIFY(McaTransfer::prepare(viewOf(units), {}).pieces.isEmpty());
}

void TstDataLinkCodec::transferSkipsBadElements()
{
    QList<FakeUnit> units{filledUnit("dsp1", 2, 1, 2, 4, 1)};
    const McaTransfer::Plan plan =
        McaTransfer::prepare(viewOf(units), {{0, 5}, {3, 0}, {-1, 0}, {0, 1}});
    QCOMPARE(plan.pieces.size(), 1);
    QCOMPARE(McaRecord::readHeader(plan.pieces.first().block).ch, 1u);
}

QTEST_APPLESS_MAIN(TstDataLinkCodec)
#include "tst_datalinkcodec.moc"
