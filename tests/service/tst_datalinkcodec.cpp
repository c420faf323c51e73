// Data-link codec: the reply scanner, record decoding of malformed input and
// the transfer plan. The bytes of whole records are the data-link e2e test's.
#include <QtTest>

#include "mcarecord.h"
#include "mcatransfer.h"
#include "replyscanner.h"

Q_DECLARE_METATYPE(QList<QByteArray>)

class TstDataLinkCodec : public QObject
{
    Q_OBJECT

private slots:
    void scanner_data();
    void scanner();
    void scannerJunkStaysBounded();
    void decode_data();
    void decode();
    void transferPlan();
};

void TstDataLinkCodec::scanner_data()
{
    // Chunks fed in turn; tokens found overall ("A" Ack, "N" NAck); what is
    // left; and the reply the blocking wait reads from all chunks at once.
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("tokens");
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<int>("reply");
    const int ack = ReplyScanner::AckReply, nack = ReplyScanner::NAckReply, unknown = ReplyScanner::UnknownReply,
              partial = ReplyScanner::PartialReply;
    QTest::newRow("ack") << QList<QByteArray>{"Ack"} << "A" << QByteArray() << ack;
    QTest::newRow("ack, nack") << QList<QByteArray>{"AckNAck"} << "AN" << QByteArray() << ack;
    QTest::newRow("two stray, nack, ack") << QList<QByteArray>{"xyNAckAck"} << "NA" << QByteArray() << unknown;
    QTest::newRow("Ac then k") << QList<QByteArray>{"Ac", "k"} << "A" << QByteArray() << ack;
    QTest::newRow("N then Ack is NAck") << QList<QByteArray>{"N", "Ack"} << "N" << QByteArray() << nack;
    QTest::newRow("junk then split nack") << QList<QByteArray>{"0123456789NA", "ck"} << "N" << QByteArray()
                                          << unknown;
    QTest::newRow("junk kept short") << QList<QByteArray>{"0123456789"} << "" << QByteArray("789") << unknown;
    QTest::newRow("long tail after token") << QList<QByteArray>{"NAckwxyz"} << "N" << QByteArray("xyz") << nack;
    QTest::newRow("byte by byte") << QList<QByteArray>{"N", "A", "c", "k", "A", "c", "k"} << "NA" << QByteArray()
                                  << nack;
    QTest::newRow("only Ac") << QList<QByteArray>{"Ac"} << "" << QByteArray("Ac") << partial;
    QTest::newRow("only NA") << QList<QByteArray>{"NA"} << "" << QByteArray("NA") << partial;
    QTest::newRow("zero bytes") << QList<QByteArray>{QByteArray(5, '\0')} << "" << QByteArray(3, '\0') << unknown;
}

void TstDataLinkCodec::scanner()
{
    QFETCH(QList<QByteArray>, chunks);
    ReplyScanner s;
    QString got;
    for (const QByteArray &c : chunks)
        for (ReplyScanner::Token t : s.feed(c))
            got += t == ReplyScanner::Ack ? QLatin1Char('A') : QLatin1Char('N');
    QTEST(got, "tokens");
    QTEST(s.buffer(), "left");
    QTEST(int(ReplyScanner::classify(chunks.join())), "reply");
}

void TstDataLinkCodec::scannerJunkStaysBounded()
{
    ReplyScanner s;
    for (int i = 0; i < 1000; ++i) {
        QVERIFY(s.feed(QByteArray(4096, 'z')).isEmpty());
        QVERIFY(s.buffer().size() <= ReplyScanner::keepBytes);
    }
    QCOMPARE(s.feed("NAck"), QList<ReplyScanner::Token>{ReplyScanner::NAck});
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

// Units of different measurement numbers are reported, and elements naming
// no unit or channel are skipped.
void TstDataLinkCodec::transferPlan()
{
    // Units 0..3 measured 5 6 5 7; unit 0 has two channels, the others one.
    QByteArray blocks[5];
    QList<McaTransfer::Unit> units;
    const int measNums[4] = {5, 6, 5, 7};
    for (int k = 0; k < 5; ++k) {
        McaRecordHeader h;
        h.ch = quint32(k == 1);
        h.length = 1;
        blocks[k] = McaRecord::encode(h, {quint32(k)});
        if (k != 1)
            units << McaTransfer::Unit{QStringLiteral("u%1").arg(units.size()), measNums[units.size()], 1, {}};
        units.last().chs << McaTransfer::Record{blocks[k].data(), 1};
    }
    const McaTransfer::Plan plan =
        McaTransfer::prepare(units, {{0, 5}, {9, 0}, {-1, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}});
    QCOMPARE(plan.mismatches,
             (QStringList{"!! *** MeasNums are different between dsps 0 for 5, 1 for 6",
                          "!! *** MeasNums are different between dsps 0 for 5, 3 for 7"}));
    QCOMPARE(plan.pieces.size(), 4);
    QCOMPARE(McaRecord::readHeader(plan.pieces.first().block).ch, 1u);
    QVERIFY(McaTransfer::prepare({}, {}).pieces.isEmpty());
}

QTEST_APPLESS_MAIN(TstDataLinkCodec)
#include "tst_datalinkcodec.moc"
