// Fault injection on the STARS link: the bus goes away in the middle of a run
// and comes back on the same port, it keeps Marlo's socket open but falls
// silent, and nodes send text that is not ASCII.
//
// Expected: Marlo notices the loss at once and returns to state 0. By
// default it reconnects by itself (one log line for the loss, none per
// attempt); with STARS_RECONNECT 0 it waits for "Connect". A silent link is
// probed and dropped within the probe bounds, then healed. Requests are
// answered as before, exactly once each, and a measurement that ran through
// the outage is still there. Non-ASCII text comes back as it was sent, and
// the bus drops a node that sends bytes that are not UTF-8.

#include <QtTest>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "simhost.h"
#include "simunit.h"
#include "starsbusrunner.h"
#include "starsnode.h"
#include "vexda.h"

namespace {

const QHostAddress loopback(QStringLiteral("127.0.0.1"));
const QString unitAddress = QStringLiteral("127.0.9.1");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

class TstFaultsBus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void busRestartsMidRun_data();
    void busRestartsMidRun();
    void busRestartsRepeatedly();
    void silentLinkIsDropped();
    void nonAsciiLines_data();
    void nonAsciiLines();

private:
    // Builds Marlo (CONNECT_TO_STARS 1) with short retry gaps; the peer logs
    // in when the bus is up.
    void startMarlo(const QStringList &extraConfig = {});
    bool loginPeer();
    // The texts of the log lines emitted since the last call.
    QStringList takeLog();
    // Sends a request as Ravel; the answer text after "@<cmd> ", or a null
    // string. Any other line (but events) makes the test fail.
    QString ask(const QString &request);
    Stars *stars() const { return body->starsClient(); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<StarsBusRunner> bus;
    std::unique_ptr<SimHost> sims;
    std::unique_ptr<CfgFile> cfg;
    std::unique_ptr<Body> body;
    std::unique_ptr<StarsNode> peer;
    quint16 busPort = 0;
    QStringList events;
    std::unique_ptr<QSignalSpy> logSpy;
};

void TstFaultsBus::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(writeFile(dir->filePath(QStringLiteral("Marlo.key")), "k0\nk1\n"));
    QVERIFY(writeFile(dir->filePath(QStringLiteral("Ravel.key")), "k0\nk1\n"));
    bus = std::make_unique<StarsBusRunner>(dir->path());
    QVERIFY2(bus->start(loopback, 0), qPrintable(bus->errorString()));
    busPort = bus->port();

    sims = std::make_unique<SimHost>();
    SimUnit *u = sims->addDsp(QStringLiteral("dsp1"), QHostAddress(unitAddress), 4660, 0);
    u->setDeterministic(true);
    QVERIFY(sims->start());
}

void TstFaultsBus::startMarlo(const QStringList &extraConfig)
{
    const QStringList lines = QStringList{
        QStringLiteral("STARS_IP 127.0.0.1"),
        QStringLiteral("STARS_PORT %1").arg(busPort),
        QStringLiteral("NAME_ON_STARS Marlo"),
        QStringLiteral("KEY_ON_STARS %1").arg(dir->filePath(QStringLiteral("Marlo.key"))),
        QStringLiteral("CONNECT_TO_STARS 1"),
        QStringLiteral("WRITE_LOG_FILE 0"),
        QStringLiteral("DATA_LINK_CH_IP 127.0.0.1"),
        QStringLiteral("DATA_LINK_CH_PORT 0"),
        QStringLiteral("VEXDA dsp1 %1 1 0 0 0").arg(unitAddress),
    } + extraConfig;
    const QString cfgPath = dir->filePath(QStringLiteral("config.cfg"));
    QVERIFY(writeFile(cfgPath, lines.join(QLatin1Char('\n')).toUtf8() + '\n'));
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    QVERIFY(cfg->readFile(cfgPath));
    CfgFile::setInstance(cfg.get());
    body = std::make_unique<Body>();
    logSpy = std::make_unique<QSignalSpy>(stars(), &Stars::log);
    Stars::HealTimings fast;
    fast.firstRetryMs = 200;
    fast.maxRetryMs = 800;
    stars()->setHealTimings(fast);
    VexDA *v = body->dspSet().units.value(0);
    QVERIFY(v);
    v->tcpPort = sims->unit(QStringLiteral("dsp1"))->tcpPort();
    v->openTcp();
    QTRY_VERIFY_WITH_TIMEOUT(v->tcpSocket()->state() == QAbstractSocket::ConnectedState, 10000);
    if (!bus->isRunning())
        return;
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
    QVERIFY(loginPeer());
}

QStringList TstFaultsBus::takeLog()
{
    QStringList lines;
    for (const QList<QVariant> &args : std::as_const(*logSpy))
        lines << args.at(0).toString();
    logSpy->clear();
    return lines;
}

void TstFaultsBus::cleanup()
{
    if (peer && body && stars()->linkState() == 2) {
        // Nothing unanswered is left over: the next answer is the one to Hello.
        QCOMPARE(ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
    }
    peer.reset();
    logSpy.reset();
    body.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CfgFile::setInstance(nullptr);
    cfg.reset();
    sims.reset();
    bus.reset();
    dir.reset();
    events.clear();
}

bool TstFaultsBus::loginPeer()
{
    peer = std::make_unique<StarsNode>();
    if (!peer->connectToBus(loopback, busPort, QStringLiteral("Ravel"), dir->filePath(QStringLiteral("Ravel.key")))) {
        qWarning() << "peer:" << peer->errorString();
        return false;
    }
    peer->send(QStringLiteral("Ravel>System flgon Marlo"));
    return bool(peer->waitForLineMatching([](const QString &l) { return l.contains(QLatin1String("@flgon")); }, 5000));
}

QString TstFaultsBus::ask(const QString &request)
{
    const QString cmd = request.section(QLatin1Char(' '), 0, 0);
    peer->send(QStringLiteral("Ravel>Marlo ") + request);
    const QString prefix = QStringLiteral("Marlo>Ravel @%1 ").arg(cmd);
    for (;;) {
        const auto line = peer->waitForLine(20000);
        if (!line)
            return QString();
        if (line->startsWith(prefix))
            return line->mid(prefix.size());
        const QString word = line->section(QLatin1Char(' '), 1);
        if (!word.startsWith(QLatin1Char('_'))) {
            qWarning() << "unexpected line:" << *line;
            return QStringLiteral("<unexpected: %1>").arg(*line);
        }
        events << word.mid(1);
    }
}

void TstFaultsBus::busRestartsMidRun_data()
{
    QTest::addColumn<bool>("heals");
    QTest::newRow("heals itself") << true;
    QTest::newRow("STARS_RECONNECT 0: waits for Connect") << false;
}

void TstFaultsBus::busRestartsMidRun()
{
    QFETCH(bool, heals);
    startMarlo(heals ? QStringList() : QStringList{QStringLiteral("STARS_RECONNECT 0")});
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(ask(QStringLiteral("RunStart")), QStringLiteral("Ok:"));
    QCOMPARE(events, QStringList{QStringLiteral("ChangedIsBusy 1")});
    events.clear();
    takeLog();

    // The bus goes down: Marlo is back in state 0 and says so on its panel.
    peer.reset();
    bus->stop();
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
    QVERIFY(!stars()->isConnected());
    QVERIFY(stars()->sendToStars(QStringLiteral("Marlo"), QString(), QStringLiteral("Ravel"), QStringLiteral("x"))
                .startsWith(QLatin1String("Stars is not ready (")));
    auto *socket = stars()->findChild<QTcpSocket *>();
    QVERIFY(socket);

    if (heals) {
        // Several attempts fail while the bus is down; the log tells the
        // loss once, and the panel tells the retrying.
        QTest::qWait(1500);
        QCOMPARE(stars()->linkState(), 0);
        QVERIFY(stars()->isRetrying());
        QCOMPARE(stars()->statusLabel()->text(), QStringLiteral("Reconnecting"));
        QCOMPARE(takeLog(), QStringList{QStringLiteral("Lost the link to Stars; reconnecting")});
        QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
        QVERIFY(!stars()->isRetrying());
        QVERIFY(takeLog().contains(QStringLiteral("Connected To Stars")));
    } else {
        // "Connect" while the bus is down: refused, still state 0; and no
        // attempt of its own once the bus is back.
        stars()->connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 10000);
        QCOMPARE(stars()->linkState(), 0);
        QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
        QTest::qWait(1500);
        QCOMPARE(stars()->linkState(), 0);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!stars()->isRetrying());
        QCOMPARE(takeLog(), QStringList());
        stars()->connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
    }
    QVERIFY(bus->nodeNames().contains(QStringLiteral("Marlo")));
    QVERIFY(loginPeer());

    // The measurement that ran through the outage is still on.
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    QCOMPARE(ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QCOMPARE(ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(events, QStringList{QStringLiteral("ChangedIsBusy 0")});
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
}

void TstFaultsBus::busRestartsRepeatedly()
{
    // Marlo starts before the bus; then five outages in a row. Every time the
    // link comes back by itself and exactly one answer per request arrives.
    bus->stop();
    startMarlo();
    QTRY_VERIFY_WITH_TIMEOUT(stars()->isRetrying(), 5000);
    for (int round = 0; round < 6; ++round) {
        if (round > 0) {
            peer.reset();
            bus->stop();
            QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
        }
        QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
        QVERIFY(loginPeer());
        QCOMPARE(ask(QStringLiteral("Help IsBusy")), QStringLiteral(": ") + stars()->cmdHelpOf(QStringLiteral("IsBusy")));
        const QString value = ask(QStringLiteral("GetValue 0"));
        QVERIFY(!value.isEmpty() && !value.contains(QLatin1String("Er:")));
        QCOMPARE(ask(QStringLiteral("GetValue 0")), value);
    }
    QCOMPARE(events, QStringList());

    // Disconnect while retrying stops it for good.
    peer.reset();
    bus->stop();
    QTRY_VERIFY_WITH_TIMEOUT(stars()->isRetrying(), 5000);
    takeLog();
    stars()->connectButton()->click();
    QVERIFY(!stars()->isRetrying());
    QCOMPARE(stars()->statusLabel()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(takeLog(), QStringList{QStringLiteral("Stopped reconnecting to Stars")});
    QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
    QTest::qWait(1000);
    QCOMPARE(stars()->linkState(), 0);
    QVERIFY(bus->nodeNames().isEmpty());
}

void TstFaultsBus::silentLinkIsDropped()
{
    startMarlo();
    Stars::HealTimings t = stars()->healTimings();
    t.idleMs = 300;
    t.answerMs = 400;
    stars()->setHealTimings(t);
    QSignalSpy dispatched(stars(), &Stars::anyAns);
    QSignalSpy asked(stars(), &Stars::anyAsk);
    QSignalSpy evSpy(stars(), &Stars::anyEvent);

    // A quiet but healthy link: the probes are answered and the answers
    // consumed; nothing reaches the handlers or the peer.
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    asked.clear();
    QTest::qWait(1500);
    QCOMPARE(stars()->linkState(), 2);
    QCOMPARE(dispatched.count() + asked.count() + evSpy.count(), 0);
    QCOMPARE(peer->takePending(), QStringList());
    takeLog();

    // The bus keeps Marlo's socket open but neither reads nor writes it.
    QElapsedTimer muted;
    muted.start();
    QVERIFY(bus->muteNode(QStringLiteral("Marlo")));
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 5000);
    QVERIFY2(muted.elapsed() >= t.answerMs && muted.elapsed() <= t.idleMs + t.answerMs + 1000,
             qPrintable(QString::number(muted.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
    const QStringList log = takeLog();
    QCOMPARE(log.count(QStringLiteral("Nothing from Stars for 0.7 s, not even an answer to a probe; reconnecting")), 1);
    QVERIFY(log.contains(QStringLiteral("Connected To Stars")));
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
}

void TstFaultsBus::nonAsciiLines_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("answer"); // null: the bus drops the peer
    QTest::newRow("unknown non-ASCII command")
        << QByteArray("Ravel>Marlo Foo\xc3\xa9\n")
        << QString::fromUtf8("Marlo>Ravel @Foo\xc3\xa9 Er: Unknown Command");
    QTest::newRow("non-ASCII parameter beyond Latin-1")
        << QByteArray("Ravel>Marlo Help \xe2\x82\xac\xf0\x9d\x84\x9e\n")
        << QString::fromUtf8("Marlo>Ravel @Help Er: Command [\xe2\x82\xac\xf0\x9d\x84\x9e] not found.");
    QTest::newRow("not UTF-8") << QByteArray("Ravel>Marlo Help Foo\xe9\n") << QString();
}

void TstFaultsBus::nonAsciiLines()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, answer);
    startMarlo();
    QVERIFY(peer->sendRaw(request));
    if (answer.isNull()) {
        QVERIFY(peer->waitForDisconnected(5000));
        QVERIFY(loginPeer());
    } else {
        // Decoded as UTF-8 without loss, so equal text is equal bytes.
        QCOMPARE(peer->waitForLine(5000).value_or(QStringLiteral("(none)")), answer);
    }
    QCOMPARE(stars()->linkState(), 2);
    QCOMPARE(bus->nodeNames(), (QStringList{QStringLiteral("Marlo"), QStringLiteral("Ravel")}));
}

QTEST_MAIN(TstFaultsBus)
#include "tst_faults_bus.moc"
