// The parts of marlo-peer that need no network: record parsing, transfer
// checks, steps, options, the element list, CSV and plot.
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

#include "elementlayout.h"
#include "mcarecordparser.h"
#include "peeroptions.h"
#include "peerrecord.h"
#include "peerstep.h"
#include "spectrumcsv.h"
#include "spectrumplot.h"
#include "starsline.h"
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
    void parserExpectedBins();
    void parserStaysOnMalformed();
    void transferCheck_data();
    void transferCheck();
    void starsLine_data();
    void starsLine();
    void steps_data();
    void steps();
    void script();
    void options_data();
    void options();
    void layout_data();
    void layout();
    void layoutFromFile();
    void csvFileName_data();
    void csvFileName();
    void csvContents();
    void csvUnwritable();
    void niceStep_data();
    void niceStep();
    void plotPixels();
    void plotScalesDiffer();
    void plotManyElements();
    void plotSave();
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
    QTest::newRow("byte by byte") << g + g << 1 << "RR" << "" << 0;
    QTest::newRow("chunks of 7") << g + goodRecord(0, 9) << 7 << "RR" << "" << 0;
    QTest::newRow("empty") << QByteArray() << 0 << "" << "" << 0;
    QTest::newRow("truncated header") << g.left(20) << 0 << "" << "" << 20;
    QTest::newRow("header only") << g.left(48) << 0 << "" << "" << 48;
    QTest::newRow("truncated bins") << g.left(n - 1) << 0 << "" << "" << n - 1;
    QTest::newRow("second truncated") << g + g.left(50) << 0 << "R" << "" << 50;
    QTest::newRow("stray bytes after") << g + QByteArray("Ack") << 0 << "R" << "" << 3;
    QTest::newRow("length 0") << withU64(g, 16, 0) << 0 << "M" << "length field 0" << n;
    QTest::newRow("length 1 too few") << withU64(g, 16, 1) << 0 << "R" << "" << 4;
    QTest::newRow("length above max") << withU64(g, 16, 70000) << 0 << "M" << "above 65536" << n;
    QTest::newRow("length 2^63") << withU64(g, 16, quint64(1) << 63) << 0 << "M" << "above" << n;
    QTest::newRow("length all ones") << withU64(g, 16, ~quint64(0)) << 0 << "M" << "above" << n;
    QTest::newRow("channel 4") << withU32(g, 0, 4) << 0 << "M" << "channel 4" << n;
    QTest::newRow("channel huge") << withU32(g, 0, 0xffffffffu) << 0 << "M" << "channel" << n;
    QTest::newRow("measuring 2") << withU64(g, 8, 2) << 0 << "M" << "measuring flag 2" << n;
    QTest::newRow("real time NaN") << withDouble(g, 24, std::nan("")) << 0 << "M" << "real time" << n;
    QTest::newRow("real time negative") << withDouble(g, 24, -1.0) << 0 << "M" << "real time" << n;
    QTest::newRow("live time negative") << withDouble(g, 32, -0.5) << 0 << "M" << "live time" << n;
    QTest::newRow("live time infinite")
        << withDouble(g, 32, std::numeric_limits<double>::infinity()) << 0 << "M" << "live time" << n;
    QTest::newRow("icr infinite")
        << withDouble(g, 40, -std::numeric_limits<double>::infinity()) << 0 << "M" << "count rate" << n;
    QTest::newRow("icr negative is accepted") << withDouble(g, 40, -3.0) << 0 << "R" << "" << 0;
    QTest::newRow("good then bad") << g + withU32(g, 0, 9) << 0 << "RM" << "channel 9" << n;
    QTest::newRow("bad header judged before its bins")
        << withU64(g, 16, 0).left(48) << 0 << "M" << "length field 0" << 48;
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

void TstPeerParts::parserExpectedBins()
{
    McaRecordParser p;
    p.setExpectedBins(4);
    p.append(goodRecord(0, 4) + goodRecord(1, 2));
    PeerRecord r;
    QCOMPARE(p.next(r), McaRecordParser::Result::Record);
    QCOMPARE(p.next(r), McaRecordParser::Result::Malformed);
    QVERIFY(p.error().contains(QLatin1String("expected 4")));
}

void TstPeerParts::parserStaysOnMalformed()
{
    McaRecordParser p;
    p.append(withU32(goodRecord(), 0, 4) + goodRecord());
    PeerRecord r;
    QCOMPARE(p.next(r), McaRecordParser::Result::Malformed);
    QCOMPARE(p.next(r), McaRecordParser::Result::Malformed);
    p.clear();
    QCOMPARE(p.buffered(), 0);
    p.append(goodRecord());
    QCOMPARE(p.next(r), McaRecordParser::Result::Record);
}

void TstPeerParts::transferCheck_data()
{
    QTest::addColumn<QString>("records");     // "ch:realtime[:marker]" ...
    QTest::addColumn<QStringList>("config");  // VEXDA texts; none: inferred
    QTest::addColumn<QString>("units");       // unit index per record
    QTest::addColumn<QString>("error");

    QTest::newRow("inferred one unit") << "0:1 1:1 2:1 3:1" << QStringList() << "0 0 0 0" << "";
    QTest::newRow("inferred two units by channel") << "0:1 1:1 0:1 1:1" << QStringList() << "0 0 1 1" << "";
    QTest::newRow("inferred channel 2 then 0") << "2:1 0:1 3:1" << QStringList() << "0 1 1" << "";
    QTest::newRow("inferred by real time") << "0:1 1:2" << QStringList() << "0 1" << "";
    QTest::newRow("empty transfer") << "" << QStringList() << "" << "";
    QTest::newRow("marker on third record") << "0:1:4 1:1:2 2:1:1" << QStringList() << "" << "record 2 carries the marker 1";
    QTest::newRow("markers on first two") << "0:1:4 1:1:2 2:1:0" << QStringList() << "0 0 0" << "";
    QTest::newRow("config order") << "0:1 1:1 1:2 2:2 3:2"
                                  << QStringList{"dsp1 127.0.0.2 1 1 0 0", "dsp2 127.0.0.3 0 1 1 1"}
                                  << "0 0 1 1 1" << "";
    QTest::newRow("config channel mismatch") << "0:1 2:1"
                                             << QStringList{"dsp1 127.0.0.2 1 1 0 0"}
                                             << "" << "record 1 has channel 2; element 1 is channel 1 of dsp1";
    QTest::newRow("config count mismatch") << "0:1"
                                           << QStringList{"dsp1 127.0.0.2 1 1 0 0"}
                                           << "" << "1 records for 2 elements";
    QTest::newRow("config one unit two real times") << "0:1 1:2"
                                                    << QStringList{"dsp1 127.0.0.2 1 1 0 0"}
                                                    << "" << "differ in real time";
    QTest::newRow("config two units same channels") << "0:1 0:1"
                                                    << QStringList{"a 1 1 0 0 0", "b 2 1 0 0 0"}
                                                    << "0 1" << "";
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

void TstPeerParts::starsLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("fromName");
    QTest::addColumn<QString>("cmd");
    QTest::addColumn<QString>("text");

    QTest::newRow("answer") << "Marlo>Ravel @GetValues 1 2 3" << true << int(StarsLine::Answer) << "Marlo" << "GetValues" << "1 2 3";
    QTest::newRow("answer from channel") << "Marlo.dsp1>Ravel @Status SFilterPeakingT 1 160 0xa0" << true
                                         << int(StarsLine::Answer) << "Marlo" << "Status" << "SFilterPeakingT 1 160 0xa0";
    QTest::newRow("event") << "Marlo>Ravel _ChangedIsBusy 0\r\n" << true << int(StarsLine::Event) << "Marlo" << "ChangedIsBusy" << "0";
    QTest::newRow("request") << "Marlo>Ravel Hello" << true << int(StarsLine::Ask) << "Marlo" << "Hello" << "";
    QTest::newRow("empty answer") << "Marlo>Ravel @GetRealTimes " << true << int(StarsLine::Answer) << "Marlo" << "GetRealTimes" << "";
    QTest::newRow("blanks kept in text") << "Marlo>Ravel @Help :  two  blanks" << true << int(StarsLine::Answer)
                                         << "Marlo" << "Help" << ":  two  blanks";
    QTest::newRow("no >") << "MarloRavel @Hello x" << false << 0 << "" << "" << "";
    QTest::newRow("no word") << "Marlo>Ravel" << false << 0 << "Marlo" << "" << "";
    QTest::newRow("empty") << "" << false << 0 << "" << "" << "";
}

void TstPeerParts::starsLine()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(int, kind);
    QFETCH(QString, fromName);
    QFETCH(QString, cmd);
    QFETCH(QString, text);
    const StarsLine l = StarsLine::parse(line);
    QCOMPARE(l.ok, ok);
    if (!ok)
        return;
    QCOMPARE(int(l.kind), kind);
    QCOMPARE(l.fromName, fromName);
    QCOMPARE(l.cmd, cmd);
    QCOMPARE(l.text, text);
}

void TstPeerParts::steps_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("what");   // request, or event + args
    QTest::addColumn<int>("ms");

    QTest::newRow("blank") << "   " << int(PeerStep::Nothing) << "" << "" << 0;
    QTest::newRow("comment") << "# RunStart 1" << int(PeerStep::Nothing) << "" << "" << 0;
    QTest::newRow("request") << "  SetPresetValue 2 " << int(PeerStep::Request) << "" << "SetPresetValue 2" << 0;
    QTest::newRow("request with tab") << "SetROIs\t100 900" << int(PeerStep::Request) << "" << "SetROIs\t100 900" << 0;
    QTest::newRow("to a unit") << ">Marlo.dsp1 Status SFilterPeakingT 1" << int(PeerStep::Request) << "Marlo.dsp1"
                               << "Status SFilterPeakingT 1" << 0;
    QTest::newRow("receiver only") << ">Marlo" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("empty receiver") << "> Hello" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("wait with value") << "wait ChangedIsBusy 0" << int(PeerStep::Wait) << "" << "ChangedIsBusy 0" << 0;
    QTest::newRow("wait any value") << "wait\tChangedHVStat" << int(PeerStep::Wait) << "" << "ChangedHVStat" << 0;
    QTest::newRow("wait alone") << "wait" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("wait-timeout") << "wait-timeout 30000" << int(PeerStep::WaitTimeout) << "" << "" << 30000;
    QTest::newRow("wait-timeout bad") << "wait-timeout soon" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("sleep") << "sleep 250" << int(PeerStep::Sleep) << "" << "" << 250;
    QTest::newRow("sleep negative") << "sleep -1" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("sleep two") << "sleep 1 2" << int(PeerStep::Invalid) << "" << "" << 0;
    QTest::newRow("waiting is a request") << "waiting 5" << int(PeerStep::Request) << "" << "waiting 5" << 0;
}

void TstPeerParts::steps()
{
    QFETCH(QString, line);
    QFETCH(int, kind);
    QFETCH(QString, to);
    QFETCH(QString, what);
    QFETCH(int, ms);
    const PeerStep s = PeerStep::parse(line);
    QCOMPARE(int(s.kind), kind);
    if (kind == PeerStep::Invalid) {
        QVERIFY(!s.error.isEmpty());
        return;
    }
    QCOMPARE(s.to, to);
    if (kind == PeerStep::Request) {
        QCOMPARE(s.request, what);
        QCOMPARE(s.cmd, what.split(QRegularExpression(QStringLiteral("\\s+"))).first());
    }
    if (kind == PeerStep::Wait)
        QCOMPARE((QStringList{s.event} + s.args).join(QLatin1Char(' ')), what);
    QCOMPARE(s.ms, ms);
}

void TstPeerParts::script()
{
    QString why;
    const QList<PeerStep> s = PeerStep::parseScript(
        QStringLiteral("# demo\r\nHello\r\n\r\nRunStart 1\nwait ChangedIsBusy 0\nGetMCAs"), &why);
    QVERIFY(why.isEmpty());
    QCOMPARE(s.size(), 4);
    QCOMPARE(s.at(0).request, QStringLiteral("Hello"));
    QCOMPARE(int(s.at(2).kind), int(PeerStep::Wait));
    QCOMPARE(s.at(3).cmd, QStringLiteral("GetMCAs"));

    const QList<PeerStep> bad = PeerStep::parseScript(QStringLiteral("Hello\n\nsleep x\n"), &why);
    QVERIFY(bad.isEmpty());
    QVERIFY2(why.startsWith(QLatin1String("line 3:")), qPrintable(why));
}

void TstPeerParts::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("check");   // "field=value" or an error part

    QTest::newRow("defaults") << QStringList() << true << "name=Ravel key=Ravel.key marlo=Marlo port=6057";
    QTest::newRow("requests") << QStringList{"Hello", "GetValues"} << true << "requests=Hello|GetValues";
    QTest::newRow("after --") << QStringList{"--", "--help"} << true << "requests=--help";
    QTest::newRow("name gives key") << QStringList{"--name", "Bolero"} << true << "key=Bolero.key";
    QTest::newRow("key") << QStringList{"--key", "k/R.key"} << true << "key=k/R.key";
    QTest::newRow("port") << QStringList{"--port", "16057"} << true << "port=16057";
    QTest::newRow("port 0") << QStringList{"--port", "0"} << false << "--port needs a number";
    QTest::newRow("port text") << QStringList{"--port", "x"} << false << "--port needs a number";
    QTest::newRow("missing value") << QStringList{"--host"} << false << "--host needs a value";
    QTest::newRow("unknown") << QStringList{"--frob"} << false << "unknown option --frob";
    QTest::newRow("name with dot") << QStringList{"--name", "a.b"} << false << "--name needs";
    QTest::newRow("roi") << QStringList{"--roi", "100:900", "--roi", "5:5"} << true << "rois=100-900,5-5";
    QTest::newRow("roi marlo") << QStringList{"--roi", "marlo"} << true << "roisFromMarlo=1";
    QTest::newRow("roi reversed") << QStringList{"--roi", "9:1"} << false << "--roi needs";
    QTest::newRow("roi one number") << QStringList{"--roi", "9"} << false << "--roi needs";
    QTest::newRow("plot size") << QStringList{"--plot-size", "800x600"} << true << "plot=800x600";
    QTest::newRow("plot size tiny") << QStringList{"--plot-size", "10x10"} << false << "--plot-size needs";
    QTest::newRow("get-mcas") << QStringList{"--get-mcas", "out", "--log"} << true << "mcaDir=out log=1";
    QTest::newRow("retries") << QStringList{"--retries", "0"} << true << "retries=0";
    QTest::newRow("retries too many") << QStringList{"--retries", "101"} << false << "--retries needs";
}

void TstPeerParts::options()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, check);
    PeerOptions o;
    QCOMPARE(o.parse(QStringList{QStringLiteral("marlo-peer")} + args), ok);
    if (!ok) {
        QVERIFY2(o.error.contains(check), qPrintable(o.error));
        return;
    }
    QStringList rois;
    for (const auto &r : o.rois)
        rois << QStringLiteral("%1-%2").arg(r.first).arg(r.second);
    const QHash<QString, QString> got{
        {"name", o.name}, {"key", o.effectiveKeyFile()}, {"marlo", o.marlo}, {"port", QString::number(o.port)},
        {"requests", o.requests.join(QLatin1Char('|'))}, {"rois", rois.join(QLatin1Char(','))},
        {"roisFromMarlo", QString::number(o.roisFromMarlo)},
        {"plot", QStringLiteral("%1x%2").arg(o.plotSize.width()).arg(o.plotSize.height())},
        {"mcaDir", o.mcaDir}, {"log", QString::number(o.logScale)}, {"retries", QString::number(o.retries)},
    };
    for (const QString &kv : check.split(QLatin1Char(' '))) {
        const QString k = kv.section(QLatin1Char('='), 0, 0);
        QVERIFY2(got.contains(k), qPrintable(k));
        QCOMPARE(got.value(k), kv.section(QLatin1Char('='), 1));
    }
}

void TstPeerParts::layout_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("elements");   // unit:name:channel ...

    QTest::newRow("none") << QStringList() << "";
    QTest::newRow("two units") << QStringList{"dsp1 127.0.0.2 1 1 0 0", "dsp2 127.0.0.3 0 1 1 1 B"}
                               << "0:dsp1:0 0:dsp1:1 1:dsp2:1 1:dsp2:2 1:dsp2:3";
    QTest::newRow("flags not exactly 1") << QStringList{"u 1.2.3.4 01 2 yes 1"} << "0:u:0 0:u:3";
    QTest::newRow("missing flags are off") << QStringList{"u 1.2.3.4 1"} << "0:u:0";
    QTest::newRow("unit without elements keeps its index") << QStringList{"a x 0 0 0 0", "b y 0 0 1 0"} << "1:b:2";
    QTest::newRow("quoted name") << QStringList{"\"my unit\" 127.0.0.2 1 0 0 0"} << "0:my unit:0";
}

void TstPeerParts::layout()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, elements);
    QStringList got;
    for (const ElementInfo &e : ElementLayout::fromVexdaLines(lines))
        got << QStringLiteral("%1:%2:%3").arg(e.unit).arg(e.unitName).arg(e.channel);
    QCOMPARE(got.join(QLatin1Char(' ')), elements);
}

void TstPeerParts::layoutFromFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.cfg"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("STARS_IP 127.0.0.1\nVEXDA dsp1 127.0.0.2 1 1 1 1 # four\nvexda dsp2 127.0.0.3 1 0 1 0 B\nVEXHV hv 127.0.0.4\n");
    f.close();
    QList<ElementInfo> e;
    QString why;
    QVERIFY(ElementLayout::fromConfig(path, e, &why));
    QCOMPARE(e.size(), 6);
    QCOMPARE(e.at(4), (ElementInfo{1, QStringLiteral("dsp2"), 0}));
    QCOMPARE(e.at(5), (ElementInfo{1, QStringLiteral("dsp2"), 2}));
    QVERIFY(!ElementLayout::fromConfig(dir.filePath(QStringLiteral("none.cfg")), e, &why));
    QVERIFY(why.contains(QLatin1String("none.cfg")));
}

void TstPeerParts::csvFileName_data()
{
    QTest::addColumn<int>("element");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("file");
    QTest::newRow("named") << 3 << 1 << "dsp2" << 1 << "mca_e03_dsp2_ch1.csv";
    QTest::newRow("unnamed") << 12 << 4 << "" << 3 << "mca_e12_u4_ch3.csv";
    QTest::newRow("odd characters") << 0 << 0 << "a/b c" << 0 << "mca_e00_a_b_c_ch0.csv";
    QTest::newRow("three digits") << 100 << 0 << "u" << 0 << "mca_e100_u_ch0.csv";
}

void TstPeerParts::csvFileName()
{
    QFETCH(int, element);
    QFETCH(int, unit);
    QFETCH(QString, name);
    QFETCH(int, channel);
    QFETCH(QString, file);
    SpectrumCsv::Info info;
    info.element = element;
    info.where = ElementInfo{unit, name, channel};
    QCOMPARE(SpectrumCsv::fileName(info), file);
}

void TstPeerParts::csvContents()
{
    SpectrumCsv::Info info;
    info.element = 3;
    info.where = ElementInfo{1, QStringLiteral("dsp2"), 2};
    info.hasMeasCount = true;
    info.measCount = 4;
    info.hasMeasNum = true;
    info.measNum = 9;
    const PeerRecord r = PeerRecord::make(2, {5, 0, 4294967295u}, 2.00000001, 1.5, 1234.5, 0, 1);
    QCOMPARE(QString::fromUtf8(SpectrumCsv::contents(r, info)),
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

    SpectrumCsv::Info lone;
    lone.hasMeasCount = true;
    const QString one = QString::fromUtf8(SpectrumCsv::contents(PeerRecord::make(0, {1}), lone));
    QVERIFY(one.contains(QLatin1String("# unit 0\n")));
    QVERIFY(one.contains(QLatin1String("# measurement number -\n")));

    QTemporaryDir dir;
    const QString path = dir.filePath(SpectrumCsv::fileName(info));
    QString why;
    QVERIFY(SpectrumCsv::write(path, r, info, &why));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), SpectrumCsv::contents(r, info));
}

void TstPeerParts::csvUnwritable()
{
    QTemporaryDir dir;
    QString why;
    QVERIFY(!SpectrumCsv::write(dir.filePath(QStringLiteral("no/such/dir/x.csv")), PeerRecord::make(0, {1}),
                                SpectrumCsv::Info(), &why));
    QVERIFY(why.contains(QLatin1String("x.csv")));
}

void TstPeerParts::niceStep_data()
{
    QTest::addColumn<double>("range");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<double>("step");
    QTest::newRow("4096/8") << 4096.0 << 8 << 1000.0;
    QTest::newRow("100/6") << 100.0 << 6 << 20.0;
    QTest::newRow("7/6") << 7.0 << 6 << 2.0;
    QTest::newRow("1/6") << 1.0 << 6 << 0.2;
    QTest::newRow("zero") << 0.0 << 6 << 1.0;
    QTest::newRow("NaN") << std::nan("") << 6 << 1.0;
}

void TstPeerParts::niceStep()
{
    QFETCH(double, range);
    QFETCH(int, ticks);
    QFETCH(double, step);
    QCOMPARE(SpectrumPlot::niceStep(range, ticks), step);
}

void TstPeerParts::plotPixels()
{
    // Zero spectra: the lines lie on the axis, the band is clear to see.
    QList<PeerRecord> recs{PeerRecord::make(0, QVector<quint32>(100, 0)), PeerRecord::make(1, QVector<quint32>(100, 0))};
    SpectrumPlot::Options o;
    o.size = QSize(400, 300);
    o.rois = {qMakePair(10, 20), qMakePair(10, 20)};
    const QImage img = SpectrumPlot::render(recs, {QStringLiteral("a"), QStringLiteral("b")}, o);
    QCOMPARE(img.size(), QSize(400, 300));
    QCOMPARE(img.pixelColor(2, 2), QColor(Qt::white));
    // Inside the band (bins 10 to 20 span x 113 to 145 of the 292-pixel
    // plot area starting at x 84), between two grid lines.
    const QColor band = img.pixelColor(128, 190);
    QVERIFY2(band.red() > 235 && band.blue() < 215, qPrintable(band.name()));
    // Outside the band.
    QCOMPARE(img.pixelColor(200, 190).blue() > 215, true);
}

void TstPeerParts::plotScalesDiffer()
{
    QVector<quint32> peak(512, 3);
    for (int i = 200; i < 220; ++i)
        peak[i] = 100000;
    const QList<PeerRecord> recs{PeerRecord::make(0, peak)};
    SpectrumPlot::Options o;
    o.size = QSize(400, 300);
    const QImage lin = SpectrumPlot::render(recs, {QStringLiteral("e0")}, o);
    o.logScale = true;
    const QImage log = SpectrumPlot::render(recs, {QStringLiteral("e0")}, o);
    QVERIFY(lin != log);
    // The background level 3 lies on the axis in linear scale and well above
    // it in log scale: look for the element's colour in a column outside the peak.
    const QColor c = SpectrumPlot::colour(0);
    auto highestHit = [&](const QImage &img, int x) {
        for (int y = 44; y < 247; ++y) {
            const QColor p = img.pixelColor(x, y);
            if (p.blue() > p.red() + 60 && std::abs(p.blue() - c.blue()) < 60)
                return y;
        }
        return -1;
    };
    const int yLin = highestHit(lin, 100);
    const int yLog = highestHit(log, 100);
    QVERIFY2(yLog > 0 && yLog < 240 && (yLin < 0 || yLin > yLog + 20), qPrintable(QStringLiteral("lin %1 log %2").arg(yLin).arg(yLog)));
}

void TstPeerParts::plotManyElements()
{
    QList<PeerRecord> recs;
    QStringList labels;
    for (int k = 0; k < 40; ++k) {
        recs << PeerRecord::make(quint32(k % 4), QVector<quint32>(4096, quint32(k)));
        labels << QStringLiteral("e%1").arg(k);
    }
    SpectrumPlot::Options o;
    o.size = QSize(300, 200);
    const QImage img = SpectrumPlot::render(recs, labels, o);
    QCOMPARE(img.size(), QSize(300, 200));
    // No records at all still give a framed, empty plot.
    QCOMPARE(SpectrumPlot::render({}, {}, o).size(), QSize(300, 200));
}

void TstPeerParts::plotSave()
{
    QTemporaryDir dir;
    const QImage img = SpectrumPlot::render({PeerRecord::make(0, {1, 2, 3})}, {QStringLiteral("e0")}, SpectrumPlot::Options());
    const QString path = dir.filePath(QStringLiteral("mcas.png"));
    QString why;
    QVERIFY(SpectrumPlot::save(img, path, &why));
    QImage back(path);
    QCOMPARE(back.size(), img.size());
    QCOMPARE(back.convertToFormat(QImage::Format_RGB32), img.convertToFormat(QImage::Format_RGB32));
    QVERIFY(!SpectrumPlot::save(img, dir.filePath(QStringLiteral("no/dir/x.png")), &why));
    QVERIFY(!why.isEmpty());
}

QTEST_MAIN(TstPeerParts)
#include "tst_peerparts.moc"
