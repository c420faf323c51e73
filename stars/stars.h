// The connection to the STARS server and the small server that answers over it.
#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QString>
#include <QStringList>

#include "amsg.h"
#include "linesplitter.h"
#include "starscmdtable.h"
#include "ui_stars.h"

#include <QAbstractSocket>

class ConnectStat;
class QLabel;
class QLineEdit;
class QPushButton;
class QTcpSocket;
class QTimer;

// Marlo's one connection to the STARS server, and at the same time the small
// panel with the host, port, own name and key file fields and the connect
// button. It answers the server's key challenge, tracks the link state, reads
// whole lines, answers "Hello", "Help" and "IsBusy" itself and hands every
// other message on as anyAsk/anyEvent/anyAns. Every other part sends its
// answers, events and requests through it.
//
// The settings are the texts of the form fields, read at the moment of use.
// Lines are written as UTF-8 with LF and read as UTF-8.
//
// With setReconnect(true) (the main window sets it from STARS_RECONNECT,
// default 1) the link heals itself: once a connection has been asked for, a
// failed attempt or a lost link is tried again, first after a second, the
// gap doubling up to 30 s, until the operator disconnects. A link on which nothing has arrived for 10 s is
// probed with "System hello"; when nothing arrives within 5 s more it counts
// as lost. The server's answer to the probe is consumed here.
//
// An event that finds no link is held, the latest of each kind (its channel
// and first word) in place of an earlier one; right after the next log-in the
// held events are sent once, in the order of their latest change, and
// forgotten. Answers and requests are never held. An event written since
// the server last sent anything is not known to have arrived: when the link
// is then lost or dropped (not closed by the operator), it is held in the
// same way (unless a newer one of its kind is), so a subscriber may see it
// twice but never misses it.
class Stars : public QFrame, private Ui_Stars
{
    Q_OBJECT

public:
    explicit Stars(QWidget *parent = nullptr);
    ~Stars() override;

    // The settings fields (what the main window fills from the configuration).
    QString host() const;
    void setHost(const QString &host);
    QString portText() const;
    // The port field read as a decimal number; 0 when it is not a port number.
    quint16 port() const;
    void setPort(const QString &port);
    QString nodeName() const;
    void setNodeName(const QString &name);
    QString keyFile() const;
    void setKeyFile(const QString &path);

    // The form's widgets, for the main window and for tests.
    QLineEdit *hostEdit() const;
    QLineEdit *portEdit() const;
    QLineEdit *nodeNameEdit() const;
    QLineEdit *keyFileEdit() const;
    QPushButton *connectButton() const;
    QLabel *statusLabel() const;

    // The link state: 0 Disconnected, 1 Connecting, 2 Connected.
    int linkState() const;
    bool logSendingMsg() const { return logSending; }

    // Self-healing of the link (off until switched on) and its timings.
    struct HealTimings {
        int firstRetryMs = 1000;
        int maxRetryMs = 30000;
        int idleMs = 10000;
        int answerMs = 5000;
    };
    void setReconnect(bool on);
    bool reconnect() const { return reconnectOn; }
    void setHealTimings(const HealTimings &t) { heal = t; }
    HealTimings healTimings() const { return heal; }
    // A lost link or a failed attempt is being retried.
    bool isRetrying() const;

    // The command table.
    int cmdIdOf(const QString &name) const;
    QString cmdHelpOf(const QString &name) const;
    QString cmdNames() const;
    const QList<StarsCmd> &cmdTable() const { return cmds.entries(); }

    // Composes "from[.fromCh]>to cmd" and writes it with LF when connected.
    // Returns the line, or "Stars is not ready (" + line + ")" when the link
    // is not up (nothing is written then).
    QString sendToStars(const QString &from, const QString &fromCh, const QString &to, const QString &cmd);

    // The dispatcher for one line received in the connected state (also
    // usable to inject a line): parses it, sets the command number, answers
    // "Hello", "Help" and "IsBusy", and emits anyAsk/anyEvent/anyAns for the
    // rest. Unparsable lines are dropped silently.
    void handleMsg(const QString &line);

signals:
    void starsIsReady();
    void starsIsNotReady();
    void anyAns(AMsg amsg);
    void anyEvent(AMsg amsg);
    void anyAsk(AMsg amsg);
    void log(const QString &msg, const QColor &c = QColor(0, 0, 0));
    void vlog(const QString &msg, const QColor &c = QColor(0, 0, 0));
    void sendingAnsToStars(QString ans);
    void sendingEventToStars(QString msg);
    void sendingAskToStars(QString msg);

public slots:
    // In state 2 closes the link, and while retrying stops the retrying;
    // otherwise starts a connection to the host and port in the form (no
    // effect while a connection is up or under way).
    void connectToStars();
    void setBusy(bool f);
    bool busy() const { return busyFlag; }
    void setLogSendingMsg(bool f);
    void sendOk(const AMsg &aMsg);
    void sendAns(const AMsg &aMsg, const QString &ans);
    void sendEvent(const QString &fromCh, const QString &event);
    void sendCmd(const QString &fromCh, const QString &to, const QString &cmd);
    void sendCmdV(const QString &fromCh, const QString &to, const QString &cmd, const QString &val);
    bool isConnected() const;

private slots:
    void connectedToStars();
    void disconnectedFromStars();
    void receive();
    void newHost();
    void newPort();

private:
    // The link's one state. It changes only in setLink(), which also keeps
    // the timers, the panel and the held events in step with it.
    enum class Link {
        Off,             // no link, none wanted
        Connecting,      // the connection is made or awaits the challenge
        LoggingIn,       // the key is sent, the acceptance awaited
        Up,              // logged in
        Probing,         // logged in, quiet, "System hello" sent
        WaitingToRetry,  // a failed attempt or a lost link, the next attempt timed
    };
    // Moves to `next`. A non-empty `why` says why the link or attempt ended
    // without the operator and is logged.
    void setLink(Link next, const QString &why = QString());
    // Where a failed attempt or a lost link goes.
    Link afterLoss() const { return reconnectOn ? Link::WaitingToRetry : Link::Off; }
    void retime(Link from, bool wasRetrying);
    void logLoss(bool wasUp, bool wasRetrying, Link next, const QString &why);
    void paintPanel();

    void fillCmdTable();
    // The keys of the key file; why there is none, or empty.
    QString readKeyFile();
    // Answers the challenge; without a key nothing is sent and the reason the
    // attempt ends is returned, else an empty string.
    QString sendKey(const QString &line);
    bool isAuthOk(const QString &line) const;
    void answerHelp(const AMsg &aMsg);
    void writeLine(const QByteArray &bytes);
    void socketStateChanged(QAbstractSocket::SocketState s);
    void watchExpired();
    bool isProbeAnswer(const QString &line) const;
    QString dropReason() const;
    struct HeldEvent {
        QString fromCh;
        QString event;
        // The same channel and first word.
        bool sameKind(const HeldEvent &o) const
        {
            return fromCh == o.fromCh && event.section(QLatin1Char(' '), 0, 0) == o.event.section(QLatin1Char(' '), 0, 0);
        }
    };
    // Puts `e` into `list` in place of an earlier event of its kind.
    static void keepLatest(QList<HeldEvent> &list, const HeldEvent &e);
    void holdEvent(const QString &fromCh, const QString &event);
    void holdUnconfirmed();
    void sendHeldEvents();

    QTcpSocket *socket = nullptr;
    ConnectStat *connectStat = nullptr;
    QStringList keys;
    bool busyFlag = false;
    StarsCmdTable cmds;
    bool logSending = false;
    QColor sendColor = QColor(0, 200, 120);
    LineSplitter splitter;

    HealTimings heal;
    bool reconnectOn = false;
    Link link = Link::Off;
    // The wait before the next attempt while failed attempts are retried;
    // 0 outside such a cycle (it ends with a log-in or at Off).
    int retryGapMs = 0;
    QTimer *retryTimer = nullptr;
    QTimer *watchTimer = nullptr;  // log-in bound, idle time, probe answer

    QList<HeldEvent> held;         // events that found no link, one per kind
    QList<HeldEvent> unconfirmed;  // written since the server last sent anything
};
