// Collects the records of one data-link transfer.
#include "mcatransfer.h"

#include "mcarecord.h"
#include "paramrules.h"

#include <QtEndian>

McaTransfer::Plan McaTransfer::prepare(const QList<Unit> &units, const QList<Element> &elements)
{
    Plan plan;
    const int m0 = units.isEmpty() ? 0 : units.first().measNum;
    const int c0 = units.isEmpty() ? 0 : units.first().count;
    for (int i = 0; i < units.size(); ++i) {
        const int mi = units.at(i).measNum;
        if (mi != m0)
            plan.mismatches << QStringLiteral("!! *** MeasNums are different between dsps %1 for %2, %3 for %4")
                                   .arg(QString::number(0), QString::number(m0), QString::number(i),
                                        QString::number(mi));
    }

    for (int k = 0; k < elements.size(); ++k) {
        const Element &e = elements.at(k);
        if (e.unit < 0 || e.unit >= units.size())
            continue;
        const Unit &u = units.at(e.unit);
        if (e.ch < 0 || e.ch >= u.chs.size())
            continue;
        const Record &r = u.chs.at(e.ch);
        if (!r.block || r.bins < 0)
            continue;

        McaRecord::mendUnfilled(r.block, quint32(e.ch), quint64(r.bins));
        const McaRecordHeader h = McaRecord::readHeader(r.block);
        const char *bins = r.block + McaRecord::headerBytes;
        quint64 sum = 0;
        for (qint64 i = 0; i < r.bins; ++i)
            sum += qFromLittleEndian<quint32>(bins + 4 * i);

        Piece piece;
        piece.log = QStringLiteral(":::: Trans data of DSP %1 MAC %2 : icr %3 : realtime %4 : liveTime %5 : sum %6 : len %7 : mcaBins %8")
                        .arg(u.name, QString::number(e.ch), ParamRules::gText(h.icr),
                             ParamRules::gText(h.realTime), ParamRules::gText(h.liveTime),
                             QString::number(sum), QString::number(h.length), QString::number(r.bins));
        if (k == 0)
            McaRecord::setMarker(r.block, quint32(c0));
        else if (k == 1)
            McaRecord::setMarker(r.block, quint32(m0));
        piece.block = r.block;
        piece.bytes = McaRecord::headerBytes + 4 * r.bins;
        plan.pieces << piece;
    }
    return plan;
}
