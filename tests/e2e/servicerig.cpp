#include "servicerig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtEndian>

#include "body.h"
#include "cfgfile.h"
#include "logarea.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "stars.h"
#include "starsbusrunner.h"
#include "vexda.h"

namespace {
const QHostAddress loopback(QStringLiteral("127.0.0.1"));
const QString hello = QStringLiteral("Hello! I am Marlo. Nice to meet you!");
}

ServiceRig::ServiceRig() = default;

ServiceRig::~ServiceRig()
{
    node.disconnectFromBus(1000);
    bodyPtr.reset();
    // Units and sockets scheduled for deletion go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (CfgFile::instance() == cfg.get())
        CfgFile::setInstance(nullptr);
    simHost.reset();
    if (busRunner)
        busRunner->stop();
}

bool ServiceRig::writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

QStringList ServiceRig::configLines(quint16 busPort, const QString &keyPath)
{
    return {QStringLiteral("STARS_IP 127.0.0.1"),    QStringLiteral("STARS_PORT %1").arg(busPort),
            QStringLiteral("NAME_ON_STARS Marlo"),   QStringLiteral("KEY_ON_STARS ") + keyPath,
            QStringLiteral("CONNECT_TO_STARS 1"),    QStringLiteral("WRITE_LOG_FILE 0"),
            QStringLiteral("DATA_LINK_CH_IP 127.0.0.1"), QStringLiteral("DATA_LINK_CH_PORT 0")};
}

QString ServiceRig::addKey(const QString &nodeName)
{
    const QString path = dir.filePath(nodeName + QStringLiteral(".key"));
    return writeFile(path, "k0\nk1\nk2\n") ? path : QString();
}

bool ServiceRig::start(const QList<Unit> &units, const QStringList &extraConfig, bool busUp)
{
    if (!dir.isValid())
        return err = QStringLiteral("no temporary directory"), false;
    if (addKey(QStringLiteral("Marlo")).isEmpty() || addKey(QStringLiteral("Ravel")).isEmpty())
        return err = QStringLiteral("cannot write key files"), false;

    busRunner = std::make_unique<StarsBusRunner>(dir.path());
    if (!busRunner->start(loopback, 0))
        return err = QStringLiteral("bus: ") + busRunner->errorString(), false;
    busPort = busRunner->port();
    if (!busUp)
        busRunner->stop();

    simHost = std::make_unique<SimHost>();
    for (const Unit &u : units)
        simHost->addDsp(u.name, QHostAddress(u.address), 4660, 0, u.bMode)->setDeterministic(true);
    for (const Unit &h : std::as_const(hvUnits))
        simHost->addHv(h.name, QHostAddress(h.address), 4660);
    if (!simHost->start())
        return err = QStringLiteral("simulator did not start"), false;

    QStringList lines = configLines(busPort, dir.filePath(QStringLiteral("Marlo.key")));
    for (const Unit &u : units)
        lines << QStringLiteral("VEXDA %1 %2 %3%4").arg(u.name, u.configAddress.isEmpty() ? u.address : u.configAddress,
                                                       u.flags, u.bMode ? QStringLiteral(" B") : QString());
    lines << extraConfig;
    const QString cfgPath = dir.filePath(QStringLiteral("config.cfg"));
    if (!writeFile(cfgPath, lines.join(QLatin1Char('\n')).toUtf8() + '\n'))
        return err = QStringLiteral("cannot write the configuration"), false;
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    cfg->readFile(cfgPath);
    CfgFile::setInstance(cfg.get());

    bodyPtr = std::make_unique<Body>();
    // Short gaps between attempts to reach a bus that went away.
    Stars::HealTimings fast = stars()->healTimings();
    fast.firstRetryMs = 200;
    fast.maxRetryMs = 800;
    stars()->setHealTimings(fast);

    // The units' TCP servers listen on ephemeral ports.
    for (const Unit &u : units) {
        VexDA *v = unit(u.name);
        SimUnit *s = sim(u.name);
        if (!v || !s)
            return err = QStringLiteral("unit %1 missing").arg(u.name), false;
        v->tcpPort = s->tcpPort();
        v->openTcp();
    }
    for (const Unit &u : units) {
        VexDA *v = unit(u.name);
        if (!QTest::qWaitFor([v] { return v->tcpHasConnected() && v->tcpSocket()->state() == QAbstractSocket::ConnectedState; }, 5000))
            return err = QStringLiteral("unit %1: no TCP connection").arg(u.name), false;
    }
    if (!busUp)
        return true;
    if (!QTest::qWaitFor([this] { return stars()->isConnected(); }, 5000))
        return err = QStringLiteral("Marlo did not log in to the bus"), false;
    return loginPeer();
}

bool ServiceRig::loginPeer()
{
    node.disconnectFromBus(1000);
    if (!node.connectToBus(loopback, busPort, QStringLiteral("Ravel"), dir.filePath(QStringLiteral("Ravel.key"))))
        return err = QStringLiteral("peer: ") + node.errorString(), false;
    node.send(QStringLiteral("Ravel>System flgon Marlo"));
    if (!node.waitForLineMatching([](const QString &l) { return l.contains(QLatin1String("@flgon")); }, 5000))
        return err = QStringLiteral("no answer to flgon"), false;
    return true;
}

void ServiceRig::stopBus()
{
    node.disconnectFromBus(1000);
    busRunner->stop();
}

bool ServiceRig::startBus()
{
    if (!busRunner->start(loopback, busPort))
        return err = QStringLiteral("bus: ") + busRunner->errorString(), false;
    return true;
}

Stars *ServiceRig::stars() const
{
    return bodyPtr ? bodyPtr->starsClient() : nullptr;
}

void ServiceRig::destroyBody()
{
    bodyPtr.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ServiceRig::addHv(const QString &name, const QString &address)
{
    hvUnits << Unit{name, address, QString(), false};
}

SimUnit *ServiceRig::sim(const QString &name) const
{
    return simHost ? simHost->unit(name) : nullptr;
}

VexDA *ServiceRig::unit(const QString &name) const
{
    if (!bodyPtr)
        return nullptr;
    for (VexDA *u : bodyPtr->dspSet().units) {
        if (u->name() == name)
            return u;
    }
    return nullptr;
}

QStringList ServiceRig::logLines(bool redOnly) const
{
    QStringList out;
    if (!bodyPtr)
        return out;
    const auto *edit = bodyPtr->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"));
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) {
        bool red = !redOnly;
        for (auto it = b.begin(); !red && !it.atEnd(); ++it)
            red = it.fragment().charFormat().foreground().color() == QColor(255, 0, 0);
        if (red)
            out << b.text().mid(22);   // after "yy/MM/dd hh:mm:ss.zzz:"
    }
    return out;
}

int ServiceRig::logCount(const QString &line) const
{
    return int(logLines().count(line));
}

void ServiceRig::clearLog()
{
    if (bodyPtr)
        bodyPtr->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"))->clear();
}

void ServiceRig::takeLine(const QString &line)
{
    // "From>Ravel _Event args" or "From>Ravel @Cmd answer".
    const int sp = int(line.indexOf(QLatin1Char(' ')));
    const QString word = sp < 0 ? QString() : line.mid(sp + 1);
    if (word.startsWith(QLatin1Char('_')))
        eventList << word.mid(1);
    else
        strayAnswers << line;
}

QString ServiceRig::ask(const QString &request, const QString &to, int timeoutMs)
{
    QString cmd;
    splitFirstItem(request, cmd);
    node.send(QStringLiteral("Ravel>%1 %2").arg(to, request));
    const QString prefix = QStringLiteral("%1>Ravel @%2 ").arg(to, cmd);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        const auto line = node.waitForLine(int(std::max<qint64>(1, timeoutMs - t.elapsed())));
        if (!line)
            break;
        if (line->startsWith(prefix)) {
            lastAnswerLine = *line;
            return line->mid(prefix.size());
        }
        takeLine(*line);
    }
    lastAnswerLine.clear();
    return QString();
}

QString ServiceRig::burst(const QList<QPair<QString, QString>> &requestAndAnswer, int timeoutMs)
{
    QByteArray bytes;
    for (const auto &r : requestAndAnswer)
        bytes += "Ravel>Marlo " + r.first.toUtf8() + '\n';
    if (!node.sendRaw(bytes))
        return QStringLiteral("cannot send");
    for (qsizetype i = 0; i < requestAndAnswer.size(); ++i) {
        std::optional<QString> line;
        do
            line = node.waitForLine(timeoutMs);
        while (line && line->section(QLatin1Char(' '), 1).startsWith(QLatin1Char('_')) && (takeLine(*line), true));
        if (!line)
            return QStringLiteral("only %1 of %2 answers").arg(i).arg(requestAndAnswer.size());
        if (*line != requestAndAnswer.at(i).second)
            return QStringLiteral("answer %1: [%2], expected [%3]").arg(i).arg(*line, requestAndAnswer.at(i).second);
    }
    return QString();
}

bool ServiceRig::allAnswered()
{
    if (simHost) {
        for (SimUnit *s : simHost->units())
            s->setFaults(SimFaults());
    }
    const QString a = ask(QStringLiteral("Hello"));
    if (a != hello || !strayAnswers.isEmpty()) {
        err = QStringLiteral("Hello answered [%1]; answers nobody asked for: [%2]").arg(a, strayAnswers.join(QLatin1String("] [")));
        return false;
    }
    return true;
}

QStringList ServiceRig::takeEvents()
{
    QStringList e = eventList;
    eventList.clear();
    return e;
}

bool ServiceRig::waitForEvent(const QString &text, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        const int i = int(eventList.indexOf(text));
        if (i >= 0) {
            eventList = eventList.mid(i + 1);
            return true;
        }
        if (t.elapsed() >= timeoutMs)
            return false;
        const auto line = node.waitForLine(int(std::max<qint64>(1, timeoutMs - t.elapsed())));
        if (!line)
            return false;
        takeLine(*line);
    }
}

void ServiceRig::poke(SimUnit *u, quint32 addr, quint64 v, int words)
{
    for (int i = 0; i < words; ++i)
        u->setReg(addr + 2 * quint32(i), quint16(v >> (16 * (words - 1 - i))));
}

QList<quint64> ServiceRig::writesTo(const SimUnit *u, quint32 addr)
{
    QList<quint64> values;
    for (const QByteArray &d : u->requests()) {
        if (d.size() < 8 || quint8(d.at(1)) != 0x80 || qFromBigEndian<quint32>(d.constData() + 4) != addr)
            continue;
        quint64 v = 0;
        for (int i = 8; i < d.size(); ++i)
            v = (v << 8) | quint8(d.at(i));
        values << v;
    }
    return values;
}

int ServiceRig::readsOf(const SimUnit *u, quint32 addr)
{
    int n = 0;
    for (const QByteArray &d : u->requests()) {
        if (d.size() >= 8 && quint8(d.at(1)) == 0xC0 && qFromBigEndian<quint32>(d.constData() + 4) == addr)
            ++n;
    }
    return n;
}
