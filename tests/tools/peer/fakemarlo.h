#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A stand-in for Marlo on a STARS bus, event-driven in the test's thread:
// it logs in with a key file, answers a few requests the way Marlo does,
// sends the busy events around "RunStart", and serves a data link whose
// transfers the test chooses (one per "GetMCAs", the next one per "NAck").
class FakeMarlo : public QObject
{
    Q_OBJECT

public:
    explicit FakeMarlo(QObject *parent = nullptr);
    ~FakeMarlo() override;

    // Connects to the bus (127.0.0.1:busPort) and listens for the data link.
    bool start(quint16 busPort, const QString &keyFile, const QString &name = QStringLiteral("Marlo"));
    bool waitLoggedIn(int timeoutMs = 5000);
    quint16 dataLinkPort() const;

    // Answers. An empty dataLinkAnswer gives "127.0.0.1 <port>".
    QString dataLinkAnswer;
    QString roisAnswer = QStringLiteral("0 2047 0 2047");
    QStringList silent;                   // commands left unanswered
    int busyMs = 50;                      // RunStart: busy for this long

    // Transfers: the first for "GetMCAs", then one per "NAck" (the last repeats).
    QList<QByteArray> transfers;
    // The records written by the next transfer are split into pieces this
    // large with short pauses (0: one write).
    int pieceBytes = 0;

    // What the fake received.
    QStringList requests;                 // request lines
    QList<QByteArray> replies;            // "Ack" / "NAck" from the data link
    int dataLinkConnections = 0;

private:
    void readBus();
    void handle(const QByteArray &line);
    void answer(const QString &to, const QString &cmd, const QString &text);
    void event(const QString &text);
    void sendTransfer();
    void readLink();

    QTcpSocket *bus;
    QTcpServer *server;
    QTcpSocket *link = nullptr;
    QString name;
    QString keyFile;
    QByteArray busBuf;
    QByteArray linkBuf;
    int state = 0;                        // 0 challenge awaited, 1 key sent, 2 logged in
    int nextTransfer = 0;
};
