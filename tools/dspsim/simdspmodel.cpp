#include "simdspmodel.h"

#include "histogramstamp.h"

#include <QRandomGenerator>

#include <cmath>
#include <limits>

namespace {

quint32 toU32(double v)
{
    if (!(v > 0.0))
        return 0;
    if (v >= double(std::numeric_limits<quint32>::max()))
        return std::numeric_limits<quint32>::max();
    return quint32(std::llround(v));
}

} // namespace

SimDspModel::SimDspModel(bool bMode)
    : rng(QRandomGenerator::global()->generate64())
{
    bins = bMode ? 8192 : 4096;
    for (int c = 0; c < Channels; ++c) {
        chans[c].spectrum = SimEnergyModel(c, bins);
        chans[c].hist = QVector<quint32>(bins, 0);
    }
    regs.setValue(RegMeasTime, 6, NoPreset);
    for (int c = 0; c < Channels; ++c)
        regs.setWord(chAddr(RegSFilterPeakingT, c), 0x0020);
}

void SimDspModel::update(qint64 nowNs)
{
    if (lastNs < 0 || nowNs <= lastNs) {
        if (lastNs < 0)
            lastNs = nowNs;
        return;
    }
    const qint64 dNs = nowNs - lastNs;
    lastNs = nowNs;
    if (!isCounting()) {
        nsCarry = 0;
        return;
    }
    const qint64 total = nsCarry + dNs;
    nsCarry = total % 10;
    advance(total / 10);
}

void SimDspModel::advance(qint64 ticks)
{
    if (!isCounting() || ticks <= 0)
        return;

    if (!frozen) {
        const quint64 real = regs.value(RegRealTime, 6);
        const quint64 preset = regs.value(RegMeasTime, 6);
        bool reached = false;
        if (real + quint64(ticks) >= preset) {
            ticks = preset > real ? qint64(preset - real) : 0;
            reached = true;
        }
        regs.setValue(RegRealTime, 6, (real + quint64(ticks)) & TimeMask);
        if (reached)
            regs.setWord(RegStart, 0);
    }

    const double seconds = double(ticks) / double(TicksPerSecond);
    for (int c = 0; c < Channels; ++c) {
        Channel &ch = chans[c];
        if (!frozen) {
            const double d = ch.deadCarry + double(ticks) * deadFrac;
            const quint64 dead = quint64(std::floor(d));
            ch.deadCarry = d - double(dead);
            const quint64 live = quint64(ticks) - qMin(dead, quint64(ticks));
            const quint32 la = chAddr(RegLiveTime, c), da = chAddr(RegDeadTime, c);
            regs.setValue(la, 6, (regs.value(la, 6) + live) & TimeMask);
            regs.setValue(da, 6, (regs.value(da, 6) + dead) & TimeMask);
        }

        const double fast = ch.fastCarry + seconds * rate;
        const quint64 nFast = quint64(std::floor(fast));
        ch.fastCarry = fast - double(nFast);
        const quint32 fa = chAddr(RegFTotalCount, c);
        regs.setValue(fa, 4, (regs.value(fa, 4) + nFast) & 0xFFFFFFFFull);

        const double live = ch.liveCarry + seconds * rate * (1.0 - deadFrac);
        const quint64 nLive = quint64(std::floor(live));
        ch.liveCarry = live - double(nLive);
        ch.streamTarget += nLive;
        const quint32 ta = chAddr(RegThTotalCount, c);
        regs.setValue(ta, 4, (regs.value(ta, 4) + nLive) & 0xFFFFFFFFull);

        setRates(c);
    }
}

void SimDspModel::setRates(int c)
{
    double icr = rate;
    if (!deterministic && rate > 0.0) {
        std::normal_distribution<double> g(0.0, 1.0);
        icr = rate + std::sqrt(rate) * g(rng);
    }
    regs.setValue(chAddr(RegICR, c), 4, toU32(icr));
    regs.setValue(chAddr(RegThCountR, c), 4, toU32(icr * (1.0 - deadFrac)));
    regs.setWord(chAddr(RegPileupCountR, c), quint16(qMin<quint32>(0xFFFF, toU32(icr * 0.01))));
}

bool SimDspModel::isCounting() const
{
    return regs.word(RegStart) == 1;
}

void SimDspModel::setDeterministic(bool on)
{
    deterministic = on;
}

void SimDspModel::setCountRate(double countsPerSecondPerChannel)
{
    rate = std::isfinite(countsPerSecondPerChannel) ? qMax(0.0, countsPerSecondPerChannel) : 0.0;
}

void SimDspModel::setDeadFraction(double f)
{
    deadFrac = std::isfinite(f) ? qBound(0.0, f, 1.0) : 0.0;
}

void SimDspModel::setFrozenRealTime(bool on)
{
    frozen = on;
}

void SimDspModel::setBMode(bool on)
{
    const int n = on ? 8192 : 4096;
    if (n == bins)
        return;
    bins = n;
    for (int c = 0; c < Channels; ++c) {
        materialize(c);
        chans[c].hist.resize(bins);
        chans[c].spectrum = SimEnergyModel(c, bins);
    }
}

void SimDspModel::setHistogram(int ch, const QVector<quint32> &values)
{
    if (ch < 0 || ch >= Channels)
        return;
    materialize(ch);
    Channel &c = chans[ch];
    c.hist = values;
    c.hist.resize(bins);
}

QVector<quint32> SimDspModel::histogram(int ch)
{
    if (ch < 0 || ch >= Channels)
        return {};
    materialize(ch);
    return chans[ch].hist;
}

QByteArray SimDspModel::histogramBytes(int ch)
{
    const QVector<quint32> h = stampUnit >= 0 && ch >= 0 && ch < Channels
                                   ? HistogramStamp::make(bins, {quint32(stampUnit), quint32(ch), starts})
                                   : histogram(ch);
    QByteArray d(h.size() * 4, '\0');
    auto *b = reinterpret_cast<uchar *>(d.data());
    for (int i = 0; i < h.size(); ++i) {
        const quint32 v = h[i];
        b[4 * i] = uchar(v >> 24);
        b[4 * i + 1] = uchar(v >> 16);
        b[4 * i + 2] = uchar(v >> 8);
        b[4 * i + 3] = uchar(v);
    }
    return d;
}

quint64 SimDspModel::liveEvents(int ch) const
{
    return ch >= 0 && ch < Channels ? chans[ch].streamTarget : 0;
}

bool SimDspModel::isWritable(quint32 wordAddr) const
{
    if (wordAddr >= RegRealTime && wordAddr < RegRealTime + 6)
        return false;
    for (int c = 0; c < Channels; ++c) {
        const quint32 off = wordAddr - quint32(c) * ChannelOffset;
        if ((off >= RegFTotalCount && off < RegFTotalCount + 8)          // fast and throughput totals
            || (off >= RegICR && off < RegPileupCountR + 2)               // rates
            || (off >= RegLiveTime && off < RegDeadTime + 6))             // live and dead times
            return false;
    }
    return true;
}

void SimDspModel::wordWritten(quint32 wordAddr, quint16 value, qint64, QList<int> &histRequests)
{
    if (wordAddr == RegStart) {
        nsCarry = 0;
        if (value == 1)
            ++starts;
        if (isCounting())
            for (int c = 0; c < Channels; ++c)
                setRates(c);
    } else if (wordAddr == RegClear) {
        if (value & 1)
            clearAll();
    } else if (wordAddr == RegHistgram) {
        if (value < Channels)
            histRequests.append(int(value));
    }
}

void SimDspModel::clearAll()
{
    regs.setValue(RegRealTime, 6, 0);
    nsCarry = 0;
    for (int c = 0; c < Channels; ++c) {
        Channel &ch = chans[c];
        ch.hist.fill(0);
        ch.streamTarget = ch.streamApplied = 0;
        ch.deadCarry = ch.fastCarry = ch.liveCarry = 0.0;
        regs.setValue(chAddr(RegLiveTime, c), 6, 0);
        regs.setValue(chAddr(RegDeadTime, c), 6, 0);
        regs.setValue(chAddr(RegFTotalCount, c), 4, 0);
        regs.setValue(chAddr(RegThTotalCount, c), 4, 0);
        regs.setValue(chAddr(RegICR, c), 4, 0);
        regs.setValue(chAddr(RegThCountR, c), 4, 0);
        regs.setWord(chAddr(RegPileupCountR, c), 0);
    }
}

void SimDspModel::materialize(int c)
{
    Channel &ch = chans[c];
    if (ch.streamApplied >= ch.streamTarget)
        return;
    if (deterministic)
        ch.spectrum.addDeterministic(ch.hist, ch.streamApplied, ch.streamTarget);
    else
        ch.spectrum.addRandom(ch.hist, ch.streamTarget - ch.streamApplied, rng);
    ch.streamApplied = ch.streamTarget;
}
