#include "simhost.h"

#include "simunit.h"

#include <QDebug>
#include <QMetaObject>
#include <QThread>

SimHost::SimHost(QObject *parent)
    : QObject(parent)
{
    thread = new QThread;
    thread->setObjectName(QStringLiteral("simulator"));
    context = new QObject;
    context->moveToThread(thread);
    thread->start();
}

SimHost::~SimHost()
{
    QList<SimUnit *> all;
    {
        QMutexLocker lock(&mutex);
        all.swap(list);
    }
    QMetaObject::invokeMethod(context, [&all] {
        for (SimUnit *u : all)
            u->shutdown();
        qDeleteAll(all);
    }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete context;
    delete thread;
}

SimUnit *SimHost::add(SimUnit *u)
{
    u->moveToThread(thread);
    QMutexLocker lock(&mutex);
    list.append(u);
    return u;
}

SimUnit *SimHost::addDsp(const QString &name, const QHostAddress &addr, quint16 udpPort, quint16 tcpPort, bool bMode)
{
    return add(new SimUnit(SimUnit::Kind::Dsp, name, addr, udpPort, tcpPort, bMode));
}

SimUnit *SimHost::addHv(const QString &name, const QHostAddress &addr, quint16 udpPort)
{
    return add(new SimUnit(SimUnit::Kind::Hv, name, addr, udpPort, 0));
}

bool SimHost::start()
{
    const QList<SimUnit *> all = units();
    bool ok = true;
    QMetaObject::invokeMethod(context, [&all, &ok] {
        for (SimUnit *u : all) {
            if (u->isOpen())
                continue;
            if (!u->open()) {
                ok = false;
                qWarning().noquote() << QStringLiteral("simulated unit %1 at %2: %3")
                                            .arg(u->name(), u->address().toString(), u->errorString());
            }
        }
    }, Qt::BlockingQueuedConnection);
    return ok;
}

void SimHost::stop()
{
    const QList<SimUnit *> all = units();
    QMetaObject::invokeMethod(context, [&all] {
        for (SimUnit *u : all)
            u->shutdown();
    }, Qt::BlockingQueuedConnection);
}

QList<SimUnit *> SimHost::units() const
{
    QMutexLocker lock(&mutex);
    return list;
}

SimUnit *SimHost::unit(const QString &name) const
{
    QMutexLocker lock(&mutex);
    for (SimUnit *u : list)
        if (u->name() == name)
            return u;
    return nullptr;
}
