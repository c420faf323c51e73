#include <QSignalSpy>
#include <QTest>
#include <QVariant>

#include "amsg.h"

// Expected fields of one parsed line; empty strings where not named.
struct Expect {
    bool ok = false;
    QString line, head, rest, from, to, fromName, fromCh, fromFull, toName, toCh, toFull;
    QString cmd, param0, paramStr;
    QStringList params;
    AMsg::Kind kind = AMsg::NotParsed;
};
Q_DECLARE_METATYPE(Expect)

class TstAMsg : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void parse_data();
    void parse();
    void passesThroughQueuedSignal();
};

void TstAMsg::defaults()
{
    const AMsg m;
    QVERIFY(!m.ok);
    QCOMPARE(m.kind, AMsg::NotParsed);
    QVERIFY(m.line.isEmpty() && m.head.isEmpty() && m.cmd.isEmpty() && m.params.isEmpty());
    QCOMPARE(m.cmdId, 46);
}

namespace {

// A request/answer/event with the usual fields filled in from a few parts.
Expect msg(const QString &line, const QString &from, const QString &to, const QString &word,
           const QStringList &params, const QString &paramStr)
{
    Expect e;
    e.ok = true;
    e.line = line;
    const int sp = line.indexOf(QLatin1Char(' '));
    e.head = line.left(sp);
    e.rest = line.mid(sp);
    e.from = from;
    e.to = to;
    const auto split = [](const QString &a, QString &n, QString &c, QString &f) {
        const int dot = a.indexOf(QLatin1Char('.'));
        n = dot < 0 ? a : a.left(dot);
        c = dot < 0 ? QString() : a.mid(dot + 1);
        f = c.isEmpty() ? n : n + QLatin1Char('.') + c;
    };
    split(from, e.fromName, e.fromCh, e.fromFull);
    split(to, e.toName, e.toCh, e.toFull);
    if (word.startsWith(QLatin1Char('@'))) {
        e.kind = AMsg::Ans;
        e.cmd = word.mid(1);
    } else if (word.startsWith(QLatin1Char('_'))) {
        e.kind = AMsg::Event;
        e.cmd = word.mid(1);
    } else {
        e.kind = AMsg::Ask;
        e.cmd = word;
    }
    e.params = params;
    e.param0 = params.value(0);
    e.paramStr = paramStr;
    return e;
}

} // namespace

void TstAMsg::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<Expect>("expect");

    QTest::newRow("ask with one parameter")
        << "Ravel>Marlo GetValue 3"
        << msg("Ravel>Marlo GetValue 3", "Ravel", "Marlo", "GetValue", {"3"}, " 3");
    QTest::newRow("answer from a channel")
        << "Marlo.ch1>Ravel @GetValue 123"
        << msg("Marlo.ch1>Ravel @GetValue 123", "Marlo.ch1", "Ravel", "@GetValue", {"123"}, " 123");
    QTest::newRow("event")
        << "Ravel>Marlo _ChangedIsBusy 1"
        << msg("Ravel>Marlo _ChangedIsBusy 1", "Ravel", "Marlo", "_ChangedIsBusy", {"1"}, " 1");
    QTest::newRow("two dots: only the first splits")
        << "a.b.c>x.y.z y" << msg("a.b.c>x.y.z y", "a.b.c", "x.y.z", "y", {}, "");
    QTest::newRow("receiver channel")
        << "Ravel>Marlo.ch2 GetValue" << msg("Ravel>Marlo.ch2 GetValue", "Ravel", "Marlo.ch2", "GetValue", {}, "");
    QTest::newRow("dot without channel")
        << "Ravel.>Marlo. Hello" << msg("Ravel.>Marlo. Hello", "Ravel.", "Marlo.", "Hello", {}, "");
    QTest::newRow("one blank only: empty command")
        << "Ravel>Marlo " << msg("Ravel>Marlo ", "Ravel", "Marlo", "", {}, "");
    QTest::newRow("quoted parameter")
        << "Ravel>Marlo Cmd \"a b\" 2"
        << msg("Ravel>Marlo Cmd \"a b\" 2", "Ravel", "Marlo", "Cmd", {"a b", "2"}, " \"a b\" 2");
    QTest::newRow("unclosed quote runs to the end")
        << "Ravel>Marlo Cmd \"a b"
        << msg("Ravel>Marlo Cmd \"a b", "Ravel", "Marlo", "Cmd", {"a b"}, " \"a b");
    QTest::newRow("empty quotes")
        << "Ravel>Marlo Cmd \"\"" << msg("Ravel>Marlo Cmd \"\"", "Ravel", "Marlo", "Cmd", {""}, " \"\"");
    QTest::newRow("runs of blanks")
        << "Ravel>Marlo GetValue   1    2"
        << msg("Ravel>Marlo GetValue   1    2", "Ravel", "Marlo", "GetValue", {"1", "2"}, "   1    2");
    QTest::newRow("trailing blank: one more empty parameter")
        << "Ravel>Marlo GetValue 1 "
        << msg("Ravel>Marlo GetValue 1 ", "Ravel", "Marlo", "GetValue", {"1", ""}, " 1 ");
    QTest::newRow("tabs separate")
        << "Ravel>Marlo\tSetROI\t1\t2"
        << [] {
               Expect e = msg("Ravel>Marlo SetROI", "Ravel", "Marlo", "SetROI", {"1", "2"}, "\t1\t2");
               e.line = "Ravel>Marlo\tSetROI\t1\t2";
               e.rest = "\tSetROI\t1\t2";
               return e;
           }();
    QTest::newRow("LF end")
        << "Ravel>Marlo Hello\n" << msg("Ravel>Marlo Hello", "Ravel", "Marlo", "Hello", {}, "");
    QTest::newRow("CR LF end")
        << "Ravel>Marlo Hello\r\n" << msg("Ravel>Marlo Hello", "Ravel", "Marlo", "Hello", {}, "");
    QTest::newRow("CR inside removed")
        << "Ravel>Ma\rrlo Hel\rlo 1\r" << msg("Ravel>Marlo Hello 1", "Ravel", "Marlo", "Hello", {"1"}, " 1");
    QTest::newRow("LF inside removed")
        << "Ravel>Marlo Hello\nx" << msg("Ravel>Marlo Hellox", "Ravel", "Marlo", "Hellox", {}, "");
    QTest::newRow("bare @")
        << "Ravel>Marlo @" << msg("Ravel>Marlo @", "Ravel", "Marlo", "@", {}, "");
    QTest::newRow("bare _")
        << "Ravel>Marlo _" << msg("Ravel>Marlo _", "Ravel", "Marlo", "_", {}, "");
    QTest::newRow("double mark keeps the second")
        << "Ravel>Marlo @@x" << msg("Ravel>Marlo @@x", "Ravel", "Marlo", "@@x", {}, "");
    QTest::newRow("mark is case and position exact")
        << "Ravel>Marlo x@y" << msg("Ravel>Marlo x@y", "Ravel", "Marlo", "x@y", {}, "");
    QTest::newRow("command not case-folded")
        << "Ravel>Marlo hello" << msg("Ravel>Marlo hello", "Ravel", "Marlo", "hello", {}, "");
    QTest::newRow("empty sender")
        << ">Marlo Hello" << msg(">Marlo Hello", "", "Marlo", "Hello", {}, "");
    QTest::newRow("empty receiver")
        << "Ravel> Hello" << msg("Ravel> Hello", "Ravel", "", "Hello", {}, "");
    QTest::newRow("second > belongs to the receiver")
        << "Ravel>Marlo>X Hello" << msg("Ravel>Marlo>X Hello", "Ravel", "Marlo>X", "Hello", {}, "");
    QTest::newRow("leading blanks")
        << "  Ravel>Marlo Hello"
        << [] {
               Expect e = msg("Ravel>Marlo Hello", "Ravel", "Marlo", "Hello", {}, "");
               e.line = "  Ravel>Marlo Hello";
               return e;
           }();
    QTest::newRow("quoted head")
        << "\"Ravel>Marlo\" Hello"
        << [] {
               Expect e = msg("Ravel>Marlo Hello", "Ravel", "Marlo", "Hello", {}, "");
               e.line = "\"Ravel>Marlo\" Hello";
               return e;
           }();
    QTest::newRow("NUL inside an item")
        << QString::fromUtf8("Ravel>Mar\0lo Hello", 18)
        << msg(QString::fromUtf8("Ravel>Mar\0lo Hello", 18), "Ravel", QString::fromUtf8("Mar\0lo", 6), "Hello", {}, "");
    QTest::newRow("replacement character from bad UTF-8")
        << QString::fromUtf8("Ravel>Marlo Set \xff\xfe")
        << msg(QString::fromUtf8("Ravel>Marlo Set \xff\xfe"), "Ravel", "Marlo", "Set",
               {QString::fromUtf8("\xff\xfe")}, QString::fromUtf8(" \xff\xfe"));

    // Not messages.
    Expect none;
    QTest::newRow("empty") << "" << none;
    Expect blanks;
    blanks.line = "   ";
    QTest::newRow("blanks only") << "   " << blanks;
    Expect crlf;
    QTest::newRow("CR LF only") << "\r\n" << crlf;
    Expect noRest;
    noRest.line = noRest.head = "Ravel>Marlo";
    QTest::newRow("nothing after the head") << "Ravel>Marlo" << noRest;
    Expect noRestLf = noRest;
    QTest::newRow("nothing after the head, CR LF") << "Ravel>Marlo\r\n" << noRestLf;
    Expect noGt;
    noGt.line = "RavelMarlo Hello";
    noGt.head = "RavelMarlo";
    noGt.rest = " Hello";
    QTest::newRow("no >") << "RavelMarlo Hello" << noGt;
    Expect quotedAll;
    quotedAll.line = "\"Ravel>Marlo Hello\"";
    quotedAll.head = "Ravel>Marlo Hello";
    QTest::newRow("whole line quoted") << "\"Ravel>Marlo Hello\"" << quotedAll;
    Expect emptyHead;
    emptyHead.line = "\"\" Hello";
    emptyHead.rest = " Hello";
    QTest::newRow("empty quoted head") << "\"\" Hello" << emptyHead;
}

void TstAMsg::parse()
{
    QFETCH(QString, input);
    QFETCH(Expect, expect);

    AMsg m;
    QCOMPARE(m.parse(input), expect.ok);
    QCOMPARE(m.ok, expect.ok);
    QCOMPARE(m.line, expect.line);
    QCOMPARE(m.head, expect.head);
    QCOMPARE(m.rest, expect.rest);
    QCOMPARE(m.from, expect.from);
    QCOMPARE(m.to, expect.to);
    QCOMPARE(m.fromName, expect.fromName);
    QCOMPARE(m.fromCh, expect.fromCh);
    QCOMPARE(m.fromFull, expect.fromFull);
    QCOMPARE(m.toName, expect.toName);
    QCOMPARE(m.toCh, expect.toCh);
    QCOMPARE(m.toFull, expect.toFull);
    QCOMPARE(m.cmd, expect.cmd);
    QCOMPARE(m.params, expect.params);
    QCOMPARE(m.param0, expect.param0);
    QCOMPARE(m.paramStr, expect.paramStr);
    QCOMPARE(m.kind, expect.kind);
    QCOMPARE(m.cmdId, 46);   // parse leaves the command number to the dispatcher
}

// A sender whose signal carries an AMsg across threads' event queues.
class AMsgSender : public QObject
{
    Q_OBJECT
signals:
    void carry(AMsg m);
};

void TstAMsg::passesThroughQueuedSignal()
{
    AMsg::registerMetaType();
    QVERIFY(QMetaType::fromName("AMsg").isValid());

    AMsgSender sender;
    AMsg got;
    QObject::connect(&sender, &AMsgSender::carry, this, [&got](AMsg m) { got = m; }, Qt::QueuedConnection);
    AMsg m;
    QVERIFY(m.parse("Ravel>Marlo.ch1 SetROI 1 2 3"));
    m.cmdId = 21;
    emit sender.carry(m);
    QTRY_VERIFY(got.ok);
    QCOMPARE(got.toFull, QStringLiteral("Marlo.ch1"));
    QCOMPARE(got.params, QStringList({"1", "2", "3"}));
    QCOMPARE(got.cmdId, 21);

    const QVariant v = QVariant::fromValue(m);
    QCOMPARE(v.value<AMsg>().cmd, QStringLiteral("SetROI"));
}

QTEST_GUILESS_MAIN(TstAMsg)
#include "tst_amsg.moc"
