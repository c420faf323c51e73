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
// connected. With DATA_LINK_ALLOW set, a peer from any other address is
// closed at once and never becomes the link.
//
// The waits are bounded whatever the peer sends: a blocking transfer has one
// deadline per attempt, counted from the end of sending, which no byte of the
// peer extends; in asynchronous mode a NAck that comes while the transfer
// before it is still unwritten is answered only once those bytes have left,
// so a peer that does not read has at most one transfer queued for it; a
// "GetMCAs" that finds more than one transfer unwritten drops the link.

#include "body.h"

#include <QCheckBox>
#include <QDataStream>
#include <QDeadlineTimer>
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

qint64 Body::dataLinkUnwritten() const
{
    return dataLink ? dataLink->bytesToWrite() : 0;
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
    nackOwed = false;
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
    if (dataLinkRestricted && !DataLinkRules::allowed(dataLinkAllow, s->peerAddress())) {
        emit log(QStringLiteral("Data-Link from %1 refused : not in DATA_LINK_ALLOW").arg(s->peerAddress().toString()),
                 red);
        s->abort();
        s->deleteLater();
        return;
    }
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

    nackOwed = false;
    dataLink = s;
    // A transfer leaves in one piece: its last segment must not wait for
    // the peer's acknowledgement of the one before.
    dataLink->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    dataLinkStream = new QDataStream(dataLink);
    connect(dataLink, &QAbstractSocket::disconnected, this, &Body::dataLinkDisconnected);
    if (!simpleTrans) {
        connect(dataLink, &QIODevice::readyRead, this, &Body::readyReadFromDataLink);
        connect(dataLink, &QIODevice::bytesWritten, this, &Body::dataLinkBytesWritten);
    }

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
    int folded = 0;
    for (ReplyScanner::Token t : tokens) {
        // A NAck that finds a resend already owed changes nothing: it is
        // answered by that resend and logged with it.
        if (t == ReplyScanner::NAck && nackOwed) {
            ++folded;
            continue;
        }
        emit log(QStringLiteral("Received Ack/NAck from Ravel : ") + QString::fromLatin1(ReplyScanner::tokenText(t)));
        if (inDataTrans) {
            if (t == ReplyScanner::Ack) {
                emit log(QStringLiteral("2: in data trans : Rcv Ack ==> Normal end of Data Transfer"), blue);
                inDataTrans = false;
                nackOwed = false;
                dataTransWaitTimer.stop();
            } else {
                emit log(QStringLiteral("2: in data trans : Rcv Nack ==> Send data again"), red);
                answerNAck();
            }
        } else {
            if (t == ReplyScanner::Ack) {
                emit log(QStringLiteral("2: out of data trans : Rcv Ack ==> Do nothing"), red);
            } else {
                emit log(QStringLiteral("2: out of data trans : Rcv Nack ==> Send data again"), red);
                answerNAck();
            }
        }
    }
    if (folded > 0)
        qCDebug(lcDataLink) << folded << "NAck folded into the resend already owed";
}

void Body::answerNAck()
{
    if (!dataLink || dataLink->bytesToWrite() == 0) {
        startDataTrans();
        return;
    }
    // The transfer before is still unwritten: the resend waits for it to
    // leave. The wait already running stays, so a peer that does not read
    // still loses the link in time.
    qCDebug(lcDataLink) << "NAck owed until" << dataLink->bytesToWrite() << "bytes have left";
    nackOwed = true;
    inDataTrans = true;
    if (!dataTransWaitTimer.isActive()) {
        dataTransWaitTimer.setInterval(dataTransWaitMs);
        dataTransWaitTimer.start();
    }
}

void Body::dataLinkBytesWritten()
{
    if (nackOwed && dataLink && dataLink->bytesToWrite() == 0) {
        nackOwed = false;
        startDataTrans();
    }
}

void Body::dataTransWaitTimeout()
{
    if (inDataTrans) {
        giveUpDataTrans(QStringLiteral("2: in data trans : TimeOut ==> Disconnect from DSP"));
    } else {
        emit log(QStringLiteral("2: out of data trans : TimeOut ==> I don't know What To Do!!"), orange);
        dataTransWaitTimer.stop();
    }
}

void Body::giveUpDataTrans(const QString &why)
{
    emit log(why, red);
    dataTransWaitTimer.stop();
    // The transfer stays due: the next connection receives it.
    inDataTrans = true;
    if (discardDataLink())
        dataLinkServer.resumeAccepting();
}

// ---- blocking transfer ------------------------------------------------------

void Body::sendMCAsAndWaitAck()
{
    // A peer that answers NAck again and again would hold the program in
    // this loop for ever: after a few resends the transfer is given up.
    constexpr int maxResends = 3;
    for (int resends = 0;; ++resends) {
        if (resends > maxResends) {
            giveUpBlockingTransfer(QStringLiteral("1: Rcv::Nack %1 times ==> Disconnect").arg(resends));
            return;
        }
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
        switch (awaitBlockingReply()) {
        case BlockingReply::Ack:
            return;
        case BlockingReply::NAck:
            break;
        case BlockingReply::TimedOut:
            giveUpBlockingTransfer(QStringLiteral("1: TimeOut Data Transfer"));
            return;
        case BlockingReply::LinkLost:
            giveUpBlockingTransfer(QStringLiteral("1: Data-Link lost ==> send data again after reconnect"));
            return;
        }
    }
}

// The transfer is given up on this link: it is dropped, and the next
// connection receives the transfer.
void Body::giveUpBlockingTransfer(const QString &why)
{
    emit log(why, red);
    resendAfterReconnect = true;
    if (discardDataLink())
        dataLinkServer.resumeAccepting();
}

Body::BlockingReply Body::awaitBlockingReply()
{
    // A lost link ends a wait early (and is discarded by its own slot);
    // what it delivered before is still read.
    QPointer<QTcpSocket> link = dataLink;
    const auto lost = [&] { return !link || link != dataLink || link->state() != QAbstractSocket::ConnectedState; };
    const auto failed = [&] { return lost() ? BlockingReply::LinkLost : BlockingReply::TimedOut; };

    // Sending, bounded like the reply.
    const QDeadlineTimer sending(dataTransWaitMs);
    while (!lost() && link->bytesToWrite() > 0 && !sending.hasExpired())
        link->waitForBytesWritten(int(qMax<qint64>(1, sending.remainingTime())));
    if (!link || link->bytesToWrite() > 0)
        return failed();

    // The reply: one deadline from the end of sending; its bytes gather
    // across reads while they are still the beginning of a reply.
    const QDeadlineTimer deadline(dataTransWaitMs);
    QByteArray reply;
    for (;;) {
        if (!deadline.hasExpired() && link && link->bytesAvailable() == 0 && !lost())
            link->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (deadline.hasExpired() || !link || link->bytesAvailable() == 0)
            return failed();
        reply += link->readAll();
        switch (ReplyScanner::classify(reply)) {
        case ReplyScanner::AckReply:
            emit log(QStringLiteral("1: Rcv::Ack"), blue);
            resendAfterReconnect = false;
            return BlockingReply::Ack;
        case ReplyScanner::NAckReply:
            emit log(QStringLiteral("1: Rcv::Nack"), red);
            return BlockingReply::NAck;
        case ReplyScanner::PartialReply:
            break;
        case ReplyScanner::UnknownReply:
            emit log(QStringLiteral("1: Rcv::Unknown"), red);
            reply.clear();
            break;
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
