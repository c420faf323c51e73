#include "peeroptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

bool toInt(const QString &text, int lo, int hi, int &out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

// Why the parser refused the arguments.
QString parserError(const QCommandLineParser &p)
{
    const QStringList unknown = p.unknownOptionNames();
    if (!unknown.isEmpty()) {
        return QStringLiteral("unknown option %1%2")
            .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first());
    }
    // "Missing value after '--host'."
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("'(.*)'")).match(p.errorText());
    return m.hasMatch() ? QStringLiteral("%1 needs a value").arg(m.captured(1)) : p.errorText();
}

} // namespace

namespace {

// The options, their value names and their help with the defaults; both
// parse() and usage() read the command line with this one parser.
struct PeerParser {
    QCommandLineParser p;
    PeerParser()
    {
        const PeerOptions d;
        p.setApplicationDescription(QStringLiteral(
            "Logs into a STARS server as a node, subscribes to Marlo's events, sends the\n"
            "requests (each argument one line, then the lines of --script), and prints\n"
            "every line sent and received with a time stamp:\n"
            "  >> sent   << answer   ** event   -- note of the peer   !! failure"));
        p.addPositionalArgument(QStringLiteral("REQUEST"), QStringLiteral("steps (below), one per argument"),
                                QStringLiteral("[REQUEST ...]"));
        auto opt = [this](const char *name, const char *valueName, const QString &text) {
            p.addOption(QCommandLineOption(QString::fromLatin1(name), text,
                                           valueName ? QString::fromLatin1(valueName) : QString()));
        };
        opt("host", "HOST", QStringLiteral("STARS server (default %1)").arg(d.host));
        opt("port", "PORT", QStringLiteral("STARS port (default %1)").arg(d.port));
        opt("name", "NAME", QStringLiteral("own node name (default %1)").arg(d.name));
        opt("key", "FILE", QStringLiteral("key file (default NAME.key)"));
        opt("marlo", "NAME", QStringLiteral("Marlo's node name (default %1)").arg(d.marlo));
        opt("script", "FILE", QStringLiteral("steps, one per line (\"-\": standard input)"));
        opt("timeout", "MS", QStringLiteral("wait for an answer, the log-in or data-link bytes (default %1)").arg(d.timeoutMs));
        opt("wait-timeout", "MS", QStringLiteral("wait for an event in \"wait\" steps (default %1)").arg(d.waitTimeoutMs));
        opt("no-events", nullptr, QStringLiteral("do not subscribe to Marlo's events"));
        opt("keep-going", nullptr, QStringLiteral("go on after an error answer (the exit code still tells)"));
        opt("get-mcas", "DIR", QStringLiteral("fetch the spectra over the data link into DIR (at each \"GetMCAs\" "
                                              "step, or at the end when there is none)"));
        opt("config", "FILE", QStringLiteral("Marlo's configuration: the exact element list (unit names, channels) "
                                             "for the checks and the file names"));
        opt("bins", "N", QStringLiteral("expected number of bins in every record (default: any)"));
        opt("retries", "N", QStringLiteral("\"NAck\"s sent for malformed transfers (default %1)").arg(d.retries));
        opt("log", nullptr, QStringLiteral("logarithmic count axis in the plot"));
        opt("linear", nullptr, QStringLiteral("linear count axis in the plot (the default)"));
        opt("roi", "FIRST:LAST", QStringLiteral("ROI band in the plot (repeatable); --roi marlo: Marlo's ROIs"));
        opt("plot-size", "WxH", QStringLiteral("plot size in pixels (default %1x%2)").arg(d.plotSize.width()).arg(d.plotSize.height()));
        opt("help", nullptr, QStringLiteral("this text"));
        opt("version", nullptr, QStringLiteral("the version"));
    }
};

} // namespace

bool PeerOptions::checkNames()
{
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("[\\s>.]")))) {
        error = QStringLiteral("--name needs a node name without blanks, \">\" or \".\"");
        return false;
    }
    if (marlo.isEmpty() || marlo.contains(QRegularExpression(QStringLiteral("[\\s>]")))) {
        error = QStringLiteral("--marlo needs a node name without blanks or \">\"");
        return false;
    }
    return true;
}

bool PeerOptions::readRois(const QStringList &values)
{
    for (const QString &v : values) {
        if (v == QLatin1String("marlo")) {
            roisFromMarlo = true;
            continue;
        }
        const QStringList lh = v.split(QLatin1Char(':'));
        int lo = 0, hi = 0;
        if (lh.size() != 2 || !toInt(lh.at(0), 0, 1 << 20, lo) || !toInt(lh.at(1), 0, 1 << 20, hi) || hi < lo) {
            error = QStringLiteral("--roi needs FIRST:LAST bins (FIRST <= LAST) or \"marlo\", not \"%1\"").arg(v);
            return false;
        }
        rois << qMakePair(lo, hi);
    }
    return true;
}

bool PeerOptions::readPlotSize(const QString &v)
{
    const QStringList wh = v.split(QLatin1Char('x'));
    int w = 0, h = 0;
    if (wh.size() != 2 || !toInt(wh.at(0), 200, 8000, w) || !toInt(wh.at(1), 150, 8000, h)) {
        error = QStringLiteral("--plot-size needs WIDTHxHEIGHT (200x150 to 8000x8000), not \"%1\"").arg(v);
        return false;
    }
    plotSize = QSize(w, h);
    return true;
}

bool PeerOptions::parse(const QStringList &args)
{
    error.clear();
    PeerParser pp;
    QCommandLineParser &p = pp.p;
    if (!p.parse(args)) {
        error = parserError(p);
        return false;
    }
    auto number = [&](const char *name, int lo, int hi, int &out) {
        const QString n = QString::fromLatin1(name);
        if (!p.isSet(n) || toInt(p.value(n), lo, hi, out))
            return true;
        error = QStringLiteral("--%1 needs a number %2 to %3, not \"%4\"").arg(n).arg(lo).arg(hi).arg(p.value(n));
        return false;
    };
    auto text = [&](const char *name, QString &out) {
        if (p.isSet(QString::fromLatin1(name)))
            out = p.value(QString::fromLatin1(name));
    };

    help = p.isSet(QStringLiteral("help"));
    version = p.isSet(QStringLiteral("version"));
    text("host", host);
    if (!number("port", 1, 65535, port))
        return false;
    text("name", name);
    text("key", keyFile);
    text("marlo", marlo);
    if (!checkNames())
        return false;
    text("script", scriptFile);
    if (!number("timeout", 1, 3600000, timeoutMs) || !number("wait-timeout", 1, 86400000, waitTimeoutMs))
        return false;
    subscribe = !p.isSet(QStringLiteral("no-events"));
    keepGoing = p.isSet(QStringLiteral("keep-going"));
    text("get-mcas", mcaDir);
    if (p.isSet(QStringLiteral("get-mcas")) && mcaDir.isEmpty()) {
        error = QStringLiteral("--get-mcas needs a folder");
        return false;
    }
    text("config", configFile);
    // --log and --linear: the last one given counts.
    for (const QString &n : p.optionNames()) {
        if (n == QLatin1String("log") || n == QLatin1String("linear"))
            logScale = n == QLatin1String("log");
    }
    if (!readRois(p.values(QStringLiteral("roi"))))
        return false;
    if (!number("bins", 1, 1 << 20, bins) || !number("retries", 0, 100, retries))
        return false;
    if (p.isSet(QStringLiteral("plot-size")) && !readPlotSize(p.value(QStringLiteral("plot-size"))))
        return false;
    requests = p.positionalArguments();
    return true;
}

QString PeerOptions::usage()
{
    PeerParser pp;
    return pp.p.helpText() + QStringLiteral("\n") + QStringLiteral(
        "Steps (arguments or script lines):\n"
        "  REQUEST            a request to Marlo, e.g. \"SetPresetValue 2\"\n"
        "  >NODE[.CH] REQUEST a request to another node or a unit channel\n"
        "  wait EVENT [ARGS]  wait for Marlo's event, e.g. \"wait ChangedIsBusy 0\"; events\n"
        "                     since the previous wait (or the start) count\n"
        "  wait-timeout MS    time-out of the following waits\n"
        "  sleep MS           pause\n"
        "  # text             comment\n"
        "\n"
        "Spectra: asks \"GetDataLinkCh\", connects, asks \"GetROIs\" for the number of\n"
        "elements (unless --config gives them), sends \"GetMCAs\", checks every record,\n"
        "answers \"Ack\" (\"NAck\" for a malformed transfer, up to --retries times) and\n"
        "writes DIR/mca_eNN_UNIT_chC.csv per element and DIR/mcas.png.\n"
        "\n"
        "Exit codes: 0 done; 1 internal failure; 2 bad command line, script or\n"
        "configuration; 3 key file missing or empty; 4 STARS server unreachable;\n"
        "5 log-in refused; 6 an answer or event did not come in time; 7 an error\n"
        "answer (\"Er: ...\"); 8 data-link failure (no address, connection, data, or\n"
        "malformed after the retries); 9 files not written; 10 STARS connection lost.\n");
}
