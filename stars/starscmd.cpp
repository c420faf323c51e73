// One entry of the STARS command table.
#include "starscmd.h"

StarsCmd::StarsCmd(int id_, const QString &name_, const QString &help_)
    : id(id_), name(name_), help(help_)
{
}
