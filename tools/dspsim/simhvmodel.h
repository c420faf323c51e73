#pragma once

#include "simdevice.h"

// The high-voltage unit: a status word, a raw voltage and an on/off switch.
//
// Status word: low nibble the sweep state (0 off, 2 in transition, 4 on),
// bit 4 on, bit 5 positive polarity. Raw voltage: 0x8000 is 0 V, 0xFFFF
// full scale. Writing 1 to On/Off ramps the raw value linearly to the
// on-voltage within the ramp time (sweep 2), then reports sweep 4; writing
// 0 ramps back to 0x8000 and sweep 0.
class SimHvModel : public SimDevice
{
public:
    static constexpr quint32 RegStat = 0xB4002200;
    static constexpr quint32 RegValue = 0xB4002202;
    static constexpr quint32 RegOnOff = 0xB400220E;
    static constexpr quint16 RawZero = 0x8000;
    static constexpr quint16 RawOn = 0xC000;     // 100 V of 200 V full scale
    static constexpr quint16 BitOn = 0x0010;
    static constexpr quint16 BitPositive = 0x0020;
    static constexpr quint16 SweepOff = 0, SweepTrans = 2, SweepOn = 4;

    SimHvModel();

    void update(qint64 nowNs) override;

    void setRampMs(int ms);
    int rampMs() const { return rampDurationMs; }
    bool isRamping() const { return ramping; }

protected:
    bool isWritable(quint32 wordAddr) const override;
    void wordWritten(quint32 wordAddr, quint16 value, qint64 nowNs, QList<int> &histRequests) override;

private:
    void finishRamp();

    bool on = false;
    bool ramping = false;
    qint64 rampStartNs = 0;
    quint16 rampFrom = RawZero;
    quint16 rampTo = RawZero;
    int rampDurationMs = 1000;
};
