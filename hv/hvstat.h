// The decoded status word of the HV unit.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QtGlobal>

// The decoded status word of the HV unit ("HV Stat", 0xB4002200).
struct HvStat
{
    Q_GADGET

public:
    // The sweep state, from the low nibble of the status word. The numbers
    // are those that travel in the "ChangedHVStat" event and "HVStat2" answer.
    enum SweepStat {
        SweepOff = 0,    // nibble 0
        SweepTrans = 1,  // nibble 2
        SweepOn = 2,     // nibble 4
        SweepOther = 3   // any other nibble
    };
    Q_ENUM(SweepStat)

    quint16 stat = 0;            // the status word as read
    bool isInEmergency = false;  // any of bits 4 to 7
    bool isPositive = false;     // bit 5
    bool isOn = false;           // bit 4
    SweepStat sweepStat = SweepOff;

    static HvStat decode(quint16 word);
    static SweepStat sweepOfNibble(int nibble);

    bool operator==(const HvStat &o) const;
    bool operator!=(const HvStat &o) const { return !(*this == o); }
};

Q_DECLARE_METATYPE(HvStat)

// Registers HvStat and HvStat::SweepStat with the meta-type system, so that
// they can travel through queued connections and be recorded by signal spies.
// Safe to call any number of times.
void registerHvStatMetaTypes();
