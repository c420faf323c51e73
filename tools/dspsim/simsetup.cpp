#include "simsetup.h"

#include "cfgfile.h"

#include <QFileInfo>
#include <QHostAddress>

#include <cmath>
#include <utility>

namespace {

// Splits `text` into its first `count` items (fewer when it has fewer).
QStringList items(QString text, int count)
{
    QStringList out;
    while (out.size() < count) {
        QString item;
        const bool more = !text.trimmed().isEmpty();
        if (!more)
            break;
        text = splitFirstItem(text, item);
        out << item;
    }
    return out;
}

} // namespace

bool SimSetup::fail(const QString &text)
{
    error = text;
    return false;
}

bool SimSetup::addUnit(const Unit &u, const QString &where)
{
    if (u.name.isEmpty())
        return fail(QStringLiteral("%1: no unit name").arg(where));
    if (u.address.isEmpty())
        return fail(QStringLiteral("%1: unit %2 has no address").arg(where, u.name));
    const QHostAddress a(u.address);
    if (a.isNull() || a.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("%1: \"%2\" is not an IPv4 address").arg(where, u.address));
    if (!a.isLoopback())
        return fail(QStringLiteral("%1: %2 is not a loopback address (127.x.y.z); the simulator serves loopback only")
                        .arg(where, u.address));
    for (const Unit &o : units) {
        if (o.name == u.name)
            return fail(QStringLiteral("%1: unit name %2 used twice").arg(where, u.name));
        if (QHostAddress(o.address) == a)
            return fail(QStringLiteral("%1: address %2 used by %3 and %4").arg(where, u.address, o.name, u.name));
    }
    units << u;
    return true;
}

bool SimSetup::readConfig(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile())
        return fail(QStringLiteral("cannot read configuration file \"%1\"").arg(fileName));
    CfgFile cfg{QStringList()};
    if (!cfg.readFile(fileName))
        return fail(QStringLiteral("cannot read configuration file \"%1\"").arg(fileName));

    const QStringList dsps = cfg.restsOf(QStringLiteral("VEXDA"));
    for (int i = 0; i < dsps.size(); ++i) {
        const QStringList w = items(dsps.at(i), 7);
        Unit u;
        u.name = w.value(0);
        u.address = w.value(1);
        u.bMode = w.value(6).toUpper() == QLatin1String("B");
        if (!addUnit(u, QStringLiteral("%1: VEXDA line %2").arg(fileName).arg(i + 1)))
            return false;
    }
    const QString hv = cfg.restOf(QStringLiteral("VEXHV"));
    const QStringList w = items(hv, 2);
    if (!w.isEmpty()) {
        Unit u;
        u.hv = true;
        u.name = w.value(0);
        u.address = w.value(1);
        if (!addUnit(u, QStringLiteral("%1: VEXHV").arg(fileName)))
            return false;
    }
    return true;
}

bool SimSetup::parseArgs(const QStringList &args)
{
    error.clear();
    for (int i = 1; i < args.size(); ++i) {
        if (!parseOption(args, i))
            return false;
    }
    if (units.isEmpty() && !help && !version)
        return fail(QStringLiteral("no units to serve: give --config FILE, --dsp or --hv"));
    return true;
}

bool SimSetup::parseOption(const QStringList &args, int &i)
{
    const QString opt = args.at(i);
    const std::pair<const char *, bool *> flags[] = {
        {"--help", &help},           {"-h", &help},       {"--version", &version},
        {"--deterministic", &deterministic}, {"--stamp", &stamp}, {"--log-requests", &logRequests},
    };
    for (const auto &[name, flag] : flags) {
        if (opt == QLatin1String(name)) {
            *flag = true;
            return true;
        }
    }
    auto next = [&](QString &out) {
        if (i + 1 >= args.size() || args.at(i + 1).startsWith(QLatin1String("--")))
            return fail(QStringLiteral("%1 needs an argument").arg(opt));
        out = args.at(++i);
        return true;
    };
    QString a, b;
    if (opt == QLatin1String("--config"))
        return next(a) && readConfig(a);
    if (opt == QLatin1String("--dsp") || opt == QLatin1String("--hv")) {
        if (!next(a) || !next(b))
            return false;
        Unit u;
        u.hv = opt == QLatin1String("--hv");
        u.name = a;
        u.address = b;
        if (!u.hv && i + 1 < args.size() && args.at(i + 1).compare(QLatin1String("b"), Qt::CaseInsensitive) == 0) {
            u.bMode = true;
            ++i;
        }
        return addUnit(u, opt);
    }
    static const QStringList valueOptions = {
        QStringLiteral("--udp-port"), QStringLiteral("--tcp-port"),        QStringLiteral("--rate"),
        QStringLiteral("--dead-fraction"), QStringLiteral("--answer-delay-us"), QStringLiteral("--stream-mbps"),
    };
    if (!valueOptions.contains(opt))
        return fail(QStringLiteral("unknown argument \"%1\"").arg(opt));
    return next(a) && setValue(opt, a);
}

bool SimSetup::setValue(const QString &opt, const QString &text)
{
    auto port = [&](int &out) {
        bool ok = false;
        const int v = text.toInt(&ok);
        if (!ok || v < 0 || v > 65535)
            return fail(QStringLiteral("%1 needs a port number 0 to 65535, not \"%2\"").arg(opt, text));
        out = v;
        return true;
    };
    auto number = [&](double lo, double hi, double &out) {
        bool ok = false;
        const double v = text.toDouble(&ok);
        if (!ok || !std::isfinite(v) || v < lo || v > hi)
            return fail(QStringLiteral("%1 needs a number from %2 to %3, not \"%4\"").arg(opt).arg(lo).arg(hi).arg(text));
        out = v;
        return true;
    };
    if (opt == QLatin1String("--udp-port"))
        return port(udpPort);
    if (opt == QLatin1String("--tcp-port"))
        return port(tcpPort);
    if (opt == QLatin1String("--rate"))
        return number(0.0, 1e8, rate);
    if (opt == QLatin1String("--dead-fraction"))
        return number(0.0, 1.0, deadFraction);
    if (opt == QLatin1String("--stream-mbps"))
        return number(0.0, 1e5, streamMbps);
    double us = 0;
    if (!number(0.0, 1e6, us))   // --answer-delay-us
        return false;
    answerDelayUs = int(us);
    return true;
}

QString SimSetup::usage()
{
    return QStringLiteral(
        "Usage: marlo-sim [options]\n"
        "Simulates DSP units and an HV unit on loopback addresses.\n"
        "  --config FILE        units from a Marlo configuration file (VEXDA and VEXHV lines)\n"
        "  --dsp NAME ADDR [b]  a DSP unit; \"b\" for the 32768-byte histogram stream\n"
        "  --hv NAME ADDR       the HV unit\n"
        "  --udp-port N         UDP port of every unit (default 4660; 0 = any free port)\n"
        "  --tcp-port N         TCP port of every DSP unit (default 24; 0 = any free port)\n"
        "  --rate R             counts per second per channel while counting (default 2000)\n"
        "  --dead-fraction F    dead share of the real time, 0 to 1 (default 0.03)\n"
        "  --answer-delay-us N  every answer leaves N microseconds after its request (default 0)\n"
        "  --stream-mbps M      histogram streams go out at M megabits per second (default 0: at once)\n"
        "  --deterministic      reproducible spectra and rates (default: random)\n"
        "  --stamp              self-checking histograms instead of simulated spectra (below)\n"
        "  --log-requests       print every request received\n"
        "  --help               this text\n"
        "  --version            the version\n"
        "\n"
        "With --stamp every histogram proves where it came from (32-bit bins):\n"
        "  bin 0       the mark 0x53544D50\n"
        "  bin 1       the unit's index among the DSP units, in the order given, from 0\n"
        "  bin 2       the channel, 0 to 3\n"
        "  bin 3       the unit's start count (times Start was set to 1 since the simulator began)\n"
        "  bin 4       CRC-32 (IEEE) of all bins as big-endian bytes, bin 4 taken as 0\n"
        "  bins 5...   16-bit counts derived from bins 1 to 3 and the bin number (splitmix64)\n"
        "Times and rates are simulated as without it; the histogram length is kept.\n");
}
