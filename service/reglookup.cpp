// Finds a DSP register by its short name.
#include "reglookup.h"

#include "dspreg.h"

#include <algorithm>

namespace {

quint32 find(const QList<DspReg> &regs, const QString &name)
{
    for (const DspReg &r : regs) {
        if (r.name == name)
            return r.addr;
    }
    return 0;
}

} // namespace

int RegLookup::channel(const QString &text, bool *read)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (read)
        *read = ok;
    if (!ok)
        return 0;
    return int(std::clamp<qlonglong>(v, 0, 3));
}

quint32 RegLookup::address(const QString &name, int ch)
{
    if (const quint32 a = find(sysRegs, name))
        return a;
    if (const quint32 a = find(commonRegs, name))
        return a;
    quint32 a = find(chRegs, name);
    if (!a)
        a = find(chStatRegs, name);
    if (!a)
        return 0;
    const int c = std::clamp(ch, 0, 3);
    return a + quint32(chOffsets.value(c, c * 0x200));
}
