#pragma once

#include <QList>
#include <QString>

// One element of Marlo: a used channel of a DSP unit. The element number is
// the position in the list.
struct ElementInfo
{
    int unit = 0;          // index of the unit in configuration order
    QString unitName;      // empty when not known
    int channel = 0;

    bool operator==(const ElementInfo &o) const
    {
        return unit == o.unit && unitName == o.unitName && channel == o.channel;
    }
};

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
