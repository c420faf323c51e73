#include "chaosscan.h"

#include "histogramstamp.h"
#include "simfaults.h"
#include "simhost.h"
#include "simunit.h"
#include "starsbusrunner.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QSaveFile>
#include <QTcpServer>
#include <QThread>

#include <unistd.h>

namespace Chaos {

namespace {

constexpr int binsPerRecord = 4096;
constexpr int hangMs = 30000;
constexpr int maxRetries = 3;
constexpr int maxProblems = 50;
const QString marloName = QStringLiteral("Marlo");

} // namespace

double Figures::memoryGrowth() const
{
    return rssStartKiB > 0 && rssEndKiB > 0 ? double(rssEndKiB - rssStartKiB) / double(rssStartKiB) : 0.0;
}

bool Figures::passed() const
{
    return aborted.isEmpty() && failed == 0 && wrongSpectra == 0 && eventsLost == 0 && unanswered == 0
           && hangs == 0 && rssStartKiB > 0 && (maxMemoryGrowth < 0 || memoryGrowth() <= maxMemoryGrowth);
}

Scan::Scan(const Options &options)
    : opts(options)
{
    node.setPumpEvents(false);
}

Scan::~Scan()
{
    tearDown();
}

void Scan::problem(const QString &text)
{
    if (fig.problems.size() < maxProblems)
        fig.problems << text;
}

void Scan::progressMade()
{
    lastProgress = now();
    hangCounted = false;
}

void Scan::after(int ms, std::function<void()> action)
{
    timed.append({now() + ms, std::move(action)});
}

long Scan::marloRssKiB() const
{
    QFile f(QStringLiteral("/proc/%1/statm").arg(marlo.processId()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() < 2 ? -1 : fields.at(1).toLong() * (sysconf(_SC_PAGESIZE) / 1024);
}

bool Scan::writeConfig(const QString &folder, quint16 starsPort, quint16 dataPort, QString *why)
{
    QString text = QStringLiteral("STARS_IP 127.0.0.1\nSTARS_PORT %1\nNAME_ON_STARS %2\nCONNECT_TO_STARS 1\n"
                                  "STARS_RECONNECT 1\nDATA_LINK_CH_IP 127.0.0.1\nDATA_LINK_CH_PORT %3\n")
                       .arg(starsPort).arg(marloName).arg(dataPort);
    for (int u = 0; u < opts.units; ++u)
        text += QStringLiteral("VEXDA dsp%1 %2 1 1 1 1\n").arg(u + 1).arg(opts.subnet + QString::number(u + 1));
    text += QStringLiteral("VEXHV hv1 %1\nHV_READ_TYPE 0\n").arg(opts.subnet + QString::number(opts.units + 1));
    QSaveFile f(QDir(folder).filePath(QStringLiteral("config.cfg")));
    if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0 || !f.commit()) {
        *why = QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString());
        return false;
    }
    const QString key = QDir(folder).filePath(QStringLiteral("Marlo.key"));
    QFile::remove(key);
    if (!QFile::copy(QDir(opts.keyDir).filePath(QStringLiteral("Marlo.key")), key)) {
        *why = QStringLiteral("cannot copy Marlo.key from %1").arg(opts.keyDir);
        return false;
    }
    return true;
}

bool Scan::startMarlo(QString *why)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    marlo.setProcessEnvironment(env);
    marlo.setWorkingDirectory(dir);
    marlo.setProcessChannelMode(QProcess::MergedChannels);
    marlo.setStandardOutputFile(QDir(dir).filePath(QStringLiteral("marlo.out")));
    marlo.start(opts.marlo, {QStringLiteral("-e"), QStringLiteral("-c"), QStringLiteral("config.cfg")});
    if (!marlo.waitForStarted(10000)) {
        *why = QStringLiteral("cannot start %1: %2").arg(opts.marlo, marlo.errorString());
        return false;
    }
    const qint64 deadline = now() + 60000;
    while (!bus->nodeNames().contains(marloName)) {
        if (marlo.state() == QProcess::NotRunning || now() > deadline) {
            *why = QStringLiteral("Marlo did not log in to the STARS server (see %1/marlo.out)").arg(dir);
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

bool Scan::setUp(QString *why)
{
    bus = std::make_unique<StarsBusRunner>(opts.keyDir);
    if (!bus->start(QHostAddress::LocalHost, 0)) {
        *why = QStringLiteral("STARS server: %1").arg(bus->errorString());
        return false;
    }
    busPort = bus->port();
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            *why = QStringLiteral("no free port for the data link");
            return false;
        }
        linkPort = probe.serverPort();
    }
    sims = std::make_unique<SimHost>();
    for (int u = 0; u < opts.units; ++u) {
        SimUnit *s = sims->addDsp(QStringLiteral("dsp%1").arg(u + 1), QHostAddress(opts.subnet + QString::number(u + 1)));
        s->setStamp(u);
        s->setRequestLogLimit(64);
        dsps << s;
    }
    hv = sims->addHv(QStringLiteral("hv1"), QHostAddress(opts.subnet + QString::number(opts.units + 1)));
    hv->setRequestLogLimit(64);
    if (!sims->start()) {
        QStringList bad;
        for (SimUnit *u : sims->units())
            if (!u->isOpen())
                bad << QStringLiteral("%1 (%2)").arg(u->name(), u->errorString());
        *why = QStringLiteral("cannot serve the units on UDP 4660 and TCP 24 (root needed): %1").arg(bad.join(QStringLiteral(", ")));
        return false;
    }
    if (opts.workDir.isEmpty()) {
        tempDir = std::make_unique<QTemporaryDir>();
        dir = tempDir->path();
    } else {
        dir = QDir(opts.workDir).absolutePath();
        QDir().mkpath(dir);
    }
    if (!writeConfig(dir, busPort, linkPort, why) || !startMarlo(why))
        return false;
    if (!ensureClient()) {
        *why = QStringLiteral("the scanning client cannot log in: %1").arg(node.errorString());
        return false;
    }
    QString answer;
    if (request(QStringLiteral("SetPresetType Real"), &answer) != Answer::Ok
        || request(QStringLiteral("SetPresetValue %1").arg(opts.preset), &answer) != Answer::Ok) {
        *why = QStringLiteral("Marlo does not take the preset: %1").arg(answer);
        return false;
    }
    link.setExpectedBins(binsPerRecord);
    link.setSettleMs(20);
    return true;
}

void Scan::tearDown()
{
    if (marlo.state() != QProcess::NotRunning) {
        marlo.terminate();
        if (!marlo.waitForFinished(5000)) {
            marlo.kill();
            marlo.waitForFinished(5000);
        }
    }
    if (link.isConnected())
        link.close();
    if (node.isConnected())
        node.disconnectFromBus(1000);
    sims.reset();
    dsps.clear();
    hv = nullptr;
    if (bus)
        bus->stop();
    bus.reset();
}

bool Scan::ensureClient()
{
    if (node.isConnected())
        return true;
    if (busDown)
        return false;
    if (!node.connectToBus(QHostAddress::LocalHost, busPort, QStringLiteral("Ravel"),
                           QDir(opts.keyDir).filePath(QStringLiteral("Ravel.key")), 5000))
        return false;
    // Marlo's events; the server keeps the subscription while Marlo is away.
    node.send(QStringLiteral("System flgon %1").arg(marloName));
    return node.waitForLineMatching(QRegularExpression(QStringLiteral("@flgon ")), 5000).has_value();
}

void Scan::service()
{
    while (!timed.isEmpty()) {
        int first = 0;
        for (int i = 1; i < timed.size(); ++i)
            if (timed.at(i).due < timed.at(first).due)
                first = i;
        if (timed.at(first).due > now())
            break;
        const Timed t = timed.takeAt(first);
        t.action();
    }
    if (busFrozen || busAwaitMarlo) {
        const bool there = bus->nodeNames().contains(marloName);
        const double s = double(now() - freezeSince) / 1000.0;
        if (busFrozen && !there) {
            busFrozen = false;
            busAwaitMarlo = true;
            effectNote += QStringLiteral(" Marlo dropped the frozen link after %1 s.").arg(s, 0, 'f', 1);
        } else if (busAwaitMarlo && there) {
            busAwaitMarlo = false;
            effectNote += QStringLiteral(" Marlo logged in again %1 s after the fault began.").arg(s, 0, 'f', 1);
        } else if (s > 60.0) {
            if (busFrozen)
                bus->muteNode(marloName, false);
            effectNote += busFrozen ? QStringLiteral(" Marlo did not notice the frozen link in 60 s.")
                                    : QStringLiteral(" Marlo did not log in again within 60 s.");
            problem(QStringLiteral("STARS link fault at%1").arg(effectNote));
            busFrozen = busAwaitMarlo = false;
        }
    }
    if (now() - lastProgress > hangMs && !hangCounted) {
        hangCounted = true;
        ++fig.hangs;
        problem(QStringLiteral("no progress for %1 s").arg(hangMs / 1000));
    }
}

void Scan::idle(int ms)
{
    const qint64 deadline = now() + ms;
    do {
        const int slice = int(qBound<qint64>(qint64(0), deadline - now(), qint64(100)));
        if (node.isConnected()) {
            if (const std::optional<QString> line = node.waitForLine(slice)) {
                const StarsLine l = StarsLine::parse(*line);
                if (l.ok && l.kind == StarsLine::Event && l.fromName == marloName)
                    events << l;
            }
        } else {
            QThread::msleep(ulong(qMin(slice, 50)));
            ensureClient();
        }
        service();
    } while (now() < deadline && marlo.state() != QProcess::NotRunning);
}

bool Scan::waitLinkSound(int boundMs)
{
    const qint64 deadline = now() + boundMs;
    while ((linkDisturbed() || !ensureClient()) && now() < deadline && marlo.state() != QProcess::NotRunning)
        idle(100);
    return !linkDisturbed() && node.isConnected();
}

Scan::Answer Scan::request(const QString &text, QString *answer, int boundMs)
{
    answer->clear();
    const int epoch = linkEpoch;
    const QString cmd = text.section(QLatin1Char(' '), 0, 0);
    if (!ensureClient() || !node.send(QStringLiteral("%1 %2").arg(marloName, text)))
        return Answer::Lost;
    const qint64 deadline = now() + boundMs;
    while (now() < deadline && marlo.state() != QProcess::NotRunning) {
        if (!node.isConnected()) {
            if (linkEpoch != epoch || linkDisturbed())
                return Answer::Lost;
            idle(50);
            continue;
        }
        const std::optional<QString> line = node.waitForLine(100);
        service();
        if (!line)
            continue;
        const StarsLine l = StarsLine::parse(*line);
        if (!l.ok)
            continue;
        if (l.kind == StarsLine::Event && l.fromName == marloName) {
            events << l;
        } else if (l.kind == StarsLine::Answer && l.cmd == cmd) {
            progressMade();
            *answer = l.text;
            return StarsLine::isErrorText(l.text) ? Answer::Error : Answer::Ok;
        }
    }
    if (linkEpoch == epoch && !linkDisturbed() && marlo.state() != QProcess::NotRunning) {
        ++fig.unanswered;
        problem(QStringLiteral("no answer to \"%1\" within %2 s").arg(text).arg(boundMs / 1000));
    }
    return Answer::Lost;
}

void Scan::restartBus()
{
    bus->stop();
    busDown = true;
    ++linkEpoch;
    freezeSince = now();
    after(2000, [this] {
        if (!bus->start(QHostAddress::LocalHost, busPort))
            problem(QStringLiteral("the STARS server cannot listen again: %1").arg(bus->errorString()));
        busDown = false;
        busAwaitMarlo = true;
        ensureClient();
    });
}

void Scan::inject(const Planned &p, int phase)
{
    SimUnit *unit = dsps.value(p.unit);
    switch (p.fault) {
    case Fault::StreamStall:
        if (phase == 0) {
            SimFaults f;
            f.pieceBytes = binsPerRecord * 2;
            f.pieceGapMs = 800;
            unit->setFaults(f);
            attemptEnd << [unit] { unit->setFaults(SimFaults()); };
        }
        break;
    case Fault::HvSilent:
        if (phase == 0) {
            SimFaults f;
            f.silent = true;
            hv->setFaults(f);
            after(2000, [this] { hv->setFaults(SimFaults()); });
        }
        break;
    case Fault::BusRestart:
        if (phase == 1)
            restartBus();
        break;
    case Fault::BusFreeze:
        if (phase == 1 && bus->muteNode(marloName, true)) {
            busFrozen = true;
            ++linkEpoch;
            freezeSince = now();
        }
        break;
    case Fault::UnitUnplug:
        if (phase == 1) {
            SimFaults f;
            f.silent = true;
            f.refuseTcp = true;
            unit->setFaults(f);
            unit->dropTcp();
            after(3000, [unit] { unit->setFaults(SimFaults()); });
        }
        break;
    case Fault::StreamReset:
        if (phase == 1)
            unit->dropTcp();
        break;
    case Fault::LinkDrop:
    case Fault::NackJunk:
    case Fault::LinkStall:
        break;   // carried out while fetching
    }
}

bool Scan::waitIdle(int number, QString *why)
{
    qint64 deadline = now() + qint64(opts.preset * 1000.0) + 10000;
    for (;;) {
        for (const StarsLine &e : std::as_const(events)) {
            if (e.cmd == QLatin1String("ChangedIsBusy") && e.text.trimmed() == QLatin1String("0")) {
                progressMade();
                return true;
            }
        }
        if (marlo.state() == QProcess::NotRunning) {
            *why = QStringLiteral("Marlo ended");
            return false;
        }
        // The bound runs from the moment the STARS link is sound again.
        if (linkDisturbed() || !node.isConnected())
            deadline = qMax(deadline, now() + 10000);
        if (now() >= deadline)
            break;
        idle(100);
    }
    QString answer;
    const Answer r = request(QStringLiteral("IsBusy"), &answer);
    if (r == Answer::Ok && answer.trimmed() == QLatin1String("0")) {
        ++fig.eventsLost;
        problem(QStringLiteral("measurement %1 ended without ChangedIsBusy 0").arg(number));
        *why = QStringLiteral("no ChangedIsBusy 0 (IsBusy answered 0)");
    } else {
        *why = r == Answer::Ok ? QStringLiteral("still busy after the bound") : QStringLiteral("IsBusy not answered");
    }
    return false;
}

bool Scan::ensureDataLink()
{
    qint64 stray = link.isConnected() ? link.drain(20, 200) : 0;
    if (!link.isConnected()) {
        QString why;
        if (!link.connectTo(QStringLiteral("127.0.0.1"), linkPort, 5000, &why))
            return false;
        // A transfer Marlo sends again to a new link is taken and answered,
        // as a peer must, or Marlo waits for the answer and drops the link.
        const qint64 resent = link.drain(300, 6000);
        if (resent > 0)
            link.reply("Ack");
        stray += resent;
    }
    if (stray > 0)
        effectNote += QStringLiteral(" %1 bytes waited on the data link before GetMCAs.").arg(stray);
    return true;
}

void Scan::resetDataLink()
{
    link.close();
}

QString Scan::checkTransfer(const QList<PeerRecord> &records, int number, const QVector<quint32> &startsBefore) const
{
    if (records.size() != dsps.size() * 4)
        return QStringLiteral("%1 records, expected %2").arg(records.size()).arg(dsps.size() * 4);
    for (int k = 0; k < records.size(); ++k) {
        const PeerRecord &r = records.at(k);
        const int unit = k / 4;
        const quint32 ch = quint32(k % 4);
        const QString where = QStringLiteral("record %1 (dsp%2 channel %3): ").arg(k).arg(unit + 1).arg(ch);
        if (r.channel != ch)
            return where + QStringLiteral("carries channel %1").arg(r.channel);
        if (r.length != quint64(binsPerRecord) || r.bins.size() != binsPerRecord)
            return where + QStringLiteral("%1 bins").arg(r.length);
        if (r.inMeas != 0)
            return where + QStringLiteral("taken while measuring");
        if (!(qAbs(r.realTime - opts.preset) <= 1.0e-8 + 1.0e-12))
            return where + QStringLiteral("real time %1 s, preset %2 s").arg(r.realTime, 0, 'g', 12).arg(opts.preset);
        const quint32 startNow = dsps.at(unit)->startCount();
        if (startNow == startsBefore.at(unit))
            return where + QStringLiteral("the unit was not started for this point, the data are older");
        const QString stamp = HistogramStamp::check(r.bins, {quint32(unit), ch, startNow});
        if (!stamp.isEmpty())
            return where + stamp;
    }
    if (records.at(1).marker != quint32(number))
        return QStringLiteral("record 1 carries measurement number %1, expected %2").arg(records.at(1).marker).arg(number);
    return QString();
}

Scan::Attempt Scan::fetch(int number, const std::optional<Planned> &fault, const QVector<quint32> &startsBefore)
{
    Attempt a;
    if (!ensureDataLink()) {
        a.why = QStringLiteral("no data link");
        return a;
    }
    QString answer;
    if (request(QStringLiteral("GetMCAs"), &answer) != Answer::Ok) {
        a.why = QStringLiteral("GetMCAs answered \"%1\"").arg(answer);
        return a;
    }
    const std::optional<Fault> kind = fault ? std::optional<Fault>(fault->fault) : std::nullopt;
    const int expected = int(dsps.size()) * 4;
    QList<PeerRecord> records;
    QString why;
    if (kind == Fault::LinkStall)
        idle(4000);
    if (kind == Fault::LinkDrop) {
        const qint64 before = link.bytesReceived();
        link.readTransfer(2, 5000, records, &why);
        effectNote += QStringLiteral(" Link closed after %1 bytes.").arg(link.bytesReceived() - before);
        resetDataLink();
        if (!link.connectTo(QStringLiteral("127.0.0.1"), linkPort, 5000, &why)) {
            a.why = QStringLiteral("no data link after dropping it: %1").arg(why);
            return a;
        }
    }
    for (int round = 0; round < (kind == Fault::NackJunk ? 2 : 1); ++round) {
        const DataLinkReader::Outcome out = link.readTransfer(expected, 5000, records, &why);
        if (out != DataLinkReader::Outcome::Ok) {
            resetDataLink();
            a.why = QStringLiteral("transfer: %1").arg(why);
            return a;
        }
        progressMade();
        const QString bad = checkTransfer(records, number, startsBefore);
        if (!bad.isEmpty()) {
            ++fig.wrongSpectra;
            problem(QStringLiteral("measurement %1: wrong spectrum accepted: %2").arg(number).arg(bad));
            link.reply("Ack");
            a.why = QStringLiteral("wrong spectrum: %1").arg(bad);
            return a;
        }
        if (kind == Fault::NackJunk && round == 0)
            link.reply("NAck");
    }
    if (kind == Fault::NackJunk) {
        link.reply("?junk\r\n");
        idle(300);
    }
    link.reply("Ack");
    a.right = true;
    return a;
}

Scan::Attempt Scan::attempt(int point, int number, const std::optional<Planned> &fault)
{
    Q_UNUSED(point);
    Attempt a;
    if (!waitLinkSound(70000)) {
        a.why = QStringLiteral("the STARS link did not come back");
        return a;
    }
    QVector<quint32> before;
    for (SimUnit *s : std::as_const(dsps))
        before << s->startCount();
    if (fault)
        inject(*fault, 0);
    QString answer;
    const Answer r = request(QStringLiteral("RunStart %1").arg(number), &answer);
    if (r != Answer::Ok) {
        a.why = r == Answer::Error ? QStringLiteral("RunStart answered \"%1\"").arg(answer)
                                   : QStringLiteral("RunStart not answered");
        return a;
    }
    events.clear();
    if (fault)
        inject(*fault, 1);
    // A request to the silent HV unit must still be answered.
    if (fault && fault->fault == Fault::HvSilent && request(QStringLiteral("HVVol"), &answer) != Answer::Lost)
        effectNote += QStringLiteral(" HVVol answered \"%1\".").arg(answer);
    if (!waitIdle(number, &a.why))
        return a;
    if (request(QStringLiteral("GetValues"), &answer) != Answer::Ok) {
        a.why = QStringLiteral("GetValues answered \"%1\"").arg(answer);
        return a;
    }
    return fetch(number, fault, before);
}

// The fault planned for `point`, if any.
static std::optional<Planned> faultAt(const QList<Planned> &schedule, int point)
{
    std::optional<Planned> fault;
    for (const Planned &p : schedule)
        if (p.point == point)
            fault = p;
    return fault;
}

Figures Scan::run(const std::function<void(const QString &)> &progress)
{
    clock.start();
    fig = Figures();
    fig.maxMemoryGrowth = opts.maxMemoryGrowth;
    QString why;
    if (!setUp(&why)) {
        fig.aborted = why;
        tearDown();
        return fig;
    }
    progress(QStringLiteral("Marlo runs in %1").arg(dir));
    const QList<Planned> schedule = plan(opts.points, opts.faultEvery, opts.seed, opts.kinds, opts.units);
    progressMade();
    for (int point = 1; point <= opts.points; ++point) {
        const std::optional<Planned> fault = faultAt(schedule, point);
        effectNote.clear();
        QStringList failures;
        bool right = false;
        int tries = 0;
        while (!right && tries <= maxRetries && marlo.state() != QProcess::NotRunning) {
            const Attempt a = attempt(point, point + 100000 * tries, tries == 0 ? fault : std::nullopt);
            for (const auto &end : std::as_const(attemptEnd))
                end();
            attemptEnd.clear();
            ++tries;
            right = a.right;
            if (!right)
                failures << QStringLiteral("try %1: %2").arg(tries).arg(a.why);
        }
        ++fig.points;
        if (right && tries == 1)
            ++fig.rightFirstTry;
        else if (right)
            ++fig.rightAfterRetry;
        else
            ++fig.failed;
        const QString outcome = right ? (tries == 1 ? QStringLiteral("right at the first try")
                                                    : QStringLiteral("right at try %1").arg(tries))
                                      : QStringLiteral("FAILED after %1 tries").arg(tries);
        const QString detail = failures.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(failures.join(QStringLiteral("; ")));
        if (fault)
            fig.faults << FaultRecord{*fault, (outcome + detail + effectNote).trimmed()};
        if (!right)
            problem(QStringLiteral("point %1 failed: %2").arg(point).arg(failures.join(QStringLiteral("; "))));
        if (point == 1)
            fig.rssStartKiB = marloRssKiB();
        progress(QStringLiteral("point %1%2: %3%4").arg(point)
                     .arg(fault ? QStringLiteral(" [%1 dsp%2]").arg(faultName(fault->fault)).arg(fault->unit + 1) : QString())
                     .arg(outcome, detail));
        if (marlo.state() == QProcess::NotRunning) {
            fig.aborted = QStringLiteral("Marlo ended at point %1 (exit code %2)").arg(point).arg(marlo.exitCode());
            break;
        }
    }
    fig.rssEndKiB = marloRssKiB();
    fig.seconds = double(clock.elapsed()) / 1000.0;
    tearDown();
    return fig;
}

} // namespace Chaos
