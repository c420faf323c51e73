// Soak driver: Marlo's Body with simulated units, the STARS bus and a peer,
// driven for a given time with a mix of requests, bursts and measurements,
// with faults switched on and off at random (a fixed seed, so every run
// makes the same choices).
//
// Passes when: nothing crashed, every request got exactly one answer (and
// those with a fixed answer got that answer), resident memory after the
// warm-up stays flat, and the log display stays at its cap.
//
// Usage: marlo-soak [SECONDS] [SEED]   (defaults: 120 s, seed 9)
// Prints its figures and exits 0 on success, 1 on failure.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTextEdit>

#include <cstdio>
#include <memory>
#include <random>

#include <unistd.h>

#include "body.h"
#include "datalinkpeer.h"
#include "logarea.h"
#include "logsink.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"

namespace {

// Resident set size in KiB (Linux).
long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Figures {
    long requests = 0, answers = 0, wrongAnswers = 0, missing = 0;
    long bursts = 0, measurements = 0, faults = 0, transfers = 0, brokenTransfers = 0, events = 0;
};

class Soak
{
public:
    Soak(quint32 seed) : rng(seed) {}

    bool start();
    void fail(const QString &why);
    void step();
    void reset()
    {
        dataLink.reset();
        rig.reset();
    }

    Figures fig;
    QStringList failures;
    std::unique_ptr<ServiceRig> rig;

private:
    int pick(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); }
    // One request; `expected` null: any answer will do.
    void request(const QString &text, const QString &expected = QString(), const QString &to = QStringLiteral("Marlo"));
    void burst();
    void measurement();
    void fault();
    void transfer();

    std::mt19937 rng;
    QList<SimUnit *> sims;
    QList<int> faultLeft;   // per unit: actions until its fault is cleared (0: none)
    std::unique_ptr<DataLinkPeer> dataLink;
    quint16 dataLinkPort = 0;
};

// The elements: dsp1 channels 0 and 1, dsp2 channels 1, 2 and 3.
constexpr int elementCount = 5;
const quint32 elementCh[elementCount] = {0, 1, 1, 2, 3};

bool Soak::start()
{
    rig = std::make_unique<ServiceRig>();
    if (!rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.10.1"), QStringLiteral("1 1 0 0")},
                     {QStringLiteral("dsp2"), QStringLiteral("127.0.10.2"), QStringLiteral("0 1 1 1")}}))
        return fail(QStringLiteral("set-up: ") + rig->error()), false;
    for (const QString &n : {QStringLiteral("dsp1"), QStringLiteral("dsp2")}) {
        SimUnit *s = rig->sim(n);
        s->setRequestLogLimit(64);   // the simulator's own record stays small
        s->setCountRate(2000);
        sims << s;
        faultLeft << 0;
    }
    // The peer's data link, in a thread of its own.
    dataLink = std::make_unique<DataLinkPeer>();
    const quint16 port = dataLinkPort = rig->body()->dataLinkServerPort();
    bool linked = false;
    dataLink->run([&linked, port](DataLinkPeer::Context &c) { linked = c.connectLink(port); });
    if (!dataLink->wait() || !linked)
        return fail(QStringLiteral("set-up: no data link")), false;
    // As in the program: the log area is the process-wide sink, and the
    // messages from STARS are logged too.
    logSink = rig->body()->logArea();
    if (auto *box = rig->body()->findChild<QCheckBox *>(QStringLiteral("LogMsgFromStars")))
        box->setChecked(true);
    return true;
}

void Soak::fail(const QString &why)
{
    if (failures.size() < 20)
        failures << why;
}

void Soak::request(const QString &text, const QString &expected, const QString &to)
{
    ++fig.requests;
    const QString answer = rig->ask(text, to, 60000);
    if (answer.isNull()) {
        ++fig.missing;
        fail(QStringLiteral("no answer to [%1]").arg(text));
        return;
    }
    ++fig.answers;
    if (!expected.isNull() && answer != expected) {
        ++fig.wrongAnswers;
        fail(QStringLiteral("[%1] answered [%2], expected [%3]").arg(text, answer, expected));
    }
}

void Soak::burst()
{
    ++fig.bursts;
    const int n = 20 + pick(200);
    QList<QPair<QString, QString>> requests;
    for (int i = 0; i < n; ++i) {
        if (i % 2)
            requests << qMakePair(QStringLiteral("Help b%1").arg(i), QStringLiteral("Marlo>Ravel @Help Er: Command [b%1] not found.").arg(i));
        else
            requests << qMakePair(QStringLiteral("GetMCALength"), QStringLiteral("Marlo>Ravel @GetMCALength 4096"));
    }
    fig.requests += n;
    const QString wrong = rig->burst(requests);
    fig.answers += wrong.isEmpty() ? n : 0;
    if (!wrong.isEmpty()) {
        ++fig.wrongAnswers;
        fail(QStringLiteral("burst: ") + wrong);
    }
}

void Soak::measurement()
{
    ++fig.measurements;
    if (pick(2)) {
        request(QStringLiteral("SetPresetType 1"), QStringLiteral("Ok:"));
        request(QStringLiteral("SetPresetValue %1").arg(0.1 + 0.1 * pick(5)), QStringLiteral("Ok:"));
    } else {
        request(QStringLiteral("SetPresetType 0"), QStringLiteral("Ok:"));
    }
    request(QStringLiteral("RunStart %1").arg(fig.measurements), QStringLiteral("Ok:"));
}

void Soak::fault()
{
    const int u = pick(int(sims.size()));
    SimFaults f;
    switch (pick(8)) {
    case 0: f.silent = true; break;
    case 1: f.answerDelayMs = 600 + pick(600); break;
    case 2: f.wrongAnswerAddress = true; break;
    case 3: f.stopAfterBytes = pick(16384); break;
    case 4: f.stopAfterBytes = pick(16384); f.resetMidStream = true; break;
    case 5: f.pieceBytes = 1 + pick(4000); f.pieceGapMs = pick(100); break;
    case 6: f.silent = f.noTcpData = f.refuseTcp = true; sims.at(u)->dropTcp(); break;
    case 7: sims.at(u)->dropTcp(); break;
    }
    ++fig.faults;
    sims.at(u)->setFaults(f);
    faultLeft[u] = 1 + pick(8);
}

// "GetMCAs": the peer reads the whole transfer and acknowledges it; now and
// then it breaks the link off part way and connects again, and must then get
// the whole transfer on the new link.
void Soak::transfer()
{
    ++fig.transfers;
    const bool breakOff = pick(4) == 0;
    const qint64 cut = 1 + pick(elementCount * (48 + 4 * 4096) - 1);
    fig.brokenTransfers += breakOff;
    QList<DataLinkPeer::Record> recs;
    bool ok = false;
    QString error;
    const quint16 port = dataLinkPort;
    dataLink->run([&](DataLinkPeer::Context &c) {
        if (breakOff) {
            QByteArray part;
            c.readBytes(cut, part);
            c.closeLink();
            if (!c.connectLink(port)) {
                error = c.error;
                return;
            }
        }
        ok = c.readRecords(elementCount, recs, 60000) && c.send("Ack");
        error = c.error;
    });
    request(QStringLiteral("GetMCAs"), QStringLiteral("Ok:"));
    if (!dataLink->wait(120000)) {
        fail(QStringLiteral("transfer %1: the peer is still waiting").arg(fig.transfers));
        return;
    }
    if (!ok) {
        fail(QStringLiteral("transfer %1%2: %3").arg(fig.transfers).arg(breakOff ? QStringLiteral(" (broken off)") : QString(), error));
        return;
    }
    for (int k = 0; k < elementCount; ++k) {
        const McaRecordHeader &h = recs.at(k).header;
        if (h.ch != elementCh[k] || h.length != 4096 || recs.at(k).bins.size() != 4096)
            fail(QStringLiteral("transfer %1, record %2: channel %3, length %4").arg(fig.transfers).arg(k).arg(h.ch).arg(h.length));
    }
}

void Soak::step()
{
    // Faults end after a few actions.
    for (int u = 0; u < sims.size(); ++u) {
        if (faultLeft.at(u) > 0 && --faultLeft[u] == 0)
            sims.at(u)->setFaults(SimFaults());
    }
    const int r = pick(100);
    const QString element = QString::number(pick(5));   // 5 elements: 0 to 4
    if (r < 5) {
        fault();
    } else if (r < 8) {
        transfer();
    } else if (r < 10) {
        burst();
    } else if (r < 15) {
        measurement();
    } else if (r < 18) {
        request(QStringLiteral("RunStop"), QStringLiteral("Ok:"));
    } else if (r < 23) {
        request(QStringLiteral("SetROIs %1 %2").arg(pick(4096)).arg(pick(4096)), QStringLiteral("Ok:"));
    } else if (r < 28) {
        request(QStringLiteral("GetMeasTimeInSec"), QString(), QStringLiteral("Marlo.dsp%1").arg(1 + pick(2)));
    } else if (r < 33) {
        request(QStringLiteral("GetValue %1").arg(5 + pick(3)), QStringLiteral("Er: Elment No."));
    } else if (r < 43) {
        request(QStringLiteral("Hello"), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
    } else if (r < 50) {
        request(QStringLiteral("NoSuch%1").arg(pick(10)), QStringLiteral("Er: Unknown Command"));
    } else {
        // Any answer will do for these.
        const QStringList any{QStringLiteral("GetValue ") + element, QStringLiteral("GetValues"), QStringLiteral("GetRealTimes"),
                              QStringLiteral("GetLiveTimes"), QStringLiteral("GetROIs"), QStringLiteral("GetPeakingTime ") + element,
                              QStringLiteral("IsBusy")};
        request(any.at(pick(int(any.size()))));
    }
    fig.events += rig->takeEvents().size();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 120;
    const quint32 seed = args.size() > 2 ? args.at(2).toUInt() : 9;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: marlo-soak [SECONDS] [SEED]\n");
        return 2;
    }
    // The program's diagnostics are not the soak's business.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(msg));
    });

    Soak soak(seed);
    if (!soak.start()) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(soak.failures.join(QLatin1Char('\n'))));
        return 1;
    }
    QTextEdit *logDisp = soak.rig->body()->findChild<QTextEdit *>(QStringLiteral("LogDisp"));

    QElapsedTimer clock;
    clock.start();
    const qint64 total = qint64(seconds) * 1000;
    const qint64 warmUp = total / 4;
    long rssWarm = -1, rssPeak = 0, steps = 0;
    while (clock.elapsed() < total) {
        soak.step();
        ++steps;
        if (!soak.rig->strayAnswers.isEmpty())
            soak.fail(QStringLiteral("answers nobody asked for: [%1]").arg(soak.rig->strayAnswers.takeFirst()));
        if (rssWarm < 0 && clock.elapsed() >= warmUp)
            rssWarm = residentKiB();
        if (rssWarm >= 0 && steps % 50 == 0)
            rssPeak = qMax(rssPeak, residentKiB());
    }
    // Wind down: faults off, every request answered once, measurement stopped.
    if (!soak.rig->allAnswered())
        soak.fail(QStringLiteral("at the end: ") + soak.rig->error());
    const QString stop = soak.rig->ask(QStringLiteral("RunStop"), QStringLiteral("Marlo"), 60000);
    if (stop != QLatin1String("Ok:"))
        soak.fail(QStringLiteral("final RunStop: [%1]").arg(stop));
    const long rssEnd = residentKiB();
    rssPeak = qMax(rssPeak, rssEnd);
    const int logBlocks = logDisp ? logDisp->document()->blockCount() : -1;
    const int logCap = logDisp ? logDisp->document()->maximumBlockCount() : -1;

    // Flat: after the warm-up the peak grew by at most 8 MiB and 10 %.
    const long allowed = qMax(8 * 1024L, rssWarm / 10);
    const bool memoryFlat = rssWarm > 0 && rssPeak - rssWarm <= allowed;
    const bool logCapped = logDisp && logCap > 0 && logBlocks <= logCap;
    const Figures &f = soak.fig;

    std::printf("soak: %d s, seed %u, %ld steps\n", seconds, seed, steps);
    std::printf("  requests %ld, answers %ld, missing %ld, wrong %ld\n", f.requests, f.answers, f.missing, f.wrongAnswers);
    std::printf("  bursts %ld, measurements %ld, faults injected %ld, events %ld\n", f.bursts, f.measurements, f.faults, f.events);
    std::printf("  spectrum transfers %ld (%ld broken off by the peer and fetched again)\n", f.transfers, f.brokenTransfers);
    std::printf("  memory (RSS): after warm-up %ld KiB, peak after %ld KiB, at end %ld KiB (allowed growth %ld KiB)\n",
                rssWarm, rssPeak, rssEnd, allowed);
    std::printf("  log display: %d lines (cap %d)\n", logBlocks, logCap);

    if (!memoryFlat)
        soak.failures << QStringLiteral("resident memory grew after the warm-up");
    if (!logCapped)
        soak.failures << QStringLiteral("log display not capped");
    const bool ok = soak.failures.isEmpty() && f.missing == 0 && f.wrongAnswers == 0 && f.answers == f.requests;
    for (const QString &why : soak.failures)
        std::printf("  FAIL: %s\n", qPrintable(why));
    std::printf("soak: %s\n", ok ? "PASSED" : "FAILED");
    logSink = nullptr;
    soak.reset();
    return ok ? 0 : 1;
}
