// Body: the data link. The peer connects to the data-link server, receives one
// record per element for each transfer and answers "Ack" (done) or "NAck"
// (send it all again). At most one link is served at a time. Two transfer
// modes: blocking (SIMPLE_TRANS 1: send, then wait for the reply with the
// event loop stopped) and acknowledged asynchronous (send, start the wait
// timer, take the reply when it comes). A transfer that was not acknowledged
// is sent again when the peer reconnects.
//
// When the program closes the link itself (a reply time-out, the debug
// discard), it accepts connections again, so that the peer can reconnect and
// receive the transfer once more. Nothing is written while no link is
// connected.

#include "body.h"

#include <QCheckBox>
#include <QDataStream>
#include <QDebug>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QTcpSocket>

#include "datalinkrules.h"

Q_LOGGING_CATEGORY(lcDataLink, "marlo.datalink")

namespace {
const QColor black(0, 0, 0);
const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);
const QColor orange(255, 128, 0);
} // namespace

// ---- set-up and destruction ------------------------------------------------

void Body::listenDataLink()
{
    resendAfterReconnect = false;
    inDataTrans = false;
    replies.clear();
    dataLink = nullptr;
    dataLinkStream = nullptr;

    const QHostAddress addr = DataLinkRules::listenAddress(dataLinkIp);
    QString why;
    if (addr.isNull())
        why = QStringLiteral("not an address");
    else if (dataLinkPort < 0 || dataLinkPort > 0xFFFF)
        why = QStringLiteral("not a port");
    else if (!dataLinkServer.listen(addr, quint16(dataLinkPort)))
        why = dataLinkServer.errorString();
    if (!why.isEmpty()) {
        emit log(QStringLiteral("Data-Link can not listen on %1 port %2 : %3").arg(dataLinkIp).arg(dataLinkPort).arg(why),
                 red);
        qCWarning(lcDataLink) << "cannot listen on" << dataLinkIp << dataLinkPort << why;
    }

    connect(&dataLinkServer, &QTcpServer::newConnection, this, &Body::askNewDataLink);
    connect(&dataTransWaitTimer, &QTimer::timeout, this, &Body::dataTransWaitTimeout);
}

void Body::closeDataLink()
{
    dataTransWaitTimer.stop();
    ddlDelayTimer.stop();
    if (dataLinkServer.isListening()) {
        dataLinkServer.pauseAccepting();
        dataLinkServer.close();
    }
    dataLinkServer.disconnect(this);
    discardDataLink();
    // With DISCARD_DATA_LINK off the link stays: it must not reach this
    // object any more, which is being destroyed.
    if (dataLink)
        dataLink->disconnect(this);
    delete dataLinkStream;
    dataLinkStream = nullptr;
}

quint16 Body::dataLinkServerPort() const
{
    return dataLinkServer.isListening() ? dataLinkServer.serverPort() : 0;
}

void Body::setDataTransWaitMs(int ms)
{
    dataTransWaitMs = ms > 0 ? ms : 3000;
}

bool Body::dataLinkUp() const
{
    return dataLink && dataLinkStream && dataLink->state() == QAbstractSocket::ConnectedState;
}

// ---- closing, connecting, losing the link -----------------------------------

bool Body::discardDataLink()
{
    if (!discardDataLinkOn) {
        emit log(QStringLiteral("Asked 'Discarding DataLink' BUT!!! I don't !!!"), red);
        return false;
    }
    return discardDataLinkNow();
}

bool Body::discardDataLinkNow()
{
    emit log(QStringLiteral("Discarding DataLink"), red);
    const bool had = dataLink != nullptr;
    if (dataLink) {
        emit log(QStringLiteral("Actually Discard DataLink"), red);
        // Unhooked first: the closing below must not come back as a lost link.
        dataLink->disconnect(this);
        dataLink->abort();
        dataLink->deleteLater();
        dataLink = nullptr;
    }
    if (dataLinkStream) {
        emit log(QStringLiteral("Actually Discard DataLinkStream"), red);
        delete dataLinkStream;
        dataLinkStream = nullptr;
    }
    if (had) {
        emit log(QStringLiteral("Sending Event to Stars to Noce Discard DataLink"), red);
        if (stars)
            stars->sendEvent(QString(), QStringLiteral("DiscardDataLink"));
    }
    return had;
}

void Body::askNewDataLink()
{
    QTcpSocket *s = dataLinkServer.nextPendingConnection();
    if (!s)
        return;
    if (discardDataLink())
        emit log(QStringLiteral("Making new connection while another connection has already made!"));
    emit log(QStringLiteral("Data-Link Connected"));
    dataLinkServer.pauseAccepting();

    // A link kept open (DISCARD_DATA_LINK off) is replaced: it stays open
    // and idle, no longer heard, and goes when its peer closes it.
    if (dataLink) {
        dataLink->disconnect(this);
        if (dataLink->state() == QAbstractSocket::ConnectedState)
            connect(dataLink, &QAbstractSocket::disconnected, dataLink, &QObject::deleteLater);
        else
            dataLink->deleteLater();
    }
    delete dataLinkStream;

    dataLink = s;
    // A transfer leaves in one piece: its last segment must not wait for
    // the peer's acknowledgement of the one before.
    dataLink->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    dataLinkStream = new QDataStream(dataLink);
    connect(dataLink, &QAbstractSocket::disconnected, this, &Body::dataLinkDisconnected);
    if (!simpleTrans)
        connect(dataLink, &QIODevice::readyRead, this, &Body::readyReadFromDataLink);

    if (resendAfterReconnect) {
        emit log(QStringLiteral("1: after reconnect DataLink send data again"), red);
        sendMCAsAndWaitAck();
    }
    if (inDataTrans) {
        emit log(QStringLiteral("2: after reconnect DataLink send data again"), red);
        startDataTrans();
    }
}

void Body::dataLinkDisconnected()
{
    emit log(QStringLiteral("Data-Link Dis-Connected"));
    discardDataLink();
    dataLinkServer.resumeAccepting();
}

// ---- asynchronous transfer -------------------------------------------------

void Body::startDataTrans()
{
    dataTransWaitTimer.stop();
    dataTransWaitTimer.setInterval(dataTransWaitMs);
    dataTransWaitTimer.start();
    inDataTrans = true;
    sendMCAsViaDataLink();
}

void Body::readyReadFromDataLink()
{
    if (!dataLink)
        return;
    const QByteArray bytes = dataLink->readAll();
    const QList<ReplyScanner::Token> tokens = replies.feed(bytes);
    for (ReplyScanner::Token t : tokens) {
        emit log(QStringLiteral("Received Ack/NAck from Ravel : ") + QString::fromLatin1(ReplyScanner::tokenText(t)));
        if (inDataTrans) {
            if (t == ReplyScanner::Ack) {
                emit log(QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer"), blue);
                inDataTrans = false;
                dataTransWaitTimer.stop();
            } else {
                emit log(QStringLiteral("2: in data trans : Rcv Nack ==> Send data again"), red);
                startDataTrans();
            }
        } else {
            if (t == ReplyScanner::Ack) {
                emit log(QStringLiteral("2: out of data trans : Rcv Ack ==> Do nothing"), red);
            } else {
                emit log(QStringLiteral("2: out of data trans : Rcv Nack ==> Send data again"), red);
                startDataTrans();
            }
        }
    }
}

void Body::dataTransWaitTimeout()
{
    if (inDataTrans) {
        emit log(QStringLiteral("2: in data trans : TimeOut ==> Disconnect from DSP"), red);
        dataTransWaitTimer.stop();
        // inDataTrans stays set: the next connection receives the transfer.
        if (discardDataLink())
            dataLinkServer.resumeAccepting();
    } else {
        emit log(QStringLiteral("2: out of data trans : TimeOut ==> I don't know What To Do!!"), orange);
        dataTransWaitTimer.stop();
    }
}

// ---- blocking transfer ------------------------------------------------------

void Body::sendMCAsAndWaitAck()
{
    for (;;) {
        if (!dataLinkUp()) {
            // Nothing can be sent: the next connection receives the transfer.
            emit log(QStringLiteral("1: No Data-Link ==> send data again after reconnect"), red);
            resendAfterReconnect = true;
            return;
        }
        // A reply belongs to this transfer: what came before it is stale.
        const QByteArray stale = dataLink->readAll();
        if (!stale.isEmpty())
            qCDebug(lcDataLink) << "dropped" << stale.size() << "stale bytes before a transfer";
        sendMCAsViaDataLink();

        bool resend = false;
        while (!resend) {
            QPointer<QTcpSocket> link = dataLink;
            // The wait also writes what the transfer left in the socket; a
            // lost link ends it early (and is discarded by its own slot).
            const bool came = link && link->waitForReadyRead(dataTransWaitMs);
            if (!came || !link) {
                emit log(QStringLiteral("1: TimeOut Data Transfer"), red);
                resendAfterReconnect = true;
                if (discardDataLink())
                    dataLinkServer.resumeAccepting();
                return;
            }
            const QByteArray chunk = link->readAll();
            switch (ReplyScanner::classify(chunk)) {
            case ReplyScanner::AckReply:
                emit log(QStringLiteral("1: Rcv::Ack"), blue);
                resendAfterReconnect = false;
                return;
            case ReplyScanner::NAckReply:
                emit log(QStringLiteral("1: Rcv::Nack"), red);
                resend = true;
                break;
            case ReplyScanner::UnknownReply:
                emit log(QStringLiteral("1: Rcv::Unknown"), red);
                break;
            }
        }
    }
}

// ---- debug discard -------------------------------------------------------------

void Body::discardDLinBody()
{
    if (DiscardDLinBody->isChecked())
        ddlDelayTimer.start(DataLinkRules::delayMs(DiscardDLDelay->text()));
}

void Body::discardDLinVexDA()
{
    qDebug() << "checked B";
    if (DiscardDLinVexDA->isChecked())
        ddlDelayTimer.start(DataLinkRules::delayMs(DiscardDLDelay->text()));
}

void Body::DDLDelayTimeout()
{
    qDebug() << "timeout";
    if (DiscardDLinBody->isChecked()) {
        if (discardDataLinkNow())
            dataLinkServer.resumeAccepting();
        DiscardDLinBody->setChecked(false);
    }
    if (DiscardDLinVexDA->isChecked() && !units.units.isEmpty())
        discardInVexDARequested = true;
}
