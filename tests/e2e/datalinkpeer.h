#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "mcarecord.h"

class QTcpSocket;
class StarsNode;

// A measurement program on the other end of the data link, in a thread of
// its own: Marlo's blocking transfer mode stops Marlo's thread until the peer
// answers, so the peer cannot share it.
//
// Scripts run one after another in the peer thread; each gets the peer's
// context, whose sockets persist from script to script. The test thread
// queues a script with run() and waits with wait(), which keeps the test
// thread's event loop (and so Marlo) running. Every wait inside a script is
// bounded.
class DataLinkPeer
{
public:
    struct Record {
        McaRecordHeader header;
        QVector<quint32> bins;
        QByteArray bytes;   // the record as received
    };

    class Context
    {
    public:
        Context();
        ~Context();

        // The data link; `from` names the local loopback address to connect
        // from (any when empty), `receiveBuffer` the size of the system's
        // receive buffer (its default when 0), which bounds what Marlo can
        // hand on while the peer does not read.
        bool connectLink(quint16 port, int timeoutMs = 5000, const QString &from = QString(), int receiveBuffer = 0);
        bool linkConnected() const;
        // Reads n records; false (and what came so far in `out`) on a
        // time-out, a closed link or bytes that are no record.
        bool readRecords(int n, QList<Record> &out, int timeoutMs = 10000);
        // Reads exactly n bytes.
        bool readBytes(qint64 n, QByteArray &out, int timeoutMs = 10000);
        // Whether any byte arrives within ms (they are kept for the next read).
        bool silentFor(int ms);
        qint64 bytesWaiting();
        bool send(const QByteArray &bytes);
        void closeLink();
        // Waits until Marlo closes the link.
        bool waitLinkClosed(int timeoutMs = 5000);

        // STARS, as a node of its own.
        bool login(quint16 busPort, const QString &name, const QString &keyFile);
        bool sendLine(const QString &line);
        // The answer text of the next answer line for `cmd` (after "@cmd "),
        // a null string when none comes in time.
        QString waitAnswer(const QString &cmd, int timeoutMs = 10000);

        QString error;

    private:
        bool fill(qint64 n, int timeoutMs);

        std::unique_ptr<QTcpSocket> link;
        std::unique_ptr<StarsNode> node;
        QByteArray pending;   // received on the link, not yet read
    };

    DataLinkPeer();
    ~DataLinkPeer();

    DataLinkPeer(const DataLinkPeer &) = delete;
    DataLinkPeer &operator=(const DataLinkPeer &) = delete;

    void run(std::function<void(Context &)> script);
    // Runs the test thread's events until every queued script has ended.
    bool wait(int timeoutMs = 30000);

private:
    void loop();

    std::mutex mutex;
    std::condition_variable cond;
    std::deque<std::function<void(Context &)>> queue;
    int busy = 0;   // scripts queued or running
    bool stopping = false;
    std::thread worker;
};
