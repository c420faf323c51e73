// Builds the register map of the DSP units.
#include "dspreg.h"

#include <cstddef>

QList<DspReg> sysRegs;
QList<DspReg> commonRegs;
QList<DspReg> chRegs;
QList<DspReg> chStatRegs;
QList<DspReg> allRegs;
QList<DspReg> hvRegs;
QList<int> chOffsets;

namespace {

// Who may access a register: read, write or both.
enum Access { R = 1, W = 2, RW = R | W };

struct Row
{
    quint32 addr;
    const char *desc;
    const char *name;
    Access access;
};

void add(QList<DspReg> &list, quint32 addr, const QString &desc, const QString &name, Access a)
{
    list.append(DspReg{addr, desc, name, (a & R) != 0, (a & W) != 0});
}

template <std::size_t N>
void addRows(QList<DspReg> &list, const Row (&rows)[N])
{
    for (const Row &r : rows)
        add(list, r.addr, QString::fromLatin1(r.desc), QString::fromLatin1(r.name), r.access);
}

const Row sysRows[] = {
    {0x00000008, "Data Trans Delay (MSB)", "DTDelay1", RW},
    {0x0000000A, "Data Trans Delay (LSB)", "DTDelay2", RW},
};

const Row commonRows[] = {
    {0xB4000010, "Mode", "Mode", RW},
    {0xB4000014, "Start/Stop", "Start", RW},
    {0xB4000016, "Meas Time 1 (MSB)", "MeasTime1", RW},
    {0xB4000018, "Meas Time 2 (Mid)", "MeasTime2", RW},
    {0xB400001A, "MEas Time 3 (LSB)", "MeasTime3", RW},
    {0xB400001C, "Real Time 1 (MSB)", "RealTime1", R},
    {0xB400001E, "Real Time 2 (Mid)", "RealTime2", R},
    {0xB4000020, "Real Time 3 (LSB)", "RealTime3", R},
    {0xB4000040, "Clear Histgram", "Clear", RW},
    {0xB4000048, "Quick Scan Count", "QSCount", RW},
    {0xB400004A, "Get Histgram", "Histgram", W},
    {0xB400004E, "Clock Select", "ClockSel", RW},
    {0xB4000062, "Quick Scan Times", "QSTimes", RW},
    {0xB400007A, "DAC Monitor Selet", "DAQMonSel", RW},
};

const Row chRows[] = {
    {0xB4000200, "Coarse Gain", "CoarseGain", RW},
    {0xB4000202, "ADC Gain", "ADCGain", RW},
    {0xB4000204, "Fast Filter D", "FFilterD", RW},
    {0xB4000206, "Fast Filter I", "FFilterI", RW},
    {0xB4000208, "Slow Filter Rise Time", "SFilterRiseT", RW},
    {0xB400020A, "Slow Filter Peaking Time", "SFilterPeakingT", RW},
    {0xB400020C, "Fast Filter Pole 0 Cancel", "FFilterP0Cancel", RW},
    {0xB400020E, "Slow Filter Pole 0 Cancel", "SFilterP0Cancel", RW},
    {0xB4000210, "Fast Filter Trg Th.", "FFilterTrgTh", RW},
    {0xB4000212, "Energy LLD", "EnergyLLD", RW},
    {0xB4000214, "Energy ULD", "EnergyULD", RW},
    {0xB4000216, "Slow Filter Th.", "SFilterTh", RW},
    {0xB4000218, "Pile up Reject", "PileUpReject", RW},
    {0xB400021A, "Pre Amp. Polarity", "PreAMPPolarity", RW},
    {0xB4000238, "Slow Filter Re-Setup", "SFilterReSetup", RW},
    {0xB400023A, "Digital Coarse Gain (Slow)", "DigCoarseGain", RW},
    {0xB400023C, "Digital Fine Gain (Slow)", "DigFineGain", RW},
    {0xB400023E, "Trigger Timing Select", "TrgTimingSel", RW},
    {0xB4000240, "CFD Function Select", "CFDFuncSel", RW},
    {0xB4000242, "CFD Delay Select", "CFDDelaySel", RW},
    {0xB4000244, "Inhibit Width", "InhibitWidth", RW},
    {0xB4000254, "Shaping Time", "ShapingT", RW},
    {0xB4000256, "Analog Pole 0", "AnalogP0", RW},
    {0xB4000258, "Analog Fine Gain", "AnalogFineGain", RW},
    {0xB4000266, "Processor Select", "ProcSel", RW},
    {0xB40002D4, "Fast Filter Type", "FFilterType", RW},
};

const Row chStatRows[] = {
    {0xB400021C, "Fast Total Count 1 (MSB)", "FTotalCount1", R},
    {0xB400021E, "Fast Total Count 2 (LSB)", "FTotalCount2", R},
    {0xB4000220, "Throughput Total Count 1 (MSB)", "ThTotalCount1", R},
    {0xB4000222, "Throughput Total Count 2 (LSB)", "ThTotalCount2", R},
    {0xB400022C, "ICR 1 (MSB)", "ICR1", R},
    {0xB400022E, "ICR 2 (LSB)", "ICR2", R},
    {0xB4000230, "Throughput Count Rate 1 (MSB)", "ThCountR1", R},
    {0xB4000232, "Throughput Count Rate 2 (LSB)", "ThCountR2", R},
    {0xB4000234, "Pileup Count Rate", "PileupCountR", R},
    {0xB4000246, "Live Time 1 (MSB)", "LiveTime1", R},
    {0xB4000248, "Live Time 2 (Mid)", "LiveTime2", R},
    {0xB400024A, "Live Time 3 (LSB)", "LiveTime3", R},
    {0xB400024C, "Dead Time 1 (MSB)", "DeadTime1", R},
    {0xB400024E, "Dead Time 2 (Mid)", "DeadTime2", R},
    {0xB4000250, "Dead Time 3 (LSB)", "DeadTime3", R},
};

const Row hvRows[] = {
    {0xB4002200, "HV Status", "HV Stat", R},
    {0xB4002202, "HV Value", "HV Value", R},
    {0xB400220E, "HV On/Off", "HV On/Off", RW},
};

// The numbered registers of the common block: eight ROIs, then the fast
// SCA's eight ROI channels and eight AUX timings.
void addNumberedRegs(QList<DspReg> &l)
{
    for (int k = 1; k <= 8; ++k) {
        const quint32 off = 4 * quint32(k - 1);
        add(l, 0xB400009E + off, QStringLiteral("ROI %1 Start").arg(k), QStringLiteral("ROI%1Start").arg(k), RW);
        add(l, 0xB40000A0 + off, QStringLiteral("ROI %1 End").arg(k), QStringLiteral("ROI%1End").arg(k), RW);
    }
    for (int k = 1; k <= 8; ++k)
        add(l, 0xB40000C6 + 2 * quint32(k - 1), QStringLiteral("Fast SCA ROI%1 Ch").arg(k),
            QStringLiteral("FSCA_ROI%1Ch").arg(k), RW);
    for (int k = 1; k <= 8; ++k)
        add(l, 0xB40000D6 + 2 * quint32(k - 1), QStringLiteral("Fast SCA AUX%1 Timing").arg(k),
            QStringLiteral("FSCAAux%1Tmg").arg(k), RW);
}

} // namespace

void buildRegMap()
{
    if (!allRegs.isEmpty())
        return;
    for (QList<DspReg> *l : {&sysRegs, &commonRegs, &chRegs, &chStatRegs, &hvRegs})
        l->clear();
    addRows(sysRegs, sysRows);
    addRows(commonRegs, commonRows);
    addNumberedRegs(commonRegs);
    chOffsets = {0x000, 0x200, 0x400, 0x600};
    addRows(chRegs, chRows);
    addRows(chStatRegs, chStatRows);
    allRegs = sysRegs + commonRegs + chRegs + chStatRegs;
    addRows(hvRegs, hvRows);
}
