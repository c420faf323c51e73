#pragma once

#include "simfaults.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>

class QTimer;
class QUdpSocket;
class SimDevice;
class SimDspModel;
class SimHvModel;
class SimStreamer;

// One simulated DSP or HV unit at its own address: register access over
// UDP, histogram stream over TCP (DSP only). Made by SimHost and living in
// its simulator thread; every public method may be called from any thread.
class SimUnit : public QObject
{
    Q_OBJECT
public:
    enum class Kind { Dsp, Hv };

    SimUnit(Kind kind, const QString &name, const QHostAddress &addr, quint16 udpPort, quint16 tcpPort,
            bool bMode = false);
    ~SimUnit() override;

    Kind kind() const { return unitKind; }
    QString name() const { return unitName; }
    QHostAddress address() const { return unitAddress; }
    quint16 udpPort() const;          // bound UDP port (the real one when 0 was asked)
    quint16 tcpPort() const;          // bound TCP port (DSP only)
    bool isOpen() const;
    QString errorString() const;      // why opening failed

    // 16-bit register file by byte address (registers are words at even addresses).
    // setReg is a plain poke: no side effects (Start, Clear, Histgram, HV On/Off
    // act only when written by a request).
    quint16 reg(quint32 addr) const;
    void setReg(quint32 addr, quint16 value);
    quint64 value(quint32 addr, int bytes) const;   // consecutive words, MSB word first (bytes = 2, 4 or 6)

    // Counting model (DSP; no effect on the HV unit).
    bool isCounting() const;                        // Start register is 1
    void setDeterministic(bool on);                 // no randomness: a fixed, reproducible spectrum/rates
    void setCountRate(double countsPerSecondPerChannel);
    void setDeadFraction(double f);                 // live = real * (1 - f), dead = real * f
    void setFrozenRealTime(bool on);                // real time never moves even while counting
    void setBMode(bool on);                         // 32768-byte histogram stream (8192 bins) instead of 16384
    bool bMode() const;
    void setHistogram(int ch, const QVector<quint32> &bins);   // overwrite a channel's histogram
    QVector<quint32> histogram(int ch) const;       // current bins of a channel (4096, or 8192 in B mode)
    void advanceTicks(qint64 ticks);                // count this many 10 ns ticks at once (while counting)
    void setStamp(int unitIndex);                   // stamped histograms (HistogramStamp) as this unit; -1: off
    quint32 startCount() const;                     // how many times Start was set to 1

    // Timing of a real unit on its network (0: none): every UDP answer leaves
    // this many microseconds after its request; a histogram stream goes out
    // at this many megabits per second.
    void setAnswerDelayUs(int us);
    void setStreamMbps(double mbps);

    // HV unit.
    void setRampMs(int ms);                         // duration of an HV ramp (default 1000 ms)

    // Faults and inspection.
    void setFaults(const SimFaults &f);
    SimFaults faults() const;
    QList<QByteArray> requests() const;             // every UDP request datagram received, in order (also when silent)
    void clearRequests();
    void setRequestLogLimit(int n);                 // keep only the last n requests (0: all, the default)
    void sendToLastRequester(const QByteArray &datagram);   // inject an unsolicited/stale datagram
    int tcpConnectionCount() const;                 // TCP connections accepted so far
    void dropTcp();                                 // close the current TCP connection (unit restart)

signals:
    // Emitted in the simulator thread for every UDP datagram received.
    void requestReceived(const QByteArray &datagram, const QHostAddress &from, quint16 port);

private:
    friend class SimHost;

    struct Outgoing {
        qint64 dueNs = 0;
        QByteArray answer;
        QByteArray forged;            // sent first, from another address
        QHostAddress to;
        quint16 port = 0;
        QList<QByteArray> histograms;
    };

    // In the simulator thread:
    bool open();
    void shutdown();
    void onUdpReadyRead();
    void deliver(const Outgoing &out);
    void deliverDue();

    void runInThread(const std::function<void()> &fn) const;
    qint64 nowNs() const { return clock.nsecsElapsed(); }
    SimDspModel *dsp() const;

    const Kind unitKind;
    const QString unitName;
    const QHostAddress unitAddress;
    const quint16 wantedUdpPort;
    const quint16 wantedTcpPort;

    mutable QMutex mutex;             // guards everything below except the sockets
    QElapsedTimer clock;
    std::unique_ptr<SimDevice> device;
    SimFaults unitFaults;
    int answerDelayUs = 0;
    double streamMbps = 0.0;
    QList<QByteArray> requestLog;
    int requestLogLimit = 0;
    QHostAddress lastFrom;
    quint16 lastPort = 0;
    quint16 boundUdpPort = 0;
    quint16 boundTcpPort = 0;
    bool opened = false;
    QString error;

    // Simulator thread only:
    QUdpSocket *udp = nullptr;
    QUdpSocket *foreignUdp = nullptr;   // bound to the address after the unit's
    SimStreamer *streamer = nullptr;
    QTimer *delayTimer = nullptr;
    QList<Outgoing> delayed;
};
