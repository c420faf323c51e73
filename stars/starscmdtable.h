// The STARS command table: entries in insertion order with unique ids.
#pragma once

#include <QList>
#include <QString>

#include "starscmd.h"

// The STARS command table: entries in insertion order, with unique ids and
// unique names. Lookups that find nothing give the id AMsg::unknownCmdId.
class StarsCmdTable
{
public:
    // Appends an entry unless its id or its name is already in the table; a
    // rejected entry is reported on the debug output ("Duplicated id" or
    // "Duplicated msg"). Returns whether the entry was added.
    bool addCmd(int id, const QString &name, const QString &help);

    int cmdIdOf(const QString &name) const;
    QString cmdHelpOf(const QString &name) const;
    // Names in table order joined by single blanks, leaving out empty names
    // and names beginning with "@" or "_".
    QString cmdNames() const;

    const QList<StarsCmd> &entries() const { return cmds; }
    int size() const { return int(cmds.size()); }

    // Fills an empty table with Marlo's 45 commands in their fixed order.
    void fillStandard();

private:
    const StarsCmd *find(const QString &name) const;

    QList<StarsCmd> cmds;
};
