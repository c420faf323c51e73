// One register value of one DSP unit, as the settings editor holds it.
#pragma once

#include <QString>
#include <QtGlobal>

// One register value of one DSP unit, as the settings editor holds it and as
// a setting file stores it.
struct DspData
{
    static constexpr int nameWidth = 30;

    QString name;        // the register's description, padded to 30 characters
    int dspNo = 0;       // the unit's position in the list of units, from 0
    int ch = -1;         // 0 to 3 for a per-channel register, -1 for the whole unit
    quint32 hdr = 0;     // header word of the unit's answer
    quint32 addr = 0;    // register address as the unit answered it
    quint64 value = 0;   // the value read

    // `text` padded on the right with blanks to 30 characters (never cut).
    static QString padName(const QString &text);

    bool operator==(const DspData &o) const
    {
        return name == o.name && dspNo == o.dspNo && ch == o.ch && hdr == o.hdr && addr == o.addr
            && value == o.value;
    }
    bool operator!=(const DspData &o) const { return !(*this == o); }
};
