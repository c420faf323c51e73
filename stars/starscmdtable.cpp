// The STARS command table and its look-ups.
#include "starscmdtable.h"

#include <QDebug>
#include <QStringList>

#include "amsg.h"

bool StarsCmdTable::addCmd(int id, const QString &name, const QString &help)
{
    for (const StarsCmd &c : cmds) {
        if (c.id == id) {
            qDebug() << "Duplicated id" << id << name << help;
            return false;
        }
        if (c.name == name) {
            qDebug() << "Duplicated msg" << id << name << help;
            return false;
        }
    }
    cmds.append(StarsCmd(id, name, help));
    return true;
}

const StarsCmd *StarsCmdTable::find(const QString &name) const
{
    for (const StarsCmd &c : cmds) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

int StarsCmdTable::cmdIdOf(const QString &name) const
{
    const StarsCmd *c = find(name);
    return c ? c->id : AMsg::unknownCmdId;
}

QString StarsCmdTable::cmdHelpOf(const QString &name) const
{
    const StarsCmd *c = find(name);
    return c ? c->help : QString();
}

QString StarsCmdTable::cmdNames() const
{
    QStringList names;
    for (const StarsCmd &c : cmds) {
        if (c.name.isEmpty() || c.name.startsWith(QLatin1Char('@')) || c.name.startsWith(QLatin1Char('_')))
            continue;
        names << c.name;
    }
    return names.join(QLatin1Char(' '));
}

void StarsCmdTable::fillStandard()
{
    addCmd(0, QStringLiteral("Hello"), QStringLiteral("Answer greeting message"));
    addCmd(1, QStringLiteral("Help"), QStringLiteral("Show help message"));
    addCmd(2, QStringLiteral("IsBusy"), QStringLiteral("Answer if Marlo is busy"));
    addCmd(4, QStringLiteral("GetMCALength"), QStringLiteral("Get Length of a MCA(histgram)"));
    addCmd(5, QStringLiteral("GetPeakingTime"), QStringLiteral("Get Peaking time of a ch. GetPeakingtime [ch No]"));
    addCmd(6, QStringLiteral("RunStart"), QStringLiteral("Start Measurement with clear Histgram"));
    addCmd(7, QStringLiteral("Resume"), QStringLiteral("Start Measurement without clear Histgram"));
    addCmd(8, QStringLiteral("RunStop"), QStringLiteral("Stop Measurement"));
    addCmd(9, QStringLiteral("Clear"), QStringLiteral("Clear Histgram"));
    addCmd(10, QStringLiteral("Start"), QStringLiteral("Start Measurement without clear Histgram"));
    addCmd(11, QStringLiteral("Stop"), QStringLiteral("Stop Measurement"));
    addCmd(12, QStringLiteral("GetMCAs"), QStringLiteral("Get MCA(histgram)s of all chs via 2nd connection"));
    addCmd(13, QStringLiteral("SetNormalizeType"), QStringLiteral("Set Normalize Type. Real, Live, None, 0, 1, 2"));
    addCmd(14, QStringLiteral("GetNormalizeType"), QStringLiteral("Get Normalize Type. Real, Live, None"));
    addCmd(15, QStringLiteral("SetPresetType"), QStringLiteral("Set Preset Type 0, 1, 2 (None, Real, Live). Live is not avaliable and treat as Real."));
    addCmd(16, QStringLiteral("GetPresetType"), QStringLiteral("Get Preset Type 0, 1, 2 (None, Real, Live)."));
    addCmd(17, QStringLiteral("SetPresetValue"), QStringLiteral("Set Preset Value (sec)"));
    addCmd(18, QStringLiteral("GetPresetValue"), QStringLiteral("Get Preset Value (sec)"));
    addCmd(21, QStringLiteral("SetROI"), QStringLiteral("Set ROI of a Ch"));
    addCmd(22, QStringLiteral("SetROIs"), QStringLiteral("Set ROIs of all Chs"));
    addCmd(23, QStringLiteral("GetROI"), QStringLiteral("Get ROI of a Ch"));
    addCmd(24, QStringLiteral("GetROIs"), QStringLiteral("Get ROIs of all Chs"));
    addCmd(25, QStringLiteral("GetValue"), QStringLiteral("Get Value of a Ch in ROI (same as GetValueInROI)"));
    addCmd(26, QStringLiteral("GetValueInROI"), QStringLiteral("Get Value of a Ch in ROI (same as GetValue)"));
    addCmd(27, QStringLiteral("GetValues"), QStringLiteral("Get Values of all Chs in ROI (same as GetValuesInROI)"));
    addCmd(28, QStringLiteral("GetValuesInROI"), QStringLiteral("Get Values of all Chs in ROI (same as GetValues)"));
    addCmd(19, QStringLiteral("GetRealTime"), QStringLiteral("Get mean Real Times of all DSPs"));
    addCmd(20, QStringLiteral("GetLiveTime"), QStringLiteral("Get mean Live Times of all chs of all DSPs"));
    addCmd(33, QStringLiteral("GetRealTimes"), QStringLiteral("Get Real Times of all DSPs"));
    addCmd(34, QStringLiteral("GetLiveTimes"), QStringLiteral("Get Live Times of all chs of all DSPs"));
    addCmd(35, QStringLiteral("GetDeadTimes"), QStringLiteral("Get Dead Times of all chs of all DSPs"));
    addCmd(29, QStringLiteral("HVStart"), QStringLiteral("Ask Start HV (HV On)"));
    addCmd(30, QStringLiteral("HVStop"), QStringLiteral("Ask Stop HV (HV Off)"));
    addCmd(31, QStringLiteral("HVStat2"), QStringLiteral("Ask status of HV unit"));
    addCmd(32, QStringLiteral("HVVol"), QStringLiteral("Ask HV Voltage"));
    addCmd(36, QStringLiteral("GetThreshold"), QStringLiteral("Get Thresold of a ch  (returns dummy value)"));
    addCmd(37, QStringLiteral("GetCalibration"), QStringLiteral("Get Calibraiont of a ch  (returns dummy value)"));
    addCmd(38, QStringLiteral("GetDynamicRange"), QStringLiteral("Get DynamicRange of a ch  (returns dummy value)"));
    addCmd(39, QStringLiteral("GetPreAMPGain"), QStringLiteral("Get PreAMPGain of a ch  (returns dummy value)"));
    addCmd(3, QStringLiteral("GetDataLinkCh"), QStringLiteral("Get IP and Port of Data Link Ch"));
    addCmd(40, QStringLiteral("Status"), QStringLiteral("Show status of DSP"));
    addCmd(41, QStringLiteral("SetConfig"), QStringLiteral("Set config of DSP"));
    addCmd(42, QStringLiteral("GetHistgram"), QStringLiteral("Get Histgram of a Ch"));
    addCmd(44, QStringLiteral("GetMeasTimeInSec"), QStringLiteral("Get Meas Time in sec"));
    addCmd(43, QStringLiteral("SetMeasTimeInSec"), QStringLiteral("Set Meas Time in sec"));
}
