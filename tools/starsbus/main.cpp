// starsbus: a stand-in for a site's STARS server, for tests and the demo.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>

#include "marloversion.h"
#include "starsbus.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("starsbus"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(marloVersion()));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A small STARS server for tests and the demo. Nodes log in with the keys in "
        "<keydir>/<Name>.key; it serves loopback addresses only."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption hostOpt(QStringLiteral("host"), QStringLiteral("Loopback address to listen on (default 127.0.0.1)."),
                                     QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port to listen on, 0: any free port (default 6057)."),
                                     QStringLiteral("port"), QStringLiteral("6057"));
    const QCommandLineOption keyOpt(QStringLiteral("keydir"), QStringLiteral("Directory of the key files (default: the working folder)."),
                                    QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption verboseOpt(QStringLiteral("verbose"), QStringLiteral("Print every routed line."));
    const QCommandLineOption muteOpt(QStringLiteral("mute"),
                                     QStringLiteral("Once NAME logs in, keep its connection open but neither "
                                                    "read from nor write to it (a half-open link); may be repeated."),
                                     QStringLiteral("name"));
    parser.addOptions({hostOpt, portOpt, keyOpt, verboseOpt, muteOpt});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);

    const QString host = parser.value(hostOpt);
    const QHostAddress address(host == QLatin1String("localhost") ? QStringLiteral("127.0.0.1") : host);
    bool ok = false;
    const uint port = parser.value(portOpt).toUInt(&ok);
    if (address.isNull() || !ok || port > 65535) {
        err << "starsbus: bad --host or --port\n";
        return 2;
    }

    StarsBus bus(parser.value(keyOpt));
    bus.setVerbose(parser.isSet(verboseOpt));
    bus.setMuteOnLogin(parser.values(muteOpt));
    QObject::connect(&bus, &StarsBus::report, &bus, [&out](const QString &text) {
        out << "starsbus: " << text << Qt::endl;
    });
    if (!bus.listen(address, quint16(port))) {
        err << "starsbus: cannot listen on " << host << ':' << port << ": " << bus.errorString() << '\n';
        return 1;
    }
    out << "starsbus: serving STARS on " << bus.serverAddress().toString() << ':' << bus.port() << Qt::endl;
    return app.exec();
}
