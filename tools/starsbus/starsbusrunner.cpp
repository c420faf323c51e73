#include "starsbusrunner.h"

#include <QMetaObject>

#include "starsbus.h"

template <typename F>
auto StarsBusRunner::call(F f) const
{
    decltype(f()) result{};
    if (bus)
        QMetaObject::invokeMethod(bus, f, Qt::BlockingQueuedConnection, &result);
    return result;
}

StarsBusRunner::StarsBusRunner(const QString &keyDir)
    : dir(keyDir)
{
    thread.setObjectName(QStringLiteral("starsbus"));
}

StarsBusRunner::~StarsBusRunner()
{
    stop();
}

bool StarsBusRunner::start(const QHostAddress &address, quint16 port)
{
    stop();
    thread.start();
    bus = new StarsBus(dir);
    bus->moveToThread(&thread);
    StarsBus *b = bus;
    const bool fixed = fixedChallenge;
    const qint64 n = challengeValue;
    const bool ok = call([b, address, port, fixed, n] {
        if (fixed)
            b->setFixedChallenge(n);
        return b->listen(address, port);
    });
    error = call([b] { return b->errorString(); });
    if (!ok) {
        stop();
        return false;
    }
    boundAddress = call([b] { return b->serverAddress(); });
    boundPort = call([b] { return b->port(); });
    return true;
}

void StarsBusRunner::stop()
{
    if (bus) {
        StarsBus *b = bus;
        call([b] {
            b->close();
            b->deleteLater();
            return true;
        });
        bus = nullptr;
    }
    if (thread.isRunning()) {
        thread.quit();
        thread.wait();
    }
    boundPort = 0;
}

QStringList StarsBusRunner::nodeNames() const
{
    StarsBus *b = bus;
    return call([b] { return b->nodeNames(); });
}

bool StarsBusRunner::disconnectNode(const QString &name)
{
    StarsBus *b = bus;
    return call([b, name] { return b->disconnectNode(name); });
}

bool StarsBusRunner::muteNode(const QString &name, bool on)
{
    StarsBus *b = bus;
    return call([b, name, on] { return b->setMuted(name, on); });
}

void StarsBusRunner::setFixedChallenge(qint64 n)
{
    fixedChallenge = true;
    challengeValue = n;
    StarsBus *b = bus;
    call([b, n] {
        b->setFixedChallenge(n);
        return true;
    });
}

void StarsBusRunner::setRandomChallenge()
{
    fixedChallenge = false;
    StarsBus *b = bus;
    call([b] {
        b->setRandomChallenge();
        return true;
    });
}
