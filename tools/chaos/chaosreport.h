#pragma once

#include <QByteArray>
#include <QString>

#include "chaosscan.h"

namespace Chaos {

// The table printed at the end of a scan.
QString table(const Figures &f, const Options &o);
// The JSON summary: the options, the counts, memory, the faults and what
// each did to its point, the first problems.
QByteArray json(const Figures &f, const Options &o);

} // namespace Chaos
