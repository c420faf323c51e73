#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// One register-access datagram: a 4-byte header (version/type, command,
// packet id, data length), a 32-bit big-endian address, then the data.
// Requests carry command 0xC0 (read) or 0x80 (write); the unit's answer
// repeats the header with the acknowledge bit 0x08 set in the command byte.
// Kept apart from Marlo's dsp/rbcp.h on purpose: the simulator must not share its mistakes.
class RbcpPacket
{
public:
    static constexpr quint8 Version = 0xFF;
    static constexpr quint8 CmdRead = 0xC0;
    static constexpr quint8 CmdWrite = 0x80;
    static constexpr quint8 AckFlag = 0x08;
    static constexpr int HeaderBytes = 8;

    quint8 version = Version;
    quint8 command = 0;
    quint8 id = 0;
    quint8 length = 0;
    quint32 address = 0;
    QByteArray data;

    bool isRead() const { return command == CmdRead; }
    bool isWrite() const { return command == CmdWrite; }

    // Decodes a request. A well-formed request has the version byte 0xFF,
    // command 0xC0 with no data or 0x80 with exactly `length` data bytes.
    // Returns false (and the reason in `why`) for anything else.
    static bool parseRequest(const QByteArray &datagram, RbcpPacket &out, QString *why = nullptr);

    // The datagram of this packet: header, address, data. The length byte
    // is written as stored.
    QByteArray encode() const;

    // The acknowledgement of this request carrying `answerData`.
    RbcpPacket answer(const QByteArray &answerData) const;

    // A one-line description of a datagram for request logs.
    static QString describe(const QByteArray &datagram);
};
