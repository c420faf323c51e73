#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The faults of a chaos scan and the seeded schedule that places them: one
// fault every `every` points (points every, 2 × every, ...), the kinds drawn
// from a shuffled bag so that each kind comes once before any comes again.
namespace Chaos {

enum class Fault {
    BusRestart,     // the STARS server stopped for 2 s, then started again
    BusFreeze,      // the server keeps Marlo's socket but neither reads nor writes it, until Marlo drops it
    UnitUnplug,     // a DSP unit gives no UDP answer and refuses TCP for 3 s, its connection closed
    StreamStall,    // a unit's histogram streams pause 0.8 s half-way, then go on
    StreamReset,    // a unit's histogram connection reset while it measures
    LinkDrop,       // the client closes the data link in the middle of a transfer
    NackJunk,       // the client answers a transfer with "NAck", then with junk before "Ack"
    LinkStall,      // the client does not read the data link for 4 s
    HvSilent,       // the HV unit gives no UDP answer for 2 s
};

QList<Fault> allFaults();
QString faultName(Fault f);
// False when `name` names no fault.
bool faultFromName(const QString &name, Fault *f);

struct Planned {
    int point = 0;
    Fault fault = Fault::BusRestart;
    int unit = 0;     // the DSP unit it hits, where it hits one
};

// The schedule of `points` points; `kinds` are the faults to draw from.
QList<Planned> plan(int points, int every, quint32 seed, const QList<Fault> &kinds, int units);

} // namespace Chaos
