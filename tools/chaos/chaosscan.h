#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

#include "chaosplan.h"
#include "datalinkreader.h"
#include "starsline.h"
#include "starsnode.h"

class SimHost;
class SimUnit;
class StarsBusRunner;

namespace Chaos {

struct Options {
    int points = 100;
    double preset = 0.1;         // seconds of real time per point
    int faultEvery = 10;
    quint32 seed = 1;
    QString marlo;               // Marlo's executable
    QString keyDir;              // Marlo.key and Ravel.key
    QString workDir;             // Marlo's folder (config, key, log); empty: a temporary one
    QString jsonFile;            // where the JSON summary goes; empty: nowhere
    QList<Fault> kinds = allFaults();
    int units = 8;               // DSP units of four channels
    QString subnet = QStringLiteral("127.0.40.");   // units at .1 to .units, the HV unit after them
    double maxMemoryGrowth = 0.10;   // share of the start; negative: not checked
};

// What happened to a point that carried a fault.
struct FaultRecord {
    Planned planned;
    QString effect;
};

struct Figures {
    int points = 0;
    int rightFirstTry = 0;
    int rightAfterRetry = 0;
    int failed = 0;
    int wrongSpectra = 0;        // a check failed on data delivered as good
    int eventsLost = 0;          // the measurement ended, no ChangedIsBusy 0 within its bound
    int unanswered = 0;          // requests with no answer while the links were sound
    int hangs = 0;               // stretches of 30 s without progress
    long rssStartKiB = -1;
    long rssEndKiB = -1;
    double maxMemoryGrowth = 0.10;   // negative: not checked
    double seconds = 0.0;
    QString aborted;             // why the scan stopped early (Marlo ended, set-up failed)
    QList<FaultRecord> faults;
    QStringList problems;        // the first problems, for the report

    double memoryGrowth() const;
    bool passed() const;
};

// A step scan against a Marlo process: a STARS bus and the simulated units
// (stamp mode) run in this process, Marlo in its own, this object is the
// measurement program. Single-threaded; the bus and the units serve from
// threads of their own.
class Scan
{
public:
    explicit Scan(const Options &options);
    ~Scan();

    // Runs the whole scan; `progress` gets one line per point.
    Figures run(const std::function<void(const QString &)> &progress);

private:
    struct Attempt {
        bool right = false;
        QString why;             // what went wrong; empty when right
    };
    enum class Answer { Ok, Error, Lost };

    bool setUp(QString *why);
    void tearDown();
    bool writeConfig(const QString &dir, quint16 busPort, quint16 linkPort, QString *why);
    bool startMarlo(QString *why);

    Attempt attempt(int point, int number, const std::optional<Planned> &fault);
    bool waitIdle(int number, QString *why);
    Attempt fetch(int number, const std::optional<Planned> &fault, const QVector<quint32> &startsBefore);
    QString checkTransfer(const QList<PeerRecord> &records, int number, const QVector<quint32> &startsBefore) const;

    // One request to Marlo; `answer` gets the text after the command word.
    Answer request(const QString &text, QString *answer, int boundMs = 20000);
    // Lets time pass: reads STARS lines (events are kept), carries out
    // timed fault actions, watches Marlo and progress.
    void idle(int ms);
    void service();
    void progressMade();
    bool linkDisturbed() const { return busDown || busFrozen || busAwaitMarlo; }
    bool waitLinkSound(int boundMs);
    bool ensureClient();
    bool ensureDataLink();
    void resetDataLink();
    void restartBus();   // the STARS server down for 2 s, then up again
    void inject(const Planned &p, int phase);
    void after(int ms, std::function<void()> action);
    void problem(const QString &text);
    long marloRssKiB() const;
    qint64 now() const { return clock.elapsed(); }

    Options opts;
    Figures fig;
    QElapsedTimer clock;
    std::unique_ptr<QTemporaryDir> tempDir;
    QString dir;
    std::unique_ptr<StarsBusRunner> bus;
    quint16 busPort = 0;
    quint16 linkPort = 0;
    std::unique_ptr<SimHost> sims;
    QList<SimUnit *> dsps;
    SimUnit *hv = nullptr;
    QProcess marlo;
    StarsNode node;
    DataLinkReader link;
    QList<StarsLine> events;
    struct Timed {
        qint64 due;
        std::function<void()> action;
    };
    QList<Timed> timed;
    QList<std::function<void()>> attemptEnd;   // undone when the attempt ends
    bool busDown = false;
    bool busFrozen = false;
    bool busAwaitMarlo = false;  // the server is back, Marlo not yet logged in again
    qint64 freezeSince = 0;
    int linkEpoch = 0;           // counts link faults begun
    qint64 lastProgress = 0;
    bool hangCounted = false;
    QString effectNote;          // what the current fault did, collected during its point
};

} // namespace Chaos
