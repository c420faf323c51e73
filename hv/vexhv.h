// The high-voltage unit and its window.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "hvreadparams.h"
#include "hvstat.h"
#include "vexunit.h"

#include "ui_vexhv.h"

// The high-voltage unit: polls its status word and raw voltage, reports every
// change by a signal, shows them on its panel and switches the high voltage.
// It uses only the UDP register access of VexUnit; it never opens TCP.
class VexHv : public VexUnit
{
    Q_OBJECT

public:
    static constexpr quint32 regStat = 0xB4002200;    // "HV Stat"
    static constexpr quint32 regValue = 0xB4002202;   // "HV Value"
    static constexpr quint32 regOnOff = 0xB400220E;   // "HV On/Off"
    static constexpr int defaultWatchIntervalMs = 200;
    static constexpr int silentWatchIntervalMs = 2000;   // polling while the unit does not answer

    VexHv(const QString &name, const QString &ip, QObject *parent = nullptr);
    ~VexHv() override;

    // The panel (created without parent; place it into a layout to show it).
    // The unit deletes it when it goes, unless it was destroyed before.
    QFrame *panel() const;

    void setReadParams(double fullScale, quint32 rawMin, quint32 rawMax);
    void setReadParams(const HvReadParams &p);
    HvReadParams readParams() const;
    // Apply the rest text of "HV_READ_PARAMS" / "HV_READ_TYPE"; false when
    // the text changes nothing (empty, or an unknown type).
    bool applyReadParamsText(const QString &rest);
    bool applyReadTypeText(const QString &rest);

    // Converts a raw reading into volts; reports and shows a change beyond the
    // threshold. Returns the raw reading behind the stored voltage.
    quint16 setRawVoltage(quint16 raw);

    HvStat hvStat() const;
    double voltage() const;
    quint16 lastRaw() const;
    double voltThreshold() const;

    // The poll timer; its interval is watchIntervalMs while the unit answers
    // and silentWatchIntervalMs after a poll has timed out.
    QTimer *watchTimer();
    int watchIntervalMs() const;
    void setWatchIntervalMs(int ms);
    // The unit did not answer its last poll: the lamps show "unknown"
    // (grey) until it answers again, the last known state stays.
    bool isSilent() const;

public slots:
    void hvOnOff(bool f);
    void hvOn();
    void hvOff();
    // One poll: status word, then (when the unit answered) the raw voltage;
    // both are applied only when both were answered.
    void watch();

signals:
    void changedInEmergency(bool isInEmergency);
    void changedPolarity(bool isPositive);
    void changedIsOn(bool isOn);
    void changedSweep(HvStat::SweepStat sweepStat);
    void changedVoltage(double vol);

private:
    void applyStat(quint16 word);
    void paintStat();
    void setSilent(bool silent);

    QPointer<QFrame> panelFrame;
    Ui::VexHv ui;
    HvReadParams params;
    int watchMs = defaultWatchIntervalMs;
    double threshold = 0.02;
    QTimer timer;
    HvStat stat;
    quint16 raw = 0;
    double volts = 0.0;
    bool silent = false;
};
