// Finds a DSP register by its short name for the register commands.
#pragma once

#include <QString>
#include <QtGlobal>

// Finds a DSP register by its short name for "Status" and "SetConfig": the
// unit-wide lists first (system, then common), then the per-channel lists
// (channel, then channel status), whose addresses are moved to the channel.
// The register map must be built (buildRegMap()).
class RegLookup
{
public:
    // The channel parameter: a decimal integer clamped to 0 .. 3; no integer
    // gives 0 (and `read`, when given, false).
    static int channel(const QString &text, bool *read = nullptr);

    // The address of the register `name` for channel `ch` (its offset is
    // added to per-channel registers only); 0 when no register has that name.
    static quint32 address(const QString &name, int ch);
};
