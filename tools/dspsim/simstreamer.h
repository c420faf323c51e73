#pragma once

#include "simfaults.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <atomic>

class QTcpServer;
class QTcpSocket;
class QTimer;

// The TCP side of a simulated DSP unit: the listening server, the one
// current connection and the queue of histograms going out on it, with the
// stream faults (pieces with gaps, stall, reset, stray bytes, accept-then-
// close, refusal). Lives in the simulator thread; only connectionCount() may
// be called from elsewhere.
class SimStreamer : public QObject
{
    Q_OBJECT
public:
    explicit SimStreamer(QObject *parent = nullptr);
    ~SimStreamer() override;

    bool listen(const QHostAddress &addr, quint16 port, QString *error);
    void close();
    quint16 port() const { return boundPort; }

    void setFaults(const SimFaults &f);
    // > 0: each histogram stream goes out at this many megabits per second.
    void setPaceMbps(double mbps);

    // Queues one histogram stream on the current connection; dropped when
    // there is none.
    void send(const QByteArray &bytes);

    // Closes the current connection (as a unit restart would).
    void drop();

    int connectionCount() const { return accepted.load(); }
    bool hasConnection() const { return conn != nullptr; }

private:
    struct Job {
        QByteArray data;
        int pieceBytes = 0;
        int pieceGapMs = 0;
        bool closeAfter = false;
        qint64 startNs = -1;   // paced: when its first byte was due
    };

    void onNewConnection();
    void onConnectionGone(QTcpSocket *s);
    void sendNext();
    void applyRefusal();
    // Aborts the connection and forgets what was queued for it; the socket
    // goes at once or, when a slot of it may be running, later.
    void dropConnection(bool deleteNow);

    QTcpServer *server = nullptr;
    QTcpSocket *conn = nullptr;
    QTimer *gapTimer = nullptr;
    QList<Job> queue;
    int jobOffset = 0;
    SimFaults faults;
    double paceMbps = 0.0;
    QElapsedTimer clock;
    QHostAddress address;
    quint16 boundPort = 0;
    std::atomic<int> accepted{0};
};
