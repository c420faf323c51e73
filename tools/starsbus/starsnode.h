#pragma once

#include <functional>
#include <optional>

#include <QByteArray>
#include <QHostAddress>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

// A synchronous STARS node for tests and command-line tools: it connects,
// answers the key challenge from a key file, sends lines and waits for lines.
//
// Every wait is bounded by its time-out. While waiting, the node by default
// runs the calling thread's event loop (a nested QEventLoop), so that other
// objects of that thread, such as a Stars panel under test or a StarsBus in
// the same thread, keep working. With setPumpEvents(false) it blocks in
// QTcpSocket::waitFor...() instead and needs no event loop at all (then the
// bus must run in another thread or process).
//
// Lines travel as UTF-8 in both directions (sendRaw writes bytes as given);
// the node writes LF after each line and strips LF or CR LF from received
// lines.
// Create and use it in one thread.
class StarsNode
{
public:
    StarsNode();
    ~StarsNode();

    StarsNode(const StarsNode &) = delete;
    StarsNode &operator=(const StarsNode &) = delete;

    void setPumpEvents(bool on) { pump = on; }
    bool pumpEvents() const { return pump; }

    // Connects, reads the challenge, answers "name key" with the key chosen
    // from keyFile as the server chooses it, and waits for "System>name Ok:".
    // False on any failure; errorString() then holds the reason (for a
    // refusal, the server's line).
    bool connectToBus(const QHostAddress &address, quint16 port, const QString &name,
                      const QString &keyFile, int timeoutMs = 5000);
    bool connectToBus(const QString &host, quint16 port, const QString &name,
                      const QString &keyFile, int timeoutMs = 5000);

    bool isConnected() const;
    QString name() const { return nodeName; }
    QString errorString() const { return error; }
    // The challenge of the last login.
    qint64 challenge() const { return lastChallenge; }

    // Writes the line and LF, and waits until it has been handed to the system.
    bool send(const QString &line);
    // Writes the bytes unchanged (no LF added).
    bool sendRaw(const QByteArray &bytes);

    // The next received line not yet taken; nothing when none arrives in time
    // or the connection ends.
    std::optional<QString> waitForLine(int timeoutMs = 5000);
    // Takes lines until one matches; the lines passed over are taken too.
    std::optional<QString> waitForLineMatching(const QRegularExpression &re, int timeoutMs = 5000);
    std::optional<QString> waitForLineMatching(const std::function<bool(const QString &)> &pred,
                                               int timeoutMs = 5000);
    // Received lines not yet taken, taken now without waiting.
    QStringList takePending();
    int pendingCount() const { return int(pending.size()); }
    // Every line received since the login, in arrival order.
    QStringList receivedLines() const { return received; }

    // Closes the connection (waits for unsent lines to leave).
    void disconnectFromBus(int timeoutMs = 5000);
    // Waits until the server has closed the connection.
    bool waitForDisconnected(int timeoutMs = 5000);

private:
    bool waitForData(int timeoutMs);
    void readAvailable();

    QTcpSocket sock;
    QString nodeName;
    QString error;
    qint64 lastChallenge = 0;
    bool pump = true;
    bool loggingIn = false;
    QByteArray buffer;
    QStringList pending;
    QStringList received;
};
