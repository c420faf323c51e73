#pragma once

#include "simdevice.h"
#include "simenergymodel.h"

#include <QVector>

#include <array>
#include <random>

// A four-channel DSP unit: register file plus counting model.
//
// While Start is 1 the real time counts 10 ns ticks of the clock given to
// update(); each channel's live and dead times share that time by the dead
// fraction; events arrive at the count rate, are counted in the fast total
// count and, during live time, go into the channel's histogram. A preset in
// MeasTime stops the unit when the real time reaches it. Writing 1 to Clear
// empties the histograms and zeroes times and counters. Writing a channel
// number to Histgram asks for that channel's histogram.
//
// The times and counters live in the registers themselves, so a register
// poke (setReg) is what the model counts on from then on.
class SimDspModel : public SimDevice
{
public:
    static constexpr quint32 RegDTDelay = 0x00000008;
    static constexpr quint32 RegStart = 0xB4000014;
    static constexpr quint32 RegMeasTime = 0xB4000016;     // 3 words
    static constexpr quint32 RegRealTime = 0xB400001C;     // 3 words
    static constexpr quint32 RegClear = 0xB4000040;
    static constexpr quint32 RegHistgram = 0xB400004A;
    static constexpr quint32 RegSFilterPeakingT = 0xB400020A;
    static constexpr quint32 RegFTotalCount = 0xB400021C;  // 2 words, per channel
    static constexpr quint32 RegThTotalCount = 0xB4000220; // 2 words, per channel
    static constexpr quint32 RegICR = 0xB400022C;          // 2 words, per channel
    static constexpr quint32 RegThCountR = 0xB4000230;     // 2 words, per channel
    static constexpr quint32 RegPileupCountR = 0xB4000234; // per channel
    static constexpr quint32 RegLiveTime = 0xB4000246;     // 3 words, per channel
    static constexpr quint32 RegDeadTime = 0xB400024C;     // 3 words, per channel
    static constexpr quint32 ChannelOffset = 0x200;
    static constexpr int Channels = 4;
    static constexpr quint64 NoPreset = 0x0FFFFFFFFFFFull;
    static constexpr quint64 TimeMask = 0xFFFFFFFFFFFFull;
    static constexpr qint64 TicksPerSecond = 100000000;

    explicit SimDspModel(bool bMode = false);

    void update(qint64 nowNs) override;

    // Counts `ticks` of 10 ns as if that much time had passed while counting.
    void advance(qint64 ticks);

    bool isCounting() const;
    void setDeterministic(bool on);
    bool isDeterministic() const { return deterministic; }
    void setCountRate(double countsPerSecondPerChannel);
    double countRate() const { return rate; }
    void setDeadFraction(double f);
    double deadFraction() const { return deadFrac; }
    void setFrozenRealTime(bool on);
    void setBMode(bool on);
    bool bMode() const { return bins == 8192; }
    int binCount() const { return bins; }
    int streamBytes() const { return bins * 4; }

    void setHistogram(int ch, const QVector<quint32> &values);
    QVector<quint32> histogram(int ch);
    // The TCP stream of a channel's histogram: big-endian uint32 bins, bin 0 first.
    QByteArray histogramBytes(int ch);

    // Stamp mode: histograms are stamped (HistogramStamp) with this unit
    // index instead of the simulated spectrum; -1 turns it off.
    void setStamp(int unitIndex) { stampUnit = unitIndex; }
    int stamp() const { return stampUnit; }
    // How many times Start was set to 1.
    quint32 startCount() const { return starts; }

    // Events generated for a channel since the last clear (those in live time).
    quint64 liveEvents(int ch) const;

protected:
    bool isWritable(quint32 wordAddr) const override;
    void wordWritten(quint32 wordAddr, quint16 value, qint64 nowNs, QList<int> &histRequests) override;

private:
    struct Channel {
        QVector<quint32> hist;
        SimEnergyModel spectrum;
        quint64 streamTarget = 0;   // events generated into the histogram (deterministic stream position)
        quint64 streamApplied = 0;  // events already added to `hist`
        double deadCarry = 0.0;     // fractions of a tick not yet counted
        double fastCarry = 0.0;     // fractions of an event not yet counted
        double liveCarry = 0.0;
    };

    void clearAll();
    void materialize(int ch);
    void setRates(int ch);
    static quint32 chAddr(quint32 base, int ch) { return base + quint32(ch) * ChannelOffset; }

    std::array<Channel, Channels> chans;
    int bins = 4096;
    double rate = 2000.0;
    double deadFrac = 0.03;
    bool deterministic = false;
    bool frozen = false;
    qint64 lastNs = -1;
    qint64 nsCarry = 0;
    int stampUnit = -1;
    quint32 starts = 0;
    std::mt19937_64 rng;
};
