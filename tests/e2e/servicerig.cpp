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
#include "simhost.h"
#include "simunit.h"
#include "starsbusrunner.h"
#include "vexda.h"

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(contents) == contents.size();
}

} // namespace

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
    if (bus)
        bus->stop();
}

bool ServiceRig::start(const QList<Unit> &units, const QStringList &extraConfig)
{
    if (!dir.isValid())
        return err = QStringLiteral("no temporary directory"), false;
    const QByteArray keys("k0\nk1\nk2\n");
    if (!writeFile(dir.filePath(QStringLiteral("Marlo.key")), keys)
        || !writeFile(dir.filePath(QStringLiteral("Ravel.key")), keys))
        return err = QStringLiteral("cannot write key files"), false;

    bus = std::make_unique<StarsBusRunner>(dir.path());
    if (!bus->start(QHostAddress(QStringLiteral("127.0.0.1")), 0))
        return err = QStringLiteral("bus: ") + bus->errorString(), false;

    simHost = std::make_unique<SimHost>();
    for (const Unit &u : units) {
        SimUnit *s = simHost->addDsp(u.name, QHostAddress(u.address), 4660, 0, u.bMode);
        s->setDeterministic(true);
    }
    for (const Unit &h : std::as_const(hvUnits))
        simHost->addHv(h.name, QHostAddress(h.address), 4660);
    if (!simHost->start())
        return err = QStringLiteral("simulator did not start"), false;

    QStringList lines{
        QStringLiteral("STARS_IP 127.0.0.1"),
        QStringLiteral("STARS_PORT %1").arg(bus->port()),
        QStringLiteral("NAME_ON_STARS Marlo"),
        QStringLiteral("KEY_ON_STARS %1").arg(dir.filePath(QStringLiteral("Marlo.key"))),
        QStringLiteral("CONNECT_TO_STARS 1"),
        QStringLiteral("WRITE_LOG_FILE 0"),
        QStringLiteral("DATA_LINK_CH_IP 127.0.0.1"),
        QStringLiteral("DATA_LINK_CH_PORT 0"),
    };
    for (const Unit &u : units)
        lines << QStringLiteral("VEXDA %1 %2 %3%4").arg(u.name, u.configAddress.isEmpty() ? u.address : u.configAddress,
                                                       u.flags,
                                                       u.bMode ? QStringLiteral(" B") : QString());
    lines << extraConfig;
    const QString cfgPath = dir.filePath(QStringLiteral("config.cfg"));
    if (!writeFile(cfgPath, lines.join(QLatin1Char('\n')).toUtf8() + '\n'))
        return err = QStringLiteral("cannot write the configuration"), false;
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    cfg->readFile(cfgPath);
    CfgFile::setInstance(cfg.get());

    bodyPtr = std::make_unique<Body>();

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
    if (!QTest::qWaitFor([this] { return bodyPtr->starsClient()->isConnected(); }, 5000))
        return err = QStringLiteral("Marlo did not log in to the bus"), false;

    if (!node.connectToBus(QHostAddress(QStringLiteral("127.0.0.1")), bus->port(), QStringLiteral("Ravel"),
                           dir.filePath(QStringLiteral("Ravel.key"))))
        return err = QStringLiteral("peer: ") + node.errorString(), false;
    node.send(QStringLiteral("Ravel>System flgon Marlo"));
    const auto ok = node.waitForLineMatching(
        [](const QString &l) { return l.contains(QLatin1String("@flgon")); }, 5000);
    if (!ok)
        return err = QStringLiteral("no answer to flgon"), false;
    return true;
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

QStringList ServiceRig::redLogLines() const
{
    QStringList out;
    if (!bodyPtr)
        return out;
    const auto *edit = bodyPtr->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"));
    for (QTextBlock b = edit->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().foreground().color() == QColor(255, 0, 0)) {
                out << b.text().mid(22);   // "yy/MM/dd hh:mm:ss.zzz:"
                break;
            }
        }
    }
    return out;
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
