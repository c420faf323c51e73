// Fault injection: the STARS bus goes away in the middle of a run and comes
// back on the same port.
//
// Expected: Marlo notices the loss at once and returns to state 0
// (Disconnected); a "Connect" while the bus is down fails harmlessly and
// leaves it in state 0; a "Connect" once the bus is back logs in again, and
// requests are answered as before, exactly once each. A measurement that ran
// through the outage is still there: "IsBusy" tells 1, and stopping it sends
// the busy event.

#include <QtTest>

#include <QFile>
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
    void busRestartsMidRun();
    void busRestartsRepeatedly();

private:
    bool loginPeer();
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

    const QStringList lines{
        QStringLiteral("STARS_IP 127.0.0.1"),
        QStringLiteral("STARS_PORT %1").arg(busPort),
        QStringLiteral("NAME_ON_STARS Marlo"),
        QStringLiteral("KEY_ON_STARS %1").arg(dir->filePath(QStringLiteral("Marlo.key"))),
        QStringLiteral("CONNECT_TO_STARS 1"),
        QStringLiteral("WRITE_LOG_FILE 0"),
        QStringLiteral("DATA_LINK_CH_IP 127.0.0.1"),
        QStringLiteral("DATA_LINK_CH_PORT 0"),
        QStringLiteral("VEXDA dsp1 %1 1 0 0 0").arg(unitAddress),
    };
    const QString cfgPath = dir->filePath(QStringLiteral("config.cfg"));
    QVERIFY(writeFile(cfgPath, lines.join(QLatin1Char('\n')).toUtf8() + '\n'));
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    QVERIFY(cfg->readFile(cfgPath));
    CfgFile::setInstance(cfg.get());
    body = std::make_unique<Body>();
    VexDA *v = body->dspSet().units.value(0);
    QVERIFY(v);
    v->tcpPort = u->tcpPort();
    v->openTcp();
    QTRY_VERIFY_WITH_TIMEOUT(v->tcpSocket()->state() == QAbstractSocket::ConnectedState, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
    QVERIFY(loginPeer());
}

void TstFaultsBus::cleanup()
{
    if (peer && body && stars()->linkState() == 2) {
        // Nothing unanswered is left over: the next answer is the one to Hello.
        QCOMPARE(ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
    }
    peer.reset();
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

void TstFaultsBus::busRestartsMidRun()
{
    QCOMPARE(ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(ask(QStringLiteral("RunStart")), QStringLiteral("Ok:"));
    QCOMPARE(events, QStringList{QStringLiteral("ChangedIsBusy 1")});
    events.clear();

    // The bus goes down: Marlo is back in state 0 and says so on its panel.
    peer.reset();
    bus->stop();
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
    QVERIFY(!stars()->isConnected());
    QVERIFY(stars()->sendToStars(QStringLiteral("Marlo"), QString(), QStringLiteral("Ravel"), QStringLiteral("x"))
                .startsWith(QLatin1String("Stars is not ready (")));

    // "Connect" while the bus is down: refused, still state 0, and usable again.
    auto *socket = stars()->findChild<QTcpSocket *>();
    QVERIFY(socket);
    stars()->connectButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(socket->state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(stars()->linkState(), 0);

    // The bus is back on the same port; "Connect" logs in again.
    QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
    stars()->connectButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
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
    // Five outages in a row, each followed by "Connect": every time the link
    // comes back and exactly one answer per request arrives.
    for (int round = 0; round < 5; ++round) {
        peer.reset();
        bus->stop();
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 0, 10000);
        QVERIFY2(bus->start(loopback, busPort), qPrintable(bus->errorString()));
        stars()->connectButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(stars()->linkState(), 2, 10000);
        QVERIFY(loginPeer());
        QCOMPARE(ask(QStringLiteral("Help IsBusy")), QStringLiteral(": ") + stars()->cmdHelpOf(QStringLiteral("IsBusy")));
        const QString value = ask(QStringLiteral("GetValue 0"));
        QVERIFY(!value.isEmpty() && !value.contains(QLatin1String("Er:")));
        QCOMPARE(ask(QStringLiteral("GetValue 0")), value);
    }
    QCOMPARE(events, QStringList());
}

QTEST_MAIN(TstFaultsBus)
#include "tst_faults_bus.moc"
