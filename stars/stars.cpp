// The connection to the STARS server: log-in, healing, sending and receiving.
#include "stars.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "connectstat.h"
#include "logsink.h"
#include "starshistory.h"
#include "starskeys.h"

Q_LOGGING_CATEGORY(lcStars, "marlo.stars")

namespace {
const QColor black(0, 0, 0);
const QColor red(255, 0, 0);
// More kinds of event than the program has: a bound, never reached in use.
constexpr int maxHeldEvents = 32;
}

Stars::Stars(QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
    logSending = false;
    AMsg::registerMetaType();
    fillCmdTable();

    connectStat = new ConnectStat(this);
    connectStat->setWidgets(statusL, connectB);
    connectStat->setStat(ConnectStat::Disconnected);
    connect(connectStat, &ConnectStat::askConnect, this, &Stars::connectToStars);
    connect(connectStat, &ConnectStat::askDisconnect, this, &Stars::connectToStars);

    socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, &Stars::connectedToStars);
    connect(socket, &QTcpSocket::disconnected, this, &Stars::disconnectedFromStars);
    connect(socket, &QTcpSocket::readyRead, this, &Stars::receive);
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        qCDebug(lcStars) << "socket:" << socket->errorString();
    });
    connect(socket, &QTcpSocket::stateChanged, this, &Stars::socketStateChanged);

    retryTimer = new QTimer(this);
    retryTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, [this] {
        if (link == Link::WaitingToRetry)
            setLink(Link::Connecting);
    });
    watchTimer = new QTimer(this);
    watchTimer->setSingleShot(true);
    connect(watchTimer, &QTimer::timeout, this, &Stars::watchExpired);

    connect(hostLE, &QLineEdit::editingFinished, this, &Stars::newHost);
    connect(portLE, &QLineEdit::editingFinished, this, &Stars::newPort);

    setBusy(false);
}

Stars::~Stars()
{
    // The socket must not call back into a panel that is being destroyed.
    socket->disconnect(this);
    retryTimer->stop();
    watchTimer->stop();
    socket->close();
}

QString Stars::host() const { return hostLE->text(); }
void Stars::setHost(const QString &host) { hostLE->setText(host); }
QString Stars::portText() const { return portLE->text(); }
void Stars::setPort(const QString &port) { portLE->setText(port); }
QString Stars::nodeName() const { return nameOnStarsLE->text(); }
void Stars::setNodeName(const QString &name) { nameOnStarsLE->setText(name); }
QString Stars::keyFile() const { return keyFileLE->text(); }
void Stars::setKeyFile(const QString &path) { keyFileLE->setText(path); }

quint16 Stars::port() const
{
    bool ok = false;
    const quint16 p = portLE->text().toUShort(&ok, 10);
    return ok ? p : 0;
}

QLineEdit *Stars::hostEdit() const { return hostLE; }
QLineEdit *Stars::portEdit() const { return portLE; }
QLineEdit *Stars::nodeNameEdit() const { return nameOnStarsLE; }
QLineEdit *Stars::keyFileEdit() const { return keyFileLE; }
QPushButton *Stars::connectButton() const { return connectB; }
QLabel *Stars::statusLabel() const { return statusL; }

int Stars::linkState() const
{
    switch (link) {
    case Link::LoggingIn:
        return ConnectStat::Connecting;
    case Link::Up:
    case Link::Probing:
        return ConnectStat::Connected;
    default:
        return ConnectStat::Disconnected;
    }
}

bool Stars::isConnected() const
{
    return link == Link::Up || link == Link::Probing;
}

bool Stars::isRetrying() const
{
    return retryGapMs > 0;
}

// ---- connection -----------------------------------------------------------

void Stars::connectToStars()
{
    if (isConnected()) {
        setLink(Link::Off);
        return;
    }
    if (isRetrying()) {
        setLink(Link::Off);
        emit log(QStringLiteral("Stopped reconnecting to Stars"), black);
        return;
    }
    if (link != Link::Off || socket->state() != QAbstractSocket::UnconnectedState) {
        qCDebug(lcStars) << "connect ignored, socket state" << socket->state();
        return;
    }
    setLink(Link::Connecting);
}

void Stars::setReconnect(bool on)
{
    reconnectOn = on;
    // A link that no longer heals itself: no retrying, no probe, no bound.
    if (!on)
        setLink(link == Link::WaitingToRetry ? Link::Off : link == Link::Probing ? Link::Up : link);
}

void Stars::setLink(Link next, const QString &why)
{
    const Link from = std::exchange(link, next);
    const bool wasUp = from == Link::Up || from == Link::Probing;
    const bool wasRetrying = isRetrying();
    const bool down = next == Link::Off || next == Link::WaitingToRetry;
    retime(from, wasRetrying);
    paintPanel();

    // What the change tells and does; the socket comes last, as it may
    // report an end at once.
    if (down) {
        splitter.clear();
        if (!why.isEmpty())
            logLoss(wasUp, wasRetrying, next, why);
        // The operator's close lets the written lines go; a dead link is cut.
        const bool closing = wasUp && next == Link::Off && why.isEmpty();
        if (closing)
            unconfirmed.clear();
        else
            holdUnconfirmed();
        if (socket->state() != QAbstractSocket::UnconnectedState) {
            if (closing)
                socket->close();
            else
                socket->abort();
        }
    } else if (next == Link::Connecting && from != next) {
        splitter.clear();
        socket->connectToHost(host(), port(), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    } else if (next == Link::Up && from == Link::LoggingIn) {
        emit starsIsReady();
        emit log(QStringLiteral("Connected To Stars"), black);
        sendHeldEvents();
    } else if (next == Link::Probing && from != next) {
        writeLine(QByteArrayLiteral("System hello\n"));
    }
}

// The timers and the retry cycle of the state just entered.
void Stars::retime(Link from, bool wasRetrying)
{
    if (link == Link::Off || link == Link::Up || !reconnectOn) {
        retryTimer->stop();
        retryGapMs = 0;
    }
    if (!reconnectOn || link == Link::Off || link == Link::WaitingToRetry)
        watchTimer->stop();
    if (!reconnectOn)
        return;
    if (link == Link::WaitingToRetry) {
        // The gap doubles from one attempt to the next, up to its bound.
        const int gap = wasRetrying ? retryGapMs : qMax(1, heal.firstRetryMs);
        retryTimer->start(gap);
        retryGapMs = qMin(gap * 2, qMax(heal.maxRetryMs, heal.firstRetryMs));
    } else if (link == Link::Connecting && from != link) {
        // An attempt that neither fails nor logs in (a server that never
        // answers) is given up after the same time as a silent link.
        watchTimer->start(heal.idleMs + heal.answerMs);
    } else if (link == Link::Up) {
        watchTimer->start(heal.idleMs);
    } else if (link == Link::Probing) {
        watchTimer->start(heal.answerMs);
    }
}

// Only the change into retrying is logged, not each attempt.
void Stars::logLoss(bool wasUp, bool wasRetrying, Link next, const QString &why)
{
    const QString where = QStringLiteral("%1:%2").arg(host(), portText());
    const QString line = (wasUp ? QStringLiteral("Lost the link to Stars at %1 (%2)")
                                : QStringLiteral("Can't connect to Stars at %1 (%2)"))
                             .arg(where, why);
    if (next == Link::Off)
        emit log(line, red);
    else if (!wasRetrying)
        emit log(line + (wasUp ? QStringLiteral("; reconnecting") : QStringLiteral("; retrying")), red);
}

void Stars::paintPanel()
{
    if (connectStat->state == linkState() && connectStat->isRetrying() == isRetrying())
        return;
    connectStat->setRetrying(isRetrying());
    connectStat->setStat(linkState());
}

// The socket ended the link or the attempt by itself; the ends Marlo makes
// change the state first.
void Stars::socketStateChanged(QAbstractSocket::SocketState s)
{
    if (s == QAbstractSocket::UnconnectedState && link != Link::Off && link != Link::WaitingToRetry)
        setLink(afterLoss(), dropReason());
}

// The socket's own error, which it sets before it reports the state.
QString Stars::dropReason() const
{
    if (socket->error() == QAbstractSocket::UnknownSocketError)
        return QStringLiteral("closed");
    return socket->errorString();
}

// The log-in bound, the idle time and the probe's answer time.
void Stars::watchExpired()
{
    switch (link) {
    case Link::Connecting:
    case Link::LoggingIn:
        qCDebug(lcStars) << "no log-in within" << heal.idleMs + heal.answerMs << "ms";
        setLink(afterLoss(), QStringLiteral("no log-in within %1 s").arg((heal.idleMs + heal.answerMs) / 1000.0));
        break;
    case Link::Up:
        setLink(Link::Probing);
        break;
    case Link::Probing:
        // A handler that blocked the event loop may have left the answer unread.
        if (socket->waitForReadyRead(0))
            break;
        emit log(QStringLiteral("Nothing from Stars for %1 s, not even an answer to a probe; reconnecting")
                     .arg((heal.idleMs + heal.answerMs) / 1000.0),
                 red);
        setLink(Link::WaitingToRetry);
        break;
    default:
        break;
    }
}

bool Stars::isProbeAnswer(const QString &line) const
{
    AMsg m;
    return m.parse(line) && m.kind == AMsg::Ans && m.from == QLatin1String("System")
           && m.toName == nodeName() && m.cmd == QLatin1String("hello");
}

void Stars::connectedToStars()
{
    // The dialogue is opened by the server's challenge; lines must leave at once.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void Stars::disconnectedFromStars()
{
    emit starsIsNotReady();
}

void Stars::receive()
{
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return;
    // Anything that arrives shows the link alive and counts the events
    // written before it as arrived.
    unconfirmed.clear();
    if (isConnected())
        setLink(Link::Up);
    splitter.append(bytes);
    if (const int n = splitter.takeDropped()) {
        emit log(QStringLiteral("Dropped %1 line(s) from Stars longer than %2 bytes")
                     .arg(n).arg(splitter.maxLine()),
                 red);
    }
    while (splitter.hasLine() && socket->state() == QAbstractSocket::ConnectedState) {
        const QString line = QString::fromUtf8(splitter.takeLine());
        emit vlog(QStringLiteral("msg from stars[%1]").arg(line.simplified()), black);
        switch (link) {
        case Link::Connecting: {
            // Without a key the server can only refuse: the attempt ends now.
            const QString noKey = sendKey(line);
            setLink(noKey.isEmpty() ? Link::LoggingIn : afterLoss(), noKey);
            break;
        }
        case Link::LoggingIn:
            if (isAuthOk(line))
                setLink(Link::Up);
            else
                setLink(afterLoss(), QStringLiteral("Stars did not accept the key"));
            break;
        case Link::Up:
        case Link::Probing:
            if (reconnectOn && isProbeAnswer(line))
                sinkVlog(QStringLiteral("Stars answered the link probe [%1]").arg(line.simplified()));
            else
                handleMsg(line);
            break;
        default:
            break;
        }
    }
}

void Stars::writeLine(const QByteArray &bytes)
{
    socket->write(bytes);
    socket->flush();
}

// ---- key handshake --------------------------------------------------------

// Why there is no key names the file.
QString Stars::readKeyFile()
{
    keys.clear();
    const QString path = keyFile();
    const QString abs = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    emit log(QStringLiteral("opening key file [%1]").arg(abs), black);
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit log(QStringLiteral("Can't open key file [%1]").arg(abs), red);
        return path.isEmpty() ? QStringLiteral("no key file given") : QStringLiteral("no key file %1").arg(abs);
    }
    keys = StarsKeys::keysOf(f.readAll());
    return keys.isEmpty() ? QStringLiteral("no key in key file %1").arg(abs) : QString();
}

QString Stars::sendKey(const QString &line)
{
    const QString noKey = readKeyFile();
    if (keys.isEmpty()) {
        emit log(QStringLiteral("I have no key to exchange with Stars."), red);
        return noKey;
    }
    const qint64 n = StarsKeys::challengeOf(line);
    const int index = StarsKeys::keyIndex(n, int(keys.size()));
    const QString key = keys.at(index);
    // The key itself never reaches the log, only where it stands in its file.
    const QString where = QStringLiteral("line %1 of %2").arg(index + 1).arg(QFileInfo(keyFile()).fileName());
    emit log(QStringLiteral("sending key [%1][%2]").arg(nodeName(), where), black);
    writeLine(StarsKeys::keyLine(nodeName(), key).toUtf8() + '\n');
    return QString();
}

bool Stars::isAuthOk(const QString &line) const
{
    return StarsKeys::isAuthOk(line, nodeName());
}

// ---- sending --------------------------------------------------------------

QString Stars::sendToStars(const QString &from, const QString &fromCh, const QString &to, const QString &cmd)
{
    const QString sender = fromCh.isEmpty() ? from : from + QLatin1Char('.') + fromCh;
    const QString line = QStringLiteral("%1>%2 %3").arg(sender, to, cmd);
    if (!isConnected())
        return QStringLiteral("Stars is not ready (") + line + QLatin1Char(')');
    writeLine(line.toUtf8() + '\n');
    if (logSending)
        emit log(QStringLiteral("---- Snd %1").arg(line), sendColor);
    return line;
}

void Stars::sendOk(const AMsg &aMsg)
{
    sendAns(aMsg, QStringLiteral("Ok:"));
}

void Stars::sendAns(const AMsg &aMsg, const QString &ans)
{
    const QString r = sendToStars(aMsg.toName, aMsg.toCh, aMsg.from,
                                  QStringLiteral("@%1 %2").arg(aMsg.cmd, ans));
    emit sendingAnsToStars(r);
}

void Stars::sendEvent(const QString &fromCh, const QString &event)
{
    if (isConnected())
        keepLatest(unconfirmed, {fromCh, event});
    else
        holdEvent(fromCh, event);
    const QString r = sendToStars(nodeName(), fromCh, QStringLiteral("System"),
                                  QLatin1Char('_') + event);
    emit sendingEventToStars(r);
}

// A subscriber that missed the change while the link was down learns the
// latest state of each kind once the link is back.
void Stars::holdEvent(const QString &fromCh, const QString &event)
{
    keepLatest(held, {fromCh, event});
    qCDebug(lcStars) << "no link: event" << event << "held for the next log-in";
}

void Stars::keepLatest(QList<HeldEvent> &list, const HeldEvent &e)
{
    list.removeIf([&](const HeldEvent &o) { return o.sameKind(e); });
    if (list.size() >= maxHeldEvents)
        list.removeFirst();
    list.append(e);
}

// A link that froze keeps what was written into it: those events are held
// again, ahead of (and never in place of) the ones held since.
void Stars::holdUnconfirmed()
{
    const QList<HeldEvent> events = std::exchange(unconfirmed, {});
    for (auto e = events.crbegin(); e != events.crend(); ++e) {
        const bool newer = std::any_of(held.cbegin(), held.cend(), [&](const HeldEvent &o) { return o.sameKind(*e); });
        if (!newer) {
            held.prepend(*e);
            qCDebug(lcStars) << "link lost: event" << e->event << "not known to have arrived, held";
        }
    }
    while (held.size() > maxHeldEvents)
        held.removeFirst();
}

void Stars::sendHeldEvents()
{
    if (held.isEmpty())
        return;
    const QList<HeldEvent> events = std::exchange(held, {});
    QStringList texts;
    for (const HeldEvent &e : events)
        texts << e.event;
    emit log(QStringLiteral("Sending events held while the link was down: %1").arg(texts.join(QStringLiteral(", "))),
             black);
    for (const HeldEvent &e : events)
        sendEvent(e.fromCh, e.event);
}

void Stars::sendCmd(const QString &fromCh, const QString &to, const QString &cmd)
{
    sendCmdV(fromCh, to, cmd, QString());
}

void Stars::sendCmdV(const QString &fromCh, const QString &to, const QString &cmd, const QString &val)
{
    const QString text = val.isEmpty() ? cmd : cmd + QLatin1Char(' ') + val;
    const QString r = sendToStars(nodeName(), fromCh, to, text);
    emit sendingAskToStars(r);
}

void Stars::setBusy(bool f)
{
    if (f != busyFlag)
        sendEvent(QString(), QStringLiteral("ChangedIsBusy %1").arg(f ? 1 : 0));
    busyFlag = f;
}

void Stars::setLogSendingMsg(bool f)
{
    logSending = f;
}

// ---- journal --------------------------------------------------------------

void Stars::newHost()
{
    StarsHistory().recordHost(hostLE->text());
}

void Stars::newPort()
{
    StarsHistory().recordPort(portLE->text());
}

// ---- command table and dispatch --------------------------------------------

void Stars::fillCmdTable()
{
    cmds.fillStandard();
}

int Stars::cmdIdOf(const QString &name) const
{
    return cmds.cmdIdOf(name);
}

QString Stars::cmdHelpOf(const QString &name) const
{
    return cmds.cmdHelpOf(name);
}

QString Stars::cmdNames() const
{
    return cmds.cmdNames();
}

void Stars::handleMsg(const QString &line)
{
    AMsg msg;
    msg.parse(line);
    msg.cmdId = cmdIdOf(msg.cmd);
    if (!msg.ok)
        return;
    switch (msg.cmdId) {
    case 0:
        sendAns(msg, QStringLiteral("Hello! I am %1. Nice to meet you!").arg(nodeName()));
        return;
    case 1:
        answerHelp(msg);
        return;
    case 2:
        sendAns(msg, QString::number(busyFlag ? 1 : 0));
        return;
    default:
        break;
    }
    switch (msg.kind) {
    case AMsg::Ask:
        emit anyAsk(msg);
        break;
    case AMsg::Event:
        emit anyEvent(msg);
        break;
    case AMsg::Ans:
        emit anyAns(msg);
        break;
    case AMsg::NotParsed:
        break;
    }
}

void Stars::answerHelp(const AMsg &aMsg)
{
    if (aMsg.params.isEmpty()) {
        sendAns(aMsg, QStringLiteral("Commands : ") + cmdNames());
        return;
    }
    const QString name = aMsg.param0;
    if (cmdIdOf(name) != AMsg::unknownCmdId)
        sendAns(aMsg, QStringLiteral(": ") + cmdHelpOf(name));
    else
        sendAns(aMsg, QStringLiteral("Er: Command [%1] not found.").arg(name));
}
