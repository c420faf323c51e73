#include "simstreamer.h"

#include <QLoggingCategory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

Q_LOGGING_CATEGORY(lcSimTcp, "marlo.sim.tcp", QtInfoMsg)

SimStreamer::SimStreamer(QObject *parent)
    : QObject(parent)
{
    gapTimer = new QTimer(this);
    gapTimer->setSingleShot(true);
    gapTimer->setTimerType(Qt::PreciseTimer);
    connect(gapTimer, &QTimer::timeout, this, &SimStreamer::sendNext);
    clock.start();
}

SimStreamer::~SimStreamer()
{
    close();
}

bool SimStreamer::listen(const QHostAddress &addr, quint16 port, QString *error)
{
    if (!server) {
        server = new QTcpServer(this);
        connect(server, &QTcpServer::newConnection, this, &SimStreamer::onNewConnection);
    }
    address = addr;
    if (!server->isListening() && !server->listen(addr, port)) {
        if (error)
            *error = server->errorString();
        return false;
    }
    boundPort = server->serverPort();
    applyRefusal();
    return true;
}

void SimStreamer::close()
{
    dropConnection(true);
    if (server)
        server->close();
}

void SimStreamer::setFaults(const SimFaults &f)
{
    faults = f;
    applyRefusal();
}

void SimStreamer::setPaceMbps(double mbps)
{
    paceMbps = mbps > 0 ? mbps : 0.0;
}

void SimStreamer::applyRefusal()
{
    if (!server || boundPort == 0)
        return;
    if (faults.refuseTcp && server->isListening()) {
        server->close();
    } else if (!faults.refuseTcp && !server->isListening()) {
        if (!server->listen(address, boundPort))
            qCWarning(lcSimTcp) << "cannot listen again on" << address.toString() << boundPort << server->errorString();
    }
}

void SimStreamer::onNewConnection()
{
    while (QTcpSocket *s = server->nextPendingConnection()) {
        ++accepted;
        qCDebug(lcSimTcp) << "accepted connection from" << s->peerAddress().toString() << s->peerPort();
        if (!faults.strayOnConnect.isEmpty()) {
            s->write(faults.strayOnConnect);
            s->flush();
        }
        if (faults.acceptThenClose) {
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromHost();
            continue;
        }
        // One connection at a time: a new one replaces the old.
        if (conn) {
            QTcpSocket *old = conn;
            conn = nullptr;
            old->disconnect(this);
            old->abort();
            old->deleteLater();
            queue.clear();
            jobOffset = 0;
            gapTimer->stop();
        }
        conn = s;
        // Each write goes out at once, as a unit's frames do (paced segments
        // would otherwise wait for the peer's delayed acknowledgement).
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
        connect(s, &QTcpSocket::disconnected, this, [this, s] { onConnectionGone(s); });
    }
}

void SimStreamer::onConnectionGone(QTcpSocket *s)
{
    if (conn == s) {
        conn = nullptr;
        queue.clear();
        jobOffset = 0;
        gapTimer->stop();
    }
    s->disconnect(this);
    s->deleteLater();
}

void SimStreamer::send(const QByteArray &bytes)
{
    // A client that connected just before asking may still wait in the
    // listen queue: take it now rather than losing its histogram.
    if (server && server->isListening())
        server->waitForNewConnection(0);
    if (!conn) {
        qCDebug(lcSimTcp) << "no TCP connection: histogram of" << bytes.size() << "bytes dropped";
        return;
    }
    Job job;
    job.data = bytes;
    if (faults.stopAfterBytes >= 0 && faults.stopAfterBytes < bytes.size()) {
        job.data.truncate(faults.stopAfterBytes);
        job.closeAfter = faults.resetMidStream;
    }
    job.pieceBytes = faults.pieceBytes;
    job.pieceGapMs = qMax(0, faults.pieceGapMs);
    queue.append(job);
    if (!gapTimer->isActive() && queue.size() == 1)
        sendNext();
}

void SimStreamer::sendNext()
{
    while (conn && !queue.isEmpty()) {
        Job &job = queue.first();
        const int remaining = job.data.size() - jobOffset;
        int n = job.pieceBytes > 0 ? qMin(job.pieceBytes, remaining) : remaining;
        if (paceMbps > 0 && n > 0) {
            // Paced in segments of an Ethernet frame, each leaving when the
            // link would have carried it.
            constexpr int segment = 1460;
            n = qMin(n, segment);
            if (job.startNs < 0)
                job.startNs = clock.nsecsElapsed();
            const qint64 dueNs = job.startNs + qint64(double(jobOffset + n) * 8000.0 / paceMbps);
            if (!simWaitShort(clock, dueNs)) {
                gapTimer->start(int((dueNs - clock.nsecsElapsed()) / 1000000) - 1);
                return;
            }
        }
        if (n > 0) {
            conn->write(job.data.constData() + jobOffset, n);
            conn->flush();
            jobOffset += n;
        }
        if (jobOffset < job.data.size()) {
            if (job.pieceBytes > 0) {
                gapTimer->start(job.pieceGapMs);
                return;
            }
            continue;   // the next paced segment
        }
        const bool closeAfter = job.closeAfter;
        queue.removeFirst();
        jobOffset = 0;
        if (closeAfter) {
            QTcpSocket *s = conn;
            conn = nullptr;
            queue.clear();
            s->disconnect(this);
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            s->disconnectFromHost();
            return;
        }
    }
}

void SimStreamer::drop()
{
    dropConnection(false);
}

void SimStreamer::dropConnection(bool deleteNow)
{
    gapTimer->stop();
    queue.clear();
    jobOffset = 0;
    if (!conn)
        return;
    QTcpSocket *s = conn;
    conn = nullptr;
    s->disconnect(this);
    s->abort();
    if (deleteNow)
        delete s;
    else
        s->deleteLater();
}
