// The register packets of the units: header layout, requests and reply checks.
#pragma once

#include <QByteArray>
#include <QtGlobal>

// Register packets of the units (RBCP layout): an 8-byte header (version/type,
// command, packet id, length, 32-bit big-endian address) followed by
// big-endian data. Pure functions, no sockets.
class Rbcp
{
public:
    static constexpr quint8 readCmd = 0xC0;
    static constexpr quint8 writeCmd = 0x80;
    static constexpr quint8 readId = 0x06;
    static constexpr quint8 writeId = 0x07;
    static constexpr int headerBytes = 8;

    struct Answer {
        QByteArray datagram;     // the whole datagram
        quint32 header = 0;      // bytes 0-3 big-endian (0 when shorter than 4)
        quint32 addr = 0;        // bytes 4-7 big-endian (0 when shorter than 8)
        bool hasAddr = false;    // the datagram holds the address field
        quint64 value = 0;       // up to the first 8 data bytes, big-endian
        QByteArray data;         // bytes from offset 8 on
    };

    // Read request for `size` bytes at `addr` (size is taken modulo 256).
    static QByteArray readRequest(quint32 addr, int size);
    // Write request of the `size` low-order bytes of `value`, most
    // significant first; bytes beyond the 8 of the value are sent as 0.
    static QByteArray writeRequest(quint32 addr, quint64 value, int size);
    static Answer decodeAnswer(const QByteArray &datagram);
    // Big-endian unsigned number of the first `bytes` bytes of `data`;
    // 0 when `data` is shorter.
    static quint64 beValue(const QByteArray &data, int bytes);
};
