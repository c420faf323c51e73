// The Stars link: key handshake, link states, failures of the server, and
// the reading of lines (whole lines only, over-long lines dropped).
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "starstestutil.h"

class TstStarsLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyChoice_data();
    void keyChoice();
    void acceptance_data();
    void acceptance();
    void missingKeyFile();
    void serverCloses_data();
    void serverCloses();
    void acceptanceFirst_data();
    void acceptanceFirst();
    void serverRestart();
    void buttonInState2Disconnects();
    void clickInState1KeepsLink();
    void refusedConnection();
    void receivedLinesLogged();
    void linesInPieces();
    void overlongLineDropped();
    void longLinePasses();
    void destroyedWhileConnected();

private:
    QString keys(const QByteArray &contents);

    QTemporaryDir dir;
    int keyFiles = 0;
    FakeServer *server = nullptr;
    Stars *stars = nullptr;
};

void TstStarsLink::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
}

void TstStarsLink::init()
{
    server = new FakeServer;
    QVERIFY(server->listen());
    stars = new Stars;
    aimAt(*stars, *server, keys("k0\nk1\nk2\n"));
}

void TstStarsLink::cleanup()
{
    delete stars;
    stars = nullptr;
    delete server;
    server = nullptr;
}

QString TstStarsLink::keys(const QByteArray &contents)
{
    return writeKeyFile(dir.filePath(QStringLiteral("k%1.key").arg(++keyFiles)), contents);
}

void TstStarsLink::keyChoice_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("challenge");
    QTest::addColumn<QByteArray>("keyLine");

    QTest::newRow("7 of 3 keys") << QByteArray("k0\nk1\nk2\n") << QByteArray("7\n") << QByteArray("Marlo k1\n");
    QTest::newRow("0") << QByteArray("k0\nk1\nk2\n") << QByteArray("0\n") << QByteArray("Marlo k0\n");
    QTest::newRow("10000 of 7 keys") << QByteArray("a\nb\nc\nd\ne\nf\ng\n") << QByteArray("10000\n") << QByteArray("Marlo e\n");
    QTest::newRow("not a number: first key") << QByteArray("k0\nk1\nk2\n") << QByteArray("abc\n") << QByteArray("Marlo k0\n");
    QTest::newRow("empty challenge: first key") << QByteArray("k0\nk1\n") << QByteArray("\n") << QByteArray("Marlo k0\n");
    QTest::newRow("empty last line is a key") << QByteArray("k0\nk1\n\n") << QByteArray("2\n") << QByteArray("Marlo \n");
    QTest::newRow("blank line in the middle") << QByteArray("k0\n\nk2\n") << QByteArray("4\n") << QByteArray("Marlo \n");
    QTest::newRow("negative -1") << QByteArray("k0\nk1\nk2\n") << QByteArray("-1\n") << QByteArray("Marlo k2\n");
    QTest::newRow("negative -7") << QByteArray("k0\nk1\nk2\n") << QByteArray("-7\n") << QByteArray("Marlo k2\n");
    QTest::newRow("negative -3") << QByteArray("k0\nk1\nk2\n") << QByteArray("-3\n") << QByteArray("Marlo k0\n");
    QTest::newRow("CR LF challenge") << QByteArray("k0\nk1\nk2\n") << QByteArray("4\r\n") << QByteArray("Marlo k1\n");
    QTest::newRow("blanks around") << QByteArray("k0\nk1\nk2\n") << QByteArray("  5 \t\n") << QByteArray("Marlo k2\n");
    QTest::newRow("key simplified") << QByteArray("  a   b \n") << QByteArray("0\n") << QByteArray("Marlo a b\n");
    QTest::newRow("CR LF key file") << QByteArray("k0\r\nk1\r\n") << QByteArray("1\n") << QByteArray("Marlo k1\n");
    QTest::newRow("text after the last LF is no key")
        << QByteArray("k0\nk1\nk2") << QByteArray("3\n") << QByteArray("Marlo k1\n");
}

void TstStarsLink::keyChoice()
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
    QCOMPARE(stars->statusLabel()->text(), QStringLiteral("Connecting"));
    QCOMPARE(stars->connectButton()->text(), QStringLiteral("Connecting"));

    QCOMPARE(log.count(), 2);
    QCOMPARE(log.at(0).at(0).toString(),
             QStringLiteral("opening key file [%1]").arg(QFileInfo(path).absoluteFilePath()));
    const QString sent = log.at(1).at(0).toString();   // names the key's line, never the key
    const QRegularExpression masked(QStringLiteral("^sending key \\[Marlo\\]\\[line \\d+ of %1\\]$")
                                        .arg(QRegularExpression::escape(QFileInfo(path).fileName())));
    QVERIFY2(masked.match(sent).hasMatch(), qPrintable(sent));
    QCOMPARE(log.at(1).at(1).value<QColor>(), QColor(0, 0, 0));
}

void TstStarsLink::acceptance_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("exact") << QByteArray("System>Marlo Ok:\n") << true;
    QTest::newRow("anything may follow") << QByteArray("System>Marlo Ok: welcome\n") << true;
    QTest::newRow("CR LF") << QByteArray("System>Marlo Ok:\r\n") << true;
    QTest::newRow("case matters") << QByteArray("System>marlo Ok:\n") << false;
    QTest::newRow("refusal") << QByteArray("System> Er: Bad node name or key\n") << false;
    QTest::newRow("name in use") << QByteArray("System> Er: Marlo already exists.\n") << false;
    QTest::newRow("empty line") << QByteArray("\n") << false;
}

void TstStarsLink::acceptance()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);

    QSignalSpy ready(stars, &Stars::starsIsReady);
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QSignalSpy log(stars, &Stars::log);
    int stateAtReady = -1;
    connect(stars, &Stars::starsIsReady, this, [this, &stateAtReady] { stateAtReady = stars->linkState(); });

    stars->connectToStars();
    QVERIFY(server->waitForClient());
    server->send("7\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k1\n"));
    server->send(reply);
    if (accepted) {
        QTRY_COMPARE(stars->linkState(), 2);
        QCOMPARE(ready.count(), 1);
        QCOMPARE(stateAtReady, 2);
        QVERIFY(stars->isConnected());
        QCOMPARE(log.last().at(0).toString(), QStringLiteral("Connected To Stars"));
        QCOMPARE(stars->statusLabel()->text(), QStringLiteral("Connected"));
        QCOMPARE(stars->connectButton()->text(), QStringLiteral("Disconnect"));
        return;
    }
    QVERIFY(server->waitForClientGone());
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QCOMPARE(ready.count(), 0);
    QCOMPARE(stars->statusLabel()->text(), QStringLiteral("Disconnected"));

    // "Connect" works again.
    QVERIFY(bringUp(*stars, *server));
    QCOMPARE(server->connections(), 2);
}

void TstStarsLink::missingKeyFile()
{
    const QString path = dir.filePath("absent.key");
    stars->setKeyFile(path);
    QSignalSpy log(stars, &Stars::log);
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    server->send("7\n");
    QTRY_COMPARE(stars->linkState(), 1);
    const QString abs = QFileInfo(path).absoluteFilePath();
    QCOMPARE(log.count(), 3);
    QCOMPARE(log.at(0).at(0).toString(), QStringLiteral("opening key file [%1]").arg(abs));
    QCOMPARE(log.at(1).at(0).toString(), QStringLiteral("Can't open key file [%1]").arg(abs));
    QCOMPARE(log.at(2).at(0).toString(), QStringLiteral("I have no key to exchange with Stars."));

    server->send("System> Er: Bad node name or key\n");
    QVERIFY(server->waitForClientGone());
    QTRY_COMPARE(stars->linkState(), 0);
    QVERIFY(server->unread().isEmpty());   // no key line was written

    // An empty key file name behaves the same.
    stars->setKeyFile(QString());
    log.clear();
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    server->send("7\n");
    QTRY_COMPARE(stars->linkState(), 1);
    QCOMPARE(log.last().at(0).toString(), QStringLiteral("I have no key to exchange with Stars."));
}

void TstStarsLink::serverCloses_data()
{
    QTest::addColumn<bool>("afterKey");
    QTest::newRow("before the challenge") << false;
    QTest::newRow("after the key") << true;
}

// The server closes during the handshake: not ready, and "Connect" works again.
void TstStarsLink::serverCloses()
{
    QFETCH(bool, afterKey);
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    if (afterKey) {
        server->send("1\n");
        QCOMPARE(server->nextLine(), QByteArray("Marlo k1\n"));
        QCOMPARE(stars->linkState(), 1);
    }
    server->closeClient();
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QVERIFY(bringUp(*stars, *server));
}

void TstStarsLink::acceptanceFirst_data()
{
    QTest::addColumn<bool>("together");
    QTest::addColumn<bool>("serverCloses");
    QTest::newRow("then the challenge") << false << false;
    QTest::newRow("with the challenge in one piece") << true << false;
    QTest::newRow("then a refusal and close") << false << true;
}

void TstStarsLink::acceptanceFirst()
{
    QFETCH(bool, together);
    QFETCH(bool, serverCloses);

    QSignalSpy ready(stars, &Stars::starsIsReady);
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    if (together) {
        server->send("System>Marlo Ok:\n5\n");
    } else {
        server->send("System>Marlo Ok:\n");
        // Read as a challenge that is not a number: the first key.
        QCOMPARE(server->nextLine(), QByteArray("Marlo k0\n"));
        QCOMPARE(stars->linkState(), 1);
        if (serverCloses) {
            server->send("System> Er: Bad node name or key\n");
            server->closeClient();
        } else {
            server->send("5\n");
        }
    }
    QTRY_COMPARE(stars->linkState(), 0);
    QVERIFY(server->waitForClientGone());
    QCOMPARE(ready.count(), 0);
    QVERIFY(bringUp(*stars, *server));
}

void TstStarsLink::serverRestart()
{
    QVERIFY(bringUp(*stars, *server));
    const quint16 port = server->port();
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    server->closeClient();
    server->stopListening();
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QSignalSpy ans(stars, &Stars::sendingAnsToStars);
    stars->sendOk(AMsg());
    QVERIFY(ans.at(0).at(0).toString().startsWith("Stars is not ready ("));

    QVERIFY(server->listen(port));
    QVERIFY(bringUp(*stars, *server));
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
}

void TstStarsLink::buttonInState2Disconnects()
{
    QVERIFY(bringUp(*stars, *server));
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QCOMPARE(stars->statusLabel()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(stars->connectButton()->text(), QStringLiteral("Connect"));
    QVERIFY(server->waitForClientGone());

    // And the button connects again.
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QVERIFY(server->waitForClient());
    QCOMPARE(server->connections(), 2);
}

void TstStarsLink::clickInState1KeepsLink()
{
    stars->connectToStars();
    QVERIFY(server->waitForClient());
    server->send("2\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k2\n"));
    QCOMPARE(stars->linkState(), 1);
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(stars->linkState(), 1);
    server->send("System>Marlo Ok:\n");
    QTRY_COMPARE(stars->linkState(), 2);
    QCOMPARE(notReady.count(), 0);
    QCOMPARE(server->connections(), 1);
}

void TstStarsLink::refusedConnection()
{
    const quint16 port = server->port();
    server->stopListening();
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    auto *sock = stars->findChild<QTcpSocket *>();
    QVERIFY(sock);
    stars->connectToStars();
    QTRY_COMPARE(sock->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(stars->linkState(), 0);
    QCOMPARE(notReady.count(), 0);

    // A port that is no port number connects nowhere.
    stars->setPort("notaport");
    stars->connectToStars();
    QTRY_COMPARE(sock->state(), QAbstractSocket::UnconnectedState);

    stars->setPort(QString::number(port));
    QVERIFY(server->listen(port));
    QVERIFY(bringUp(*stars, *server));
    QCOMPARE(sock->socketOption(QAbstractSocket::LowDelayOption).toInt(), 1);
}

void TstStarsLink::receivedLinesLogged()
{
    QSignalSpy vlog(stars, &Stars::vlog);
    QVERIFY(bringUp(*stars, *server));
    server->send("  Ravel>Marlo   Hello \t\r\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n"));
    QCOMPARE(vlog.count(), 3);
    QCOMPARE(vlog.at(0).at(0).toString(), QStringLiteral("msg from stars[1]"));
    QCOMPARE(vlog.at(1).at(0).toString(), QStringLiteral("msg from stars[System>Marlo Ok:]"));
    QCOMPARE(vlog.at(2).at(0).toString(), QStringLiteral("msg from stars[Ravel>Marlo Hello]"));
    QCOMPARE(vlog.at(2).at(1).value<QColor>(), QColor(0, 0, 0));
}

void TstStarsLink::linesInPieces()
{
    QVERIFY(bringUp(*stars, *server));
    QSignalSpy ask(stars, &Stars::anyAsk);
    const QByteArray text = "Ravel>Marlo GetValue 1\nRavel>Marlo IsBusy\n";
    for (char c : text) {
        server->send(QByteArray(1, c));
        QTest::qWait(0);
    }
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    QCOMPARE(ask.count(), 1);
    QCOMPARE(ask.at(0).at(0).value<AMsg>().params, QStringList({"1"}));

    // A piece without its LF waits for the rest of its line.
    server->send("Ravel>Marlo Hel");
    QTest::qWait(0);
    server->send("lo");
    QTest::qWait(0);
    QVERIFY(server->unread().isEmpty());
    server->send(" x\nRavel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n"));
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
}

void TstStarsLink::overlongLineDropped()
{
    QVERIFY(bringUp(*stars, *server));
    QSignalSpy log(stars, &Stars::log);
    QSignalSpy vlog(stars, &Stars::vlog);
    QSignalSpy ask(stars, &Stars::anyAsk);
    const QByteArray chunk(64 * 1024, 'x');
    server->send("Ravel>Marlo GetValue ");
    for (int i = 0; i < 16; ++i)
        server->send(chunk);
    server->send("yy");   // now beyond 1 MiB without LF
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(1).value<QColor>(), QColor(255, 0, 0));
    QVERIFY(log.at(0).at(0).toString().contains("1048576"));
    for (int i = 0; i < 4; ++i)
        server->send(chunk);   // the rest of the dropped line
    server->send("\nRavel>Marlo Hello\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n"));
    QCOMPARE(ask.count(), 0);
    QCOMPARE(vlog.count(), 1);   // only the Hello line was read
    QCOMPARE(log.count(), 1);
    QCOMPARE(stars->linkState(), 2);
}

void TstStarsLink::longLinePasses()
{
    QVERIFY(bringUp(*stars, *server));
    QSignalSpy log(stars, &Stars::log);
    const QByteArray name(64 * 1024, 'y');
    server->send("Ravel>Marlo Help " + name + "\n");
    QCOMPARE(server->nextLine(), "Marlo>Ravel @Help Er: Command [" + name + "] not found.\n");

    // Just under the limit (1 MiB with the LF not counted) also passes.
    QByteArray line = "Ravel>Marlo Help ";
    line += QByteArray((qsizetype(1) << 20) - line.size(), 'z');
    server->send(line + "\n");
    const QByteArray answer = server->nextLine();
    QVERIFY(answer.startsWith("Marlo>Ravel @Help Er: Command [zzz"));
    QCOMPARE(log.count(), 0);
}

void TstStarsLink::destroyedWhileConnected()
{
    QVERIFY(bringUp(*stars, *server));
    bool notified = false;
    connect(stars, &Stars::starsIsNotReady, this, [&notified] { notified = true; });
    delete stars;
    stars = nullptr;
    QVERIFY(server->waitForClientGone());
    QVERIFY(!notified);
}

QTEST_MAIN(TstStarsLink)
#include "tst_starslink.moc"
