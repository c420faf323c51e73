#include "simhvmodel.h"

SimHvModel::SimHvModel()
{
    regs.setWord(RegStat, BitPositive | SweepOff);
    regs.setWord(RegValue, RawZero);
}

void SimHvModel::update(qint64 nowNs)
{
    if (!ramping)
        return;
    const qint64 durNs = qint64(rampDurationMs) * 1000000;
    const qint64 elapsed = nowNs - rampStartNs;
    if (elapsed >= durNs) {
        finishRamp();
        return;
    }
    const qint64 span = qint64(rampTo) - qint64(rampFrom);
    const qint64 raw = qint64(rampFrom) + span * qMax<qint64>(0, elapsed) / durNs;
    regs.setWord(RegValue, quint16(raw));
}

void SimHvModel::setRampMs(int ms)
{
    rampDurationMs = qMax(0, ms);
}

void SimHvModel::finishRamp()
{
    ramping = false;
    regs.setWord(RegValue, rampTo);
    regs.setWord(RegStat, quint16(BitPositive | (on ? (BitOn | SweepOn) : SweepOff)));
}

bool SimHvModel::isWritable(quint32 wordAddr) const
{
    return wordAddr != RegStat && wordAddr != RegValue;
}

void SimHvModel::wordWritten(quint32 wordAddr, quint16 value, qint64 nowNs, QList<int> &)
{
    if (wordAddr != RegOnOff)
        return;
    const bool wantOn = value != 0;
    if (wantOn == on)
        return;   // already on (or ramping up), resp. off (or ramping down)
    on = wantOn;
    ramping = true;
    rampStartNs = nowNs;
    rampFrom = regs.word(RegValue);
    rampTo = on ? RawOn : RawZero;
    regs.setWord(RegStat, quint16(BitPositive | (on ? BitOn : 0) | SweepTrans));
    if (rampDurationMs == 0)
        finishRamp();
}
