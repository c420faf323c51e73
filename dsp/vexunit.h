// The network end of one device unit: register access by UDP and a TCP stream.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include "rbcp.h"

class UnitStat;

// The network end of one device unit: register access by UDP (one request,
// optionally one awaited answer of at most 500 ms) and the TCP connection
// over which a DSP unit streams histograms. Keeps the unit's status strip.
class VexUnit : public QObject
{
    Q_OBJECT

public:
    static constexpr int answerWaitMs = 500;
    static constexpr int firstRetryBackoffMs = 250;   // after the immediate retry
    static constexpr int maxRetryBackoffMs = 5000;
    static constexpr int stableConnectionMs = 1000;   // a shorter connection counts as failed
    static constexpr qint64 maxDrainBytes = 64 * 1024; // bounds of one drain of a fresh connection
    static constexpr int maxDrainMs = 100;

    explicit VexUnit(QObject *parent = nullptr);                       // name "id", ip "0.0.0.0", not valid
    VexUnit(const QString &name, const QString &ip, QObject *parent = nullptr);
    // Same, with other device ports (tests and simulators).
    VexUnit(const QString &name, const QString &ip, quint16 udpPort, quint16 tcpPort,
            QObject *parent = nullptr);
    ~VexUnit() override;

    // The unit's status strip. Created without parent; placing it in a layout
    // reparents it. The unit deletes it in its destructor unless it is gone.
    UnitStat *status() const;

    QString name() const;
    QString ip() const;
    QHostAddress address() const;
    bool isValid() const;
    // The address was given as a host name that did not resolve (or not at
    // all): every register access fails at once as a time-out.
    bool addressUnresolved() const;

    // A unit that does not answer costs one time-out per request: once an
    // awaited access has timed out, the request's further accesses are sent
    // without waiting and fail (value 0). A new request (a STARS request, a
    // poll or watch tick; the program's start-up is the first) waits again
    // for its first access.
    void beginRequest();
    // An awaited access timed out, and none has been answered since.
    bool notAnswering() const;

    quint16 udpPort = 4660;   // device ports; may be changed before any access
    quint16 tcpPort = 24;

    bool readReg(quint32 addr, bool wait = true, int size = 2);
    bool writeReg(quint32 addr, quint64 value, bool wait = true, int size = 2);
    // Waits up to ms for the answer to the request at addr; datagrams from
    // other senders and answers for other addresses are dropped.
    bool waitUdpAns(int ms, quint32 addr);

    quint32 ansHeader() const;
    quint32 ansAddr() const;
    quint64 ansValue() const;
    QByteArray ansData() const;
    QByteArray lastDatagram() const;

    void openTcp();
    void closeTcp();
    void discardTcp();
    // The connection's connected/disconnected/readyRead signals reach this
    // unit (on after construction); off while a read in line takes the data.
    void connectTcpSignals();
    void disconnectTcpSignals();
    bool tcpHasConnected() const;
    bool keepTcp() const;
    // Delay before the next reconnection attempt (0: at once).
    int nextRetryDelayMs() const;

    QTcpSocket *tcpSocket();

signals:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    void lastUdpDataReady();
    void tcpDataReadySignal();

private slots:
    void udpDataReady();
    void tcpConnected();
    void tcpDisconnected();
    void tcpError(QAbstractSocket::SocketError err);
    void tcpStateChanged(QAbstractSocket::SocketState state);
    void tcpReadyRead();
    void retryTcp();
    void connectionStable();

protected:
    // Bytes arriving on a new connection are dropped until data are asked.
    void expectTcpData();
    // Paints the strip's TCP time-out indicator when its state changes.
    void showTcpTimeout(bool f);
    // Drops the connection and, while one is wanted, opens a new one at
    // once, so that the rest of a stream given up on cannot be taken for
    // the next one. Not counted as a failure of the connection.
    void renewTcp();
    // Waits at most ms for a connection under way (a renewed one), so that
    // the unit streams what is asked next on it. True when connected.
    bool awaitTcp(int ms);

private:
    void init(const QString &name, const QString &ip, bool valid);
    bool exchange(const QByteArray &datagram, quint32 addr, bool wait);
    void sendRequest(const QByteArray &datagram, bool wait);
    void ensureUdpBound();
    bool fromUnit(const QHostAddress &sender) const;
    bool readPendingDatagram(QByteArray &data, QHostAddress &sender);
    void showUdpTimeout(bool f);
    void takeAnswer(const QByteArray &datagram);
    void takeAnswer(const Rbcp::Answer &answer);
    void setAnswering(bool answering);
    void startConnect();
    void drainFreshConnection();
    void scheduleRetry();

    QPointer<UnitStat> m_status;
    bool m_valid = false;
    QString m_name;
    QString m_ip;
    QHostAddress m_address;
    bool m_unresolved = false;
    bool m_notAnswering = false;
    bool m_skipWaits = false;       // this request had a time-out: no more waits
    QTcpSocket m_tcp;
    QUdpSocket m_udp;
    bool m_tcpHasConnected = false;
    bool m_keepTcp = false;
    bool m_tcpSignalsOn = false;
    bool m_udpSlotOn = false;       // the slot takes datagrams (no synchronous wait)
    int m_udpTimeoutShown = -1;     // what the strip shows: -1 unknown, 0 OK, 1 NG
    int m_tcpTimeoutShown = -1;
    Rbcp::Answer m_ans;

    // reconnection
    QTimer m_retryTimer;
    QTimer m_stableTimer;
    QElapsedTimer m_upSince;
    int m_backoffMs = 0;
    bool m_failureLogged = false;   // a failure was logged, no stable connection since
    bool m_wasUp = false;
    bool m_reportedUp = false;      // "tcp connected" was logged for this connection
    bool m_freshConnection = false;
    bool m_renewing = false;        // renewTcp() drops the connection on purpose
};
