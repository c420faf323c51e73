#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QThread>

class StarsBus;

// Runs a StarsBus in a thread of its own, so that it keeps serving while the
// caller's thread is blocked (the program under test waits synchronously for
// its devices). Every method is called from the owning thread and waits for
// the bus thread to carry it out; never call them from the bus thread.
class StarsBusRunner
{
public:
    explicit StarsBusRunner(const QString &keyDir = QString());
    ~StarsBusRunner();

    StarsBusRunner(const StarsBusRunner &) = delete;
    StarsBusRunner &operator=(const StarsBusRunner &) = delete;

    // Starts the thread and the bus listening on a loopback address (port 0:
    // a free port). A running bus is stopped first.
    bool start(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    // Drops every connection, stops listening and ends the thread.
    void stop();
    bool isRunning() const { return bus != nullptr; }

    QHostAddress address() const { return boundAddress; }
    quint16 port() const { return boundPort; }
    QString errorString() const { return error; }
    QString keyDir() const { return dir; }

    QStringList nodeNames() const;
    bool disconnectNode(const QString &name);
    // Keeps the node's connection open but stops reading from and writing to
    // it (a half-open link); false when the node is not logged in.
    bool muteNode(const QString &name, bool on = true);
    // Applies to connections made afterwards; kept across start/stop.
    void setFixedChallenge(qint64 n);
    void setRandomChallenge();

private:
    template <typename F>
    auto call(F f) const;

    QString dir;
    QThread thread;
    StarsBus *bus = nullptr;
    QHostAddress boundAddress;
    quint16 boundPort = 0;
    QString error;
    bool fixedChallenge = false;
    qint64 challengeValue = 0;
};
