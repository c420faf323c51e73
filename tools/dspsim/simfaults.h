#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

// Faults a simulated unit can be told to show. The default is a healthy unit.
struct SimFaults {
    bool silent = false;            // no UDP answers at all (requests are still carried out)
    int answerDelayMs = 0;          // every UDP answer leaves this late (late answers)
    bool wrongAnswerAddress = false;// answers carry address field + 2 (answer to a different request)
    bool foreignAnswerFirst = false;// each answer is preceded by a forged one (data inverted) from the next address
    bool noTcpData = false;         // histogram requests are answered on UDP but nothing is sent on TCP
    int pieceBytes = 0;             // > 0: a histogram goes out in pieces of this many bytes ...
    int pieceGapMs = 0;             // ... with this pause between pieces
    int stopAfterBytes = -1;        // >= 0: a histogram stream stops (stalls) after this many bytes
    bool resetMidStream = false;    // with stopAfterBytes: close the TCP connection there instead of stalling
    QByteArray strayOnConnect;      // bytes sent right after a TCP connection is accepted
    bool acceptThenClose = false;   // TCP connections are accepted and closed at once
    bool refuseTcp = false;         // TCP server not listening (connection refused)
};

// Sleeps until `dueNs` of `clock` when that is less than `timerNs` away (the
// last tens of microseconds spun, as a sleep overshoots by about that much);
// false, at once, when a timer should wait instead: Qt's timers count whole
// milliseconds, too coarse for the latency of one answer.
inline bool simWaitShort(const QElapsedTimer &clock, qint64 dueNs, qint64 timerNs = 2000000)
{
    qint64 left = dueNs - clock.nsecsElapsed();
    if (left >= timerNs)
        return false;
    if (left > 100000)
        QThread::usleep(quint64(left - 80000) / 1000);
    while (clock.nsecsElapsed() < dueNs) {
    }
    return true;
}
