// The register map of the DSP units: addresses, names and access.
#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// One row of the register map.
struct DspReg {
    quint32 addr;       // byte address (channel 0 for per-channel registers)
    QString desc;
    QString name;
    bool readable;
    bool writable;
};

extern QList<DspReg> sysRegs;
extern QList<DspReg> commonRegs;
extern QList<DspReg> chRegs;
extern QList<DspReg> chStatRegs;
extern QList<DspReg> allRegs;
extern QList<DspReg> hvRegs;
extern QList<int> chOffsets;   // {0x000, 0x200, 0x400, 0x600}

// Fills the lists; a second call does nothing.
void buildRegMap();

// Register addresses the program drives itself.
namespace DspAddr {
constexpr quint32 DTDelay1 = 0x00000008;
constexpr quint32 Start = 0xB4000014;
constexpr quint32 MeasTime1 = 0xB4000016;
constexpr quint32 MeasTime2 = 0xB4000018;
constexpr quint32 MeasTime3 = 0xB400001A;
constexpr quint32 RealTime1 = 0xB400001C;
constexpr quint32 Clear = 0xB4000040;
constexpr quint32 Histgram = 0xB400004A;
constexpr quint32 ROI1Start = 0xB400009E;
constexpr quint32 ROI1End = 0xB40000A0;
constexpr quint32 FSCA_ROI1Ch = 0xB40000C6;
constexpr quint32 SFilterPeakingT = 0xB400020A;
constexpr quint32 FTotalCount1 = 0xB400021C;
constexpr quint32 ICR1 = 0xB400022C;
constexpr quint32 LiveTime1 = 0xB4000246;
constexpr quint32 DeadTime1 = 0xB400024C;
constexpr quint32 HvStat = 0xB4002200;
constexpr quint32 HvValue = 0xB4002202;
constexpr quint32 HvOnOff = 0xB400220E;
}
