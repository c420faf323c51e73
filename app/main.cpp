#include <QApplication>
#include <QTranslator>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "logsink.h"
#include "startup.h"

int main(int argc, char **argv)
{
    logSink = nullptr;
    std::unique_ptr<CfgFile> cfg;   // outlives the application object

    QApplication app(argc, argv);

    cfg = std::make_unique<CfgFile>(argc, argv);
    CfgFile::setInstance(cfg.get());
    cfg->readFile(configFileName(*cfg));

    QTranslator translator;
    if (!cfg->hasKey(QStringLiteral("-e")) && loadCatalogue(translator))
        app.installTranslator(&translator);

    // The window shows itself before the start-up read-out of the units.
    auto body = std::make_unique<Body>(nullptr, true);
    logSink = body->logArea();
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
