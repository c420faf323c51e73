#include "starsnode.h"

#include "socketwait.h"

#include <QDeadlineTimer>

#include "buskeys.h"

StarsNode::StarsNode() = default;

StarsNode::~StarsNode()
{
    sock.abort();
}

bool StarsNode::connectToBus(const QString &host, quint16 port, const QString &name,
                             const QString &keyFile, int timeoutMs)
{
    const QHostAddress address(host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host);
    return connectToBus(address, port, name, keyFile, timeoutMs);
}

bool StarsNode::connectToBus(const QHostAddress &address, quint16 port, const QString &name,
                             const QString &keyFile, int timeoutMs)
{
    error.clear();
    sock.abort();
    buffer.clear();
    pending.clear();
    received.clear();
    nodeName = name;

    QList<QByteArray> keys;
    if (!BusKeys::readKeyFile(keyFile, keys) || keys.isEmpty()) {
        error = QStringLiteral("no key in key file %1").arg(keyFile);
        return false;
    }

    QDeadlineTimer deadline(timeoutMs);
    sock.connectToHost(address, port);
    if (!sock.waitForConnected(int(deadline.remainingTime()))) {
        error = QStringLiteral("cannot connect: %1").arg(sock.errorString());
        sock.abort();
        return false;
    }
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);

    loggingIn = true;
    const std::optional<QString> challengeLine = waitForLine(int(deadline.remainingTime()));
    if (!challengeLine) {
        loggingIn = false;
        error = QStringLiteral("no challenge from the server");
        sock.abort();
        return false;
    }
    bool ok = false;
    lastChallenge = challengeLine->trimmed().toLongLong(&ok);
    if (!ok)
        lastChallenge = 0;
    const QByteArray key = keys.at(BusKeys::keyIndex(lastChallenge, int(keys.size())));
    sendRaw(name.toUtf8() + ' ' + key + '\n');

    const std::optional<QString> reply = waitForLine(int(deadline.remainingTime()));
    loggingIn = false;
    if (!reply) {
        error = isConnected() ? QStringLiteral("no reply to the key") : QStringLiteral("closed by the server");
        sock.abort();
        return false;
    }
    if (!reply->startsWith(QStringLiteral("System>%1 Ok:").arg(name))) {
        error = *reply;
        sock.abort();
        return false;
    }
    // Lines that came with the acceptance belong to the session.
    received = pending;
    return true;
}

bool StarsNode::isConnected() const
{
    return sock.state() == QAbstractSocket::ConnectedState;
}

bool StarsNode::sendRaw(const QByteArray &bytes)
{
    if (!isConnected())
        return false;
    if (sock.write(bytes) != bytes.size())
        return false;
    sock.flush();
    while (sock.bytesToWrite() > 0) {
        if (!sock.waitForBytesWritten(5000))
            return false;
    }
    return true;
}

bool StarsNode::send(const QString &line)
{
    return sendRaw(line.toUtf8() + '\n');
}

void StarsNode::readAvailable()
{
    const QByteArray bytes = sock.readAll();
    if (bytes.isEmpty())
        return;
    buffer.append(bytes);
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lf = buffer.indexOf('\n', pos);
        if (lf < 0)
            break;
        QByteArray line = buffer.mid(pos, lf - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        const QString text = QString::fromUtf8(line);
        pending.append(text);
        if (!loggingIn)
            received.append(text);
        pos = lf + 1;
    }
    buffer.remove(0, pos);
}

bool StarsNode::waitForData(int timeoutMs)
{
    if (timeoutMs <= 0)
        return false;
    if (!pump) {
        const bool got = sock.waitForReadyRead(timeoutMs);
        readAvailable();
        return got;
    }
    const bool got = waitForSocketEvent(sock, timeoutMs);
    readAvailable();
    return got;
}

std::optional<QString> StarsNode::waitForLine(int timeoutMs)
{
    return waitForLineMatching([](const QString &) { return true; }, timeoutMs);
}

std::optional<QString> StarsNode::waitForLineMatching(const QRegularExpression &re, int timeoutMs)
{
    return waitForLineMatching([&re](const QString &line) { return re.match(line).hasMatch(); },
                               timeoutMs);
}

std::optional<QString> StarsNode::waitForLineMatching(const std::function<bool(const QString &)> &pred,
                                                      int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    readAvailable();
    for (;;) {
        while (!pending.isEmpty()) {
            const QString line = pending.takeFirst();
            if (pred(line))
                return line;
        }
        if (!isConnected() && sock.bytesAvailable() == 0)
            return std::nullopt;
        if (deadline.hasExpired())
            return std::nullopt;
        waitForData(int(deadline.remainingTime()));
    }
}

QStringList StarsNode::takePending()
{
    readAvailable();
    QStringList lines = pending;
    pending.clear();
    return lines;
}

void StarsNode::disconnectFromBus(int timeoutMs)
{
    if (sock.state() == QAbstractSocket::UnconnectedState)
        return;
    sock.disconnectFromHost();
    if (sock.state() != QAbstractSocket::UnconnectedState)
        sock.waitForDisconnected(timeoutMs);
}

bool StarsNode::waitForDisconnected(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (isConnected()) {
        if (deadline.hasExpired())
            return false;
        waitForData(int(deadline.remainingTime()));
    }
    readAvailable();
    return true;
}
