// One STARS message, parsed from a received line.
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// One STARS message, parsed from a received line "from>to command params".
// A value type: it is copied freely and travels by value through signals.
class AMsg
{
public:
    enum Kind { Ans = 0, Event = 1, Ask = 2, NotParsed = 3 };

    // The command number of a command that is not in the command table.
    static constexpr int unknownCmdId = 46;

    AMsg() = default;

    // Fills the fields from one received line; returns `ok`. Call it on a
    // fresh AMsg.
    bool parse(const QString &line);

    // Registers AMsg with the meta-type system (idempotent).
    static void registerMetaType();

    bool ok = false;
    QString line;       // the line with every CR and LF removed
    QString head;       // the first item, from>to
    QString rest;       // the text after the first item
    QString from;       // sender as written
    QString to;         // receiver as written
    QString fromName;
    QString fromCh;
    QString fromFull;
    QString toName;
    QString toCh;
    QString toFull;
    QString cmd;        // command word without its "@" or "_" mark
    QString param0;
    QStringList params;
    QString paramStr;   // all text after the command word, unsplit
    Kind kind = NotParsed;
    int cmdId = unknownCmdId;   // set by the dispatcher
};

Q_DECLARE_METATYPE(AMsg)
