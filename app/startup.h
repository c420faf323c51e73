// Start-up helpers: configuration file name, command-line check, translations, window size.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

class CfgFile;
class QTranslator;
class QWidget;

// The configuration file to read: "config.cfg" in the working directory,
// replaced by the value of "-c", which "-config" replaces in turn. A present
// option without a name gives the empty name.
QString configFileName(const CfgFile &cfg);

// The red log lines about the configuration that main holds until the log
// area exists: the main file `fileName` could not be opened (named with the
// working directory), and the one line listing the file keys Marlo does not
// know, with their places.
QStringList configComplaints(const CfgFile &cfg, const QString &fileName, bool opened);

// Loads the embedded Japanese catalogue ":Marlo_ja_JP" into `translator`.
bool loadCatalogue(QTranslator &translator);

// What the command line asks of main beyond the options CfgFile stores:
// the help (-h, -help or --help), the version (-version or --version) and
// the options Marlo does not know, which are reported and otherwise ignored.
struct CommandLineCheck {
    bool helpAsked = false;
    bool versionAsked = false;
    QStringList unknown;
};
CommandLineCheck checkCommandLine(const QStringList &args);

// The options with their defaults, as -h prints them (needs the application
// object).
QString commandLineHelp();

// The size a window opens with when none is remembered: its form's size,
// widened to what its contents ask for.
QSize defaultWindowSize(const QWidget &window);
