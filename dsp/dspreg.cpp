#include "dspreg.h"

QList<DspReg> sysRegs;
QList<DspReg> commonRegs;
QList<DspReg> chRegs;
QList<DspReg> chStatRegs;
QList<DspReg> allRegs;
QList<DspReg> hvRegs;
QList<int> chOffsets;

namespace {

void add(QList<DspReg> &list, quint32 addr, const QString &desc, const QString &name, bool r, bool w)
{
    list.append(DspReg{addr, desc, name, r, w});
}

void addRw(QList<DspReg> &list, quint32 addr, const char *desc, const char *name)
{
    add(list, addr, QString::fromLatin1(desc), QString::fromLatin1(name), true, true);
}

void addR(QList<DspReg> &list, quint32 addr, const char *desc, const char *name)
{
    add(list, addr, QString::fromLatin1(desc), QString::fromLatin1(name), true, false);
}

void buildCommonRegs()
{
    auto &l = commonRegs;
    addRw(l, 0xB4000010, "Mode", "Mode");
    addRw(l, 0xB4000014, "Start/Stop", "Start");
    addRw(l, 0xB4000016, "Meas Time 1 (MSB)", "MeasTime1");
    addRw(l, 0xB4000018, "Meas Time 2 (Mid)", "MeasTime2");
    addRw(l, 0xB400001A, "MEas Time 3 (LSB)", "MeasTime3");
    addR(l, 0xB400001C, "Real Time 1 (MSB)", "RealTime1");
    addR(l, 0xB400001E, "Real Time 2 (Mid)", "RealTime2");
    addR(l, 0xB4000020, "Real Time 3 (LSB)", "RealTime3");
    addRw(l, 0xB4000040, "Clear Histgram", "Clear");
    addRw(l, 0xB4000048, "Quick Scan Count", "QSCount");
    add(l, 0xB400004A, QStringLiteral("Get Histgram"), QStringLiteral("Histgram"), false, true);
    addRw(l, 0xB400004E, "Clock Select", "ClockSel");
    addRw(l, 0xB4000062, "Quick Scan Times", "QSTimes");
    addRw(l, 0xB400007A, "DAC Monitor Selet", "DAQMonSel");
    for (int k = 1; k <= 8; ++k) {
        const quint32 off = 4 * quint32(k - 1);
        add(l, 0xB400009E + off, QStringLiteral("ROI %1 Start").arg(k), QStringLiteral("ROI%1Start").arg(k), true, true);
        add(l, 0xB40000A0 + off, QStringLiteral("ROI %1 End").arg(k), QStringLiteral("ROI%1End").arg(k), true, true);
    }
    for (int k = 1; k <= 8; ++k)
        add(l, 0xB40000C6 + 2 * quint32(k - 1), QStringLiteral("Fast SCA ROI%1 Ch").arg(k),
            QStringLiteral("FSCA_ROI%1Ch").arg(k), true, true);
    for (int k = 1; k <= 8; ++k)
        add(l, 0xB40000D6 + 2 * quint32(k - 1), QStringLiteral("Fast SCA AUX%1 Timing").arg(k),
            QStringLiteral("FSCAAux%1Tmg").arg(k), true, true);
}

void buildChRegs()
{
    auto &l = chRegs;
    addRw(l, 0xB4000200, "Coarse Gain", "CoarseGain");
    addRw(l, 0xB4000202, "ADC Gain", "ADCGain");
    addRw(l, 0xB4000204, "Fast Filter D", "FFilterD");
    addRw(l, 0xB4000206, "Fast Filter I", "FFilterI");
    addRw(l, 0xB4000208, "Slow Filter Rise Time", "SFilterRiseT");
    addRw(l, 0xB400020A, "Slow Filter Peaking Time", "SFilterPeakingT");
    addRw(l, 0xB400020C, "Fast Filter Pole 0 Cancel", "FFilterP0Cancel");
    addRw(l, 0xB400020E, "Slow Filter Pole 0 Cancel", "SFilterP0Cancel");
    addRw(l, 0xB4000210, "Fast Filter Trg Th.", "FFilterTrgTh");
    addRw(l, 0xB4000212, "Energy LLD", "EnergyLLD");
    addRw(l, 0xB4000214, "Energy ULD", "EnergyULD");
    addRw(l, 0xB4000216, "Slow Filter Th.", "SFilterTh");
    addRw(l, 0xB4000218, "Pile up Reject", "PileUpReject");
    addRw(l, 0xB400021A, "Pre Amp. Polarity", "PreAMPPolarity");
    addRw(l, 0xB4000238, "Slow Filter Re-Setup", "SFilterReSetup");
    addRw(l, 0xB400023A, "Digital Coarse Gain (Slow)", "DigCoarseGain");
    addRw(l, 0xB400023C, "Digital Fine Gain (Slow)", "DigFineGain");
    addRw(l, 0xB400023E, "Trigger Timing Select", "TrgTimingSel");
    addRw(l, 0xB4000240, "CFD Function Select", "CFDFuncSel");
    addRw(l, 0xB4000242, "CFD Delay Select", "CFDDelaySel");
    addRw(l, 0xB4000244, "Inhibit Width", "InhibitWidth");
    addRw(l, 0xB4000254, "Shaping Time", "ShapingT");
    addRw(l, 0xB4000256, "Analog Pole 0", "AnalogP0");
    addRw(l, 0xB4000258, "Analog Fine Gain", "AnalogFineGain");
    addRw(l, 0xB4000266, "Processor Select", "ProcSel");
    addRw(l, 0xB40002D4, "Fast Filter Type", "FFilterType");
}

void buildChStatRegs()
{
    auto &l = chStatRegs;
    addR(l, 0xB400021C, "Fast Total Count 1 (MSB)", "FTotalCount1");
    addR(l, 0xB400021E, "Fast Total Count 2 (LSB)", "FTotalCount2");
    addR(l, 0xB4000220, "Throughput Total Count 1 (MSB)", "ThTotalCount1");
    addR(l, 0xB4000222, "Throughput Total Count 2 (LSB)", "ThTotalCount2");
    addR(l, 0xB400022C, "ICR 1 (MSB)", "ICR1");
    addR(l, 0xB400022E, "ICR 2 (LSB)", "ICR2");
    addR(l, 0xB4000230, "Throughput Count Rate 1 (MSB)", "ThCountR1");
    addR(l, 0xB4000232, "Throughput Count Rate 2 (LSB)", "ThCountR2");
    addR(l, 0xB4000234, "Pileup Count Rate", "PileupCountR");
    addR(l, 0xB4000246, "Live Time 1 (MSB)", "LiveTime1");
    addR(l, 0xB4000248, "Live Time 2 (Mid)", "LiveTime2");
    addR(l, 0xB400024A, "Live Time 3 (LSB)", "LiveTime3");
    addR(l, 0xB400024C, "Dead Time 1 (MSB)", "DeadTime1");
    addR(l, 0xB400024E, "Dead Time 2 (Mid)", "DeadTime2");
    addR(l, 0xB4000250, "Dead Time 3 (LSB)", "DeadTime3");
}

} // namespace

void buildRegMap()
{
    if (!allRegs.isEmpty())
        return;
    for (QList<DspReg> *l : {&sysRegs, &commonRegs, &chRegs, &chStatRegs, &hvRegs})
        l->clear();
    addRw(sysRegs, 0x00000008, "Data Trans Delay (MSB)", "DTDelay1");
    addRw(sysRegs, 0x0000000A, "Data Trans Delay (LSB)", "DTDelay2");
    buildCommonRegs();
    chOffsets = {0x000, 0x200, 0x400, 0x600};
    buildChRegs();
    buildChStatRegs();
    allRegs = sysRegs + commonRegs + chRegs + chStatRegs;
    addR(hvRegs, 0xB4002200, "HV Status", "HV Stat");
    addR(hvRegs, 0xB4002202, "HV Value", "HV Value");
    addRw(hvRegs, 0xB400220E, "HV On/Off", "HV On/Off");
}
