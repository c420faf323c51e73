#pragma once

#include <QList>
#include <QString>

#include "elementlayout.h"
#include "peerrecord.h"

// Checks one whole transfer of the data link and tells which element each
// record is.
//
// With the element list known (from Marlo's configuration) the records must
// be as many as the elements and carry their channels in element order.
// Without it the units are inferred: a record starts a new unit when its
// channel is not above the previous record's, or when its real time or
// measuring flag differ (all records of one unit share them). Records after
// the second must carry the marker 0.
class TransferCheck
{
public:
    // Empty when the transfer is sound; else the first problem found.
    // `elements` receives one entry per record.
    static QString check(const QList<PeerRecord> &records, const QList<ElementInfo> &expected,
                         QList<ElementInfo> &elements);
};
