// The set of DSP units: creates them, keeps the element list and acts on all of them.
#include "vexdas.h"

namespace {
// Set on a unit once some set has scheduled it for deletion.
const char *const deletionScheduled = "marloDeletionScheduled";
}

VexDAs::VexDAs(QObject *parent)
    : QObject(parent)
{
}

VexDAs::~VexDAs()
{
    for (const QPointer<VexDA> &u : std::as_const(m_guards)) {
        if (u.isNull() || u->property(deletionScheduled).toBool())
            continue;
        u->setProperty(deletionScheduled, true);
        u->deleteLater();
    }
}

void VexDAs::addUnit(VexDA *u)
{
    if (!u)
        return;
    units.append(u);
    m_guards.append(QPointer<VexDA>(u));
    connect(u, &VexDA::changedIsBusy, this, &VexDAs::changedOneBusy);
}

void VexDAs::changedOneBusy()
{
    bool b = false;
    for (VexDA *u : std::as_const(units))
        b = b || u->busyReported;
    if (b == isBusy)
        return;
    isBusy = b;
    emit changedIsBusy();
}
