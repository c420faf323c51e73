#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A scripted STARS server for the client tests: it accepts one client at a
// time on loopback, records what the client writes and writes what the test
// tells it to. It lives in the test's thread; its waits run the event loop.
class FakeServer : public QObject
{
    Q_OBJECT

public:
    bool listen(quint16 port = 0);
    void stopListening();
    quint16 port() const { return server.serverPort(); }

    bool waitForClient(int timeoutMs = 5000);
    bool hasClient() const;
    int connections() const { return accepted; }

    void send(const QByteArray &bytes);
    void closeClient();
    bool waitForClientGone(int timeoutMs = 5000);

    // The next complete line the client wrote (with its LF); empty on time-out.
    QByteArray nextLine(int timeoutMs = 5000);
    // Everything received and not yet taken as a line.
    QByteArray unread() const { return buffer; }

private:
    void accept();

    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray buffer;
    int accepted = 0;
};
