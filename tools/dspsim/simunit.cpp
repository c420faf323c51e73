#include "simunit.h"

#include "simdspmodel.h"
#include "simhvmodel.h"
#include "simstreamer.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QNetworkDatagram>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

Q_LOGGING_CATEGORY(lcSim, "marlo.sim", QtInfoMsg)

SimUnit::SimUnit(Kind kind, const QString &name, const QHostAddress &addr, quint16 udpPort, quint16 tcpPort,
                 bool bMode)
    : unitKind(kind), unitName(name), unitAddress(addr), wantedUdpPort(udpPort), wantedTcpPort(tcpPort)
{
    clock.start();
    if (kind == Kind::Dsp)
        device = std::make_unique<SimDspModel>(bMode);
    else
        device = std::make_unique<SimHvModel>();
}

SimUnit::~SimUnit() = default;

SimDspModel *SimUnit::dsp() const
{
    return unitKind == Kind::Dsp ? static_cast<SimDspModel *>(device.get()) : nullptr;
}

void SimUnit::runInThread(const std::function<void()> &fn) const
{
    auto *self = const_cast<SimUnit *>(this);
    QThread *t = thread();
    if (QThread::currentThread() == t || !t || !t->isRunning())
        fn();
    else
        QMetaObject::invokeMethod(self, fn, Qt::BlockingQueuedConnection);
}

quint16 SimUnit::udpPort() const
{
    QMutexLocker lock(&mutex);
    return boundUdpPort;
}

quint16 SimUnit::tcpPort() const
{
    QMutexLocker lock(&mutex);
    return boundTcpPort;
}

bool SimUnit::isOpen() const
{
    QMutexLocker lock(&mutex);
    return opened;
}

QString SimUnit::errorString() const
{
    QMutexLocker lock(&mutex);
    return error;
}

quint16 SimUnit::reg(quint32 addr) const
{
    QMutexLocker lock(&mutex);
    return device->reg(addr, nowNs());
}

void SimUnit::setReg(quint32 addr, quint16 value)
{
    QMutexLocker lock(&mutex);
    device->setReg(addr, value, nowNs());
}

quint64 SimUnit::value(quint32 addr, int bytes) const
{
    QMutexLocker lock(&mutex);
    return device->value(addr, bytes, nowNs());
}

bool SimUnit::isCounting() const
{
    QMutexLocker lock(&mutex);
    if (!dsp())
        return false;
    dsp()->update(nowNs());
    return dsp()->isCounting();
}

void SimUnit::setDeterministic(bool on)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setDeterministic(on);
    }
}

void SimUnit::setCountRate(double countsPerSecondPerChannel)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setCountRate(countsPerSecondPerChannel);
    }
}

void SimUnit::setDeadFraction(double f)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setDeadFraction(f);
    }
}

void SimUnit::setFrozenRealTime(bool on)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setFrozenRealTime(on);
    }
}

void SimUnit::setBMode(bool on)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setBMode(on);
    }
}

bool SimUnit::bMode() const
{
    QMutexLocker lock(&mutex);
    return dsp() && dsp()->bMode();
}

void SimUnit::setHistogram(int ch, const QVector<quint32> &bins)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->setHistogram(ch, bins);
    }
}

QVector<quint32> SimUnit::histogram(int ch) const
{
    QMutexLocker lock(&mutex);
    if (!dsp())
        return {};
    dsp()->update(nowNs());
    return dsp()->histogram(ch);
}

void SimUnit::advanceTicks(qint64 ticks)
{
    QMutexLocker lock(&mutex);
    if (dsp()) {
        dsp()->update(nowNs());
        dsp()->advance(ticks);
    }
}

void SimUnit::setStamp(int unitIndex)
{
    QMutexLocker lock(&mutex);
    if (dsp())
        dsp()->setStamp(unitIndex);
}

quint32 SimUnit::startCount() const
{
    QMutexLocker lock(&mutex);
    return dsp() ? dsp()->startCount() : 0;
}

void SimUnit::setAnswerDelayUs(int us)
{
    QMutexLocker lock(&mutex);
    answerDelayUs = qMax(0, us);
}

void SimUnit::setStreamMbps(double mbps)
{
    {
        QMutexLocker lock(&mutex);
        streamMbps = mbps;
    }
    runInThread([this, mbps] {
        if (streamer)
            streamer->setPaceMbps(mbps);
    });
}

void SimUnit::setRampMs(int ms)
{
    QMutexLocker lock(&mutex);
    if (unitKind == Kind::Hv)
        static_cast<SimHvModel *>(device.get())->setRampMs(ms);
}

void SimUnit::setFaults(const SimFaults &f)
{
    {
        QMutexLocker lock(&mutex);
        unitFaults = f;
    }
    runInThread([this, f] {
        if (streamer)
            streamer->setFaults(f);
    });
}

SimFaults SimUnit::faults() const
{
    QMutexLocker lock(&mutex);
    return unitFaults;
}

QList<QByteArray> SimUnit::requests() const
{
    QMutexLocker lock(&mutex);
    return requestLog;
}

void SimUnit::clearRequests()
{
    QMutexLocker lock(&mutex);
    requestLog.clear();
}

void SimUnit::setRequestLogLimit(int n)
{
    QMutexLocker lock(&mutex);
    requestLogLimit = qMax(0, n);
    while (requestLogLimit > 0 && requestLog.size() > requestLogLimit)
        requestLog.removeFirst();
}

void SimUnit::sendToLastRequester(const QByteArray &datagram)
{
    runInThread([this, datagram] {
        QHostAddress to;
        quint16 port;
        {
            QMutexLocker lock(&mutex);
            to = lastFrom;
            port = lastPort;
        }
        if (udp && port != 0)
            udp->writeDatagram(datagram, to, port);
    });
}

int SimUnit::tcpConnectionCount() const
{
    // The streamer's counter is atomic; the pointer is set once when opening.
    QMutexLocker lock(&mutex);
    return streamer ? streamer->connectionCount() : 0;
}

void SimUnit::dropTcp()
{
    runInThread([this] {
        if (streamer)
            streamer->drop();
    });
}

bool SimUnit::open()
{
    if (udp)
        return true;
    const SimFaults f = faults();
    double mbps;
    {
        QMutexLocker lock(&mutex);
        mbps = streamMbps;
    }
    QString why;
    auto *u = new QUdpSocket(this);
    if (!u->bind(unitAddress, wantedUdpPort, QAbstractSocket::DontShareAddress)) {
        why = QStringLiteral("UDP port %1: %2").arg(wantedUdpPort).arg(u->errorString());
        delete u;
        QMutexLocker lock(&mutex);
        error = why;
        return false;
    }
    SimStreamer *s = nullptr;
    if (unitKind == Kind::Dsp) {
        s = new SimStreamer(this);
        s->setFaults(f);
        s->setPaceMbps(mbps);
        if (!s->listen(unitAddress, wantedTcpPort, &why)) {
            why = QStringLiteral("TCP port %1: %2").arg(wantedTcpPort).arg(why);
            delete s;
            delete u;
            QMutexLocker lock(&mutex);
            error = why;
            return false;
        }
    }
    udp = u;
    connect(udp, &QUdpSocket::readyRead, this, &SimUnit::onUdpReadyRead);
    delayTimer = new QTimer(this);
    delayTimer->setSingleShot(true);
    delayTimer->setTimerType(Qt::PreciseTimer);
    connect(delayTimer, &QTimer::timeout, this, &SimUnit::deliverDue);

    QMutexLocker lock(&mutex);
    streamer = s;
    boundUdpPort = udp->localPort();
    boundTcpPort = s ? s->port() : 0;
    opened = true;
    error.clear();
    qCDebug(lcSim) << "serving" << unitName << unitAddress.toString() << "udp" << boundUdpPort << "tcp" << boundTcpPort;
    return true;
}

void SimUnit::shutdown()
{
    if (delayTimer) {
        delayTimer->stop();
        delete delayTimer;
        delayTimer = nullptr;
    }
    delayed.clear();
    SimStreamer *s;
    {
        QMutexLocker lock(&mutex);
        s = streamer;
        streamer = nullptr;
        opened = false;
    }
    delete s;
    delete udp;
    udp = nullptr;
    delete foreignUdp;
    foreignUdp = nullptr;
}

void SimUnit::onUdpReadyRead()
{
    while (udp && udp->hasPendingDatagrams()) {
        const QNetworkDatagram d = udp->receiveDatagram();
        if (d.isNull())
            break;
        const QByteArray data = d.data();
        Outgoing out;
        out.to = d.senderAddress();
        out.port = quint16(d.senderPort());
        SimFaults f;
        bool late = false;
        {
            QMutexLocker lock(&mutex);
            requestLog.append(data);
            if (requestLogLimit > 0 && requestLog.size() > requestLogLimit)
                requestLog.removeFirst();
            lastFrom = out.to;
            lastPort = out.port;
            f = unitFaults;
            const qint64 now = nowNs();
            RbcpPacket answer;
            QList<int> hist;
            if (device->handle(data, now, answer, hist)) {
                if (f.wrongAnswerAddress)
                    answer.address += 2;
                if (!f.silent)
                    out.answer = answer.encode();
                if (f.foreignAnswerFirst && !out.answer.isEmpty()) {
                    out.forged = out.answer;
                    for (int i = RbcpPacket::HeaderBytes; i < out.forged.size(); ++i)
                        out.forged[i] = char(~out.forged.at(i));
                }
            } else {
                qCDebug(lcSim) << unitName << "drops" << RbcpPacket::describe(data);
            }
            if (!f.noTcpData && dsp())
                for (int ch : hist)
                    out.histograms.append(dsp()->histogramBytes(ch));
            out.dueNs = now + qint64(qMax(0, f.answerDelayMs)) * 1000000 + qint64(answerDelayUs) * 1000;
            late = out.dueNs > now;
        }
        emit requestReceived(data, out.to, out.port);

        if (late && !out.answer.isEmpty()) {
            int i = delayed.size();
            while (i > 0 && delayed.at(i - 1).dueNs > out.dueNs)
                --i;
            delayed.insert(i, out);
            deliverDue();
        } else {
            deliver(out);
        }
    }
}

void SimUnit::deliver(const Outgoing &out)
{
    if (!out.forged.isEmpty()) {
        if (!foreignUdp) {
            foreignUdp = new QUdpSocket(this);
            const QHostAddress next(unitAddress.toIPv4Address() + 1);
            if (!foreignUdp->bind(next, 0))
                qCWarning(lcSim) << unitName << "cannot send from" << next.toString() << foreignUdp->errorString();
        }
        foreignUdp->writeDatagram(out.forged, out.to, out.port);
    }
    if (!out.answer.isEmpty() && udp)
        udp->writeDatagram(out.answer, out.to, out.port);
    if (streamer)
        for (const QByteArray &h : out.histograms)
            streamer->send(h);
}

void SimUnit::deliverDue()
{
    for (;;) {
        const qint64 now = nowNs();
        while (!delayed.isEmpty() && delayed.first().dueNs <= now)
            deliver(delayed.takeFirst());
        if (delayed.isEmpty() || !delayTimer)
            return;
        // The timer wakes up to a millisecond early; the rest is slept here.
        if (!simWaitShort(clock, delayed.first().dueNs)) {
            delayTimer->start(int((delayed.first().dueNs - now) / 1000000) - 1);
            return;
        }
    }
}
