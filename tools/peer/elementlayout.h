#pragma once

#include <QList>
#include <QString>

#include "mcahistogram.h"

// The element list of a Marlo configuration, read as Marlo reads it: one
// unit per VEXDA line (identifier, address, four use flags, each on exactly
// when it is the integer 1), elements unit by unit, channel by channel.
class ElementLayout
{
public:
    // False (with `error` set) when the file cannot be read.
    static bool fromConfig(const QString &fileName, QList<ElementInfo> &elements, QString *error);
    // The same from the texts after "VEXDA" of each line.
    static QList<ElementInfo> fromVexdaLines(const QStringList &lines);
};
