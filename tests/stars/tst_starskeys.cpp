#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "starshistory.h"
#include "starskeys.h"

class TstStarsKeys : public QObject
{
    Q_OBJECT

private slots:
    void keysOf_data();
    void keysOf();
    void challenge_data();
    void challenge();
    void keyIndex_data();
    void keyIndex();
    void authOk_data();
    void authOk();
    void keyLine();
    void historyRead_data();
    void historyRead();
    void historyRecord();
    void historyUnreadable();
};

void TstStarsKeys::keysOf_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("three keys") << QByteArray("k0\nk1\nk2\n") << QStringList{"k0", "k1", "k2"};
    QTest::newRow("blank lines count") << QByteArray("k0\n\nk2\n") << QStringList{"k0", "", "k2"};
    QTest::newRow("last line empty") << QByteArray("k0\nk1\n\n") << QStringList{"k0", "k1", ""};
    QTest::newRow("text after the last LF is no line") << QByteArray("k0\nk1") << QStringList{"k0"};
    QTest::newRow("no LF at all") << QByteArray("k0") << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("CR LF ends") << QByteArray("k0\r\nk1\r\n") << QStringList{"k0", "k1"};
    QTest::newRow("simplified") << QByteArray("  a   b \t\nc\n") << QStringList{"a b", "c"};
    QTest::newRow("blanks only line is an empty key") << QByteArray(" \t \nx\n") << QStringList{"", "x"};
    QTest::newRow("UTF-8") << QByteArray("k\xc3\xa9\n") << QStringList{QString::fromUtf8("k\xc3\xa9")};
}

void TstStarsKeys::keysOf()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, keys);
    QCOMPARE(StarsKeys::keysOf(contents), keys);
}

void TstStarsKeys::challenge_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<qint64>("n");

    QTest::newRow("plain") << "7\n" << qint64(7);
    QTest::newRow("CR LF") << "7\r\n" << qint64(7);
    QTest::newRow("blanks around") << "  1234 \n" << qint64(1234);
    QTest::newRow("zero") << "0\n" << qint64(0);
    QTest::newRow("upper bound") << "10000\n" << qint64(10000);
    QTest::newRow("negative") << "-7\n" << qint64(-7);
    QTest::newRow("plus sign") << "+7\n" << qint64(7);
    QTest::newRow("not a number") << "System>Marlo Ok:\n" << qint64(0);
    QTest::newRow("number and text") << "7 x\n" << qint64(0);
    QTest::newRow("hex is not decimal") << "0x10\n" << qint64(0);
    QTest::newRow("empty") << "\n" << qint64(0);
    QTest::newRow("beyond 64 bits") << "99999999999999999999\n" << qint64(0);
    QTest::newRow("large") << "9000000000\n" << qint64(9000000000LL);
}

void TstStarsKeys::challenge()
{
    QFETCH(QString, line);
    QFETCH(qint64, n);
    QCOMPARE(StarsKeys::challengeOf(line), n);
}

void TstStarsKeys::keyIndex_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");

    QTest::newRow("7 of 3") << qint64(7) << 3 << 1;
    QTest::newRow("0 of 3") << qint64(0) << 3 << 0;
    QTest::newRow("2 of 3") << qint64(2) << 3 << 2;
    QTest::newRow("3 of 3") << qint64(3) << 3 << 0;
    QTest::newRow("10000 of 7") << qint64(10000) << 7 << 10000 % 7;
    QTest::newRow("any of 1") << qint64(9999) << 1 << 0;
    QTest::newRow("-1 of 3") << qint64(-1) << 3 << 2;
    QTest::newRow("-7 of 3") << qint64(-7) << 3 << 2;
    QTest::newRow("-3 of 3") << qint64(-3) << 3 << 0;
    QTest::newRow("most negative") << std::numeric_limits<qint64>::min() << 3 << 1;
    QTest::newRow("large") << qint64(9000000000LL) << 7 << int(9000000000LL % 7);
}

void TstStarsKeys::keyIndex()
{
    QFETCH(qint64, n);
    QFETCH(int, count);
    QFETCH(int, index);
    QCOMPARE(StarsKeys::keyIndex(n, count), index);
}

void TstStarsKeys::authOk_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");

    QTest::newRow("exact") << "System>Marlo Ok:\n" << "Marlo" << true;
    QTest::newRow("anything may follow") << "System>Marlo Ok: welcome\n" << "Marlo" << true;
    QTest::newRow("CR LF") << "System>Marlo Ok:\r\n" << "Marlo" << true;
    QTest::newRow("case matters") << "System>marlo Ok:\n" << "Marlo" << false;
    QTest::newRow("refusal") << "System> Er: Bad node name or key\n" << "Marlo" << false;
    QTest::newRow("other node") << "System>Ravel Ok:\n" << "Marlo" << false;
    QTest::newRow("longer name does not match") << "System>MarloX Ok:\n" << "Marlo" << false;
    QTest::newRow("leading blank") << " System>Marlo Ok:\n" << "Marlo" << false;
    QTest::newRow("challenge") << "1234\n" << "Marlo" << false;
    QTest::newRow("Ok without colon") << "System>Marlo Ok\n" << "Marlo" << false;
}

void TstStarsKeys::authOk()
{
    QFETCH(QString, line);
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QCOMPARE(StarsKeys::isAuthOk(line, name), ok);
}

void TstStarsKeys::keyLine()
{
    QCOMPARE(StarsKeys::keyLine("Marlo", "k1"), QStringLiteral("Marlo k1"));
    QCOMPARE(StarsKeys::keyLine("Marlo", ""), QStringLiteral("Marlo "));
    QCOMPARE(StarsKeys::keyLine("Marlo", "%1 x"), QStringLiteral("Marlo %1 x"));
}

void TstStarsKeys::historyRead_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");

    QTest::newRow("empty") << QByteArray() << "" << "";
    QTest::newRow("one of each") << QByteArray("A: h1\nP: 6057\n") << "h1" << "6057";
    QTest::newRow("later lines win") << QByteArray("A: h1\nP: 1\nA: h2\nP: 2\n") << "h2" << "2";
    QTest::newRow("lower case tag") << QByteArray("a: myhost\np: 7\n") << "myhost" << "7";
    QTest::newRow("short lines skipped") << QByteArray("A: h1\nA:\nP:\n\n") << "h1" << "";
    QTest::newRow("runs of blanks") << QByteArray("  A:    h1   extra\n") << "h1" << "";
    QTest::newRow("unknown tags") << QByteArray("B: x\nA h\nA: h\n") << "h" << "";
    QTest::newRow("tag glued to value") << QByteArray("A:h\n") << "" << "";
    QTest::newRow("no final LF") << QByteArray("A: h1\nA: h2") << "h2" << "";
    QTest::newRow("CR LF") << QByteArray("A: h1\r\nP: 9\r\n") << "h1" << "9";
}

void TstStarsKeys::historyRead()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QTemporaryDir dir;
    const QString path = dir.filePath("SSVHistory.dat");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contents);
    f.close();
    QString h = "x", p = "y";
    StarsHistory(path).read(h, p);
    QCOMPARE(h, host);
    QCOMPARE(p, port);
}

void TstStarsKeys::historyRecord()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("SSVHistory.dat");
    const StarsHistory h(path);
    h.recordHost("h1");
    h.recordHost("h1");          // same as the last one: nothing
    h.recordPort("6057");
    h.recordHost("h2");
    h.recordHost("h1");          // differs from the last one: recorded again
    h.recordPort("6057");
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("A: h1\nP: 6057\nA: h2\nA: h1\n"));
}

void TstStarsKeys::historyUnreadable()
{
    QTemporaryDir dir;
    // A directory in place of the file: reading gives nothing, appending does nothing.
    const QString path = dir.filePath("SSVHistory.dat");
    QVERIFY(QDir(dir.path()).mkdir("SSVHistory.dat"));
    const StarsHistory h(path);
    QString host = "x", port = "y";
    h.read(host, port);
    QVERIFY(host.isEmpty() && port.isEmpty());
    h.recordHost("h1");
    QVERIFY(QFileInfo(path).isDir());
}

QTEST_GUILESS_MAIN(TstStarsKeys)
#include "tst_starskeys.moc"
