// The Stars panel and its link against a scripted server: the key handshake,
// the link's failures, the lines it writes and reads, its own answers and the
// host/port journal.
#include <functional>

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "stars.h"

// Accepts one client at a time on loopback, records what it writes and writes
// what the test says. Its waits run the event loop.
class FakeServer : public QObject
{
public:
    bool listen(quint16 port = 0)
    {
        connect(&server, &QTcpServer::newConnection, this, &FakeServer::accept, Qt::UniqueConnection);
        return server.listen(QHostAddress::LocalHost, port);
    }
    quint16 port() const { return server.serverPort(); }
    void stopListening() { server.close(); }
    bool waitForClient() { return QTest::qWaitFor([this] { return client && client->state() == QAbstractSocket::ConnectedState; }, 5000); }
    bool waitForClientGone() { return QTest::qWaitFor([this] { return !client || client->state() == QAbstractSocket::UnconnectedState; }, 5000); }
    void send(const QByteArray &bytes)
    {
        if (client) {
            client->write(bytes);
            client->flush();
        }
    }
    void closeClient() { client->disconnectFromHost(); }
    // The next line the client wrote (with its LF); empty on time-out.
    QByteArray nextLine()
    {
        if (!QTest::qWaitFor([this] { return buffer.contains('\n'); }, 5000))
            return QByteArray();
        const qsizetype lf = buffer.indexOf('\n');
        const QByteArray line = buffer.left(lf + 1);
        buffer.remove(0, lf + 1);
        return line;
    }
    QByteArray buffer;   // received and not yet taken
    int connections = 0;

private:
    void accept()
    {
        while (QTcpSocket *s = server.nextPendingConnection()) {
            if (client)
                client->abort();
            ++connections;
            client = s;
            buffer.clear();
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                if (s == client)
                    buffer.append(s->readAll());
            });
        }
    }
    QTcpServer server;
    QPointer<QTcpSocket> client;
};

using SendFn = std::function<void(Stars &)>;
Q_DECLARE_METATYPE(SendFn)

static AMsg parsed(const QString &line)
{
    AMsg m;
    m.parse(line);
    return m;
}

class TstStars : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyChoice_data();
    void keyChoice();
    void keyFileProblems_data();
    void keyFileProblems();
    void acceptance_data();
    void acceptance();
    void button();
    void refusedConnection();
    void notReady();
    void lines_data();
    void lines();
    void logSending();
    void setBusy();
    void dispatch_data();
    void dispatch();
    void overlongLineDropped();
    void journal();
    void destroyedWhileConnected();

private:
    QString keys(const QByteArray &contents);
    bool bringUp();   // connects and answers the handshake: state 2

    QTemporaryDir dir;
    int keyFiles = 0;
    FakeServer *server = nullptr;
    Stars *stars = nullptr;
};

void TstStars::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));   // the journal is written to the working directory
}

void TstStars::init()
{
    server = new FakeServer;
    QVERIFY(server->listen());
    stars = new Stars;
    stars->setHost(QStringLiteral("127.0.0.1"));
    stars->setPort(QString::number(server->port()));
    stars->setNodeName(QStringLiteral("Marlo"));
    stars->setKeyFile(keys("k0\nk1\nk2\n"));
}

void TstStars::cleanup()
{
    delete stars;
    stars = nullptr;
    delete server;
    server = nullptr;
}

QString TstStars::keys(const QByteArray &contents)
{
    QFile f(dir.filePath(QStringLiteral("k%1.key").arg(++keyFiles)));
    if (!f.open(QIODevice::WriteOnly) || f.write(contents) != contents.size())
        return QString();
    return f.fileName();
}

bool TstStars::bringUp()
{
    stars->connectToStars();
    if (!server->waitForClient())
        return false;
    server->send("1\n");
    if (server->nextLine() != "Marlo k1\n")
        return false;
    server->send("System>" + stars->nodeName().toLatin1() + " Ok:\n");
    return QTest::qWaitFor([this] { return stars->linkState() == 2; }, 5000);
}

void TstStars::keyChoice_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<QByteArray>("keyLine");

    const QByteArray three = "k0\nk1\nk2\n";
    QTest::newRow("7 of 3 keys") << three << QByteArray("7\n") << QByteArray("Marlo k1\n");
    QTest::newRow("10000 of 7 keys") << QByteArray("a\nb\nc\nd\ne\nf\ng\n") << QByteArray("10000\n") << QByteArray("Marlo e\n");
    QTest::newRow("not a number: first key") << three << QByteArray("abc\n") << QByteArray("Marlo k0\n");
    QTest::newRow("number and text: first key") << three << QByteArray("7 x\n") << QByteArray("Marlo k0\n");
    QTest::newRow("beyond 64 bits: first key") << three << QByteArray("99999999999999999999\n") << QByteArray("Marlo k0\n");
    QTest::newRow("negative -1") << three << QByteArray("-1\n") << QByteArray("Marlo k2\n");
    QTest::newRow("negative -3") << three << QByteArray("-3\n") << QByteArray("Marlo k0\n");
    QTest::newRow("most negative") << three << QByteArray("-9223372036854775808\n") << QByteArray("Marlo k1\n");
    QTest::newRow("CR LF and blanks around") << three << QByteArray("  5 \t\r\n") << QByteArray("Marlo k2\n");
    QTest::newRow("empty last line is a key") << QByteArray("k0\nk1\n\n") << QByteArray("2\n") << QByteArray("Marlo \n");
    QTest::newRow("blank line in the middle") << QByteArray("k0\n \t\nk2\n") << QByteArray("4\n") << QByteArray("Marlo \n");
    QTest::newRow("text after the last LF is no key") << QByteArray("k0\nk1\nk2") << QByteArray("3\n") << QByteArray("Marlo k1\n");
    QTest::newRow("key simplified") << QByteArray("  a   b \n") << QByteArray("0\n") << QByteArray("Marlo a b\n");
    QTest::newRow("CR LF key file") << QByteArray("k0\r\nk1\r\n") << QByteArray("1\n") << QByteArray("Marlo k1\n");
}

void TstStars::keyChoice()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, challenge);
    QFETCH(QByteArray, keyLine);

    const QString path = keys(file);
    stars->setKeyFile(path);
    QSignalSpy log(stars, &Stars::log);
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    QCOMPARE(stars->linkState(), 0);   // open, but no challenge yet
    server->send(challenge);
    QCOMPARE(server->nextLine(), keyLine);
    QCOMPARE(stars->linkState(), 1);
    QCOMPARE(log.count(), 2);
    QCOMPARE(log.at(0).at(0).toString(), QStringLiteral("opening key file [%1]").arg(QFileInfo(path).absoluteFilePath()));
    const QString sent = log.at(1).at(0).toString();   // names the key's line, never the key
    const QRegularExpression masked(QStringLiteral("^sending key \\[Marlo\\]\\[line \\d+ of %1\\]$")
                                        .arg(QRegularExpression::escape(QFileInfo(path).fileName())));
    QVERIFY2(masked.match(sent).hasMatch(), qPrintable(sent));
}

void TstStars::keyFileProblems_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("first");   // the file's contents; null: no file
    QTest::addColumn<QString>("reason");

    const QString abs = QFileInfo(dir.filePath("absent.key")).absoluteFilePath();
    const QString empty = QFileInfo(dir.filePath("empty.key")).absoluteFilePath();
    QTest::newRow("missing") << abs << QByteArray() << "no key file " + abs;
    QTest::newRow("no path") << QString() << QByteArray() << "no key file given";
    QTest::newRow("empty") << empty << QByteArray("") << "no key in key file " + empty;
    QTest::newRow("no line end") << empty << QByteArray("k0") << "no key in key file " + empty;
}

// The attempt ends at once, in red, naming the file; the retry reads the
// file again, so a key put there later is used.
void TstStars::keyFileProblems()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, first);
    QFETCH(QString, reason);

    QFile f(path);
    if (!path.isEmpty())
        f.remove();
    if (!first.isNull())
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(first) == first.size() && f.flush());
    f.close();
    stars->setKeyFile(path);
    stars->setReconnect(true);
    stars->setHealTimings({200, 200, 10000, 5000});
    QSignalSpy log(stars, &Stars::log);
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    server->send("7\n");
    QVERIFY(server->waitForClientGone());
    const QString end = QStringLiteral("Can't connect to Stars at 127.0.0.1:%1 (%2); retrying").arg(server->port()).arg(reason);
    QTRY_COMPARE(log.last().at(0).toString(), end);
    QStringList red;
    for (const QList<QVariant> &l : std::as_const(log)) {
        if (l.at(1).value<QColor>() == QColor(255, 0, 0))
            red << l.at(0).toString();
    }
    QStringList want{QStringLiteral("I have no key to exchange with Stars."), end};
    if (first.isNull())
        want.prepend(QStringLiteral("Can't open key file [%1]").arg(path));
    QCOMPARE(red, want);
    QVERIFY(server->buffer.isEmpty());   // no key line was written
    if (path.isEmpty())
        return;
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("k0\n") == 3);
    f.close();
    QTRY_COMPARE(server->connections, 2);
    QVERIFY(server->waitForClient());
    server->send("7\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k0\n"));
}

void TstStars::acceptance_data()
{
    QTest::addColumn<QByteArray>("challenge");   // empty: none
    QTest::addColumn<QByteArray>("reply");       // "<close>": the server closes
    QTest::addColumn<bool>("accepted");

    QTest::newRow("exact") << QByteArray("7\n") << QByteArray("System>Marlo Ok:\n") << true;
    QTest::newRow("anything may follow") << QByteArray("7\n") << QByteArray("System>Marlo Ok: welcome\n") << true;
    QTest::newRow("CR LF") << QByteArray("7\n") << QByteArray("System>Marlo Ok:\r\n") << true;
    QTest::newRow("case matters") << QByteArray("7\n") << QByteArray("System>marlo Ok:\n") << false;
    QTest::newRow("longer name") << QByteArray("7\n") << QByteArray("System>MarloX Ok:\n") << false;
    QTest::newRow("refusal") << QByteArray("7\n") << QByteArray("System> Er: Bad node name or key\n") << false;
    QTest::newRow("name in use") << QByteArray("7\n") << QByteArray("System> Er: Marlo already exists.\n") << false;
    // An acceptance before the challenge is read as the challenge.
    QTest::newRow("acceptance first") << QByteArray("System>Marlo Ok:\n") << QByteArray("5\n") << false;
    QTest::newRow("acceptance and challenge in one piece") << QByteArray("System>Marlo Ok:\n5\n") << QByteArray() << false;
    QTest::newRow("server closes before the challenge") << QByteArray() << QByteArray("<close>") << false;
    QTest::newRow("server closes after the key") << QByteArray("1\n") << QByteArray("<close>") << false;
}

// Accepted: state 2 and ready. Otherwise closed, not ready, and Connect works again.
void TstStars::acceptance()
{
    QFETCH(QByteArray, challenge);
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);

    QSignalSpy ready(stars, &Stars::starsIsReady);
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QSignalSpy log(stars, &Stars::log);
    int stateAtReady = -1;
    connect(stars, &Stars::starsIsReady, this, [this, &stateAtReady] { stateAtReady = stars->linkState(); });
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    if (!challenge.isEmpty()) {
        server->send(challenge);
        QVERIFY(!server->nextLine().isEmpty());
    }
    if (reply == "<close>")
        server->closeClient();
    else
        server->send(reply);
    if (accepted) {
        QTRY_COMPARE(stars->linkState(), 2);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(stateAtReady, 2);
        QCOMPARE(log.last().at(0).toString(), QStringLiteral("Connected To Stars"));
        return;
    }
    QVERIFY(server->waitForClientGone());
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QCOMPARE(ready.count(), 0);
    QVERIFY(bringUp());
    QCOMPARE(server->connections, 2);
}

// In state 2 the button disconnects, in state 0 it connects, in state 1 it does nothing.
void TstStars::button()
{
    QVERIFY(bringUp());
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QVERIFY(server->waitForClientGone());

    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QVERIFY(server->waitForClient());
    server->send("2\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k2\n"));
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(stars->linkState(), 1);
    server->send("System>Marlo Ok:\n");
    QTRY_COMPARE(stars->linkState(), 2);
    QCOMPARE(notReady.count(), 1);
    QCOMPARE(server->connections, 2);
}

void TstStars::refusedConnection()
{
    const quint16 port = server->port();
    server->stopListening();
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QSignalSpy log(stars, &Stars::log);
    auto *sock = stars->findChild<QTcpSocket *>();
    QVERIFY(sock);
    stars->connectToStars();
    QTRY_COMPARE(sock->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(stars->linkState(), 0);
    QCOMPARE(notReady.count(), 0);
    const QString where = QStringLiteral("127.0.0.1:%1 (").arg(port);
    QTRY_COMPARE(log.value(0).value(0).toString(), "Can't connect to Stars at " + where + "Connection refused)");
    stars->setPort("70000");   // no port number: connects nowhere
    stars->connectToStars();
    QTRY_COMPARE(sock->state(), QAbstractSocket::UnconnectedState);

    stars->setPort(QString::number(port));
    QVERIFY(server->listen(port));
    QVERIFY(bringUp());
    QCOMPARE(sock->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
    // A lost link names the place and the reason as well.
    server->closeClient();
    QTRY_COMPARE(log.last().value(0).toString(), "Lost the link to Stars at " + where + "The remote host closed the connection)");
}

// Before the acceptance nothing is written: answers and requests go to the
// signals only, marked as not sent (not connected, then with the key not yet
// accepted). Events are held, the latest of each kind and channel, and follow
// the acceptance once, in the order of their latest change.
void TstStars::notReady()
{
    QSignalSpy ans(stars, &Stars::sendingAnsToStars);
    QSignalSpy ev(stars, &Stars::sendingEventToStars);
    QSignalSpy log(stars, &Stars::log);
    stars->sendAns(parsed("Ravel>Marlo GetValue 1"), "12");
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    stars->sendEvent("ch1", "x 1");
    stars->sendEvent("", "x 0");
    stars->sendEvent("", "y");
    QCOMPARE(ans.at(0).at(0).toString(), QStringLiteral("Stars is not ready (Marlo>Ravel @GetValue 12)"));
    QCOMPARE(ev.at(0).at(0).toString(), QStringLiteral("Stars is not ready (Marlo.ch1>System _x 1)"));
    server->send("0\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k0\n"));
    stars->sendCmd("", "Ravel", "Go");
    stars->sendEvent("ch1", "x 2");
    server->send("System>Marlo Ok:\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _x 0\n"));
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _y\n"));
    QCOMPARE(server->nextLine(), QByteArray("Marlo.ch1>System _x 2\n"));
    QCOMPARE(log.last().at(0).toString(), QStringLiteral("Sending events held while the link was down: x 0, y, x 2"));
    stars->connectToStars();
    QVERIFY(server->waitForClientGone());
    QVERIFY(bringUp());
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
}

void TstStars::lines_data()
{
    QTest::addColumn<SendFn>("fn");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("kind");

    QTest::newRow("answer from the channel addressed")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo.ch2 GetValue 1"), "12"); })
        << QByteArray("Marlo.ch2>Ravel @GetValue 12\n") << "ans";
    QTest::newRow("answer to the sender as written, own name kept")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel.c9>Marlo2 GetValue"), "1 2"); })
        << QByteArray("Marlo2>Ravel.c9 @GetValue 1 2\n") << "ans";
    QTest::newRow("empty answer keeps the blank")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo X"), ""); }) << QByteArray("Marlo>Ravel @X \n") << "ans";
    QTest::newRow("answer with percent signs")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo X"), "%1 100%"); })
        << QByteArray("Marlo>Ravel @X %1 100%\n") << "ans";
    QTest::newRow("ok") << SendFn([](Stars &s) { s.sendOk(parsed("Ravel>Marlo RunStop")); })
                        << QByteArray("Marlo>Ravel @RunStop Ok:\n") << "ans";
    QTest::newRow("event without channel") << SendFn([](Stars &s) { s.sendEvent("", "ChangedIsBusy 1"); })
                                           << QByteArray("Marlo>System _ChangedIsBusy 1\n") << "event";
    QTest::newRow("event with channel") << SendFn([](Stars &s) { s.sendEvent("ch1", "x"); })
                                        << QByteArray("Marlo.ch1>System _x\n") << "event";
    QTest::newRow("ask without value: no trailing blank")
        << SendFn([](Stars &s) { s.sendCmdV("", "Ravel", "SetValue", ""); }) << QByteArray("Marlo>Ravel SetValue\n") << "ask";
    QTest::newRow("ask with value") << SendFn([](Stars &s) { s.sendCmdV("c", "Ravel.x", "SetValue", "5 6"); })
                                    << QByteArray("Marlo.c>Ravel.x SetValue 5 6\n") << "ask";
    QTest::newRow("UTF-8")
        << SendFn([](Stars &s) { s.sendEvent("", QString::fromUtf8("\xc3\xa9\xe2\x82\xac")); })
        << QByteArray("Marlo>System _\xc3\xa9\xe2\x82\xac\n") << "event";
}

void TstStars::lines()
{
    QFETCH(SendFn, fn);
    QFETCH(QByteArray, line);
    QFETCH(QString, kind);

    QVERIFY(bringUp());
    QSignalSpy ans(stars, &Stars::sendingAnsToStars);
    QSignalSpy ev(stars, &Stars::sendingEventToStars);
    QSignalSpy ask(stars, &Stars::sendingAskToStars);
    fn(*stars);
    QCOMPARE(server->nextLine(), line);
    QSignalSpy &spy = kind == "ans" ? ans : kind == "event" ? ev : ask;
    QCOMPARE(ans.count() + ev.count() + ask.count(), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString().toUtf8() + '\n', line);   // as composed
}

void TstStars::logSending()
{
    QVERIFY(bringUp());
    QSignalSpy log(stars, &Stars::log);
    stars->sendEvent("", "a");
    stars->setLogSendingMsg(true);
    stars->sendCmd("", "Ravel", "Go");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _a\n"));
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel Go\n"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QStringLiteral("---- Snd Marlo>Ravel Go"));
}

// A busy event on every change only; one from before the link was up
// follows the log-in. "IsBusy" answers the flag.
void TstStars::setBusy()
{
    QSignalSpy ev(stars, &Stars::sendingEventToStars);
    stars->setBusy(false);
    stars->setBusy(true);
    stars->setBusy(true);
    QCOMPARE(ev.count(), 1);
    QVERIFY(stars->busy());
    QVERIFY(bringUp());
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _ChangedIsBusy 1\n"));
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 1\n"));
    stars->setBusy(false);
    stars->setBusy(false);
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _ChangedIsBusy 0\n"));
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    QCOMPARE(ev.count(), 3);
    QVERIFY(server->buffer.isEmpty());
}

void TstStars::dispatch_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("answer");   // the panel's own answer; empty: none
    QTest::addColumn<QString>("passed");      // "ask|ans|event ID CMD" passed on; empty: none

    const QByteArray hello = "@Hello Hello! I am Marlo. Nice to meet you!\n";
    QTest::newRow("Hello") << QByteArray("Ravel>Marlo Hello\r\n") << "Marlo>Ravel " + hello << "";
    QTest::newRow("Hello as event") << QByteArray("Ravel>Marlo _Hello\n") << "Marlo>Ravel " + hello << "";
    QTest::newRow("Hello with channels and parameters") << QByteArray("Ravel.ch3>Marlo.c1 Hello x\n")
                                                        << "Marlo.c1>Ravel.ch3 " + hello << "";
    QTest::newRow("Help of a command") << QByteArray("Ravel>Marlo Help GetValue Hello\n")
                                       << QByteArray("Marlo>Ravel @Help : Get Value of a Ch in ROI (same as GetValueInROI)\n") << "";
    QTest::newRow("Help is case-sensitive") << QByteArray("Ravel>Marlo Help hello\n")
                                            << QByteArray("Marlo>Ravel @Help Er: Command [hello] not found.\n") << "";
    QTest::newRow("IsBusy as answer") << QByteArray("Ravel>Marlo @IsBusy 1\n") << QByteArray("Marlo>Ravel @IsBusy 0\n") << "";
    QTest::newRow("CR inside") << QByteArray("Ravel>Marlo Hel\rlo\n") << "Marlo>Ravel " + hello << "";
    QTest::newRow("invalid UTF-8") << QByteArray("Rav\xff" "el>Marlo Help \xc3\n")
                                   << QByteArray("Marlo>Rav\xef\xbf\xbd" "el @Help Er: Command [\xef\xbf\xbd] not found.\n") << "";
    QTest::newRow("UTF-8 decoded") << QByteArray("Ravel>Marlo Help \xc3\xa9\n")
                                   << QByteArray("Marlo>Ravel @Help Er: Command [\xc3\xa9] not found.\n") << "";
    QTest::newRow("NUL in the receiver") << QByteArray("Ravel>Mar\0lo IsBusy\n", 20)
                                         << QByteArray("Mar\0lo>Ravel @IsBusy 0\n", 23) << "";
    QTest::newRow("request") << QByteArray("Ravel>Marlo GetValue 1\n") << QByteArray() << "ask 25 GetValue";
    QTest::newRow("unknown request") << QByteArray("Ravel>Marlo getvalue 1\n") << QByteArray() << "ask 46 getvalue";
    QTest::newRow("empty command") << QByteArray("Ravel>Marlo \n") << QByteArray() << "ask 46 ";
    QTest::newRow("answer") << QByteArray("Ravel>Marlo @GetValue 5\n") << QByteArray() << "ans 25 GetValue";
    QTest::newRow("event") << QByteArray("Ravel>Marlo _ChangedIsBusy 1\n") << QByteArray() << "event 46 ChangedIsBusy";
    QTest::newRow("nothing after the head") << QByteArray("Ravel>Marlo\n") << QByteArray() << "";
    QTest::newRow("no >") << QByteArray("RavelMarlo Hello\n") << QByteArray() << "";
    QTest::newRow("NUL alone") << QByteArray("\0\n", 2) << QByteArray() << "";
    QTest::newRow("only blanks") << QByteArray(" \t \r\n") << QByteArray() << "";
}

void TstStars::dispatch()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, answer);
    QFETCH(QString, passed);

    QVERIFY(bringUp());
    QSignalSpy ask(stars, &Stars::anyAsk);
    QSignalSpy ev(stars, &Stars::anyEvent);
    QSignalSpy ans(stars, &Stars::anyAns);
    QSignalSpy vlog(stars, &Stars::vlog);
    server->send(received);
    server->send("Ravel>Marlo IsBusy\n");   // answered at once: marks the end
    if (!answer.isEmpty())
        QCOMPARE(server->nextLine(), answer);
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    QCOMPARE(vlog.count(), 2);   // every line read is logged, also a dropped one
    QStringList got;
    for (QSignalSpy *spy : {&ask, &ans, &ev}) {
        for (const QList<QVariant> &args : *spy) {
            const AMsg m = args.at(0).value<AMsg>();
            got << QStringLiteral("%1 %2 %3").arg(QLatin1String(spy == &ask ? "ask" : spy == &ans ? "ans" : "event")).arg(m.cmdId).arg(m.cmd);
        }
    }
    QCOMPARE(got, passed.isEmpty() ? QStringList() : QStringList{passed});
    if (!passed.isEmpty()) {   // the handler answers with the message it got
        stars->sendAns((ask.isEmpty() ? ans.isEmpty() ? ev : ans : ask).at(0).at(0).value<AMsg>(), "r");
        QCOMPARE(server->nextLine(), "Marlo>Ravel @" + passed.section(' ', 2).toLatin1() + " r\n");
    }
}

// A line beyond 1 MiB is dropped with a red log line, and reading goes on.
void TstStars::overlongLineDropped()
{
    QVERIFY(bringUp());
    QSignalSpy log(stars, &Stars::log);
    QSignalSpy ask(stars, &Stars::anyAsk);
    const QByteArray chunk(64 * 1024, 'x');
    server->send("Ravel>Marlo GetValue ");
    for (int i = 0; i < 16; ++i)
        server->send(chunk);
    server->send("yy");
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(1).value<QColor>(), QColor(255, 0, 0));
    QVERIFY(log.at(0).at(0).toString().contains("1048576"));
    for (int i = 0; i < 4; ++i)
        server->send(chunk);
    server->send("\nRavel>Marlo Hello\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n"));
    QCOMPARE(ask.count(), 0);
    QCOMPARE(log.count(), 1);
    QCOMPARE(stars->linkState(), 2);
}

// Host and port typed by the operator are appended when they change.
void TstStars::journal()
{
    QFile::remove("SSVHistory.dat");
    stars->setHost("h0");   // filled in by the program: not recorded
    const auto edit = [](QLineEdit *e, const QString &text) {
        e->setText(text);
        emit e->editingFinished();
    };
    edit(stars->hostEdit(), "myhost");
    edit(stars->hostEdit(), "myhost");
    edit(stars->portEdit(), "6057");
    edit(stars->hostEdit(), "other");
    QFile f("SSVHistory.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("A: myhost\nP: 6057\nA: other\n"));
}

void TstStars::destroyedWhileConnected()
{
    QVERIFY(bringUp());
    bool notified = false;
    connect(stars, &Stars::starsIsNotReady, this, [&notified] { notified = true; });
    delete stars;
    stars = nullptr;
    QVERIFY(server->waitForClientGone());
    QVERIFY(!notified);
}

QTEST_MAIN(TstStars)
#include "tst_stars.moc"
