// Program entry: reads the command line and configuration and starts the main window.
#include <QApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "logsink.h"
#include "marloversion.h"
#include "startup.h"

Q_LOGGING_CATEGORY(lcMain, "marlo.main")

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromUtf8(argv[i]);
    return args;
}

// What went wrong before the log area exists: unknown options and the
// configuration file's complaints. They go to stderr at once.
QStringList earlyComplaints(const CommandLineCheck &check, const CfgFile &cfg, const QString &cfgName, bool cfgOpened)
{
    QStringList early;
    for (const QString &name : check.unknown)
        early << QCoreApplication::translate("main", "Unknown option -%1 ignored (marlo -h lists the options)").arg(name);
    early << configComplaints(cfg, cfgName, cfgOpened);
    for (const QString &line : std::as_const(early))
        qCWarning(lcMain).noquote() << line;
    return early;
}

// The window opens where and as large as it was last closed.
void keepGeometry(Body &body, QSettings &settings)
{
    body.resize(defaultWindowSize(body));
    body.restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    QObject::connect(&body, &Body::finishing, &body, [&settings, &body] {
        settings.setValue(QStringLiteral("window/geometry"), body.saveGeometry());
    });
}

} // namespace

int main(int argc, char **argv)
{
    logSink = nullptr;
    std::unique_ptr<CfgFile> cfg;   // outlives the application object

    // The help and the version need no display.
    const CommandLineCheck asked = checkCommandLine(argumentsOf(argc, argv));
    if (asked.helpAsked) {
        QCoreApplication core(argc, argv);
        std::fputs(qPrintable(commandLineHelp()), stdout);
        return 0;
    }
    if (asked.versionAsked) {
        std::printf("marlo %s\n", marloVersion());
        return 0;
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Marlo"));
    QCoreApplication::setApplicationName(QStringLiteral("Marlo"));

    // The arguments left after Qt has taken its own (-style, -platform, ...).
    const QStringList args = argumentsOf(argc, argv);
    const CommandLineCheck check = checkCommandLine(args);

    cfg = std::make_unique<CfgFile>(args);
    CfgFile::setInstance(cfg.get());
    const QString cfgName = configFileName(*cfg);
    const bool cfgOpened = cfg->readFile(cfgName);

    QTranslator translator;
    if (!cfg->hasKey(QStringLiteral("-e")) && loadCatalogue(translator))
        app.installTranslator(&translator);

    // The early complaints reach the log area too, once it exists.
    const QStringList early = earlyComplaints(check, *cfg, cfgName, cfgOpened);

    // The window shows itself before the start-up read-out of the units.
    auto body = std::make_unique<Body>(nullptr, true);
    logSink = body->logArea();
    for (const QString &line : std::as_const(early))
        sinkLog(line, QColor(255, 0, 0));

    QSettings settings;
    keepGeometry(*body, settings);
    QObject::connect(body.get(), &Body::finishing, &app, &QApplication::quit);
    body->show();
    const int code = app.exec();

    // No log call may reach the log area once Body is being destroyed.
    logSink = nullptr;
    body.reset();
    // Free what was scheduled with deleteLater (units, sockets) before the
    // application object goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}
