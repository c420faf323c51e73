#include "startup.h"

#include <QCoreApplication>
#include <QTranslator>

#include "cfgfile.h"

QString configFileName(const CfgFile &cfg)
{
    QString name = QStringLiteral("config.cfg");
    if (cfg.hasKey(QStringLiteral("-c")))
        name = cfg.option(QStringLiteral("-c"));
    if (cfg.hasKey(QStringLiteral("-config")))
        name = cfg.option(QStringLiteral("-config"));
    return name;
}

bool loadCatalogue(QTranslator &translator)
{
    return translator.load(QStringLiteral(":Marlo_ja_JP"), QCoreApplication::applicationDirPath());
}
