// Prepares one transfer of the data link: one record per element.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Prepares one transfer of the data link: the record of every element, in
// element order, taken from the data set of the element's unit.
//
// The first record carries the first unit's measurement count in its marker
// field, the second the first unit's measurement number; the others keep 0.
// The markers are written into the units' own records, so a resend carries
// them again. A record of a data set that was never filled gets its channel
// number and length, so every record's length matches the bins that follow.
class McaTransfer
{
public:
    struct Record {
        char *block = nullptr;     // 48-byte header + 4 × bins bytes
        qint64 bins = 0;
    };
    struct Unit {
        QString name;
        int measNum = 0;
        int count = 0;
        QList<Record> chs;         // channel order
    };
    struct Element {
        int unit = 0;
        int ch = 0;
    };
    struct Piece {
        QString log;               // the summary line of the record
        const char *block = nullptr;
        qint64 bytes = 0;
    };
    struct Plan {
        QStringList mismatches;    // one line per unit whose measurement number differs
        QList<Piece> pieces;       // in sending order
    };

    static Plan prepare(const QList<Unit> &units, const QList<Element> &elements);
};
