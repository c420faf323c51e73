#include "starsbus.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>

#include "buskeys.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Splits a line into its first item and the text after it (the separating
// white space stays at the front of the rest).
void splitHead(const QByteArray &line, QByteArray &head, QByteArray &rest)
{
    qsizetype i = 0;
    while (i < line.size() && isBlank(line.at(i)))
        ++i;
    qsizetype k = i;
    while (k < line.size() && !isBlank(line.at(k)))
        ++k;
    head = line.mid(i, k - i);
    rest = line.mid(k);
}

bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    Q_UNUSED(text)
    return !decoder.hasError();
}

QByteArray firstWord(const QByteArray &text)
{
    QByteArray word, rest;
    splitHead(text, word, rest);
    return word;
}

} // namespace

StarsBus::StarsBus(const QString &keyDir, QObject *parent)
    : QObject(parent), keys(keyDir)
{
    server = new QTcpServer(this);
    connect(server, &QTcpServer::newConnection, this, &StarsBus::newConnection);
}

StarsBus::~StarsBus()
{
    close();
}

bool StarsBus::listen(const QHostAddress &address, quint16 port)
{
    error.clear();
    if (!address.isLoopback()) {
        error = QStringLiteral("only loopback addresses are served, not %1").arg(address.toString());
        return false;
    }
    if (!server->listen(address, port)) {
        error = server->errorString();
        return false;
    }
    emit report(QStringLiteral("listening on %1:%2, keys from %3")
                    .arg(server->serverAddress().toString())
                    .arg(server->serverPort())
                    .arg(BusKeys::keyFilePath(keys, QStringLiteral("<Name>"))));
    return true;
}

void StarsBus::close()
{
    server->close();
    const QList<QTcpSocket *> socks = conns.keys();
    for (QTcpSocket *sock : socks) {
        sock->disconnect(this);
        const Conn c = conns.take(sock);
        if (c.loggedIn) {
            nodes.remove(c.name);
            emit nodeDisconnected(c.name);
        }
        sock->abort();
        sock->deleteLater();
    }
    nodes.clear();
    subscribers.clear();
}

bool StarsBus::isListening() const
{
    return server->isListening();
}

QHostAddress StarsBus::serverAddress() const
{
    return server->serverAddress();
}

quint16 StarsBus::port() const
{
    return server->serverPort();
}

QStringList StarsBus::nodeNames() const
{
    QStringList names = nodes.keys();
    names.sort();
    return names;
}

bool StarsBus::disconnectNode(const QString &name)
{
    QTcpSocket *sock = nodes.value(name);
    if (!sock)
        return false;
    sock->disconnectFromHost();
    return true;
}

bool StarsBus::setMuted(const QString &name, bool on)
{
    QTcpSocket *sock = nodes.value(name);
    if (!sock)
        return false;
    conns[sock].muted = on;
    emit report(QStringLiteral("%1 %2").arg(name, on ? QStringLiteral("muted") : QStringLiteral("unmuted")));
    if (!on)
        readFrom(sock);
    return true;
}

void StarsBus::setFixedChallenge(qint64 n)
{
    fixedChallenge = true;
    challengeValue = n;
}

void StarsBus::setRandomChallenge()
{
    fixedChallenge = false;
}

void StarsBus::newConnection()
{
    while (QTcpSocket *sock = server->nextPendingConnection()) {
        sock->setParent(this);
        sock->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Conn c;
        c.challenge = fixedChallenge ? challengeValue
                                     : QRandomGenerator::global()->bounded(maxChallenge + 1);
        conns.insert(sock, c);
        connect(sock, &QTcpSocket::readyRead, this, [this, sock] { readFrom(sock); });
        connect(sock, &QTcpSocket::disconnected, this, [this, sock] { dropped(sock); });
        emit report(QStringLiteral("connection from %1:%2, challenge %3")
                        .arg(sock->peerAddress().toString())
                        .arg(sock->peerPort())
                        .arg(c.challenge));
        writeLine(sock, QByteArray::number(c.challenge));
    }
}

void StarsBus::readFrom(QTcpSocket *sock)
{
    while (conns.contains(sock) && !conns.value(sock).muted
           && sock->state() == QAbstractSocket::ConnectedState && sock->canReadLine()) {
        QByteArray line = sock->readLine();
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isUtf8(line)) {
            const QString who = conns.value(sock).loggedIn ? conns.value(sock).name : QStringLiteral("a node");
            emit report(QStringLiteral("%1 sent a line that is not UTF-8, connection closed").arg(who));
            sock->abort();
            return;
        }
        if (conns.value(sock).loggedIn)
            route(sock, line);
        else
            login(sock, line);
    }
    if (conns.contains(sock) && (conns.value(sock).muted || !sock->canReadLine())
        && sock->bytesAvailable() > maxLineBytes) {
        emit report(QStringLiteral("line longer than %1 bytes, connection closed").arg(maxLineBytes));
        sock->abort();
    }
}

void StarsBus::dropped(QTcpSocket *sock)
{
    if (!conns.contains(sock))
        return;
    const Conn c = conns.take(sock);
    sock->deleteLater();
    if (!c.loggedIn)
        return;
    nodes.remove(c.name);
    for (auto it = subscribers.begin(); it != subscribers.end(); ++it)
        it->removeAll(c.name);
    emit report(QStringLiteral("%1 left").arg(c.name));
    emit nodeDisconnected(c.name);
    notifySubscribers(c.name, c.name.toUtf8(), QByteArrayLiteral(" _Disconnected"));
}

bool StarsBus::validName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String("System"))
        return false;
    for (const QChar ch : name) {
        if (ch.isSpace() || ch == QLatin1Char('/') || ch == QLatin1Char('\\') || ch == QLatin1Char('>')
            || ch == QLatin1Char('.') || ch.unicode() < 0x20)
            return false;
    }
    return true;
}

void StarsBus::login(QTcpSocket *sock, const QByteArray &line)
{
    const qsizetype blank = line.indexOf(' ');
    const QString name = QString::fromUtf8(blank < 0 ? line : line.left(blank));
    const QByteArray key = blank < 0 ? QByteArray() : line.mid(blank + 1);
    bool good = blank >= 0 && validName(name);
    if (good) {
        QList<QByteArray> lines;
        good = BusKeys::readKeyFile(BusKeys::keyFilePath(keys, name), lines) && !lines.isEmpty()
               && lines.at(BusKeys::keyIndex(conns.value(sock).challenge, int(lines.size()))) == key;
    }
    if (!good) {
        emit report(QStringLiteral("refused [%1]").arg(QString::fromUtf8(line)));
        refuse(sock, QByteArrayLiteral("System> Er: Bad node name or key"));
        return;
    }
    if (nodes.contains(name)) {
        emit report(QStringLiteral("refused %1: name in use").arg(name));
        refuse(sock, "System> Er: " + name.toUtf8() + " already exists.");
        return;
    }
    Conn &c = conns[sock];
    c.name = name;
    c.loggedIn = true;
    nodes.insert(name, sock);
    writeLine(sock, "System>" + name.toUtf8() + " Ok:");
    emit report(QStringLiteral("%1 logged in").arg(name));
    emit nodeConnected(name);
    notifySubscribers(name, name.toUtf8(), QByteArrayLiteral(" _Connected"));
    if (muteOnLogin.contains(name))
        setMuted(name, true);
}

void StarsBus::refuse(QTcpSocket *sock, const QByteArray &text)
{
    writeLine(sock, text);
    sock->disconnectFromHost();
}

void StarsBus::route(QTcpSocket *sock, const QByteArray &line)
{
    QByteArray head, rest;
    splitHead(line, head, rest);
    if (head.isEmpty())
        return;
    const qsizetype gt = head.indexOf('>');
    QByteArray from = gt < 0 ? QByteArray() : head.left(gt);
    const QByteArray to = gt < 0 ? head : head.mid(gt + 1);
    const QString sender = conns.value(sock).name;
    if (from.isEmpty())
        from = sender.toUtf8();
    const qsizetype dot = to.indexOf('.');
    const QString toName = QString::fromUtf8(dot < 0 ? to : to.left(dot));
    const QByteArray cmd = firstWord(rest);
    const QByteArray out = from + '>' + to + rest;
    if (verbose)
        emit report(QStringLiteral("%1: %2").arg(sender, QString::fromUtf8(out)));

    if (toName == QLatin1String("System")) {
        toSystem(sock, from, cmd, rest);
        return;
    }
    if (QTcpSocket *dest = nodes.value(toName)) {
        writeLine(dest, out);
        return;
    }
    if (!cmd.startsWith('@') && !cmd.startsWith('_'))
        writeLine(sock, "System>" + from + " @" + cmd + " Er: Nobody is down.");
}

void StarsBus::toSystem(QTcpSocket *sock, const QByteArray &from, const QByteArray &cmd,
                        const QByteArray &rest)
{
    const QString sender = conns.value(sock).name;
    if (cmd.startsWith('_')) {
        notifySubscribers(sender, from, rest);
        return;
    }
    if (cmd.startsWith('@'))
        return;
    QByteArray word, params;
    splitHead(rest, word, params);
    const QString target = QString::fromUtf8(firstWord(params));
    const QByteArray reply = "System>" + from + " @" + cmd + ' ';
    if (cmd == "flgon" || cmd == "flgoff") {
        if (target.isEmpty()) {
            writeLine(sock, reply + "Er: Node name is missing.");
            return;
        }
        QStringList &subs = subscribers[target];
        subs.removeAll(sender);
        if (cmd == "flgon")
            subs.append(sender);
        else if (subs.isEmpty())
            subscribers.remove(target);
        writeLine(sock, reply + "Ok:");
    } else if (cmd == "listnodes") {
        writeLine(sock, reply + nodeNames().join(QLatin1Char(' ')).toUtf8());
    } else if (cmd == "hello") {
        writeLine(sock, reply + "Nice to meet you.");
    } else if (cmd == "help") {
        writeLine(sock, reply + "flgon flgoff listnodes hello help");
    } else {
        writeLine(sock, reply + "Er: Command [" + cmd + "] not found.");
    }
}

void StarsBus::notifySubscribers(const QString &node, const QByteArray &from, const QByteArray &rest)
{
    const QStringList subs = subscribers.value(node);
    for (const QString &sub : subs) {
        if (QTcpSocket *dest = nodes.value(sub))
            writeLine(dest, from + '>' + sub.toUtf8() + rest);
    }
}

void StarsBus::writeLine(QTcpSocket *sock, const QByteArray &line)
{
    if (conns.value(sock).muted)
        return;
    sock->write(line + '\n');
    sock->flush();
}
