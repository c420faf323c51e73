// The network end of one unit: the UDP register exchange and the TCP
// connection's life and back-off.
#include "vexunit.h"

#include <QDeadlineTimer>
#include <QThread>

#include "connectiondrain.h"
#include "dsplog.h"
#include "hostlookup.h"
#include "logsink.h"
#include "unitstat.h"

namespace {
const QColor red(255, 0, 0);
}

VexUnit::VexUnit(QObject *parent)
    : QObject(parent)
{
    init(QStringLiteral("id"), QStringLiteral("0.0.0.0"), false);
}

VexUnit::VexUnit(const QString &name, const QString &ip, QObject *parent)
    : QObject(parent)
{
    init(name, ip, true);
}

VexUnit::VexUnit(const QString &name, const QString &ip, quint16 udpPort, quint16 tcpPort,
                 QObject *parent)
    : QObject(parent)
    , udpPort(udpPort)
    , tcpPort(tcpPort)
{
    init(name, ip, true);
}

void VexUnit::init(const QString &name, const QString &ip, bool valid)
{
    m_valid = valid;
    m_status = new UnitStat;
    m_name = name;
    m_status->setName(name);
    m_ip = ip;
    m_address = QHostAddress(ip);
    if (m_address.isNull() && valid) {
        m_address = HostLookup::resolve(ip.trimmed());
        m_unresolved = m_address.isNull();
    }
    m_status->setIp(ip);

    m_udp.setParent(this);
    m_tcp.setParent(this);
    connect(&m_udp, &QUdpSocket::readyRead, this, &VexUnit::udpDataReady);
    m_udpSlotOn = true;
    connectTcpSignals();
    // Not suspended during in-line reads: failures and losses are always seen.
    connect(&m_tcp, &QAbstractSocket::errorOccurred, this, &VexUnit::tcpError);
    connect(&m_tcp, &QAbstractSocket::stateChanged, this, &VexUnit::tcpStateChanged);

    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &VexUnit::retryTcp);
    m_stableTimer.setSingleShot(true);
    connect(&m_stableTimer, &QTimer::timeout, this, &VexUnit::connectionStable);
}

VexUnit::~VexUnit()
{
    m_keepTcp = false;
    m_retryTimer.stop();
    m_stableTimer.stop();
    // The sockets are members: no signal of theirs may reach this object
    // while it is being torn down.
    disconnect(&m_tcp, nullptr, this, nullptr);
    disconnect(&m_udp, nullptr, this, nullptr);
    m_tcp.abort();
    m_udp.close();
    delete m_status.data();   // null when its window already deleted it
}

UnitStat *VexUnit::status() const { return m_status.data(); }
QString VexUnit::name() const { return m_name; }
QString VexUnit::ip() const { return m_ip; }
QHostAddress VexUnit::address() const { return m_address; }
bool VexUnit::isValid() const { return m_valid; }
bool VexUnit::addressUnresolved() const { return m_unresolved; }

void VexUnit::beginRequest()
{
    m_skipWaits = false;
}

bool VexUnit::notAnswering() const
{
    return m_notAnswering;
}

void VexUnit::setAnswering(bool answering)
{
    if (answering != m_notAnswering)
        return;
    m_notAnswering = !answering;
    if (m_status)
        m_status->setAnswering(answering);
    if (m_notAnswering)
        emit log(tr("%1 (%2) does not answer").arg(m_name, m_ip), red);
    else
        emit log(tr("%1 answers again").arg(m_name), red);
    // A unit that answers again is back: its histogram link need not wait
    // out the back-off of the attempts made while it was away.
    if (answering && m_keepTcp && m_tcp.state() == QAbstractSocket::UnconnectedState) {
        m_retryTimer.stop();
        m_backoffMs = 0;
        startConnect();
    }
}

quint32 VexUnit::ansHeader() const { return m_ans.header; }
quint32 VexUnit::ansAddr() const { return m_ans.addr; }
quint64 VexUnit::ansValue() const { return m_ans.value; }
QByteArray VexUnit::ansData() const { return m_ans.data; }
QByteArray VexUnit::lastDatagram() const { return m_ans.datagram; }

bool VexUnit::tcpHasConnected() const { return m_tcpHasConnected; }
bool VexUnit::keepTcp() const { return m_keepTcp; }
int VexUnit::nextRetryDelayMs() const { return m_backoffMs; }
QTcpSocket *VexUnit::tcpSocket() { return &m_tcp; }

// ---------------------------------------------------------------- UDP

bool VexUnit::readReg(quint32 addr, bool wait, int size)
{
    return exchange(Rbcp::readRequest(addr, size), addr, wait);
}

bool VexUnit::writeReg(quint32 addr, quint64 value, bool wait, int size)
{
    return exchange(Rbcp::writeRequest(addr, value, size), addr, wait);
}

bool VexUnit::exchange(const QByteArray &datagram, quint32 addr, bool wait)
{
    const bool skipWait = wait && m_skipWaits;
    sendRequest(datagram, wait && !skipWait);
    if (!wait)
        return true;
    if (skipWait) {
        takeAnswer(Rbcp::Answer());
        return false;
    }
    // An address that did not resolve reaches nobody: time out at once.
    const bool answered = waitUdpAns(m_address.isNull() ? 0 : answerWaitMs, addr);
    m_skipWaits = !answered;
    setAnswering(answered);
    return answered;
}

void VexUnit::ensureUdpBound()
{
    if (m_udp.state() == QAbstractSocket::BoundState)
        return;
    const bool v6 = m_address.protocol() == QAbstractSocket::IPv6Protocol;
    if (!m_udp.bind(QHostAddress(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4), 0))
        qCWarning(lcDsp) << m_name << "cannot bind the UDP socket:" << m_udp.errorString();
}

bool VexUnit::fromUnit(const QHostAddress &sender) const
{
    return sender.isEqual(m_address, QHostAddress::ConvertV4MappedToIPv4);
}

void VexUnit::sendRequest(const QByteArray &datagram, bool wait)
{
    if (m_address.isNull())
        return;
    ensureUdpBound();
    if (wait) {
        // The answer is left in the socket for the synchronous wait.
        m_udpSlotOn = false;
        // Whatever is already pending belongs to earlier requests.
        QByteArray stale;
        QHostAddress sender;
        while (m_udp.hasPendingDatagrams() && readPendingDatagram(stale, sender))
            qCDebug(lcDsp) << m_name << "drops a stale datagram of" << stale.size() << "bytes from" << sender.toString();
    }
    m_udp.writeDatagram(datagram, m_address, udpPort);
}

bool VexUnit::readPendingDatagram(QByteArray &data, QHostAddress &sender)
{
    // Device answers are a few bytes; one read into a buffer large enough for
    // any datagram on a normal link spares asking for the size first.
    char buf[2048];
    const qint64 n = m_udp.readDatagram(buf, sizeof buf, &sender);
    if (n < 0)
        return false;
    data = QByteArray(buf, int(n));
    return true;
}

void VexUnit::showUdpTimeout(bool f)
{
    if (m_status && m_udpTimeoutShown != int(f)) {
        m_status->setUdpTimeout(f);
        m_udpTimeoutShown = int(f);
    }
}

void VexUnit::showTcpTimeout(bool f)
{
    if (m_status && m_tcpTimeoutShown != int(f)) {
        m_status->setTcpTimeout(f);
        m_tcpTimeoutShown = int(f);
    }
}

bool VexUnit::waitUdpAns(int ms, quint32 addr)
{
    QDeadlineTimer deadline(ms < 0 ? 0 : ms);
    bool answered = false;
    QByteArray data;
    QHostAddress sender;
    while (!answered) {
        // The poll returns at once when a datagram is already there.
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || !m_udp.waitForReadyRead(int(left))) {
            // waitForReadyRead may also fail at once (no socket yet, an
            // ICMP error): keep to the deadline only while time is left.
            if (deadline.hasExpired() || m_udp.state() != QAbstractSocket::BoundState)
                break;
            if (!m_udp.hasPendingDatagrams())
                QThread::msleep(1);
            continue;
        }
        // Readable: one datagram is there; look for more only after a miss.
        bool more = true;
        while (more && readPendingDatagram(data, sender)) {
            more = false;
            if (!fromUnit(sender)) {
                qCDebug(lcDsp) << m_name << "ignores a datagram from" << sender.toString();
                more = m_udp.hasPendingDatagrams();
                continue;
            }
            Rbcp::Answer a = Rbcp::decodeAnswer(data);
            if (!a.hasAddr || a.addr != addr) {
                sinkVlog(QStringLiteral("%1 dropped an answer for [%2] while waiting for [%3]")
                             .arg(m_name)
                             .arg(a.addr, 8, 16, QLatin1Char('0'))
                             .arg(addr, 8, 16, QLatin1Char('0')));
                more = m_udp.hasPendingDatagrams();
                continue;
            }
            showUdpTimeout(false);
            takeAnswer(a);
            answered = true;
            break;
        }
    }
    if (!answered) {
        sinkLog(QStringLiteral("Err. Timeout waiting ans from UDP for CMD [%1]")
                    .arg(addr, 8, 16, QLatin1Char('0')));
        takeAnswer(Rbcp::Answer());
        showUdpTimeout(true);
    }
    // Answers left behind reach udpDataReady() through the socket's own
    // notification, as if they had come later.
    m_udpSlotOn = true;
    return answered;
}

void VexUnit::takeAnswer(const QByteArray &datagram)
{
    takeAnswer(Rbcp::decodeAnswer(datagram));
}

void VexUnit::takeAnswer(const Rbcp::Answer &answer)
{
    m_ans = answer;
}

void VexUnit::udpDataReady()
{
    if (!m_udpSlotOn)
        return;   // a synchronous wait takes the datagrams
    QByteArray data;
    QHostAddress sender;
    while (m_udpSlotOn && m_udp.hasPendingDatagrams() && readPendingDatagram(data, sender)) {
        if (!fromUnit(sender))
            continue;
        takeAnswer(data);
        emit lastUdpDataReady();
    }
}

// ---------------------------------------------------------------- TCP

void VexUnit::connectTcpSignals()
{
    if (m_tcpSignalsOn)
        return;
    connect(&m_tcp, &QTcpSocket::connected, this, &VexUnit::tcpConnected);
    connect(&m_tcp, &QTcpSocket::disconnected, this, &VexUnit::tcpDisconnected);
    connect(&m_tcp, &QTcpSocket::readyRead, this, &VexUnit::tcpReadyRead);
    m_tcpSignalsOn = true;
}

void VexUnit::disconnectTcpSignals()
{
    if (!m_tcpSignalsOn)
        return;
    disconnect(&m_tcp, &QTcpSocket::connected, this, &VexUnit::tcpConnected);
    disconnect(&m_tcp, &QTcpSocket::disconnected, this, &VexUnit::tcpDisconnected);
    disconnect(&m_tcp, &QTcpSocket::readyRead, this, &VexUnit::tcpReadyRead);
    m_tcpSignalsOn = false;
}

void VexUnit::openTcp()
{
    if (!m_valid) {
        sinkLog(QStringLiteral("Can't open :: Machine Info is not valid."), red);
        return;
    }
    sinkLog(QStringLiteral("Trying to connect via TCP"));
    m_keepTcp = true;
    m_backoffMs = 0;
    m_failureLogged = false;
    m_retryTimer.stop();
    if (m_tcp.state() == QAbstractSocket::UnconnectedState)
        startConnect();
    else if (m_status)
        m_status->setTcpStat(m_tcp.state() == QAbstractSocket::ConnectedState ? 0 : 2);
}

void VexUnit::startConnect()
{
    if (m_address.isNull()) {
        if (m_status)
            m_status->setTcpStat(1);   // nowhere to connect to
        return;
    }
    m_tcp.connectToHost(m_address, tcpPort, QIODevice::ReadWrite);
    if (m_status && m_tcp.state() != QAbstractSocket::UnconnectedState)
        m_status->setTcpStat(2);
}

void VexUnit::closeTcp()
{
    if (!m_tcpHasConnected) {
        sinkLog(QStringLiteral("Can't close :: TCP has not been connected."), red);
        return;
    }
    m_keepTcp = false;
    m_retryTimer.stop();
    m_stableTimer.stop();
    m_tcp.disconnectFromHost();
}

void VexUnit::discardTcp()
{
    const qint64 n = m_tcp.bytesAvailable();
    if (n <= 0)
        return;
    sinkLog(QStringLiteral("Something left in TCP read buffer of %1 bytes are discarded").arg(n));
    m_tcp.skip(n);
}

void VexUnit::renewTcp()
{
    // Without a connection no byte of the stream can be left behind.
    if (m_tcp.state() != QAbstractSocket::ConnectedState)
        return;
    m_renewing = true;
    m_tcp.abort();
    m_renewing = false;
    if (!m_keepTcp)
        return;
    m_retryTimer.stop();
    startConnect();
}

bool VexUnit::awaitTcp(int ms)
{
    const QAbstractSocket::SocketState s = m_tcp.state();
    if (s == QAbstractSocket::HostLookupState || s == QAbstractSocket::ConnectingState)
        m_tcp.waitForConnected(ms);
    return m_tcp.state() == QAbstractSocket::ConnectedState;
}

void VexUnit::expectTcpData()
{
    m_freshConnection = false;
}

void VexUnit::drainFreshConnection()
{
    const qint64 drained = drainConnection(m_tcp, maxDrainBytes, maxDrainMs);
    // One line per drain, not one per step.
    if (drained > 0)
        sinkLog(QStringLiteral("On Establishing TCP connection, something in buffer [%1bytes]").arg(drained));
}

void VexUnit::tcpConnected()
{
    m_tcpHasConnected = true;
    m_freshConnection = true;
    m_wasUp = true;
    m_upSince.start();
    if (m_failureLogged) {
        // Reported once it has stayed up; a unit that accepts and closes at
        // once must not fill the log.
        m_stableTimer.start(stableConnectionMs);
        m_reportedUp = false;
    } else {
        sinkLog(QStringLiteral("tcp connected"));
        m_reportedUp = true;
    }
    if (m_status)
        m_status->setTcpStat(0);
    if (m_tcp.bytesAvailable() == 0)
        m_tcp.waitForReadyRead(0);
    drainFreshConnection();
}

void VexUnit::tcpReadyRead()
{
    // Bytes that come with a new connection before any data were asked for
    // are not data.
    if (m_freshConnection) {
        drainFreshConnection();
        return;
    }
    emit tcpDataReadySignal();
}

void VexUnit::connectionStable()
{
    if (m_tcp.state() != QAbstractSocket::ConnectedState)
        return;
    m_failureLogged = false;
    m_backoffMs = 0;
    if (!m_reportedUp) {
        sinkLog(QStringLiteral("tcp connected"));
        m_reportedUp = true;
    }
}

void VexUnit::tcpDisconnected()
{
    if (m_reportedUp || !m_keepTcp)
        sinkLog(QStringLiteral("tcp disconnected"));
    m_reportedUp = false;
    if (m_status)
        m_status->setTcpStat(1);
}

void VexUnit::tcpError(QAbstractSocket::SocketError err)
{
    // A bounded wait that ran out is no failure of the connection.
    if (err == QAbstractSocket::SocketTimeoutError)
        return;
    qCDebug(lcDsp) << m_name << "TCP error" << err << m_tcp.errorString();
}

void VexUnit::tcpStateChanged(QAbstractSocket::SocketState state)
{
    if (state != QAbstractSocket::UnconnectedState)
        return;
    const bool wasUp = m_wasUp;
    m_wasUp = false;
    m_stableTimer.stop();
    if (!m_keepTcp || m_renewing)
        return;
    if (wasUp) {
        const bool stable = m_upSince.elapsed() >= stableConnectionMs;
        if (stable && !m_failureLogged) {
            qDebug() << "reconnect";
            m_backoffMs = 0;
        } else if (!m_failureLogged) {
            sinkLog(QStringLiteral("TCP connection of %1 closed right after it came up; retrying")
                        .arg(m_name));
            m_failureLogged = true;
        }
    } else if (!m_failureLogged) {
        // The socket reports the new state before its error, but has set
        // the error already.
        const QString reason = m_tcp.error() == QAbstractSocket::UnknownSocketError ? QStringLiteral("aborted")
                                                                                    : m_tcp.errorString();
        sinkLog(QStringLiteral("TCP connection of %1 failed (%2); retrying").arg(m_name, reason));
        m_failureLogged = true;
    }
    scheduleRetry();
}

void VexUnit::scheduleRetry()
{
    if (m_retryTimer.isActive())
        return;
    const int delay = m_backoffMs;
    m_backoffMs = m_backoffMs == 0 ? firstRetryBackoffMs : qMin(2 * m_backoffMs, maxRetryBackoffMs);
    qCDebug(lcDsp) << m_name << "TCP retry in" << delay << "ms";
    m_retryTimer.start(delay);
}

void VexUnit::retryTcp()
{
    if (!m_keepTcp || m_tcp.state() != QAbstractSocket::UnconnectedState)
        return;
    startConnect();
}
