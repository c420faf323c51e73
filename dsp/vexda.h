// One DSP unit: up to four channels behind one address.
#pragma once

#include <QColor>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTimer>

#include "histogramassembler.h"
#include "mcadataset.h"
#include "vexunit.h"

// One DSP unit: up to four channels behind one address. Presets, clearing,
// times and count rates, the measurement watch, busy reporting, histogram
// read-out over TCP and the per-measurement data set.
class VexDA : public VexUnit
{
    Q_OBJECT

public:
    static constexpr double defaultWatchIntervalMs = 200.0;
    static constexpr int hgCapacity = 8192;                 // bins of hg
    static constexpr quint64 maxMeasTicks = 0xFFFFFFFFFFFFULL;   // 48-bit register

    VexDA(const QString &name, const QString &ip, QObject *parent = nullptr);
    // Same, with other device ports (tests and simulators).
    VexDA(const QString &name, const QString &ip, quint16 udpPort, quint16 tcpPort,
          QObject *parent = nullptr);
    ~VexDA() override;

    // Configuration, as the main window sets it.
    bool emulateSignal = false;
    int hgBytes = 16384;          // bytes of one histogram on the stream (32768 in "B" mode)
    int mcaLength = 4096;         // bins kept per histogram
    QList<bool> chUse;
    QList<int> roiStart, roiEnd;

    // Histogram of the last read into the unit's own buffer.
    quint32 hg[hgCapacity];
    bool hgReady = false;

    bool busyReported = false;
    bool inMeas = false;

    double realTime = 0.0, lastRealTime = 0.0;   // seconds
    QList<double> liveTimes, deadTimes, icrs;

    MCADataSet *mcaSet = nullptr;   // owned
    int startMeasNum = 0;
    int measCount = 0;

    int chCount() const;            // chUse.size()

    void setPresetType(int t);
    void setPresetValue(double sec);
    int getPresetType() const;
    double getPresetValue() const;
    void applyPreset();

    void clearHistogram();
    void setMeasTime(quint64 ticks);
    quint64 getMeasTime();
    void setDataTransDelay(int ms);

    // A positive, finite number of milliseconds; anything else is refused
    // (false) and the interval stays. The timer runs at least every 1 ms.
    bool setWatchInterval(double ms);
    double watchIntervalMs() const;
    double watchIntervalSec() const;
    int watchTimerIntervalMs() const;
    bool watchIsRunning() const;
    // On (the default): once the preset's end is less than 1.5 intervals
    // away, the next tick is aimed at it (plus a small margin), and a tick
    // that reads a real time at the preset ends the measurement there. Off:
    // ticks only at the interval, and only a real time that stood still
    // ends it.
    void setQuickPresetEnd(bool on);
    bool quickPresetEnd() const;
    // False when a register read went unanswered (its value then reads 0).
    bool readTimes();

    // Asks channel ch's histogram; in line: also receives it (into dst, or hg
    // when dst is null) before returning.
    void askHistogram(int ch, bool inLine, quint32 *dst = nullptr);

    void initMcaSet();
    MCADataSet *makeMcaSet(int measNum);
    // A data set that was not read whole is read again when the unit answers
    // (one register read tells); true when the set held is whole.
    bool retakeMcaSet();

    // Ticks written for a preset of `sec` seconds: negative/NaN count as 0,
    // values beyond the 48-bit register are clamped (clamped set when so).
    static quint64 presetTicks(double sec, bool *clamped = nullptr);

    // The start written to the unit was answered, so the unit counts: the
    // first tick aimed at the preset's end is counted from now.
    void measStarted();

public slots:
    void startMeasWatch();
    void stopMeasWatch();
    void measWatch();
    void checkIsBusy();
    void setEmulateSignal(bool f);

signals:
    void hgDataReady();
    void changedIsBusy();

private slots:
    void tcpDataReady();

private:
    void initUnit();
    // Starts the wait for the next watch tick: at the interval, or aimed at
    // the preset's end when that comes first (countedSec: the unit's real
    // time so far).
    void scheduleTick(double countedSec);
    void histogramComplete(quint32 *dst, int maxBins);
    // The in-line read: no byte came within a gap or the whole wait; and
    // the bytes that came, true once the histogram is complete.
    void histogramWaitFailed(int ch, bool totalExpired);
    bool takeHistogramBytes(QTcpSocket *tcp, quint32 *target, int maxBins);

    double m_presetValue = 1.0;
    int m_presetType = 0;
    double m_watchIntervalMs = defaultWatchIntervalMs;
    double m_watchIntervalSec = defaultWatchIntervalMs * 0.001;
    QTimer m_watchTimer;
    QTimer m_aimTimer;              // single shot: the tick aimed at the preset's end
    QDeadlineTimer m_aimAt;         // that end to the microsecond (the timer counts whole ms)
    QElapsedTimer m_realReadAt;     // since the real time was read
    bool m_quickPresetEnd = true;
    double m_tickSpanSec = 0.0;     // what an aimed tick waited for (s); 0: the interval
    quint64 m_realTicks = 0;        // realTime as read, in 10 ns ticks
    bool m_timesFresh = false;      // the times just read are final: the data set reuses them
    HistogramAssembler m_hgData;
};
