#include "transfercheck.h"

QString TransferCheck::check(const QList<PeerRecord> &records, const QList<ElementInfo> &expected,
                             QList<ElementInfo> &elements)
{
    elements.clear();
    if (!expected.isEmpty() && records.size() != expected.size())
        return QStringLiteral("%1 records for %2 elements").arg(records.size()).arg(expected.size());

    for (int k = 0; k < records.size(); ++k) {
        const PeerRecord &r = records.at(k);
        if (k >= 2 && r.marker != 0)
            return QStringLiteral("record %1 carries the marker %2 (0 expected)").arg(k).arg(r.marker);
        if (!expected.isEmpty()) {
            const ElementInfo &e = expected.at(k);
            if (int(r.channel) != e.channel) {
                return QStringLiteral("record %1 has channel %2; element %1 is channel %3 of %4")
                    .arg(k).arg(r.channel).arg(e.channel)
                    .arg(e.unitName.isEmpty() ? QStringLiteral("unit %1").arg(e.unit) : e.unitName);
            }
            if (k > 0 && expected.at(k - 1).unit == e.unit) {
                const PeerRecord &p = records.at(k - 1);
                if (p.realTime != r.realTime || p.inMeas != r.inMeas)
                    return QStringLiteral("records %1 and %2 of one unit differ in real time or measuring flag")
                        .arg(k - 1).arg(k);
            }
            elements << e;
            continue;
        }
        ElementInfo e{0, QString(), int(r.channel)};
        if (k > 0) {
            const PeerRecord &p = records.at(k - 1);
            const bool newUnit = r.channel <= p.channel || r.realTime != p.realTime || r.inMeas != p.inMeas;
            e.unit = elements.last().unit + (newUnit ? 1 : 0);
        }
        elements << e;
    }
    return QString();
}
