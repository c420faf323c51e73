#include "peeroptions.h"

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

} // namespace

bool PeerOptions::parse(const QStringList &args)
{
    error.clear();
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (!a.startsWith(QLatin1String("--")) || a == QLatin1String("--")) {
            if (a == QLatin1String("--")) {
                requests << args.mid(i + 1);
                break;
            }
            requests << a;
            continue;
        }
        auto value = [&](QString &out) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            out = args.at(++i);
            return true;
        };
        auto number = [&](int lo, int hi, int &out) {
            QString v;
            if (!value(v))
                return false;
            if (!toInt(v, lo, hi, out)) {
                error = QStringLiteral("%1 needs a number %2 to %3, not \"%4\"").arg(a).arg(lo).arg(hi).arg(v);
                return false;
            }
            return true;
        };

        if (a == QLatin1String("--help")) {
            help = true;
        } else if (a == QLatin1String("--host")) {
            if (!value(host))
                return false;
        } else if (a == QLatin1String("--port")) {
            if (!number(1, 65535, port))
                return false;
        } else if (a == QLatin1String("--name")) {
            if (!value(name))
                return false;
            if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("[\\s>.]")))) {
                error = QStringLiteral("--name needs a node name without blanks, \">\" or \".\"");
                return false;
            }
        } else if (a == QLatin1String("--key")) {
            if (!value(keyFile))
                return false;
        } else if (a == QLatin1String("--marlo")) {
            if (!value(marlo))
                return false;
            if (marlo.isEmpty() || marlo.contains(QRegularExpression(QStringLiteral("[\\s>]")))) {
                error = QStringLiteral("--marlo needs a node name without blanks or \">\"");
                return false;
            }
        } else if (a == QLatin1String("--script")) {
            if (!value(scriptFile))
                return false;
        } else if (a == QLatin1String("--timeout")) {
            if (!number(1, 3600000, timeoutMs))
                return false;
        } else if (a == QLatin1String("--wait-timeout")) {
            if (!number(1, 86400000, waitTimeoutMs))
                return false;
        } else if (a == QLatin1String("--no-events")) {
            subscribe = false;
        } else if (a == QLatin1String("--keep-going")) {
            keepGoing = true;
        } else if (a == QLatin1String("--get-mcas")) {
            if (!value(mcaDir))
                return false;
            if (mcaDir.isEmpty()) {
                error = QStringLiteral("--get-mcas needs a folder");
                return false;
            }
        } else if (a == QLatin1String("--config")) {
            if (!value(configFile))
                return false;
        } else if (a == QLatin1String("--log")) {
            logScale = true;
        } else if (a == QLatin1String("--linear")) {
            logScale = false;
        } else if (a == QLatin1String("--roi")) {
            QString v;
            if (!value(v))
                return false;
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
        } else if (a == QLatin1String("--bins")) {
            if (!number(1, 1 << 20, bins))
                return false;
        } else if (a == QLatin1String("--retries")) {
            if (!number(0, 100, retries))
                return false;
        } else if (a == QLatin1String("--plot-size")) {
            QString v;
            if (!value(v))
                return false;
            const QStringList wh = v.split(QLatin1Char('x'));
            int w = 0, h = 0;
            if (wh.size() != 2 || !toInt(wh.at(0), 200, 8000, w) || !toInt(wh.at(1), 150, 8000, h)) {
                error = QStringLiteral("--plot-size needs WIDTHxHEIGHT (200x150 to 8000x8000), not \"%1\"").arg(v);
                return false;
            }
            plotSize = QSize(w, h);
        } else {
            error = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
    }
    return true;
}

QString PeerOptions::usage()
{
    return QStringLiteral(
        "Usage: marlo-peer [options] [REQUEST ...]\n"
        "\n"
        "Logs into a STARS server as a node, subscribes to Marlo's events, sends the\n"
        "requests (each argument one line, then the lines of --script), and prints\n"
        "every line sent and received with a time stamp:\n"
        "  >> sent   << answer   ** event   -- note of the peer   !! failure\n"
        "\n"
        "Options:\n"
        "  --host HOST        STARS server (default 127.0.0.1)\n"
        "  --port PORT        STARS port (default 6057)\n"
        "  --name NAME        own node name (default Ravel)\n"
        "  --key FILE         key file (default NAME.key)\n"
        "  --marlo NAME       Marlo's node name (default Marlo)\n"
        "  --script FILE      steps, one per line (\"-\": standard input)\n"
        "  --timeout MS       wait for an answer, the log-in or data-link bytes (10000)\n"
        "  --wait-timeout MS  wait for an event in \"wait\" steps (60000)\n"
        "  --no-events        do not subscribe to Marlo's events\n"
        "  --keep-going       go on after an error answer (the exit code still tells)\n"
        "  --get-mcas DIR     fetch the spectra over the data link into DIR (at each\n"
        "                     \"GetMCAs\" step, or at the end when there is none)\n"
        "  --config FILE      Marlo's configuration: the exact element list (unit\n"
        "                     names, channels) for the checks and the file names\n"
        "  --bins N           expected number of bins in every record\n"
        "  --retries N        \"NAck\"s sent for malformed transfers (default 2)\n"
        "  --log | --linear   count axis of the plot (default linear)\n"
        "  --roi FIRST:LAST   ROI band in the plot (repeatable); --roi marlo: Marlo's ROIs\n"
        "  --plot-size WxH    plot size in pixels (default 1200x700)\n"
        "  --help             this text\n"
        "\n"
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
