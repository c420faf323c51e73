#include "rbcppacket.h"

#include <QtEndian>

namespace {

void setWhy(QString *why, const QString &text)
{
    if (why)
        *why = text;
}

} // namespace

bool RbcpPacket::parseRequest(const QByteArray &datagram, RbcpPacket &out, QString *why)
{
    if (datagram.size() < HeaderBytes) {
        setWhy(why, QStringLiteral("short datagram of %1 bytes").arg(datagram.size()));
        return false;
    }
    const auto *b = reinterpret_cast<const uchar *>(datagram.constData());
    if (b[0] != Version) {
        setWhy(why, QStringLiteral("version byte 0x%1").arg(b[0], 2, 16, QLatin1Char('0')));
        return false;
    }
    if (b[1] != CmdRead && b[1] != CmdWrite) {
        setWhy(why, QStringLiteral("command byte 0x%1").arg(b[1], 2, 16, QLatin1Char('0')));
        return false;
    }
    const int n = b[3];
    const int expected = HeaderBytes + (b[1] == CmdWrite ? n : 0);
    if (datagram.size() != expected) {
        setWhy(why, QStringLiteral("%1 bytes where the header announces %2").arg(datagram.size()).arg(expected));
        return false;
    }
    out.version = b[0];
    out.command = b[1];
    out.id = b[2];
    out.length = b[3];
    out.address = qFromBigEndian<quint32>(b + 4);
    out.data = datagram.mid(HeaderBytes);
    setWhy(why, QString());
    return true;
}

QByteArray RbcpPacket::encode() const
{
    QByteArray d(HeaderBytes, '\0');
    auto *b = reinterpret_cast<uchar *>(d.data());
    b[0] = version;
    b[1] = command;
    b[2] = id;
    b[3] = length;
    qToBigEndian<quint32>(address, b + 4);
    d.append(data);
    return d;
}

RbcpPacket RbcpPacket::answer(const QByteArray &answerData) const
{
    RbcpPacket a = *this;
    a.command = command | AckFlag;
    a.data = answerData;
    return a;
}

QString RbcpPacket::describe(const QByteArray &datagram)
{
    RbcpPacket p;
    QString why;
    if (!parseRequest(datagram, p, &why))
        return QStringLiteral("malformed (%1): %2").arg(why, QString::fromLatin1(datagram.left(32).toHex(' ')));
    const QString addr = QStringLiteral("0x%1").arg(p.address, 8, 16, QLatin1Char('0'));
    if (p.isRead())
        return QStringLiteral("read %1 bytes at %2 (id %3)").arg(p.length).arg(addr).arg(p.id);
    return QStringLiteral("write %1 bytes at %2 (id %3): %4")
        .arg(p.length).arg(addr).arg(p.id).arg(QString::fromLatin1(p.data.toHex(' ')));
}
