#include "socketwait.h"

#include <QAbstractSocket>
#include <QEventLoop>
#include <QTimer>

bool waitForSocketEvent(QAbstractSocket &sock, int timeoutMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&sock, &QAbstractSocket::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(&sock, &QAbstractSocket::disconnected, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return timer.isActive();
}
