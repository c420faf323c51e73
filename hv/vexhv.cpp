// The high-voltage unit: polls its status and voltage and drives its window.
#include "vexhv.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLoggingCategory>
#include <QPushButton>
#include <QStringList>
#include <cmath>

Q_LOGGING_CATEGORY(lcHv, "marlo.hv")

VexHv::VexHv(const QString &name, const QString &ip, QObject *parent)
    : VexUnit(name, ip, parent), panelFrame(new QFrame)
{
    registerHvStatMetaTypes();
    ui.setupUi(panelFrame);
    connect(ui.TurnHvOn, &QPushButton::clicked, this, &VexHv::hvOn);
    connect(ui.TurnHvOff, &QPushButton::clicked, this, &VexHv::hvOff);
    timer.setInterval(watchMs);
    connect(&timer, &QTimer::timeout, this, &VexHv::watch);
    timer.start();
}

VexHv::~VexHv()
{
    timer.stop();
    delete panelFrame.data();   // null when the window that held it is gone already
}

QFrame *VexHv::panel() const
{
    return panelFrame.data();
}

void VexHv::setReadParams(double fullScale, quint32 rawMin, quint32 rawMax)
{
    qDebug() << fullScale << QString::number(rawMin, 16) << QString::number(rawMax, 16);
    if (!std::isfinite(fullScale) || rawMax < rawMin) {
        qCWarning(lcHv) << "HV read parameters refused (raw maximum below raw minimum, or full scale not finite);"
                        << "the previous ones stay";
        return;
    }
    params.fullScale = fullScale;
    params.rawMin = rawMin;
    params.rawMax = rawMax;
}

void VexHv::setReadParams(const HvReadParams &p)
{
    setReadParams(p.fullScale, p.rawMin, p.rawMax);
}

HvReadParams VexHv::readParams() const
{
    return params;
}

bool VexHv::applyReadParamsText(const QString &rest)
{
    HvReadParams p;
    if (!HvReadParams::fromParamsText(rest, p))
        return false;
    setReadParams(p);
    return true;
}

bool VexHv::applyReadTypeText(const QString &rest)
{
    HvReadParams p;
    if (!HvReadParams::fromTypeText(rest, p))
        return false;
    setReadParams(p);
    return true;
}

quint16 VexHv::setRawVoltage(quint16 r)
{
    if (r == raw)
        return raw;
    // Signed arithmetic: a reading below the raw minimum is a negative voltage.
    const qint64 span = qint64(params.rawMax) - qint64(params.rawMin) + 1;   // >= 1, see setReadParams
    const double v = double(qint64(r) - qint64(params.rawMin)) * params.fullScale / double(span);
    if (std::fabs(v - volts) > threshold) {
        raw = r;
        volts = v;
        emit changedVoltage(v);
    }
    if (panelFrame)   // the window holding the panel may be gone already
        ui.Voltage->setText(QString::number(volts, 'g', 6));
    return raw;
}

HvStat VexHv::hvStat() const
{
    return stat;
}

double VexHv::voltage() const
{
    return volts;
}

quint16 VexHv::lastRaw() const
{
    return raw;
}

double VexHv::voltThreshold() const
{
    return threshold;
}

QTimer *VexHv::watchTimer()
{
    return &timer;
}

int VexHv::watchIntervalMs() const
{
    return watchMs;
}

void VexHv::setWatchIntervalMs(int ms)
{
    watchMs = ms > 0 ? ms : defaultWatchIntervalMs;
    if (!silent)
        timer.setInterval(watchMs);
}

bool VexHv::isSilent() const
{
    return silent;
}

void VexHv::hvOnOff(bool f)
{
    beginRequest();   // the operator's switch waits for its answer
    writeReg(regOnOff, f ? 1 : 0, true, 2);
}

void VexHv::hvOn()
{
    hvOnOff(true);
}

void VexHv::hvOff()
{
    hvOnOff(false);
}

void VexHv::watch()
{
    beginRequest();   // each poll is a request of its own
    const bool statOk = readReg(regStat, true, 2);
    const quint16 word = statOk ? quint16(ansValue() & 0xFFFF) : 0;
    // A failed voltage read is no reading: the stored voltage stays.
    const bool valueOk = statOk && readReg(regValue, true, 2);
    // A silent unit is polled slowly until it answers again, so that the
    // event loop is not blocked every 200 ms; its lamps show "unknown".
    setSilent(!valueOk);
    applyStat(word);
    if (valueOk)
        setRawVoltage(quint16(ansValue() & 0xFFFF));
}

void VexHv::applyStat(quint16 word)
{
    const HvStat n = HvStat::decode(word);
    if (n.isInEmergency != stat.isInEmergency)
        emit changedInEmergency(n.isInEmergency);
    if (n.isPositive != stat.isPositive)
        emit changedPolarity(n.isPositive);
    if (n.isOn != stat.isOn)
        emit changedIsOn(n.isOn);
    if (n.sweepStat != stat.sweepStat)
        emit changedSweep(n.sweepStat);
    stat = n;
    paintStat();
}

void VexHv::paintStat()
{
    if (!panelFrame)   // the window holding the panel may be gone already
        return;
    if (silent) {
        for (StatDisp *lamp : {ui.Emergency, ui.Polarity, ui.HvOn, ui.SweepStat})
            lamp->setStay();
        return;
    }
    if (stat.isInEmergency)
        ui.Emergency->setOk();
    else
        ui.Emergency->setNG();
    if (stat.isPositive)
        ui.Polarity->setOk(QCoreApplication::translate("VexHv", "Pos"));
    else
        ui.Polarity->setNG(QCoreApplication::translate("VexHv", "Neg"));
    if (stat.isOn)
        ui.HvOn->setOk();
    else
        ui.HvOn->setNG();
    StatDisp::RunStat rs = StatDisp::Stay;
    switch (stat.sweepStat) {
    case HvStat::SweepTrans:
        rs = StatDisp::InTransition;
        break;
    case HvStat::SweepOn:
        rs = StatDisp::Running;
        break;
    default:
        rs = StatDisp::Stay;
        break;
    }
    ui.SweepStat->setRunStat(rs, QStringList{QCoreApplication::translate("VexHv", "On"),
                                             QCoreApplication::translate("VexHv", "Off"),
                                             QCoreApplication::translate("VexHv", "Trans")});
}

void VexHv::setSilent(bool s)
{
    if (s == silent)
        return;
    silent = s;
    if (silent) {
        qCInfo(lcHv) << "HV unit" << name() << "does not answer; polling every" << silentWatchIntervalMs << "ms";
        timer.setInterval(silentWatchIntervalMs);
    } else {
        qCInfo(lcHv) << "HV unit" << name() << "answers again; polling every" << watchMs << "ms";
        timer.setInterval(watchMs);
    }
}
