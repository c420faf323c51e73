// The parts of marlo-peer that need no network: record parsing, transfer
// checks, steps, options, the element list, CSV and plot.
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

#include "elementlayout.h"
#include "mcarecordparser.h"
#include "peerrecord.h"
#include "mcacsv.h"
#include "transfercheck.h"

namespace {

QByteArray goodRecord(quint32 ch = 1, int bins = 2)
{
    QVector<quint32> b;
    for (int i = 0; i < bins; ++i)
        b << quint32(10 + i);
    return PeerRecord::make(ch, b, 1.5, 1.25, 100.0).encode();
}

QByteArray withU32(QByteArray b, int at, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + at);
    return b;
}

QByteArray withU64(QByteArray b, int at, quint64 v)
{
    qToLittleEndian<quint64>(v, b.data() + at);
    return b;
}

QByteArray withDouble(QByteArray b, int at, double d)
{
    quint64 u = 0;
    std::memcpy(&u, &d, sizeof u);
    return withU64(b, at, u);
}

} // namespace

class TstPeerParts : public QObject
{
    Q_OBJECT

private slots:
    void recordBytes();
    void parser_data();
    void parser();
    void transferCheck_data();
    void transferCheck();
    void csvContents();
};

void TstPeerParts::recordBytes()
{
    PeerRecord r = PeerRecord::make(1, {3, 0x01020304}, 1.0, 0.5, 2.0, 7, 1);
    const QByteArray expected = QByteArray::fromHex(
        "01000000" "07000000" "0100000000000000" "0200000000000000"
        "000000000000f03f" "000000000000e03f" "0000000000000040"
        "03000000" "04030201");
    QCOMPARE(r.encode().toHex(), expected.toHex());
    QCOMPARE(r.sum(), quint64(3) + 0x01020304);

    McaRecordParser p;
    p.append(expected);
    PeerRecord back;
    QCOMPARE(p.next(back), McaRecordParser::Result::Record);
    QCOMPARE(back.channel, 1u);
    QCOMPARE(back.marker, 7u);
    QCOMPARE(back.inMeas, quint64(1));
    QCOMPARE(back.length, quint64(2));
    QCOMPARE(back.realTime, 1.0);
    QCOMPARE(back.liveTime, 0.5);
    QCOMPARE(back.icr, 2.0);
    QCOMPARE(back.bins, (QVector<quint32>{3, 0x01020304}));
}

void TstPeerParts::parser_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("chunk");           // 0: all at once
    QTest::addColumn<QString>("outcomes");    // R record, M malformed
    QTest::addColumn<QString>("error");       // part of the malformed reason
    QTest::addColumn<int>("left");            // bytes still buffered

    const QByteArray g = goodRecord();
    const int n = int(g.size());
    QTest::newRow("one record") << g << 0 << "R" << "" << 0;
    QTest::newRow("two records") << g + goodRecord(3, 5) << 0 << "RR" << "" << 0;
    QTest::newRow("chunks of 7") << g + goodRecord(0, 9) << 7 << "RR" << "" << 0;
    QTest::newRow("truncated header") << g.left(20) << 0 << "" << "" << 20;
    QTest::newRow("second truncated") << g + g.left(50) << 0 << "R" << "" << 50;
    QTest::newRow("length 0") << withU64(g, 16, 0) << 0 << "M" << "length field 0" << n;
    QTest::newRow("length above max") << withU64(g, 16, 70000) << 0 << "M" << "above 65536" << n;
    QTest::newRow("channel 4") << withU32(g, 0, 4) << 0 << "M" << "channel 4" << n;
    QTest::newRow("measuring 2") << withU64(g, 8, 2) << 0 << "M" << "measuring flag 2" << n;
    QTest::newRow("real time NaN") << withDouble(g, 24, std::nan("")) << 0 << "M" << "real time" << n;
    QTest::newRow("icr infinite")
        << withDouble(g, 40, -std::numeric_limits<double>::infinity()) << 0 << "M" << "count rate" << n;
    QTest::newRow("good then bad") << g + withU32(g, 0, 9) << 0 << "RM" << "channel 9" << n;
    QTest::newRow("bad header fed bytewise") << withU32(g, 0, 5) << 1 << "M" << "channel 5" << 48;
}

void TstPeerParts::parser()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, chunk);
    QFETCH(QString, outcomes);
    QFETCH(QString, error);
    QFETCH(int, left);

    McaRecordParser p;
    QString got;
    QString why;
    bool stop = false;
    const int step = chunk == 0 ? std::max<int>(1, int(bytes.size())) : chunk;
    for (int at = 0; at < bytes.size() && !stop; at += step) {
        p.append(bytes.mid(at, step));
        for (;;) {
            PeerRecord r;
            const McaRecordParser::Result res = p.next(r);
            if (res == McaRecordParser::Result::NeedMore)
                break;
            if (res == McaRecordParser::Result::Malformed) {
                got += QLatin1Char('M');
                why = p.error();
                stop = true;
                break;
            }
            got += QLatin1Char('R');
            QCOMPARE(r.bins.size(), qsizetype(r.length));
        }
    }
    QCOMPARE(got, outcomes);
    if (!error.isEmpty())
        QVERIFY2(why.contains(error), qPrintable(why));
    QCOMPARE(int(p.buffered()), left);
}

void TstPeerParts::transferCheck_data()
{
    QTest::addColumn<QString>("records");     // "ch:realtime[:marker]" ...
    QTest::addColumn<QStringList>("config");  // VEXDA texts; none: inferred
    QTest::addColumn<QString>("units");       // unit index per record
    QTest::addColumn<QString>("error");

    QTest::newRow("inferred one unit") << "0:1 1:1 2:1 3:1" << QStringList() << "0 0 0 0" << "";
    QTest::newRow("inferred by real time") << "0:1 1:2" << QStringList() << "0 1" << "";
    QTest::newRow("marker on third record") << "0:1:4 1:1:2 2:1:1" << QStringList() << "" << "record 2 carries the marker 1";
    QTest::newRow("config order") << "0:1 1:1 1:2 2:2 3:2"
                                  << QStringList{"dsp1 127.0.0.2 1 1 0 0", "dsp2 127.0.0.3 0 1 1 1"}
                                  << "0 0 1 1 1" << "";
    QTest::newRow("config channel mismatch") << "0:1 2:1"
                                             << QStringList{"dsp1 127.0.0.2 1 1 0 0"}
                                             << "" << "record 1 has channel 2; element 1 is channel 1 of dsp1";
    QTest::newRow("config one unit two real times") << "0:1 1:2"
                                                    << QStringList{"dsp1 127.0.0.2 1 1 0 0"}
                                                    << "" << "differ in real time";
}

void TstPeerParts::transferCheck()
{
    QFETCH(QString, records);
    QFETCH(QStringList, config);
    QFETCH(QString, units);
    QFETCH(QString, error);

    QList<PeerRecord> recs;
    for (const QString &r : records.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList f = r.split(QLatin1Char(':'));
        recs << PeerRecord::make(f.at(0).toUInt(), {1, 2, 3}, f.at(1).toDouble(), 0.5, 1.0, f.value(2).toUInt());
    }
    QList<ElementInfo> assigned;
    const QString why = TransferCheck::check(recs, ElementLayout::fromVexdaLines(config), assigned);
    if (!error.isEmpty()) {
        QVERIFY2(why.contains(error), qPrintable(why));
        return;
    }
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QStringList u;
    for (const ElementInfo &e : assigned)
        u << QString::number(e.unit);
    QCOMPARE(u.join(QLatin1Char(' ')), units);
    for (int k = 0; k < assigned.size(); ++k)
        QCOMPARE(assigned.at(k).channel, int(recs.at(k).channel));
}

void TstPeerParts::csvContents()
{
    McaCsv::Info info;
    info.element = 3;
    info.where = ElementInfo{1, QStringLiteral("dsp2"), 2};
    info.hasMeasCount = true;
    info.measCount = 4;
    info.hasMeasNum = true;
    info.measNum = 9;
    const PeerRecord r = PeerRecord::make(2, {5, 0, 4294967295u}, 2.00000001, 1.5, 1234.5, 0, 1);
    QCOMPARE(QString::fromUtf8(McaCsv::contents(r, info)),
             QStringLiteral("# element 3\n"
                            "# unit 1 (dsp2)\n"
                            "# channel 2\n"
                            "# real time 2.00000001 s\n"
                            "# live time 1.5 s\n"
                            "# ICR 1234.5\n"
                            "# measuring 1\n"
                            "# measurement count 4\n"
                            "# measurement number 9\n"
                            "# bins 3, counts 4294967300\n"
                            "bin,counts\n"
                            "0,5\n"
                            "1,0\n"
                            "2,4294967295\n"));
}

QTEST_MAIN(TstPeerParts)
#include "tst_peerparts.moc"
