// Fault injection on the STARS link: the bus goes away in the middle of a run
// and comes back on the same port, it keeps Marlo's socket open but falls
// silent, and nodes send text that is not ASCII.
//
// Expected: Marlo notices the loss at once and returns to state 0. By
// default it reconnects by itself (one log line for the loss, none per
// attempt); with STARS_RECONNECT 0 it waits for "Connect". A silent link is
// probed and dropped within the probe bounds, then healed, and an event
// written into it is sent again after the log-in. Requests are
// answered as before, exactly once each, and a measurement that ran through
// the outage is still there, and one that ended in it ends for the
// subscribers after the log-in. Non-ASCII text comes back as it was sent, and
// the bus drops a node that sends bytes that are not UTF-8.

#include <QtTest>

#include <QLabel>
#include <QPushButton>
#include <QTcpSocket>

#include <memory>

#include "body.h"
#include "servicerig.h"
#include "stars.h"
#include "starsbusrunner.h"

class TstFaultsBus : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void busRestartsMidRun_data();
    void busRestartsMidRun();
    void busRestartsRepeatedly();
    void eventOfTheOutageFollowsLogIn();
    void silentLinkIsDropped();
    void nonAsciiLines_data();
    void nonAsciiLines();

private:
    // Marlo with one unit; with `busUp` false the bus is down at first.
    void start(const QStringList &extraConfig = {}, bool busUp = true);
    // The texts of Stars' log lines emitted since the last call.
    QStringList takeLog();
    Stars *stars() const { return rig->stars(); }

    std::unique_ptr<ServiceRig> rig;
    std::unique_ptr<QSignalSpy> logSpy;
};

void TstFaultsBus::start(const QStringList &extraConfig, bool busUp)
{
    rig = std::make_unique<ServiceRig>();
    QVERIFY2(rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.9.1"), QStringLiteral("1 0 0 0")}}, extraConfig, busUp),
             qPrintable(rig->error()));
    logSpy = std::make_unique<QSignalSpy>(stars(), &Stars::log);
}

void TstFaultsBus::cleanup()
{
    if (rig && stars()->linkState() == 2 && rig->peer().isConnected())
        QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    logSpy.reset();
    rig.reset();
}

QStringList TstFaultsBus::takeLog()
{
    QStringList lines;
    for (const QList<QVariant> &args : std::as_const(*logSpy))
        lines << args.at(0).toString();
    logSpy->clear();
    return lines;
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
    start(heals ? QStringList() : QStringList{QStringLiteral("STARS_RECONNECT 0")});
    QCOMPARE(rig->ask(QStringLiteral("RunStart")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{QStringLiteral("ChangedIsBusy 1")});
    takeLog();

    // The bus goes down: Marlo is back in state 0 and says so on its panel.
    rig->stopBus();
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
    QVERIFY(!stars()->isConnected());
    QVERIFY(stars()->sendToStars(QStringLiteral("Marlo"), QString(), QStringLiteral("Ravel"), QStringLiteral("x"))
                .startsWith(QLatin1String("Stars is not ready (")));
    auto *socket = stars()->findChild<QTcpSocket *>();
    QVERIFY(socket);
    // One red line for the loss, with the server and the socket's reason.
    const QString where = QStringLiteral("%1:%2").arg(stars()->host(), stars()->portText());
    const QString lost = QStringLiteral("Lost the link to Stars at %1 (The remote host closed the connection)").arg(where);

    if (heals) {
        // Several attempts fail while the bus is down; the log tells the
        // loss once, and the panel tells the retrying.
        QTest::qWait(1000);
        QCOMPARE(stars()->linkState(), 0);
        QVERIFY(stars()->isRetrying());
        QCOMPARE(stars()->statusLabel()->text(), QStringLiteral("Reconnecting"));
        QCOMPARE(takeLog(), QStringList{lost + QStringLiteral("; reconnecting")});
        QVERIFY(rig->startBus());
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
        QVERIFY(!stars()->isRetrying());
        QVERIFY(takeLog().contains(QStringLiteral("Connected To Stars")));
    } else {
        // "Connect" while the bus is down: refused, still state 0; and no
        // attempt of its own once the bus is back.
        stars()->connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 10000);
        QCOMPARE(stars()->linkState(), 0);
        QVERIFY(rig->startBus());
        QTest::qWait(1000);
        QCOMPARE(stars()->linkState(), 0);
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!stars()->isRetrying());
        QCOMPARE(takeLog(), (QStringList{lost, QStringLiteral("Can't connect to Stars at %1 (Connection refused)").arg(where)}));
        stars()->connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
    }
    QVERIFY(rig->loginPeer());

    // The measurement that ran through the outage is still on.
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{QStringLiteral("ChangedIsBusy 0")});
}

void TstFaultsBus::busRestartsRepeatedly()
{
    // Marlo starts before the bus; then four outages in a row. Every time the
    // link comes back by itself and exactly one answer per request arrives.
    start({}, false);
    QTRY_VERIFY_WITH_TIMEOUT(stars()->isRetrying(), 5000);
    for (int round = 0; round < 5; ++round) {
        if (round > 0) {
            rig->stopBus();
            QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
        }
        QVERIFY(rig->startBus());
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
        QVERIFY(rig->loginPeer());
        QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("0"));
        QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    }
    QCOMPARE(rig->events(), QStringList());

    // Disconnect while retrying stops it for good.
    rig->stopBus();
    QTRY_VERIFY_WITH_TIMEOUT(stars()->isRetrying(), 5000);
    takeLog();
    stars()->connectButton()->click();
    QVERIFY(!stars()->isRetrying());
    QCOMPARE(stars()->statusLabel()->text(), QStringLiteral("Disconnected"));
    QCOMPARE(takeLog(), QStringList{QStringLiteral("Stopped reconnecting to Stars")});
    QVERIFY(rig->startBus());
    QTest::qWait(1000);
    QCOMPARE(stars()->linkState(), 0);
    QVERIFY(rig->bus()->nodeNames().isEmpty());
}

// A preset measurement ends while the bus is down. The peer subscribes again
// before Marlo is back and gets the end right after Marlo's log-in.
void TstFaultsBus::eventOfTheOutageFollowsLogIn()
{
    start();
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 2")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{QStringLiteral("ChangedIsBusy 1")});
    rig->stopBus();
    QTRY_VERIFY_WITH_TIMEOUT(!rig->body()->dspSet().isBusy, 10000);
    QCOMPARE(stars()->linkState(), 0);
    QVERIFY(rig->startBus());
    // Marlo's thread waits while the peer logs in: its next attempt comes after.
    rig->peer().setPumpEvents(false);
    QVERIFY(rig->loginPeer());
    rig->peer().setPumpEvents(true);
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedIsBusy 0")));
    QVERIFY(takeLog().contains(QStringLiteral("Sending events held while the link was down: ChangedIsBusy 0")));
    QCOMPARE(rig->events(), QStringList());
}

void TstFaultsBus::silentLinkIsDropped()
{
    start();
    Stars::HealTimings t = stars()->healTimings();
    t.idleMs = 300;
    t.answerMs = 400;
    stars()->setHealTimings(t);
    QSignalSpy dispatched(stars(), &Stars::anyAns);
    QSignalSpy asked(stars(), &Stars::anyAsk);
    QSignalSpy evSpy(stars(), &Stars::anyEvent);

    // A quiet but healthy link: the probes are answered and the answers
    // consumed; nothing reaches the handlers or the peer.
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    asked.clear();
    QTest::qWait(1000);
    QCOMPARE(stars()->linkState(), 2);
    QCOMPARE(dispatched.count() + asked.count() + evSpy.count(), 0);
    QCOMPARE(rig->peer().takePending(), QStringList());
    stars()->setBusy(true);
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedIsBusy 1")));
    takeLog();

    // The bus keeps Marlo's socket open but neither reads nor writes it; the
    // event written into it is sent again after the log-in.
    QElapsedTimer muted;
    muted.start();
    QVERIFY(rig->bus()->muteNode(QStringLiteral("Marlo")));
    stars()->setBusy(false);
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 5000);
    QVERIFY2(muted.elapsed() >= t.answerMs && muted.elapsed() <= t.idleMs + t.answerMs + 1000,
             qPrintable(QString::number(muted.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 5000);
    const QStringList log = takeLog();
    QCOMPARE(log.count(QStringLiteral("Nothing from Stars for 0.7 s, not even an answer to a probe; reconnecting")), 1);
    QVERIFY(log.contains(QStringLiteral("Connected To Stars")));
    QVERIFY(log.contains(QStringLiteral("Sending events held while the link was down: ChangedIsBusy 0")));
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedIsBusy 0")));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
}

void TstFaultsBus::nonAsciiLines_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("answer");   // null: the bus drops the peer
    QTest::newRow("unknown non-ASCII command")
        << QByteArray("Ravel>Marlo Foo\xc3\xa9\n") << QString::fromUtf8("Marlo>Ravel @Foo\xc3\xa9 Er: Unknown Command");
    QTest::newRow("non-ASCII parameter beyond Latin-1")
        << QByteArray("Ravel>Marlo Help \xe2\x82\xac\xf0\x9d\x84\x9e\n")
        << QString::fromUtf8("Marlo>Ravel @Help Er: Command [\xe2\x82\xac\xf0\x9d\x84\x9e] not found.");
    QTest::newRow("not UTF-8") << QByteArray("Ravel>Marlo Help Foo\xe9\n") << QString();
}

void TstFaultsBus::nonAsciiLines()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, answer);
    start();
    QVERIFY(rig->peer().sendRaw(request));
    if (answer.isNull()) {
        QVERIFY(rig->peer().waitForDisconnected(5000));
        QVERIFY(rig->loginPeer());
    } else {
        // Decoded as UTF-8 without loss, so equal text is equal bytes.
        QCOMPARE(rig->peer().waitForLine(5000).value_or(QStringLiteral("(none)")), answer);
    }
    QCOMPARE(stars()->linkState(), 2);
    QCOMPARE(rig->bus()->nodeNames(), (QStringList{QStringLiteral("Marlo"), QStringLiteral("Ravel")}));
}

QTEST_MAIN(TstFaultsBus)
#include "tst_faults_bus.moc"
