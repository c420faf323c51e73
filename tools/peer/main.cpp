// marlo-peer: a command-line STARS node that drives Marlo by hand or from a
// script and fetches its spectra over the data link. The exit codes are
// listed in peerexit.h and in --help.
#include <QApplication>

#include <cstdio>

#include "marloversion.h"
#include "peerexit.h"
#include "peeroptions.h"
#include "peersession.h"

namespace {

void printTo(FILE *f, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), f);
    std::fputc('\n', f);
    std::fflush(f);
}

// The offscreen platform warns about an unset XDG_RUNTIME_DIR, which the
// peer never uses; other messages pass.
void messages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    printTo(stderr, QStringLiteral("marlo-peer: %1%2")
                        .arg(type == QtDebugMsg || type == QtInfoMsg ? QString() : QStringLiteral("warning: "), text));
}

} // namespace

int main(int argc, char **argv)
{
    // The plot is drawn into an image (a widget that is never shown): no window
    // system is needed.
    qInstallMessageHandler(messages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("marlo-peer"));

    PeerOptions options;
    if (!options.parse(app.arguments())) {
        printTo(stderr, QStringLiteral("marlo-peer: %1").arg(options.error));
        printTo(stderr, QStringLiteral("Try marlo-peer --help."));
        return PeerExit::Usage;
    }
    if (options.help) {
        printTo(stdout, PeerOptions::usage());
        return PeerExit::Ok;
    }
    if (options.version) {
        printTo(stdout, QStringLiteral("marlo-peer %1").arg(QLatin1String(marloVersion())));
        return PeerExit::Ok;
    }

    QList<PeerStep> steps;
    QString error;
    if (!PeerSession::stepsOf(options, steps, &error)) {
        printTo(stderr, QStringLiteral("marlo-peer: %1").arg(error));
        return PeerExit::Usage;
    }

    PeerSession session(options, [](const QString &line) { printTo(stdout, line); },
                        [](const QString &line) { printTo(stderr, QStringLiteral("marlo-peer: ") + line); });
    const int rc = session.run(steps);
    if (rc != PeerExit::Ok)
        printTo(stderr, QStringLiteral("marlo-peer: exit code %1").arg(rc));
    return rc;
}
