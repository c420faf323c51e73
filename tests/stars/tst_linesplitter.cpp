#include <QTest>

#include "linesplitter.h"

using Chunks = QList<QByteArray>;

class TstLineSplitter : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void everyCutOfAStream();
    void largeLines_data();
    void largeLines();
    void boundedWhileSkipping();
    void clearForgetsAll();
};

// Runs the chunks through a splitter with the given limit; returns the lines
// and, through `dropped`, the number of lines dropped.
static QList<QByteArray> run(const Chunks &chunks, qsizetype limit, int &dropped)
{
    LineSplitter s(limit);
    QList<QByteArray> lines;
    dropped = 0;
    for (const QByteArray &c : chunks) {
        s.append(c);
        while (s.hasLine())
            lines << s.takeLine();
        dropped += s.takeDropped();
    }
    return lines;
}

void TstLineSplitter::split_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("dropped");

    const qsizetype big = LineSplitter::defaultMaxLine;
    QTest::newRow("one line") << Chunks{"a b\n"} << big << QList<QByteArray>{"a b\n"} << 0;
    QTest::newRow("two lines in one chunk") << Chunks{"a\nb\n"} << big << QList<QByteArray>{"a\n", "b\n"} << 0;
    QTest::newRow("no LF yet") << Chunks{"abc"} << big << QList<QByteArray>{} << 0;
    QTest::newRow("line over three chunks") << Chunks{"ab", "c", "d\n"} << big << QList<QByteArray>{"abcd\n"} << 0;
    QTest::newRow("CR LF kept for the parser") << Chunks{"a\r\n"} << big << QList<QByteArray>{"a\r\n"} << 0;
    QTest::newRow("CR inside") << Chunks{"a\rb\n"} << big << QList<QByteArray>{"a\rb\n"} << 0;
    QTest::newRow("empty lines") << Chunks{"\n\n"} << big << QList<QByteArray>{"\n", "\n"} << 0;
    QTest::newRow("NUL bytes") << Chunks{QByteArray("a\0b\n", 4)} << big << QList<QByteArray>{QByteArray("a\0b\n", 4)} << 0;
    QTest::newRow("empty chunk") << Chunks{"", "a\n", ""} << big << QList<QByteArray>{"a\n"} << 0;
    QTest::newRow("exactly the limit passes") << Chunks{"abcd\n"} << qsizetype(4) << QList<QByteArray>{"abcd\n"} << 0;
    QTest::newRow("one over the limit, complete") << Chunks{"abcde\nok\n"} << qsizetype(4) << QList<QByteArray>{"ok\n"} << 1;
    QTest::newRow("over the limit before its LF") << Chunks{"abcde", "fg\nok\n"} << qsizetype(4) << QList<QByteArray>{"ok\n"} << 1;
    QTest::newRow("over the limit across chunks") << Chunks{"ab", "cd", "e", "\nok\n"} << qsizetype(4) << QList<QByteArray>{"ok\n"} << 1;
    QTest::newRow("limit reached, LF arrives alone") << Chunks{"abcd", "\n"} << qsizetype(4) << QList<QByteArray>{"abcd\n"} << 0;
    QTest::newRow("skipping swallows chunks without LF") << Chunks{"abcdef", "xxxxxxxx", "yy", "y\nok\n"} << qsizetype(4) << QList<QByteArray>{"ok\n"} << 1;
    QTest::newRow("two long lines") << Chunks{"abcdefg\nhijklmn\nok\n"} << qsizetype(4) << QList<QByteArray>{"ok\n"} << 2;
    QTest::newRow("lines around a long one") << Chunks{"a\nabcdefg\nb\n"} << qsizetype(4) << QList<QByteArray>{"a\n", "b\n"} << 1;
}

void TstLineSplitter::split()
{
    QFETCH(Chunks, chunks);
    QFETCH(qsizetype, limit);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, dropped);
    int gotDropped = 0;
    QCOMPARE(run(chunks, limit, gotDropped), lines);
    QCOMPARE(gotDropped, dropped);
}

// The same stream cut at every position must give the same lines.
void TstLineSplitter::everyCutOfAStream()
{
    const QByteArray stream = "first\nabcdefghij\nsecond\r\n\nlast\nrest";
    const QList<QByteArray> expect{"first\n", "second\r\n", "\n", "last\n"};
    for (int cut = 0; cut <= stream.size(); ++cut) {
        for (int cut2 = cut; cut2 <= stream.size(); ++cut2) {
            int dropped = 0;
            const auto lines = run({stream.left(cut), stream.mid(cut, cut2 - cut), stream.mid(cut2)}, 8, dropped);
            QCOMPARE(lines, expect);
            QCOMPARE(dropped, 1);
        }
    }
}

void TstLineSplitter::largeLines_data()
{
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<bool>("passes");

    const qsizetype mib = qsizetype(1) << 20;
    QTest::newRow("64 KiB in one") << qsizetype(64 * 1024) << 1 << true;
    QTest::newRow("64 KiB in small chunks") << qsizetype(64 * 1024) << 1000 << true;
    QTest::newRow("1 MiB exactly") << mib << 4096 << true;
    QTest::newRow("1 MiB + 1") << mib + 1 << 4096 << false;
    QTest::newRow("3 MiB in chunks") << 3 * mib << 65536 << false;
}

void TstLineSplitter::largeLines()
{
    QFETCH(qsizetype, length);
    QFETCH(int, chunk);
    QFETCH(bool, passes);

    const QByteArray body(length, 'x');
    LineSplitter s;
    QByteArray stream = body + "\nnext\n";
    const qsizetype step = chunk == 1 ? stream.size() : chunk;
    for (qsizetype pos = 0; pos < stream.size(); pos += step)
        s.append(stream.mid(pos, step));
    if (passes) {
        QVERIFY(s.hasLine());
        QCOMPARE(s.takeLine(), body + "\n");
        QCOMPARE(s.takeDropped(), 0);
    } else {
        QCOMPARE(s.takeDropped(), 1);
    }
    QCOMPARE(s.takeLine(), QByteArray("next\n"));
    QVERIFY(!s.hasLine());
}

// While a long line is being dropped nothing of it is held.
void TstLineSplitter::boundedWhileSkipping()
{
    LineSplitter s(16);
    for (int i = 0; i < 1000; ++i) {
        s.append(QByteArray(10, 'y'));
        QVERIFY(s.partialSize() <= 16);
    }
    QVERIFY(s.isSkipping());
    QCOMPARE(s.takeDropped(), 1);
    s.append("tail\nok\n");
    QCOMPARE(s.takeLine(), QByteArray("ok\n"));
}

void TstLineSplitter::clearForgetsAll()
{
    LineSplitter s(4);
    s.append("a\nbcdefg");
    QVERIFY(s.isSkipping());
    s.clear();
    QVERIFY(!s.hasLine());
    QVERIFY(!s.isSkipping());
    QCOMPARE(s.takeDropped(), 0);
    s.append("ok\n");
    QCOMPARE(s.takeLine(), QByteArray("ok\n"));
}

QTEST_GUILESS_MAIN(TstLineSplitter)
#include "tst_linesplitter.moc"
