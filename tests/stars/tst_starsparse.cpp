// What the STARS link reads: lines cut out of the byte stream (over-long ones
// dropped) and each line taken apart into a message.
#include <QTest>

#include "amsg.h"
#include "linesplitter.h"

using Chunks = QList<QByteArray>;

class TstStarsParse : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void split_data();
    void split();
    void everyCutOfAStream();
    void boundedWhileSkipping();
};

// "KIND FROMNAME:FROMCH>TONAME:TOCH cmd[CMD] [P1][P2].. str[PARAMSTR]", or
// "not parsed: [HEAD][REST]".
static QString describe(const AMsg &m)
{
    if (!m.ok)
        return QStringLiteral("not parsed: [%1][%2]").arg(m.head, m.rest);
    QString params;
    for (const QString &p : m.params)
        params += QLatin1Char('[') + p + QLatin1Char(']');
    const QString kind = m.kind == AMsg::Ask ? QStringLiteral("ask") : m.kind == AMsg::Ans ? QStringLiteral("ans")
                                                                                         : QStringLiteral("event");
    return QStringLiteral("%1 %2:%3>%4:%5 cmd[%6] %7 str[%8]")
        .arg(kind, m.fromName, m.fromCh, m.toName, m.toCh, m.cmd, params, m.paramStr);
}

void TstStarsParse::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expect");

    const auto row = [](const char *tag, const QString &in, const char *out) {
        QTest::newRow(tag) << in << QString::fromUtf8(out);
    };
    row("ask", "Ravel>Marlo GetValue 3", "ask Ravel:>Marlo: cmd[GetValue] [3] str[ 3]");
    row("answer from a channel", "Marlo.ch1>Ravel @GetValue 123", "ans Marlo:ch1>Ravel: cmd[GetValue] [123] str[ 123]");
    row("event", "Ravel>Marlo _ChangedIsBusy 1", "event Ravel:>Marlo: cmd[ChangedIsBusy] [1] str[ 1]");
    row("two dots: only the first splits", "a.b.c>x.y.z y", "ask a:b.c>x:y.z cmd[y]  str[]");
    row("dot without channel", "Ravel.>Marlo. Hello", "ask Ravel:>Marlo: cmd[Hello]  str[]");
    row("one blank only: empty command", "Ravel>Marlo ", "ask Ravel:>Marlo: cmd[]  str[]");
    row("quoted parameter", "Ravel>Marlo Cmd \"a b\" 2", "ask Ravel:>Marlo: cmd[Cmd] [a b][2] str[ \"a b\" 2]");
    row("unclosed quote runs to the end", "Ravel>Marlo Cmd \"a b", "ask Ravel:>Marlo: cmd[Cmd] [a b] str[ \"a b]");
    row("empty quotes", "Ravel>Marlo Cmd \"\"", "ask Ravel:>Marlo: cmd[Cmd] [] str[ \"\"]");
    row("runs of blanks", "Ravel>Marlo GetValue   1    2", "ask Ravel:>Marlo: cmd[GetValue] [1][2] str[   1    2]");
    row("trailing blank: one more empty parameter", "Ravel>Marlo GetValue 1 ",
        "ask Ravel:>Marlo: cmd[GetValue] [1][] str[ 1 ]");
    row("tabs separate", "Ravel>Marlo\tSetROI\t1\t2", "ask Ravel:>Marlo: cmd[SetROI] [1][2] str[\t1\t2]");
    row("CR LF end", "Ravel>Marlo Hello\r\n", "ask Ravel:>Marlo: cmd[Hello]  str[]");
    row("CR inside removed", "Ravel>Ma\rrlo Hel\rlo 1\r", "ask Ravel:>Marlo: cmd[Hello] [1] str[ 1]");
    row("LF inside removed", "Ravel>Marlo Hello\nx", "ask Ravel:>Marlo: cmd[Hellox]  str[]");
    row("double mark keeps the second", "Ravel>Marlo @@x", "ans Ravel:>Marlo: cmd[@x]  str[]");
    row("second > belongs to the receiver", "Ravel>Marlo>X Hello", "ask Ravel:>Marlo>X: cmd[Hello]  str[]");
    row("leading blanks", "  Ravel>Marlo Hello", "ask Ravel:>Marlo: cmd[Hello]  str[]");
    row("quoted head", "\"Ravel>Marlo\" Hello", "ask Ravel:>Marlo: cmd[Hello]  str[]");
    QTest::newRow("NUL inside an item") << QString::fromUtf8("Ravel>Mar\0lo Hello", 18)
                                        << QString::fromUtf8("ask Ravel:>Mar\0lo: cmd[Hello]  str[]", 36);
    row("empty", "", "not parsed: [][]");
    row("blanks only", "   ", "not parsed: [][]");
    row("nothing after the head", "Ravel>Marlo\r\n", "not parsed: [Ravel>Marlo][]");
    row("no >", "RavelMarlo Hello", "not parsed: [RavelMarlo][ Hello]");
    row("whole line quoted", "\"Ravel>Marlo Hello\"", "not parsed: [Ravel>Marlo Hello][]");
    row("empty quoted head", "\"\" Hello", "not parsed: [][ Hello]");
}

void TstStarsParse::parse()
{
    QFETCH(QString, input);
    QFETCH(QString, expect);
    AMsg m;
    QCOMPARE(m.parse(input), m.ok);
    QCOMPARE(describe(m), expect);
    QCOMPARE(m.kind == AMsg::NotParsed, !m.ok);
    QCOMPARE(m.fromFull, m.fromCh.isEmpty() ? m.fromName : m.fromName + QLatin1Char('.') + m.fromCh);
    QCOMPARE(m.toFull, m.toCh.isEmpty() ? m.toName : m.toName + QLatin1Char('.') + m.toCh);
    QCOMPARE(m.param0, m.params.value(0));
    QCOMPARE(m.cmdId, 46);   // the command number is the dispatcher's
}

// Runs the chunks through a splitter with the given limit: the lines, then
// "dropped N".
static QList<QByteArray> run(const Chunks &chunks, qsizetype limit)
{
    LineSplitter s(limit);
    QList<QByteArray> lines;
    int dropped = 0;
    for (const QByteArray &c : chunks) {
        s.append(c);
        while (s.hasLine())
            lines << s.takeLine();
        dropped += s.takeDropped();
    }
    return lines << "dropped " + QByteArray::number(dropped);
}

void TstStarsParse::split_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<QList<QByteArray>>("lines");

    using L = QList<QByteArray>;
    const qsizetype big = LineSplitter::defaultMaxLine;
    QTest::newRow("two lines in one chunk") << Chunks{"a\nb\n"} << big << L{"a\n", "b\n", "dropped 0"};
    QTest::newRow("no LF yet") << Chunks{"abc"} << big << L{"dropped 0"};
    QTest::newRow("line over three chunks") << Chunks{"ab", "c", "d\n"} << big << L{"abcd\n", "dropped 0"};
    QTest::newRow("CR LF and NUL kept for the parser") << Chunks{QByteArray("a\0\r\n", 4)} << big
                                                       << L{QByteArray("a\0\r\n", 4), "dropped 0"};
    QTest::newRow("empty lines and chunks") << Chunks{"", "\n\n", ""} << big << L{"\n", "\n", "dropped 0"};
    QTest::newRow("exactly the limit passes") << Chunks{"abcd\n"} << qsizetype(4) << L{"abcd\n", "dropped 0"};
    QTest::newRow("limit reached, LF arrives alone") << Chunks{"abcd", "\n"} << qsizetype(4) << L{"abcd\n", "dropped 0"};
    QTest::newRow("one over the limit") << Chunks{"abcde\nok\n"} << qsizetype(4) << L{"ok\n", "dropped 1"};
    QTest::newRow("over the limit before its LF") << Chunks{"abcde", "fg\nok\n"} << qsizetype(4) << L{"ok\n", "dropped 1"};
    QTest::newRow("skipping swallows chunks without LF") << Chunks{"abcdef", "xxxxxxxx", "yy", "y\nok\n"} << qsizetype(4)
                                                         << L{"ok\n", "dropped 1"};
    QTest::newRow("two long lines") << Chunks{"abcdefg\nhijklmn\nok\n"} << qsizetype(4) << L{"ok\n", "dropped 2"};
    QTest::newRow("lines around a long one") << Chunks{"a\nabcdefg\nb\n"} << qsizetype(4) << L{"a\n", "b\n", "dropped 1"};
}

void TstStarsParse::split()
{
    QFETCH(Chunks, chunks);
    QFETCH(qsizetype, limit);
    QFETCH(QList<QByteArray>, lines);
    QCOMPARE(run(chunks, limit), lines);
}

// The same stream cut at any two places gives the same lines.
void TstStarsParse::everyCutOfAStream()
{
    const QByteArray stream = "first\nabcdefghij\nsecond\r\n\nlast\nrest";
    const QList<QByteArray> expect{"first\n", "second\r\n", "\n", "last\n", "dropped 1"};
    for (int cut = 0; cut <= stream.size(); ++cut) {
        for (int cut2 = cut; cut2 <= stream.size(); ++cut2)
            QCOMPARE(run({stream.left(cut), stream.mid(cut, cut2 - cut), stream.mid(cut2)}, 8), expect);
    }
}

// While a long line is being dropped nothing of it is held.
void TstStarsParse::boundedWhileSkipping()
{
    LineSplitter s(16);
    for (int i = 0; i < 1000; ++i) {
        s.append(QByteArray(10, 'y'));
        QVERIFY(s.partialSize() <= 16);
    }
    QCOMPARE(s.takeDropped(), 1);
    s.append("tail\nok\n");
    QCOMPARE(s.takeLine(), QByteArray("ok\n"));
}

QTEST_GUILESS_MAIN(TstStarsParse)
#include "tst_starsparse.moc"
