#include "shotrig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include "body.h"
#include "cfgfile.h"
#include "logsink.h"
#include "simhost.h"
#include "simunit.h"
#include "starsbusrunner.h"
#include "vexda.h"

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

const char *const dsp1 = "127.0.23.2";
const char *const dsp2 = "127.0.23.3";
const char *const hv1 = "127.0.23.4";

} // namespace

ShotRig::ShotRig() = default;

ShotRig::~ShotRig()
{
    QDir::setCurrent(QDir::tempPath());
    peer.disconnectFromBus(1000);
    logSink = nullptr;
    bodyPtr.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (CfgFile::instance() == cfg.get())
        CfgFile::setInstance(nullptr);
    sims.reset();
    if (bus)
        bus->stop();
}

bool ShotRig::start()
{
    if (!dir.isValid())
        return err = QStringLiteral("no temporary folder"), false;
    if (!writeFile(dir.filePath(QStringLiteral("Marlo.key")), "m0\nm1\n")
        || !writeFile(dir.filePath(QStringLiteral("Ravel.key")), "r0\nr1\n"))
        return err = QStringLiteral("cannot write the key files"), false;

    bus = std::make_unique<StarsBusRunner>(dir.path());
    if (!bus->start(QHostAddress::LocalHost, 0))
        return err = QStringLiteral("bus: ") + bus->errorString(), false;

    // The units answer register requests on UDP port 4660 of their own
    // addresses; their histogram servers take free ports (below).
    sims = std::make_unique<SimHost>();
    sims->addDsp(QStringLiteral("dsp1"), QHostAddress(QLatin1String(dsp1)), 4660, 0);
    sims->addDsp(QStringLiteral("dsp2"), QHostAddress(QLatin1String(dsp2)), 4660, 0, true);
    sims->addHv(QStringLiteral("hv1"), QHostAddress(QLatin1String(hv1)), 4660);
    for (SimUnit *u : sims->units())
        u->setCountRate(50000);
    if (!sims->start())
        return err = QStringLiteral("the simulated units did not start (UDP 4660 of 127.0.23.x)"), false;
    return startMarlo();
}

bool ShotRig::startMarlo()
{
    // Marlo runs in the temporary folder: its key file is found by its plain
    // name there, and its journal stays there.
    QDir::setCurrent(dir.path());
    const QString cfgPath = dir.filePath(QStringLiteral("config.cfg"));
    const QByteArray text = QStringLiteral(
                                "STARS_IP 127.0.0.1\nSTARS_PORT %1\nNAME_ON_STARS Marlo\nKEY_ON_STARS Marlo.key\n"
                                "CONNECT_TO_STARS 1\nRECORD_MSG_FROM_STARS 1\nRECORD_MSG_TO_STARS 1\n"
                                "WRITE_LOG_FILE 0\nDATA_LINK_CH_IP 127.0.0.1\nDATA_LINK_CH_PORT 0\n"
                                "VEXDA dsp1 %2 1 1 1 1\nVEXDA dsp2 %3 1 1 0 0 B\nVEXHV hv1 %4\nHV_READ_TYPE 0\n")
                                .arg(bus->port())
                                .arg(QLatin1String(dsp1), QLatin1String(dsp2), QLatin1String(hv1))
                                .toUtf8();
    if (!writeFile(cfgPath, text))
        return err = QStringLiteral("cannot write the configuration"), false;
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    cfg->readFile(cfgPath);
    CfgFile::setInstance(cfg.get());

    bodyPtr = std::make_unique<Body>();
    logSink = bodyPtr->logArea();
    for (VexDA *v : bodyPtr->dspSet().units) {
        SimUnit *s = sims->unit(v->name());
        if (!s)
            return err = QStringLiteral("no simulated unit %1").arg(v->name()), false;
        v->tcpPort = s->tcpPort();
        v->openTcp();
    }
    for (VexDA *v : bodyPtr->dspSet().units) {
        if (!QTest::qWaitFor([v] { return v->tcpHasConnected(); }, 5000))
            return err = QStringLiteral("unit %1: no TCP connection").arg(v->name()), false;
    }
    if (!QTest::qWaitFor([this] { return bodyPtr->starsClient()->isConnected(); }, 5000))
        return err = QStringLiteral("Marlo did not log in to the bus"), false;
    if (!peer.connectToBus(QHostAddress::LocalHost, bus->port(), QStringLiteral("Ravel"),
                           dir.filePath(QStringLiteral("Ravel.key"))))
        return err = QStringLiteral("peer: ") + peer.errorString(), false;
    peer.send(QStringLiteral("Ravel>System flgon Marlo"));
    return true;
}

QString ShotRig::ask(const QString &request)
{
    const QString cmd = request.section(QLatin1Char(' '), 0, 0);
    peer.send(QStringLiteral("Ravel>Marlo ") + request);
    const auto line = peer.waitForLineMatching(
        [&cmd](const QString &l) { return l.startsWith(QStringLiteral("Marlo>Ravel @%1").arg(cmd)); }, 10000);
    return line ? *line : QString();
}

bool ShotRig::exercise()
{
    for (const QString &r : {QStringLiteral("Hello"), QStringLiteral("SetPresetType Real"),
                             QStringLiteral("SetPresetValue 1"), QStringLiteral("SetROIs 1100 1400"),
                             QStringLiteral("RunStart 1")}) {
        if (ask(r).isNull())
            return err = QStringLiteral("no answer to %1").arg(r), false;
    }
    if (!peer.waitForLineMatching(QRegularExpression(QStringLiteral("_ChangedIsBusy 0")), 15000))
        return err = QStringLiteral("the measurement did not end"), false;
    for (const QString &r : {QStringLiteral("GetValues"), QStringLiteral("GetRealTimes"), QStringLiteral("HVStart")}) {
        if (ask(r).isNull())
            return err = QStringLiteral("no answer to %1").arg(r), false;
    }
    // Let the HV ramp up and the panel follow.
    QTest::qWait(1800);
    ask(QStringLiteral("HVVol"));
    QTest::qWait(300);
    return true;
}
