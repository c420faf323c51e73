// One DSP unit: presets, clearing, start and stop, and the timing of a measurement.
#include "vexda.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <QLocale>
#include <QThread>

#include "dspreg.h"
#include "logsink.h"

namespace {

QString shortest(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

// A tick aimed at the preset's end comes this late: the fixed part covers
// waking up a little early, a unit clock running slower than the
// computer's is covered by the share of the time left. The aim is counted
// from the answer to the start, when the unit already counts.
constexpr double presetEndMarginSec = 0.0001;
constexpr double presetEndMarginShare = 0.001;
// The aim timer fires at the last whole millisecond before the end; the
// rest (under this) is waited out in the tick.
constexpr qint64 aimSleepMaxUs = 2000;
// The end is aimed at once it is nearer than this many intervals: a tick at
// the interval that would come just before the end would be wasted.
constexpr double aimWithinIntervals = 1.5;

} // namespace

VexDA::VexDA(const QString &name, const QString &ip, QObject *parent)
    : VexUnit(name, ip, parent)
{
    initUnit();
}

VexDA::VexDA(const QString &name, const QString &ip, quint16 udpPort, quint16 tcpPort, QObject *parent)
    : VexUnit(name, ip, udpPort, tcpPort, parent)
{
    initUnit();
}

void VexDA::initUnit()
{
    std::memset(hg, 0, sizeof hg);
    m_watchTimer.setParent(this);
    setWatchInterval(defaultWatchIntervalMs);
    hgReady = false;
    busyReported = false;
    mcaSet = nullptr;
    startMeasNum = 0;
    measCount = 0;
    hgBytes = 16384;
    mcaLength = 4096;
    roiStart.resize(chUse.size());
    roiEnd.resize(chUse.size());
    m_presetType = 0;
    applyPreset();
    m_presetValue = 1.0;
    applyPreset();
    inMeas = false;
    m_watchTimer.setSingleShot(false);
    connect(&m_watchTimer, &QTimer::timeout, this, &VexDA::measWatch);
    m_aimTimer.setParent(this);
    m_aimTimer.setSingleShot(true);
    m_aimTimer.setTimerType(Qt::PreciseTimer);   // never early
    connect(&m_aimTimer, &QTimer::timeout, this, &VexDA::measWatch);
    connect(this, &VexUnit::tcpDataReadySignal, this, &VexDA::tcpDataReady);
}

VexDA::~VexDA()
{
    m_watchTimer.stop();
    m_aimTimer.stop();
    delete mcaSet;
    mcaSet = nullptr;
}

int VexDA::chCount() const
{
    return int(chUse.size());
}

// ---------------------------------------------------------------- presets

quint64 VexDA::presetTicks(double sec, bool *clamped)
{
    if (clamped)
        *clamped = false;
    if (!(sec > 0))   // negative, zero or NaN
        return 0;
    const double ticks = sec * 1e8;
    if (ticks >= double(maxMeasTicks)) {
        if (clamped)
            *clamped = ticks > double(maxMeasTicks);
        return maxMeasTicks;
    }
    return quint64(ticks);
}

void VexDA::setPresetType(int t)
{
    m_presetType = (t == 1 || t == 2) ? t : 0;
    applyPreset();
}

void VexDA::setPresetValue(double sec)
{
    m_presetValue = sec;
    applyPreset();
}

int VexDA::getPresetType() const
{
    return m_presetType;
}

double VexDA::getPresetValue() const
{
    return m_presetValue;
}

void VexDA::applyPreset()
{
    if (m_presetType == 1 || m_presetType == 2) {
        bool clamped = false;
        const quint64 ticks = presetTicks(m_presetValue, &clamped);
        if (clamped)
            sinkLog(QStringLiteral("%1: preset time %2 s is beyond the largest measuring time; %3 s is set")
                        .arg(name(), shortest(m_presetValue), shortest(double(ticks) * 1e-8)),
                    QColor(255, 0, 0));
        writeReg(DspAddr::MeasTime1, ticks, true, 6);
    } else {
        writeReg(DspAddr::MeasTime1, 0x0FFF, true, 2);
        writeReg(DspAddr::MeasTime2, 0xFFFF, true, 2);
        writeReg(DspAddr::MeasTime3, 0xFFFF, true, 2);
    }
}

void VexDA::clearHistogram()
{
    writeReg(DspAddr::Clear, 0, true, 2);
    writeReg(DspAddr::Clear, 1, true, 2);
    writeReg(DspAddr::Clear, 0, true, 2);
}

void VexDA::setMeasTime(quint64 ticks)
{
    if (ticks > maxMeasTicks) {
        sinkLog(QStringLiteral("%1: measuring time of %2 counts is beyond the register; %3 is set")
                    .arg(name())
                    .arg(ticks)
                    .arg(maxMeasTicks),
                QColor(255, 0, 0));
        ticks = maxMeasTicks;
    }
    writeReg(DspAddr::MeasTime1, ticks, true, 6);
}

quint64 VexDA::getMeasTime()
{
    readReg(DspAddr::MeasTime1, true, 6);
    return Rbcp::beValue(ansData(), 6);
}

void VexDA::setDataTransDelay(int ms)
{
    writeReg(DspAddr::DTDelay1, quint64(qint64(ms) * 125000), true, 4);
}

// ---------------------------------------------------------------- times and watch

bool VexDA::setWatchInterval(double ms)
{
    // 0 (or less) would make the end test never true and the timer spin.
    if (!(ms > 0) || !std::isfinite(ms))
        return false;
    m_watchIntervalMs = ms;
    m_watchIntervalSec = ms * 0.001;
    m_watchTimer.setInterval(int(qBound(1.0, ms, double(std::numeric_limits<int>::max()))));
    return true;
}

double VexDA::watchIntervalMs() const
{
    return m_watchIntervalMs;
}

double VexDA::watchIntervalSec() const
{
    return m_watchIntervalSec;
}

int VexDA::watchTimerIntervalMs() const
{
    return m_watchTimer.interval();
}

bool VexDA::watchIsRunning() const
{
    return m_watchTimer.isActive() || m_aimTimer.isActive();
}

void VexDA::setQuickPresetEnd(bool on)
{
    m_quickPresetEnd = on;
}

bool VexDA::quickPresetEnd() const
{
    return m_quickPresetEnd;
}

bool VexDA::readTimes()
{
    bool answered = readReg(DspAddr::RealTime1, true, 6);
    m_realReadAt.start();
    m_realTicks = Rbcp::beValue(ansData(), 6);
    realTime = double(m_realTicks) * 1e-8;
    liveTimes.clear();
    deadTimes.clear();
    icrs.clear();
    for (int c = 0; c < chCount(); ++c) {
        const quint32 o = quint32(c < chOffsets.size() ? chOffsets.at(c) : 0x200 * c);
        answered = readReg(DspAddr::LiveTime1 + o, true, 6) && answered;
        liveTimes.append(double(Rbcp::beValue(ansData(), 6)) * 1e-8);
        answered = readReg(DspAddr::DeadTime1 + o, true, 6) && answered;
        deadTimes.append(double(Rbcp::beValue(ansData(), 6)) * 1e-8);
        answered = readReg(DspAddr::ICR1 + o, true, 4) && answered;
        icrs.append(double(Rbcp::beValue(ansData(), 4)));
    }
    return answered;
}

void VexDA::startMeasWatch()
{
    if (inMeas)
        return;
    inMeas = true;
    checkIsBusy();
    ++measCount;
    if (m_presetType != 0) {
        lastRealTime = 0;
        scheduleTick(0.0);
    }
}

void VexDA::measStarted()
{
    // Only the first aim (no tick yet) waits for the start itself.
    if (inMeas && m_aimTimer.isActive() && lastRealTime == 0)
        scheduleTick(0.0);
}

void VexDA::scheduleTick(double countedSec)
{
    m_tickSpanSec = 0.0;
    if (m_quickPresetEnd) {
        // What is left of the preset by the unit's own count (all of it at
        // the start: a resumed unit ends sooner and is seen at this tick).
        const double left = qMax(0.0, m_presetValue - countedSec);
        const double aim = left + presetEndMarginSec + presetEndMarginShare * left;
        if (aim < aimWithinIntervals * m_watchIntervalSec) {
            m_watchTimer.stop();
            m_tickSpanSec = aim;
            // Counted from the moment the unit's real time was read.
            const qint64 sinceRead = countedSec > 0 && m_realReadAt.isValid() ? m_realReadAt.nsecsElapsed() : 0;
            const qint64 aimNs = qMax<qint64>(0, qint64(aim * 1e9) - sinceRead);
            m_aimAt = QDeadlineTimer(std::chrono::nanoseconds(aimNs), Qt::PreciseTimer);
            m_aimTimer.start(int(aimNs / 1000000));
            return;
        }
    }
    if (!m_watchTimer.isActive())
        m_watchTimer.start();
}

void VexDA::measWatch()
{
    if (m_tickSpanSec > 0) {
        // An aimed tick: what the millisecond timer left of the wait.
        const qint64 us = m_aimAt.remainingTimeNSecs() / 1000;
        if (us > 0)
            QThread::usleep(quint64(qMin(us, aimSleepMaxUs)));
    }
    beginRequest();
    readTimes();
    sinkVlog(QStringLiteral("Watching Times : realTime %1 : last RealTime %2 : Interval %3")
                 .arg(shortest(realTime), shortest(lastRealTime), shortest(2 * m_watchIntervalSec)));
    // The unit stops by itself when its real time reaches the preset; then
    // the times just read are its final ones.
    const bool reached = m_quickPresetEnd && m_realTicks >= presetTicks(m_presetValue);
    // Else it has stopped when its real time advanced by less than 30 % of
    // the time this tick waited.
    const double span = m_tickSpanSec > 0 ? m_tickSpanSec : m_watchIntervalSec;
    if (reached || realTime - lastRealTime < 0.3 * span) {
        m_timesFresh = reached;
        stopMeasWatch();
        sinkVlog(QStringLiteral("Calling stopMeasWatch to Turn flag inMeas false"));
    } else if (m_quickPresetEnd) {
        scheduleTick(realTime);
    }
    lastRealTime = realTime;
}

void VexDA::stopMeasWatch()
{
    if (!inMeas)
        return;
    m_watchTimer.stop();
    m_aimTimer.stop();
    inMeas = false;
    sinkVlog(QStringLiteral("Turn flag inMeas false"));
    makeMcaSet(startMeasNum);
    m_timesFresh = false;
    checkIsBusy();
}

void VexDA::checkIsBusy()
{
    if (inMeas == busyReported)
        return;
    busyReported = inMeas;
    emit log(QStringLiteral("Changed Busy %1").arg(busyReported ? 1 : 0), QColor(0, 0, 0));
    emit changedIsBusy();
}

void VexDA::setEmulateSignal(bool f)
{
    emulateSignal = f;
}
