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
        if (wanted && socket->state() == QAbstractSocket::UnconnectedState)
            startAttempt();
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
    closeConnection();
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
    return connectStat->state;
}

bool Stars::isConnected() const
{
    return connectStat->state == ConnectStat::Connected;
}

// ---- connection -----------------------------------------------------------

void Stars::connectToStars()
{
    if (connectStat->state == ConnectStat::Connected) {
        stopHealing();
        ownClose = true;
        socket->close();
        return;
    }
    if (connectStat->isRetrying()) {
        stopHealing();
        ownClose = socket->state() != QAbstractSocket::UnconnectedState;
        socket->abort();
        emit log(QStringLiteral("Stopped reconnecting to Stars"), black);
        return;
    }
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        qCDebug(lcStars) << "connect ignored, socket state" << socket->state();
        return;
    }
    wanted = reconnectOn;
    retryDelayMs = heal.firstRetryMs;
    startAttempt();
}

void Stars::setReconnect(bool on)
{
    reconnectOn = on;
    if (!on)
        stopHealing();
}

bool Stars::isRetrying() const
{
    return connectStat->isRetrying();
}

void Stars::startAttempt()
{
    splitter.clear();
    wasUp = false;
    probing = false;
    silent = false;
    ownClose = false;
    closeReason.clear();
    // An attempt that neither fails nor logs in (a server that never
    // answers) is given up after the same time as a silent link.
    if (wanted)
        watchTimer->start(heal.idleMs + heal.answerMs);
    socket->connectToHost(host(), port(), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void Stars::stopHealing()
{
    wanted = false;
    probing = false;
    retryTimer->stop();
    watchTimer->stop();
    connectStat->setRetrying(false);
}

// A failed attempt or a lost link: the next attempt is scheduled while the
// link is wanted. Only the change into retrying is logged, not each attempt.
void Stars::socketStateChanged(QAbstractSocket::SocketState s)
{
    if (s != QAbstractSocket::UnconnectedState)
        return;
    watchTimer->stop();
    probing = false;
    const bool lostUp = wasUp;
    const bool lostSilent = silent;
    const bool byOperator = ownClose;
    const QString reason = dropReason();
    wasUp = false;
    silent = false;
    ownClose = false;
    closeReason.clear();
    // The operator's close lets the written lines go.
    if (byOperator) {
        unconfirmed.clear();
        return;
    }
    holdUnconfirmed();
    const QString where = QStringLiteral("%1:%2").arg(host(), portText());
    if (!wanted) {
        emit log((lostUp ? QStringLiteral("Lost the link to Stars at %1 (%2)")
                         : QStringLiteral("Can't connect to Stars at %1 (%2)"))
                     .arg(where, reason),
                 red);
        return;
    }
    if (!connectStat->isRetrying()) {
        retryDelayMs = heal.firstRetryMs;
        connectStat->setRetrying(true);
        if (lostSilent)
            emit log(QStringLiteral("Nothing from Stars for %1 s, not even an answer to a probe; reconnecting")
                         .arg((heal.idleMs + heal.answerMs) / 1000.0),
                     red);
        else if (lostUp)
            emit log(QStringLiteral("Lost the link to Stars at %1 (%2); reconnecting").arg(where, reason), red);
        else
            emit log(QStringLiteral("Can't connect to Stars at %1 (%2); retrying").arg(where, reason), red);
    }
    retryTimer->start(retryDelayMs);
    retryDelayMs = qMin(retryDelayMs * 2, qMax(heal.maxRetryMs, heal.firstRetryMs));
}

// Why the connection went: what Marlo itself gave up on, or the socket's own
// error, which the socket sets before it reports the state.
QString Stars::dropReason() const
{
    if (!closeReason.isEmpty())
        return closeReason;
    if (socket->error() == QAbstractSocket::UnknownSocketError)
        return QStringLiteral("closed");
    return socket->errorString();
}

void Stars::watchExpired()
{
    if (!wanted || socket->state() == QAbstractSocket::UnconnectedState)
        return;
    if (connectStat->state != ConnectStat::Connected) {
        qCDebug(lcStars) << "no log-in within" << heal.idleMs + heal.answerMs << "ms";
        closeReason = QStringLiteral("no log-in within %1 s").arg((heal.idleMs + heal.answerMs) / 1000.0);
        socket->abort();
        return;
    }
    if (!probing) {
        probing = true;
        writeLine(QByteArrayLiteral("System hello\n"));
        watchTimer->start(heal.answerMs);
        return;
    }
    // A handler that blocked the event loop may have left the answer unread.
    if (socket->waitForReadyRead(0))
        return;
    silent = true;
    socket->abort();
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
    splitter.clear();
    connectStat->setStat(ConnectStat::Disconnected);
    emit starsIsNotReady();
}

void Stars::closeConnection()
{
    socket->close();
}

void Stars::receive()
{
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return;
    // Anything that arrives shows the link alive and counts the events
    // written before it as arrived.
    unconfirmed.clear();
    if (wanted && connectStat->state == ConnectStat::Connected) {
        probing = false;
        watchTimer->start(heal.idleMs);
    }
    splitter.append(bytes);
    if (const int n = splitter.takeDropped()) {
        emit log(QStringLiteral("Dropped %1 line(s) from Stars longer than %2 bytes")
                     .arg(n).arg(splitter.maxLine()),
                 red);
    }
    while (splitter.hasLine() && socket->state() == QAbstractSocket::ConnectedState) {
        const QString line = QString::fromUtf8(splitter.takeLine());
        emit vlog(QStringLiteral("msg from stars[%1]").arg(line.simplified()), black);
        switch (connectStat->state) {
        case ConnectStat::Disconnected:
            // Without a key the server can only refuse: the attempt ends now.
            if (!sendKey(line)) {
                socket->abort();
                break;
            }
            connectStat->setStat(ConnectStat::Connecting);
            break;
        case ConnectStat::Connecting:
            if (isAuthOk(line)) {
                wasUp = true;
                if (wanted) {
                    retryDelayMs = heal.firstRetryMs;
                    watchTimer->start(heal.idleMs);
                    connectStat->setRetrying(false);
                }
                connectStat->setStat(ConnectStat::Connected);
                emit starsIsReady();
                emit log(QStringLiteral("Connected To Stars"), black);
                sendHeldEvents();
            } else {
                closeReason = QStringLiteral("Stars did not accept the key");
                socket->disconnectFromHost();
            }
            break;
        case ConnectStat::Connected:
            if (wanted && isProbeAnswer(line))
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

// On failure the reason of the attempt's end names the file.
void Stars::readKeyFile()
{
    keys.clear();
    const QString path = keyFile();
    const QString abs = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    emit log(QStringLiteral("opening key file [%1]").arg(abs), black);
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly | QIODevice::Text)) {
        emit log(QStringLiteral("Can't open key file [%1]").arg(abs), red);
        closeReason = path.isEmpty() ? QStringLiteral("no key file given") : QStringLiteral("no key file %1").arg(abs);
        return;
    }
    keys = StarsKeys::keysOf(f.readAll());
    if (keys.isEmpty())
        closeReason = QStringLiteral("no key in key file %1").arg(abs);
}

bool Stars::sendKey(const QString &line)
{
    readKeyFile();
    if (keys.isEmpty()) {
        emit log(QStringLiteral("I have no key to exchange with Stars."), red);
        return false;
    }
    const qint64 n = StarsKeys::challengeOf(line);
    const int index = StarsKeys::keyIndex(n, int(keys.size()));
    const QString key = keys.at(index);
    // The key itself never reaches the log, only where it stands in its file.
    const QString where = QStringLiteral("line %1 of %2").arg(index + 1).arg(QFileInfo(keyFile()).fileName());
    emit log(QStringLiteral("sending key [%1][%2]").arg(nodeName(), where), black);
    writeLine(StarsKeys::keyLine(nodeName(), key).toUtf8() + '\n');
    return true;
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

bool Stars::addCmd(int id, const QString &name, const QString &help)
{
    return cmds.addCmd(id, name, help);
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
