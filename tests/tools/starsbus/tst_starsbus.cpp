// The stand-in STARS server: handshake, routing, subscriptions, and the
// test node client that later tests build on.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "buskeys.h"
#include "starsbus.h"
#include "starsbusrunner.h"
#include "starsnode.h"

class TstStarsBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void handshake_data();
    void handshake();
    void nameInUse();
    void routing_data();
    void routing();
    void nobodyIsDown_data();
    void nobodyIsDown();
    void events();
    void connectNotices();
    void systemCommands_data();
    void systemCommands();
    void program();

private:
    void writeKey(const QString &name, const QByteArray &contents);
    QString keyOf(const QString &name) const { return BusKeys::keyFilePath(dir.path(), name); }
    // A raw client: connects and returns the challenge line (with LF).
    QByteArray rawConnect(QTcpSocket &sock);
    static QByteArray rawLine(QTcpSocket &sock);
    bool login(StarsNode &node, const QString &name);

    QTemporaryDir dir;
    StarsBusRunner *runner = nullptr;
};

void TstStarsBus::initTestCase()
{
    QVERIFY(dir.isValid());
    writeKey("A", "a0\na1\na2\n");
    writeKey("B", "b0\n");
    writeKey("C", "c0\nc1\n");
    writeKey("System", "s0\n");
}

void TstStarsBus::init()
{
    runner = new StarsBusRunner(dir.path());
    QVERIFY2(runner->start(), qPrintable(runner->errorString()));
    QVERIFY(runner->port() != 0);
}

void TstStarsBus::cleanup()
{
    delete runner;
    runner = nullptr;
}

void TstStarsBus::writeKey(const QString &name, const QByteArray &contents)
{
    QFile f(keyOf(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contents);
}

QByteArray TstStarsBus::rawLine(QTcpSocket &sock)
{
    while (!sock.canReadLine()) {
        if (!sock.waitForReadyRead(5000))
            return QByteArray();
    }
    return sock.readLine();
}

QByteArray TstStarsBus::rawConnect(QTcpSocket &sock)
{
    sock.connectToHost(QHostAddress::LocalHost, runner->port());
    if (!sock.waitForConnected(5000))
        return QByteArray();
    return rawLine(sock);
}

bool TstStarsBus::login(StarsNode &node, const QString &name)
{
    return node.connectToBus(QHostAddress::LocalHost, runner->port(), name, keyOf(name));
}

void TstStarsBus::handshake_data()
{
    QTest::addColumn<QByteArray>("keyFile");   // contents of K.key, or "<none>"
    QTest::addColumn<qint64>("challenge");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray ok = "System>K Ok:\n";
    const QByteArray bad = "System> Er: Bad node name or key\n";
    const QByteArray three = "k0\nk1\nk2\n";
    QTest::newRow("key of 7 mod 3") << three << qint64(7) << QByteArray("K k1\n") << ok;
    QTest::newRow("wrong key") << three << qint64(7) << QByteArray("K k0\n") << bad;
    QTest::newRow("two blanks") << three << qint64(7) << QByteArray("K  k1\n") << bad;
    QTest::newRow("blank line is a key") << QByteArray("k0\n\nk2\n") << qint64(1) << QByteArray("K \n") << ok;
    QTest::newRow("negative challenge") << three << qint64(-1) << QByteArray("K k2\n") << ok;
    QTest::newRow("no key file") << QByteArray("<none>") << qint64(0) << QByteArray("K x\n") << bad;
    QTest::newRow("name System") << three << qint64(0) << QByteArray("System s0\n") << bad;
    QTest::newRow("name with a path") << three << qint64(0) << QByteArray("../K k0\n") << bad;
}

void TstStarsBus::handshake()
{
    QFETCH(QByteArray, keyFile);
    QFETCH(qint64, challenge);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, reply);

    QFile::remove(keyOf("K"));
    if (keyFile != "<none>")
        writeKey("K", keyFile);
    runner->setFixedChallenge(challenge);

    QTcpSocket sock;
    QCOMPARE(rawConnect(sock), QByteArray::number(challenge) + '\n');
    sock.write(answer);
    QVERIFY(sock.waitForBytesWritten(5000));
    QCOMPARE(rawLine(sock), reply);
    if (reply.contains("Ok:")) {
        QTRY_COMPARE(runner->nodeNames(), QStringList{"K"});
        return;
    }
    // Refused: the server closes, nobody is logged in.
    QVERIFY(sock.state() == QAbstractSocket::UnconnectedState || sock.waitForDisconnected(5000));
    QVERIFY(runner->nodeNames().isEmpty());
}

void TstStarsBus::nameInUse()
{
    StarsNode first;
    QVERIFY(login(first, "A"));
    StarsNode second;
    QVERIFY(!login(second, "A"));
    QCOMPARE(second.errorString(), QStringLiteral("System> Er: A already exists."));
    QVERIFY(!second.isConnected());
    QCOMPARE(runner->nodeNames(), QStringList{"A"});

    // The first one still works.
    QVERIFY(first.send("A Ping"));
    QCOMPARE(first.waitForLine().value_or(QString()), QStringLiteral("A>A Ping"));
}

void TstStarsBus::routing_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("received");

    QTest::newRow("no from field") << "B Hello" << "A>B Hello";
    QTest::newRow("from field as written") << "X.y>B Hello" << "X.y>B Hello";
    QTest::newRow("receiver up to its first dot") << "A>B.c.d _Ev" << "A>B.c.d _Ev";
    QTest::newRow("nothing after the receiver") << "A>B" << "A>B";
}

void TstStarsBus::routing()
{
    QFETCH(QString, sent);
    QFETCH(QString, received);
    StarsNode a, b;
    QVERIFY(login(a, "A"));
    QVERIFY(login(b, "B"));
    QVERIFY(a.send(sent));
    QCOMPARE(b.waitForLine().value_or("(none)"), received);
    QCOMPARE(a.takePending(), QStringList());
}

void TstStarsBus::nobodyIsDown_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("answer");   // empty: none
    QTest::newRow("request") << "C Hello" << "System>A @Hello Er: Nobody is down.";
    QTest::newRow("request with channels") << "A.x>C.ch GetValue 1" << "System>A.x @GetValue Er: Nobody is down.";
    QTest::newRow("answer to nobody") << "C @Hello x" << "";
    QTest::newRow("event to nobody") << "C _Ev 1" << "";
}

void TstStarsBus::nobodyIsDown()
{
    QFETCH(QString, sent);
    QFETCH(QString, answer);
    StarsNode a, b;
    QVERIFY(login(a, "A"));
    QVERIFY(login(b, "B"));
    QVERIFY(a.send(sent));
    QVERIFY(a.send("A Marker"));
    if (!answer.isEmpty())
        QCOMPARE(a.waitForLine().value_or("(none)"), answer);
    QCOMPARE(a.waitForLine().value_or("(none)"), QStringLiteral("A>A Marker"));
    QVERIFY(b.send("B Marker"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("B>B Marker"));
}

void TstStarsBus::events()
{
    StarsNode a, b, c;
    QVERIFY(login(a, "A"));
    QVERIFY(login(b, "B"));
    QVERIFY(login(c, "C"));
    QVERIFY(b.send("System flgon A"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("System>B @flgon Ok:"));
    QVERIFY(c.send("C>System flgon A"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("System>C @flgon Ok:"));
    QCOMPARE(runner->subscribersOf("A"), QStringList({"B", "C"}));

    QVERIFY(a.send("A>System _ChangedIsBusy 1"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B _ChangedIsBusy 1"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("A>C _ChangedIsBusy 1"));
    QVERIFY(a.send("System _x"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B _x"));
    QVERIFY(a.send("A.ch1>System _y  z"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A.ch1>B _y  z"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("A>C _x"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("A.ch1>C _y  z"));

    // Events of B reach nobody; flgoff ends a subscription.
    QVERIFY(b.send("System _Quiet"));
    QVERIFY(c.send("System flgoff A"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("System>C @flgoff Ok:"));
    QVERIFY(a.send("System _z"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B _z"));
    QVERIFY(c.send("C Marker"));
    QCOMPARE(c.waitForLine().value_or("(none)"), QStringLiteral("C>C Marker"));
    QCOMPARE(a.takePending(), QStringList());
}

void TstStarsBus::connectNotices()
{
    StarsNode b;
    QVERIFY(login(b, "B"));
    QVERIFY(b.send("System flgon A"));   // before A is there
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("System>B @flgon Ok:"));
    {
        StarsNode a;
        QVERIFY(login(a, "A"));
        QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B _Connected"));
        a.disconnectFromBus();
    }
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B _Disconnected"));
    QTRY_COMPARE(runner->nodeNames(), QStringList{"B"});
}

void TstStarsBus::systemCommands_data()
{
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("answer");
    QTest::newRow("listnodes") << "System listnodes" << "System>A @listnodes A B";
    QTest::newRow("unknown") << "System foo 1" << "System>A @foo Er: Command [foo] not found.";
    QTest::newRow("with channel") << "A.c>System.x listnodes" << "System>A.c @listnodes A B";
}

void TstStarsBus::systemCommands()
{
    QFETCH(QString, sent);
    QFETCH(QString, answer);
    StarsNode a, b;
    QVERIFY(login(a, "A"));
    QVERIFY(login(b, "B"));
    QVERIFY(a.send(sent));
    QCOMPARE(a.waitForLine().value_or("(none)"), answer);
    // Answers to System are dropped.
    QVERIFY(a.send("System @whatever"));
    QVERIFY(a.send("A Marker"));
    QCOMPARE(a.waitForLine().value_or("(none)"), QStringLiteral("A>A Marker"));
}

void TstStarsBus::program()
{
    const QString exe = qEnvironmentVariable("MARLO_BUILD_DIR") + "/tools/starsbus/starsbus";
    if (!QFile::exists(exe))
        QSKIP("starsbus program not built");

    QProcess bad;
    bad.start(exe, {"--host", "192.0.2.1", "--port", "0", "--keydir", dir.path()});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 1);
    bad.start(exe, {"--port", "notaport"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);

    QProcess p;
    p.start(exe, {"--host", "127.0.0.1", "--port", "0", "--keydir", dir.path(), "--verbose"});
    QVERIFY(p.waitForStarted(10000));
    const QRegularExpression serving("serving STARS on 127\\.0\\.0\\.1:(\\d+)");
    QByteArray out;
    QRegularExpressionMatch m;
    while (!(m = serving.match(QString::fromLatin1(out))).hasMatch()) {
        QVERIFY(p.waitForReadyRead(10000));
        out += p.readAllStandardOutput();
    }
    const quint16 port = quint16(m.captured(1).toUInt());
    StarsNode a, b;
    a.setPumpEvents(false);
    b.setPumpEvents(false);
    QVERIFY(a.connectToBus(QHostAddress::LocalHost, port, "A", keyOf("A")));
    QVERIFY(b.connectToBus(QHostAddress::LocalHost, port, "B", keyOf("B")));
    QVERIFY(a.send("B Hello"));
    QCOMPARE(b.waitForLine().value_or("(none)"), QStringLiteral("A>B Hello"));
    a.disconnectFromBus();
    b.disconnectFromBus();
    p.kill();
    p.waitForFinished(10000);
}

QTEST_GUILESS_MAIN(TstStarsBus)
#include "tst_starsbus.moc"
