// Start-up checks: which configuration file, its complaints, the catalogue and the window size.
#include "startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTranslator>
#include <QWidget>

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

QStringList configComplaints(const CfgFile &cfg, const QString &fileName, bool opened)
{
    QStringList out;
    if (!opened && fileName.isEmpty())
        out << QCoreApplication::translate("main", "No config file name after -c or -config: running without units");
    else if (!opened)
        out << QCoreApplication::translate("main", "Can't open config file [%1] in %2: running without units")
                   .arg(fileName, QDir::toNativeSeparators(QDir::currentPath()));
    QStringList keys;
    const QList<CfgFile::Place> unknown = cfg.unknownKeys();
    for (const CfgFile::Place &p : unknown) {
        keys << (p.file == fileName ? QCoreApplication::translate("main", "%1 (line %2)").arg(p.key).arg(p.line)
                                    : QCoreApplication::translate("main", "%1 (%2 line %3)")
                                          .arg(p.key, p.file)
                                          .arg(p.line));
    }
    if (!keys.isEmpty())
        out << (keys.size() == 1 ? QCoreApplication::translate("main", "Unknown key in %1: %2")
                                 : QCoreApplication::translate("main", "Unknown keys in %1: %2"))
                   .arg(fileName, keys.join(QStringLiteral(", ")));
    return out;
}

bool loadCatalogue(QTranslator &translator)
{
    return translator.load(QStringLiteral(":Marlo_ja_JP"), QCoreApplication::applicationDirPath());
}

namespace {

struct MarloOptions {
    QCommandLineParser parser;
    const QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show these options and exit.")};
    const QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version and exit.")};

    explicit MarloOptions(const QStringList &args)
    {
        // Marlo's options are single-dash words ("-config", "-dump").
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setApplicationDescription(
            QStringLiteral("Marlo: puts the DSP units and the HV unit on the STARS bus."));
        parser.addOptions({
            help,
            version,
            {QStringLiteral("c"),
             QStringLiteral("Read the configuration from FILE (default: config.cfg in the working folder)."),
             QStringLiteral("FILE")},
            {QStringLiteral("config"), QStringLiteral("The same as -c; wins when both are given."),
             QStringLiteral("FILE")},
            {QStringLiteral("e"), QStringLiteral("English interface (default: Japanese).")},
            {QStringLiteral("j"), QStringLiteral("Japanese interface (the default).")},
            {QStringLiteral("dump"), QStringLiteral("At start, save every DSP register to dump.stg.")},
            {QStringLiteral("recover"),
             QStringLiteral("At start, write the DSP registers back from RECOVER_FILE (default: dump.stg).")},
        });
        // A missing file name after -c is CfgFile's matter (an empty name);
        // only the help and the unknown options count here.
        parser.parse(args);
    }
};

} // namespace

CommandLineCheck checkCommandLine(const QStringList &args)
{
    MarloOptions o(args);
    return {o.parser.isSet(o.help), o.parser.isSet(o.version), o.parser.unknownOptionNames()};
}

QString commandLineHelp()
{
    MarloOptions o(QCoreApplication::arguments());
    // The parser writes long options with two dashes; Marlo's own take one.
    return o.parser.helpText().replace(QRegularExpression(QStringLiteral("--(config|dump|recover)( <FILE>)? ")),
                                       QStringLiteral("-\\1\\2  "));
}

QSize defaultWindowSize(const QWidget &window)
{
    return window.size().expandedTo(window.sizeHint());
}
