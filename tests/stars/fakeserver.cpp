#include "fakeserver.h"

#include <QTest>

bool FakeServer::listen(quint16 port)
{
    connect(&server, &QTcpServer::newConnection, this, &FakeServer::accept, Qt::UniqueConnection);
    return server.listen(QHostAddress::LocalHost, port);
}

void FakeServer::stopListening()
{
    server.close();
}

void FakeServer::accept()
{
    while (QTcpSocket *s = server.nextPendingConnection()) {
        if (client) {
            client->abort();
            client->deleteLater();
        }
        ++accepted;
        client = s;
        buffer.clear();
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            if (s == client)
                buffer.append(s->readAll());
        });
    }
}

bool FakeServer::waitForClient(int timeoutMs)
{
    return QTest::qWaitFor([this] { return hasClient(); }, timeoutMs);
}

bool FakeServer::hasClient() const
{
    return client && client->state() == QAbstractSocket::ConnectedState;
}

void FakeServer::send(const QByteArray &bytes)
{
    if (!client)
        return;
    client->write(bytes);
    client->flush();
}

void FakeServer::closeClient()
{
    if (client) {
        client->disconnectFromHost();
        client->deleteLater();
        client = nullptr;
    }
}

bool FakeServer::waitForClientGone(int timeoutMs)
{
    return QTest::qWaitFor([this] {
        return !client || client->state() == QAbstractSocket::UnconnectedState;
    }, timeoutMs);
}

QByteArray FakeServer::nextLine(int timeoutMs)
{
    if (!QTest::qWaitFor([this] { return buffer.contains('\n'); }, timeoutMs))
        return QByteArray();
    const qsizetype lf = buffer.indexOf('\n');
    const QByteArray line = buffer.left(lf + 1);
    buffer.remove(0, lf + 1);
    return line;
}
