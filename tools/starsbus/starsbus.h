#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A small STARS server, a stand-in for a site's server in tests and the demo.
//
// Handshake: on connection it sends a challenge N (0..10000, or the fixed
// value set) and LF; the client answers "Name key"; the key must be line
// (N mod count) of "<keyDir>/<Name>.key" (BusKeys rules). Success:
// "System>Name Ok:"; failure: "System> Er: Bad node name or key", or
// "System> Er: <Name> already exists." for a name in use, and the
// connection is closed.
//
// Routing: a line "From>To cmd ..." goes to the node To (up to its first
// ".") unchanged; "To cmd ..." or ">To cmd ..." get the sender's name as
// from field. A request to a node that is not connected is answered
// "System>From @cmd Er: Nobody is down."; answers and events to it are
// dropped. Lines to "System": "flgon Node" / "flgoff Node" (subscribe to or
// leave the events of Node, answered "@flgon Ok:" / "@flgoff Ok:"),
// "listnodes" (answered with the connected names), "hello" (answered
// "System>From @hello Nice to meet you."), "help"; events
// "Node>System _Ev args" reach every subscriber of Node as
// "Node>Subscriber _Ev args"; subscribers also get "Node>Subscriber
// _Connected" and "_Disconnected". Other requests to System are answered
// "Er: Command [cmd] not found.". Lines go out with LF; LF and CR LF come in.
// Lines are UTF-8: a node that sends a line that is not UTF-8 is
// disconnected, as the strict servers do.
//
// A muted node keeps its connection, but the bus neither reads its lines nor
// writes to it (a half-open link); it still notices when the node closes.
//
// Only loopback addresses are served. Single-threaded: use it from the
// thread it lives in (StarsBusRunner runs one in its own thread).
class StarsBus : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxChallenge = 10000;
    static constexpr qint64 maxLineBytes = qint64(4) << 20;

    explicit StarsBus(const QString &keyDir = QString(), QObject *parent = nullptr);
    ~StarsBus() override;

    void setKeyDir(const QString &dir) { keys = dir; }
    QString keyDir() const { return keys; }

    // Listens on a loopback address; port 0 picks a free port.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    // Stops listening and drops every connection.
    void close();
    bool isListening() const;
    QHostAddress serverAddress() const;
    quint16 port() const;
    QString errorString() const { return error; }

    // Logged-in node names, sorted.
    QStringList nodeNames() const;
    bool hasNode(const QString &name) const { return nodes.contains(name); }
    // Closes the connection of a logged-in node; false when there is none.
    bool disconnectNode(const QString &name);
    // Mutes or unmutes a logged-in node; false when there is none. Unmuted,
    // the lines it sent meanwhile are read.
    bool setMuted(const QString &name, bool on);
    // Mutes these nodes as soon as they log in.
    void setMuteOnLogin(const QStringList &names) { muteOnLogin = names; }

    // Challenges: a fixed number (any value, also negative) or random 0..10000.
    void setFixedChallenge(qint64 n);
    void setRandomChallenge();

    // Also report every routed line.
    void setVerbose(bool on) { verbose = on; }

signals:
    void nodeConnected(const QString &name);
    void nodeDisconnected(const QString &name);
    // What the bus does, one line each, for the command-line program.
    void report(const QString &text);

private:
    struct Conn {
        QString name;
        bool loggedIn = false;
        bool muted = false;
        qint64 challenge = 0;
    };

    void newConnection();
    void readFrom(QTcpSocket *sock);
    void dropped(QTcpSocket *sock);
    void login(QTcpSocket *sock, const QByteArray &line);
    void refuse(QTcpSocket *sock, const QByteArray &text);
    void route(QTcpSocket *sock, const QByteArray &line);
    void toSystem(QTcpSocket *sock, const QByteArray &from, const QByteArray &cmd,
                  const QByteArray &rest);
    void notifySubscribers(const QString &node, const QByteArray &from, const QByteArray &rest);
    void writeLine(QTcpSocket *sock, const QByteArray &line);
    static bool validName(const QString &name);

    QTcpServer *server = nullptr;
    QString keys;
    QString error;
    QHash<QTcpSocket *, Conn> conns;
    QHash<QString, QTcpSocket *> nodes;
    QHash<QString, QStringList> subscribers;
    bool fixedChallenge = false;
    qint64 challengeValue = 0;
    bool verbose = false;
    QStringList muteOnLogin;
};
