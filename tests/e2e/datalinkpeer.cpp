#include "datalinkpeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include "starsnode.h"

DataLinkPeer::Context::Context() = default;

DataLinkPeer::Context::~Context()
{
    if (node)
        node->disconnectFromBus(1000);
}

bool DataLinkPeer::Context::connectLink(quint16 port, int timeoutMs, const QString &from, int receiveBuffer)
{
    link = std::make_unique<QTcpSocket>();
    pending.clear();
    // Bound first, so that the options reach the system before connecting.
    const QHostAddress local = from.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(from);
    if ((!from.isEmpty() || receiveBuffer > 0) && !link->bind(local)) {
        error = QStringLiteral("data link: cannot bind %1: %2").arg(local.toString(), link->errorString());
        return false;
    }
    if (receiveBuffer > 0)
        link->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
    link->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!link->waitForConnected(timeoutMs)) {
        error = QStringLiteral("data link: ") + link->errorString();
        return false;
    }
    return true;
}

bool DataLinkPeer::Context::linkConnected() const
{
    return link && link->state() == QAbstractSocket::ConnectedState;
}

bool DataLinkPeer::Context::fill(qint64 n, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (pending.size() < n) {
        if (!link)
            return false;
        if (link->bytesAvailable() > 0) {
            pending += link->readAll();
            continue;
        }
        if (deadline.hasExpired() || link->state() != QAbstractSocket::ConnectedState)
            return false;
        link->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

bool DataLinkPeer::Context::readBytes(qint64 n, QByteArray &out, int timeoutMs)
{
    const bool ok = fill(n, timeoutMs);
    out = pending.left(n);
    pending.remove(0, out.size());
    if (!ok)
        error = QStringLiteral("data link: %1 of %2 bytes").arg(out.size()).arg(n);
    return ok;
}

bool DataLinkPeer::Context::readRecords(int n, QList<Record> &out, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (int i = 0; i < n; ++i) {
        Record r;
        qsizetype size;
        while ((size = McaRecord::decode(pending, r.header, r.bins)) == 0) {
            if (!fill(pending.size() + 1, int(std::max<qint64>(1, deadline.remainingTime())))) {
                error = QStringLiteral("data link: record %1 incomplete (%2 bytes)").arg(i).arg(pending.size());
                return false;
            }
        }
        if (size < 0) {
            error = QStringLiteral("data link: record %1 is no record").arg(i);
            return false;
        }
        r.bytes = pending.left(size);
        pending.remove(0, size);
        out << r;
    }
    return true;
}

bool DataLinkPeer::Context::silentFor(int ms)
{
    if (!pending.isEmpty())
        return false;
    if (!link)
        return true;
    if (link->bytesAvailable() > 0 || link->waitForReadyRead(ms)) {
        pending += link->readAll();
        return pending.isEmpty();
    }
    return true;
}

qint64 DataLinkPeer::Context::bytesWaiting()
{
    if (link) {
        link->waitForReadyRead(0);
        pending += link->readAll();
    }
    return pending.size();
}

bool DataLinkPeer::Context::send(const QByteArray &bytes)
{
    if (!linkConnected())
        return false;
    link->write(bytes);
    while (link->bytesToWrite() > 0) {
        if (!link->waitForBytesWritten(5000))
            return false;
    }
    return true;
}

void DataLinkPeer::Context::closeLink()
{
    if (link)
        link->abort();
    link.reset();
    pending.clear();
}

bool DataLinkPeer::Context::waitLinkClosed(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (link && link->state() == QAbstractSocket::ConnectedState) {
        if (deadline.hasExpired())
            return false;
        if (link->waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
            pending += link->readAll();
    }
    return true;
}

bool DataLinkPeer::Context::login(quint16 busPort, const QString &name, const QString &keyFile)
{
    node = std::make_unique<StarsNode>();
    node->setPumpEvents(false);
    if (!node->connectToBus(QHostAddress(QHostAddress::LocalHost), busPort, name, keyFile)) {
        error = QStringLiteral("bus: ") + node->errorString();
        return false;
    }
    return true;
}

bool DataLinkPeer::Context::sendLine(const QString &line)
{
    return node && node->send(line);
}

QString DataLinkPeer::Context::waitAnswer(const QString &cmd, int timeoutMs)
{
    if (!node)
        return QString();
    const QString mark = QStringLiteral(" @%1 ").arg(cmd);
    const auto line = node->waitForLineMatching([&mark](const QString &l) { return l.contains(mark); }, timeoutMs);
    if (!line)
        return QString();
    return line->mid(line->indexOf(mark) + mark.size());
}

DataLinkPeer::DataLinkPeer()
    : worker([this] { loop(); })
{
}

DataLinkPeer::~DataLinkPeer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    cond.notify_all();
    worker.join();
}

void DataLinkPeer::run(std::function<void(Context &)> script)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(script));
        ++busy;
    }
    cond.notify_all();
}

bool DataLinkPeer::wait(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            std::lock_guard<std::mutex> lock(mutex);
            return busy == 0;
        },
        timeoutMs);
}

void DataLinkPeer::loop()
{
    Context ctx;
    for (;;) {
        std::function<void(Context &)> script;
        {
            std::unique_lock<std::mutex> lock(mutex);
            cond.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            script = std::move(queue.front());
            queue.pop_front();
        }
        script(ctx);
        std::lock_guard<std::mutex> lock(mutex);
        --busy;
    }
}
