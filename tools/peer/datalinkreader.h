#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpSocket>

#include "mcarecordparser.h"
#include "peerrecord.h"

// The peer's end of Marlo's data link: connects, reads the records of one
// transfer, and answers "Ack" or "NAck".
//
// Waits run the calling thread's event loop (bounded by their time-outs), so
// objects of the same thread, such as a STARS bus or a fake Marlo in a test,
// keep working meanwhile.
class DataLinkReader
{
public:
    enum class Outcome { Ok, Malformed, TimedOut, Lost };

    // More records than this in one transfer are not taken (Marlo sends at
    // most four per unit); the reader's memory stays bounded.
    static constexpr int maxRecords = 4096;

    DataLinkReader();

    bool connectTo(const QString &host, quint16 port, int timeoutMs, QString *error);
    bool isConnected() const;
    void close();

    void setExpectedBins(quint64 n) { parser.setExpectedBins(n); }
    // After the expected records: how long to watch for stray bytes that
    // would make the transfer malformed.
    void setSettleMs(int ms) { settleMs = ms; }
    // Without an expected count: the pause after a record that ends a transfer.
    void setIdleMs(int ms) { idleMs = ms; }

    // Reads one transfer: `expected` records, or when `expected` < 0 every
    // record until the link stays idle. `gapMs` bounds each wait for bytes.
    // On Malformed and TimedOut `why` tells what was wrong.
    Outcome readTransfer(int expected, int gapMs, QList<PeerRecord> &records, QString *why);

    // Reads and drops bytes until none has come for `idleMs`, at most `maxMs`.
    // Clears the parser. Returns the number of bytes dropped.
    qint64 drain(int idleMs, int maxMs);

    // Writes "Ack" / "NAck" (raw bytes, no terminator) and flushes.
    bool reply(const QByteArray &token);

    qint64 bytesReceived() const { return received; }

private:
    bool waitReadable(int ms);
    void pull();

    QTcpSocket sock;
    McaRecordParser parser;
    int settleMs = 100;
    int idleMs = 300;
    qint64 received = 0;
};
