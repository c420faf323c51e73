// The stand-in STARS server: its login (the reference for Marlo's) and one
// run of the program.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "buskeys.h"
#include "starsbusrunner.h"
#include "starsnode.h"

class TstStarsBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void login_data();
    void login();
    void program();

private:
    QString keyOf(const QString &name) const { return BusKeys::keyFilePath(dir.path(), name); }
    bool writeKey(const QString &name, const QByteArray &contents);
    QTemporaryDir dir;
};

bool TstStarsBus::writeKey(const QString &name, const QByteArray &contents)
{
    QFile f(keyOf(name));
    return f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size();
}

void TstStarsBus::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(writeKey("A", "a0\n"));
    QVERIFY(writeKey("B", "b0\n"));
}

static QByteArray readLine(QTcpSocket &sock)
{
    while (!sock.canReadLine()) {
        if (!sock.waitForReadyRead(5000))
            return QByteArray();
    }
    return sock.readLine();
}

void TstStarsBus::login_data()
{
    QTest::addColumn<QByteArray>("keyFile");   // contents of K.key, or "<none>"
    QTest::addColumn<qint64>("challenge");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("nameInUse");       // K is logged in already
    QTest::addColumn<QByteArray>("reply");

    const QByteArray ok = "System>K Ok:\n";
    const QByteArray bad = "System> Er: Bad node name or key\n";
    const QByteArray three = "k0\nk1\nk2\n";
    QTest::newRow("key of 7 mod 3") << three << qint64(7) << QByteArray("K k1\n") << false << ok;
    QTest::newRow("wrong key") << three << qint64(7) << QByteArray("K k0\n") << false << bad;
    QTest::newRow("two blanks") << three << qint64(7) << QByteArray("K  k1\n") << false << bad;
    QTest::newRow("blank line is a key") << QByteArray("k0\n\nk2\n") << qint64(1) << QByteArray("K \n") << false << ok;
    QTest::newRow("text after the last LF is no key") << QByteArray("k0\nk1\nk2") << qint64(3) << QByteArray("K k1\n")
                                                      << false << ok;
    QTest::newRow("negative challenge") << three << qint64(-1) << QByteArray("K k2\n") << false << ok;
    QTest::newRow("no key file") << QByteArray("<none>") << qint64(0) << QByteArray("K x\n") << false << bad;
    QTest::newRow("name with a path") << three << qint64(0) << QByteArray("../K k0\n") << false << bad;
    QTest::newRow("name in use") << three << qint64(0) << QByteArray("K k0\n") << true
                                 << QByteArray("System> Er: K already exists.\n");
}

void TstStarsBus::login()
{
    QFETCH(QByteArray, keyFile);
    QFETCH(qint64, challenge);
    QFETCH(QByteArray, answer);
    QFETCH(bool, nameInUse);
    QFETCH(QByteArray, reply);

    QFile::remove(keyOf("K"));
    if (keyFile != "<none>")
        QVERIFY(writeKey("K", keyFile));
    StarsBusRunner bus(dir.path());
    QVERIFY2(bus.start(), qPrintable(bus.errorString()));
    bus.setFixedChallenge(challenge);
    StarsNode first;
    if (nameInUse)
        QVERIFY(first.connectToBus(QHostAddress::LocalHost, bus.port(), "K", keyOf("K")));

    QTcpSocket sock;
    sock.connectToHost(QHostAddress::LocalHost, bus.port());
    QVERIFY(sock.waitForConnected(5000));
    QCOMPARE(readLine(sock), QByteArray::number(challenge) + '\n');
    sock.write(answer);
    QVERIFY(sock.waitForBytesWritten(5000));
    QCOMPARE(readLine(sock), reply);
    if (reply.contains("Ok:")) {
        QTRY_COMPARE(bus.nodeNames(), QStringList{"K"});
        return;
    }
    // Refused: the server closes; only the first K (if any) stays logged in.
    QVERIFY(sock.state() == QAbstractSocket::UnconnectedState || sock.waitForDisconnected(5000));
    QCOMPARE(bus.nodeNames(), nameInUse ? QStringList{"K"} : QStringList());
}

// The program serves on the port it prints, routes a line, and refuses bad arguments.
void TstStarsBus::program()
{
    const QString exe = qEnvironmentVariable("MARLO_BUILD_DIR") + "/tools/starsbus/starsbus";
    QVERIFY2(QFile::exists(exe), qPrintable(exe));
    QProcess bad;
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
