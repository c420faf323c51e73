#include "datalinkreader.h"

#include "socketwait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

DataLinkReader::DataLinkReader() = default;

bool DataLinkReader::connectTo(const QString &host, quint16 port, int timeoutMs, QString *error)
{
    sock.abort();
    parser.clear();
    sock.connectToHost(host, port);
    QDeadlineTimer deadline(timeoutMs);
    while (sock.state() != QAbstractSocket::ConnectedState) {
        if (sock.state() == QAbstractSocket::UnconnectedState || deadline.hasExpired()) {
            if (error) {
                *error = sock.state() == QAbstractSocket::UnconnectedState
                             ? sock.errorString()
                             : QStringLiteral("no connection within %1 ms").arg(timeoutMs);
            }
            sock.abort();
            return false;
        }
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(&sock, &QTcpSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(&sock, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
        timer.start(int(std::max<qint64>(1, deadline.remainingTime())));
        loop.exec();
    }
    sock.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}

bool DataLinkReader::isConnected() const
{
    return sock.state() == QAbstractSocket::ConnectedState;
}

void DataLinkReader::close()
{
    // Let the last reply leave before the socket goes.
    sock.disconnectFromHost();
    if (sock.state() != QAbstractSocket::UnconnectedState && !sock.waitForDisconnected(1000))
        sock.abort();
    parser.clear();
}

void DataLinkReader::pull()
{
    const QByteArray bytes = sock.readAll();
    received += bytes.size();
    parser.append(bytes);
}

bool DataLinkReader::waitReadable(int ms)
{
    if (sock.bytesAvailable() > 0)
        return true;
    if (!isConnected() || ms <= 0)
        return false;
    waitForSocketEvent(sock, ms);
    return sock.bytesAvailable() > 0;
}

DataLinkReader::Outcome DataLinkReader::readTransfer(int expected, int gapMs, QList<PeerRecord> &records,
                                                     QString *why)
{
    records.clear();
    auto fail = [&](Outcome o, const QString &text) {
        if (why)
            *why = text;
        return o;
    };
    pull();
    for (;;) {
        PeerRecord r;
        const McaRecordParser::Result res = parser.next(r);
        if (res == McaRecordParser::Result::Malformed)
            return fail(Outcome::Malformed, QStringLiteral("record %1: %2").arg(records.size()).arg(parser.error()));
        if (res == McaRecordParser::Result::Record) {
            if (records.size() >= maxRecords)
                return fail(Outcome::Malformed, QStringLiteral("more than %1 records").arg(maxRecords));
            records << r;
            if (expected >= 0 && records.size() == expected)
                break;
            continue;
        }
        // More bytes needed. Without an expected count a pause at a record
        // boundary ends the transfer.
        const bool atBoundary = parser.buffered() == 0;
        const int wait = expected < 0 && atBoundary && !records.isEmpty() ? idleMs : gapMs;
        if (expected == 0)
            break;
        if (!waitReadable(wait)) {
            if (expected < 0 && atBoundary && !records.isEmpty())
                break;
            if (!isConnected() && sock.bytesAvailable() == 0)
                return fail(Outcome::Lost, QStringLiteral("the data link was closed after %1 records").arg(records.size()));
            if (records.isEmpty() && parser.buffered() == 0)
                return fail(Outcome::TimedOut, QStringLiteral("no spectrum data within %1 ms").arg(gapMs));
            return fail(Outcome::TimedOut, QStringLiteral("transfer stopped after %1 complete records and %2 bytes")
                                               .arg(records.size()).arg(parser.buffered()));
        }
        pull();
    }
    // Anything beyond the expected records belongs to no element.
    if (parser.buffered() == 0 && settleMs > 0)
        waitReadable(settleMs);
    pull();
    if (parser.buffered() > 0)
        return fail(Outcome::Malformed, QStringLiteral("%1 bytes after the last of %2 records")
                                            .arg(parser.buffered()).arg(records.size()));
    return Outcome::Ok;
}

qint64 DataLinkReader::drain(int idleMs, int maxMs)
{
    qint64 dropped = parser.buffered();
    parser.clear();
    QDeadlineTimer deadline(maxMs);
    for (;;) {
        const qint64 n = sock.readAll().size();
        received += n;
        dropped += n;
        if (deadline.hasExpired())
            break;
        if (!waitReadable(int(std::min<qint64>(idleMs, std::max<qint64>(1, deadline.remainingTime())))))
            break;
    }
    return dropped;
}

bool DataLinkReader::reply(const QByteArray &token)
{
    if (!isConnected())
        return false;
    if (sock.write(token) != token.size())
        return false;
    sock.flush();
    return true;
}
