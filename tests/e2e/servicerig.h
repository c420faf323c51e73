#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "starsnode.h"

class Body;
class CfgFile;
class SimHost;
class SimUnit;
class Stars;
class StarsBusRunner;
class VexDA;

// A whole Marlo set-up on loopback for tests, the soak and benchmarks: a STARS
// bus in its own thread, simulated DSP (and HV) units in theirs, a
// configuration file, a Body in the calling thread (logged in to the bus, its
// units' TCP connected to the simulator) and a peer node "Ravel" subscribed to
// Marlo's events.
//
// The simulated units answer on UDP port 4660 of their own loopback address,
// as real units do; their TCP servers take ephemeral ports, and each unit of
// Body is pointed at its simulator's port after construction.
class ServiceRig
{
public:
    struct Unit {
        Unit(const QString &name, const QString &address, const QString &flags, bool bMode = false,
             const QString &configAddress = QString())
            : name(name), address(address), flags(flags), bMode(bMode), configAddress(configAddress)
        {
        }
        QString name;
        QString address;         // a loopback address, e.g. 127.0.6.1
        QString flags;           // the four use flags, e.g. "1 1 0 0"
        bool bMode = false;
        QString configAddress;   // written to the configuration instead of `address` (a host name)
    };

    ServiceRig();
    ~ServiceRig();

    // A simulated HV unit at `address` (UDP port 4660), started with the DSP
    // units; call before start(). The configuration names it only when the
    // test's lines say so (VEXHV).
    void addHv(const QString &name, const QString &address);

    // Builds everything; false (with error() telling why) when a part failed.
    // With `busUp` false the bus is down when Body starts (startBus() brings
    // it up on its port) and the peer is not logged in.
    bool start(const QList<Unit> &units, const QStringList &extraConfig = {}, bool busUp = true);
    QString error() const { return err; }

    Body *body() const { return bodyPtr.get(); }
    Stars *stars() const;
    // Destroys Body now, as the program does when it ends; the bus, the
    // simulator and the peer stay.
    void destroyBody();
    SimUnit *sim(const QString &name) const;
    // The simulator thread of the units; more units may be added and
    // started (SimHost::start) once start() has succeeded.
    SimHost *simulator() const { return simHost.get(); }
    VexDA *unit(const QString &name) const;
    StarsNode &peer() { return node; }
    StarsBusRunner *bus() const { return busRunner.get(); }
    QString dirPath() const { return dir.path(); }
    // A key file for one more node on the bus; its path.
    QString addKey(const QString &node);

    // The bus goes away (the peer with it) and comes back on the same port.
    void stopBus();
    bool startBus();
    // Logs the peer in (again) and subscribes it to Marlo's events.
    bool loginPeer();

    // Sends "Ravel><to> <request>" and returns the answer text (after
    // "@<cmd> "); a null string when no answer came. Events arriving on the
    // way are kept (events()); an answer to anything else is recorded in
    // strayAnswers.
    QString ask(const QString &request, const QString &to = QStringLiteral("Marlo"), int timeoutMs = 20000);
    // The whole answer line of the last ask.
    QString lastLine() const { return lastAnswerLine; }
    // The requests written to the bus in one go; each must be answered with
    // its whole answer line ("Marlo>Ravel @..."), once and in order (events
    // in between are kept). Empty when so, else what went wrong.
    QString burst(const QList<QPair<QString, QString>> &requestAndAnswer, int timeoutMs = 60000);
    // Every request got exactly one answer: with the units' faults cleared,
    // "Hello" is answered and no answer came that nobody asked for.
    bool allAnswered();

    // The lines of Body's log area without their time stamps (only the red
    // ones with `redOnly`), and how often `line` is among them.
    QStringList logLines(bool redOnly = false) const;
    int logCount(const QString &line) const;
    void clearLog();

    // Event texts received (after "_"), in order, not yet taken.
    QStringList events() const { return eventList; }
    QStringList takeEvents();
    // Waits until the event text arrives (taking the events up to it).
    bool waitForEvent(const QString &text, int timeoutMs = 10000);
    // Answers received that no ask was waiting for.
    QStringList strayAnswers;

    // Puts `v` into `words` 16-bit registers from `addr` on, high word first.
    static void poke(SimUnit *u, quint32 addr, quint64 v, int words = 3);
    // The values written to `addr` by requests the unit received, in order
    // (each the data bytes of a write request read big-endian).
    static QList<quint64> writesTo(const SimUnit *u, quint32 addr);
    // Number of read requests for `addr`.
    static int readsOf(const SimUnit *u, quint32 addr);

    static bool writeFile(const QString &path, const QByteArray &contents);
    // Marlo's configuration for the bus at `busPort` with the key file
    // `keyPath`: no log file, the data link on an ephemeral port.
    static QStringList configLines(quint16 busPort, const QString &keyPath);

private:
    void takeLine(const QString &line);

    QList<Unit> hvUnits;
    QTemporaryDir dir;
    std::unique_ptr<StarsBusRunner> busRunner;
    quint16 busPort = 0;
    std::unique_ptr<SimHost> simHost;
    std::unique_ptr<CfgFile> cfg;
    std::unique_ptr<Body> bodyPtr;
    StarsNode node;
    QStringList eventList;
    QString lastAnswerLine;
    QString err;
};
