#pragma once

#include <QString>

class CfgFile;
class QTranslator;

// The configuration file to read: "config.cfg" in the working directory,
// replaced by the value of "-c", which "-config" replaces in turn. A present
// option without a name gives the empty name.
QString configFileName(const CfgFile &cfg);

// Loads the embedded Japanese catalogue ":Marlo_ja_JP" into `translator`.
bool loadCatalogue(QTranslator &translator);
