#include "elementlayout.h"

#include <QFileInfo>
#include <QStringList>

#include "cfgfile.h"

QList<ElementInfo> ElementLayout::fromVexdaLines(const QStringList &lines)
{
    QList<ElementInfo> elements;
    for (int u = 0; u < lines.size(); ++u) {
        QString id, address, flag;
        QString rest = splitFirstItem(lines.at(u), id);
        rest = splitFirstItem(rest, address);
        for (int ch = 0; ch < 4; ++ch) {
            rest = splitFirstItem(rest, flag);
            bool ok = false;
            if (flag.toInt(&ok) == 1 && ok)
                elements << ElementInfo{u, id, ch};
        }
    }
    return elements;
}

bool ElementLayout::fromConfig(const QString &fileName, QList<ElementInfo> &elements, QString *error)
{
    elements.clear();
    CfgFile cfg{QStringList()};
    if (!QFileInfo(fileName).isFile() || !cfg.readFile(fileName)) {
        if (error)
            *error = QStringLiteral("cannot read configuration file \"%1\"").arg(fileName);
        return false;
    }
    elements = fromVexdaLines(cfg.restsOf(QStringLiteral("VEXDA")));
    return true;
}
