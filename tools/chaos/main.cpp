// marlo-chaos: a step scan against Marlo with faults injected on a seeded
// schedule; proves that every point comes out right or clearly failed and
// that no wrong spectrum is ever delivered as good.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <unistd.h>

#include "chaosreport.h"
#include "chaosscan.h"

namespace {

// Line by line, so that a scan can be followed while it runs.
void printLine(FILE *f, const QString &text)
{
    std::fputs(qPrintable(text + QLatin1Char('\n')), f);
    std::fflush(f);
}

// The faults of --faults LIST; false (and a line on stderr) for an unknown name.
bool parseFaults(const QString &list, QList<Chaos::Fault> *kinds)
{
    kinds->clear();
    for (const QString &name : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        Chaos::Fault f = Chaos::Fault::BusRestart;
        if (!Chaos::faultFromName(name.trimmed(), &f)) {
            printLine(stderr, QStringLiteral("marlo-chaos: unknown fault \"%1\"").arg(name));
            return false;
        }
        *kinds << f;
    }
    return true;
}

// The scan's options from the command line; false (and a line on stderr) when
// one is missing or out of range.
bool readOptions(const QCoreApplication &app, Chaos::Options *o)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Runs a STARS server and simulated units (8 DSP units of 4 channels, stamped histograms, and the HV unit "
        "on 127.0.40.x, UDP 4660 and TCP 24: run as root) in this process and Marlo as its own, and scans: per "
        "point RunStart N, ChangedIsBusy 0 (bound: preset + 10 s, then IsBusy), GetValues, GetMCAs, every record "
        "checked (stamp, real time = preset within 10 ns, element order, measurement number). A failed point is "
        "tried again up to 3 times (RunStart N + 100000 × try). Exits 0 only when no point failed, no wrong "
        "spectrum was accepted, no event was lost, every request was answered, nothing hung and Marlo's memory "
        "grew by at most 10 % (--memory-growth).\n\nFaults: bus-restart, bus-freeze, unit-unplug, stream-stall, "
        "stream-reset, link-drop, nack-junk, link-stall, hv-silent."));
    p.addHelpOption();
    const QCommandLineOption points(QStringLiteral("points"), QStringLiteral("points to scan (default 100)"), QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption preset(QStringLiteral("preset"), QStringLiteral("real-time preset in seconds (default 0.1)"), QStringLiteral("S"), QStringLiteral("0.1"));
    const QCommandLineOption every(QStringLiteral("fault-every"), QStringLiteral("a fault every K points, 0: none (default 10)"), QStringLiteral("K"), QStringLiteral("10"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("seed of the fault schedule (default 1)"), QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption faults(QStringLiteral("faults"), QStringLiteral("comma-separated faults to draw from (default all)"), QStringLiteral("LIST"));
    const QCommandLineOption marlo(QStringLiteral("marlo"), QStringLiteral("Marlo's executable"), QStringLiteral("PATH"));
    const QCommandLineOption keys(QStringLiteral("keys"), QStringLiteral("folder with Marlo.key and Ravel.key"), QStringLiteral("DIR"));
    const QCommandLineOption work(QStringLiteral("work"), QStringLiteral("Marlo's folder (configuration, log); default a temporary one"), QStringLiteral("DIR"));
    const QCommandLineOption jsonOut(QStringLiteral("json"), QStringLiteral("write the JSON summary to FILE"), QStringLiteral("FILE"));
    const QCommandLineOption memory(QStringLiteral("memory-growth"),
                                    QStringLiteral("most that Marlo's memory may grow, in % of the start (default 10); "
                                                   "negative: not checked (sanitizer builds hold freed memory)"),
                                    QStringLiteral("PCT"), QStringLiteral("10"));
    p.addOptions({points, preset, every, seed, faults, marlo, keys, work, jsonOut, memory});
    p.process(app);

    bool ok1 = false, ok2 = false, ok3 = false, ok4 = false, ok5 = false;
    o->points = p.value(points).toInt(&ok1);
    o->preset = p.value(preset).toDouble(&ok2);
    o->faultEvery = p.value(every).toInt(&ok3);
    o->seed = p.value(seed).toUInt(&ok4);
    o->maxMemoryGrowth = p.value(memory).toDouble(&ok5) / 100.0;
    o->marlo = p.isSet(marlo) ? QFileInfo(p.value(marlo)).absoluteFilePath() : QString();
    o->keyDir = p.isSet(keys) ? QFileInfo(p.value(keys)).absoluteFilePath() : QString();
    o->workDir = p.value(work);
    o->jsonFile = p.value(jsonOut);
    if (!ok1 || !ok2 || !ok3 || !ok4 || !ok5 || o->points < 1 || !(o->preset > 0.0 && o->preset <= 3600.0)
        || o->faultEvery < 0 || o->marlo.isEmpty() || o->keyDir.isEmpty()) {
        printLine(stderr, QStringLiteral("marlo-chaos: give --marlo PATH and --keys DIR; --points >= 1, "
                                         "--preset in (0, 3600], --fault-every >= 0 (try --help)"));
        return false;
    }
    return !p.isSet(faults) || parseFaults(p.value(faults), &o->kinds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Chaos::Options o;
    if (!readOptions(app, &o))
        return 2;

    Chaos::Scan scan(o);
    const Chaos::Figures fig = scan.run([](const QString &line) { printLine(stdout, line); });
    if (fig.points == 0 && ::geteuid() != 0 && fig.aborted.contains(QLatin1String("root needed"))) {
        printLine(stderr, QStringLiteral("marlo-chaos: skipped: %1").arg(fig.aborted));
        return 77;
    }
    printLine(stdout, Chaos::table(fig, o));
    if (!o.jsonFile.isEmpty()) {
        QSaveFile f(o.jsonFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(Chaos::json(fig, o)) < 0 || !f.commit()) {
            printLine(stderr, QStringLiteral("marlo-chaos: cannot write %1: %2").arg(f.fileName(), f.errorString()));
            return 1;
        }
    }
    return fig.passed() ? 0 : 1;
}
