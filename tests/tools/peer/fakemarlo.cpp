#include "fakemarlo.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include "buskeys.h"

FakeMarlo::FakeMarlo(QObject *parent)
    : QObject(parent)
    , bus(new QTcpSocket(this))
    , server(new QTcpServer(this))
{
    connect(bus, &QTcpSocket::readyRead, this, &FakeMarlo::readBus);
    connect(server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = server->nextPendingConnection()) {
            if (link)
                link->deleteLater();
            link = s;
            ++dataLinkConnections;
            connect(link, &QTcpSocket::readyRead, this, &FakeMarlo::readLink);
        }
    });
}

FakeMarlo::~FakeMarlo() = default;

bool FakeMarlo::start(quint16 busPort, const QString &key, const QString &nodeName)
{
    name = nodeName;
    keyFile = key;
    if (!server->listen(QHostAddress::LocalHost, 0))
        return false;
    bus->connectToHost(QHostAddress::LocalHost, busPort);
    return true;
}

bool FakeMarlo::waitLoggedIn(int timeoutMs)
{
    return QTest::qWaitFor([this] { return state == 2; }, timeoutMs);
}

quint16 FakeMarlo::dataLinkPort() const
{
    return server->serverPort();
}

void FakeMarlo::readBus()
{
    busBuf += bus->readAll();
    for (;;) {
        const qsizetype lf = busBuf.indexOf('\n');
        if (lf < 0)
            return;
        QByteArray line = busBuf.left(lf);
        busBuf.remove(0, lf + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (state == 0) {
            QList<QByteArray> keys;
            BusKeys::readKeyFile(keyFile, keys);
            const QByteArray k = keys.value(BusKeys::keyIndex(line.trimmed().toLongLong(), int(keys.size())));
            bus->write(name.toLatin1() + ' ' + k + '\n');
            bus->flush();
            state = 1;
        } else if (state == 1) {
            state = line.startsWith("System>" + name.toLatin1() + " Ok:") ? 2 : 0;
        } else {
            handle(line);
        }
    }
}

void FakeMarlo::answer(const QString &to, const QString &cmd, const QString &text)
{
    bus->write(QStringLiteral("%1>%2 @%3 %4\n").arg(name, to, cmd, text).toLatin1());
    bus->flush();
}

void FakeMarlo::event(const QString &text)
{
    bus->write(QStringLiteral("%1>System _%2\n").arg(name, text).toLatin1());
    bus->flush();
}

void FakeMarlo::handle(const QByteArray &raw)
{
    const QString line = QString::fromLatin1(raw);
    const QString head = line.section(QLatin1Char(' '), 0, 0);
    const QString cmd = line.section(QLatin1Char(' '), 1, 1);
    const QString from = head.section(QLatin1Char('>'), 0, 0);
    if (cmd.startsWith(QLatin1Char('@')) || cmd.startsWith(QLatin1Char('_')))
        return;
    requests << line;
    if (silent.contains(cmd))
        return;
    if (cmd == QLatin1String("Hello")) {
        answer(from, cmd, QStringLiteral("Hello! I am %1. Nice to meet you!").arg(name));
    } else if (cmd == QLatin1String("GetDataLinkCh")) {
        answer(from, cmd, dataLinkAnswer.isEmpty() ? QStringLiteral("127.0.0.1 %1").arg(dataLinkPort()) : dataLinkAnswer);
    } else if (cmd == QLatin1String("GetROIs")) {
        answer(from, cmd, roisAnswer);
    } else if (cmd == QLatin1String("GetMCAs")) {
        answer(from, cmd, QStringLiteral("Ok:"));
        nextTransfer = 0;
        sendTransfer();
    } else if (cmd == QLatin1String("RunStart")) {
        answer(from, cmd, QStringLiteral("Ok:"));
        event(QStringLiteral("ChangedIsBusy 1"));
        QTimer::singleShot(busyMs, this, [this] { event(QStringLiteral("ChangedIsBusy 0")); });
    } else if (cmd == QLatin1String("Bad")) {
        answer(from, cmd, QStringLiteral("Er: Unknown Command"));
    } else if (cmd == QLatin1String("GetValue")) {
        answer(from, cmd, QStringLiteral("0 Er: data transfer"));
    } else {
        answer(from, cmd, QStringLiteral("Ok:"));
    }
}

void FakeMarlo::sendTransfer()
{
    if (!link || transfers.isEmpty())
        return;
    const QByteArray t = transfers.at(std::min<int>(nextTransfer, int(transfers.size()) - 1));
    ++nextTransfer;
    if (pieceBytes <= 0) {
        link->write(t);
        link->flush();
        return;
    }
    for (qsizetype at = 0; at < t.size(); at += pieceBytes) {
        link->write(t.mid(at, pieceBytes));
        link->flush();
        QTest::qWait(5);
    }
}

void FakeMarlo::readLink()
{
    linkBuf += link->readAll();
    for (;;) {
        const qsizetype n = linkBuf.indexOf("NAck");
        const qsizetype a = linkBuf.indexOf("Ack");
        if (n < 0 && a < 0)
            return;
        if (n >= 0 && n <= a) {
            linkBuf.remove(0, n + 4);
            replies << "NAck";
            sendTransfer();
        } else {
            linkBuf.remove(0, a + 3);
            replies << "Ack";
        }
    }
}
