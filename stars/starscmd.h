// One entry of the STARS command table: number, name and help text.
#pragma once

#include <QString>

// One entry of the STARS command table: number, name and one-line help text.
class StarsCmd
{
public:
    StarsCmd() = default;
    StarsCmd(int id, const QString &name, const QString &help);

    int id = -1;
    QString name;   // matched exactly, case-sensitively
    QString help;
};
