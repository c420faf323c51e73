#pragma once

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

class QThread;
class SimUnit;

// Owns the simulator thread and the simulated units. The units' sockets are
// created and served in that thread, so a program under test may block its
// own event loop while it waits for answers.
class SimHost : public QObject
{
    Q_OBJECT
public:
    explicit SimHost(QObject *parent = nullptr);
    ~SimHost() override;           // stops the thread, destroys the units

    // udpPort/tcpPort 0 = ephemeral (tests); 4660/24 = the real ports (marlo-sim default)
    SimUnit *addDsp(const QString &name, const QHostAddress &addr, quint16 udpPort = 4660, quint16 tcpPort = 24,
                    bool bMode = false);
    SimUnit *addHv(const QString &name, const QHostAddress &addr, quint16 udpPort = 4660);

    // Binds the sockets of every unit not yet serving, in the simulator
    // thread; false (with a qWarning per unit) if any bind failed.
    bool start();
    // Closes every unit's sockets; start() opens them again.
    void stop();

    QList<SimUnit *> units() const;
    SimUnit *unit(const QString &name) const;

private:
    SimUnit *add(SimUnit *u);

    QThread *thread = nullptr;
    QObject *context = nullptr;    // lives in the simulator thread
    mutable QMutex mutex;
    QList<SimUnit *> list;
};
