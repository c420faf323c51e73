// Bounded draining of a freshly opened unit connection.
#include "connectiondrain.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>

#include "dsplog.h"

qint64 drainConnection(QTcpSocket &socket, qint64 maxBytes, int maxMs)
{
    QElapsedTimer t;
    t.start();
    qint64 drained = 0;
    for (;;) {
        const qint64 n = socket.bytesAvailable();
        if (n <= 0)
            break;
        const qint64 skipped = socket.skip(qMin(n, maxBytes - drained));
        if (skipped <= 0)
            break;
        drained += skipped;
        if (drained >= maxBytes || t.elapsed() >= maxMs) {
            qCDebug(lcDsp) << "draining stops after" << drained << "bytes," << t.elapsed() << "ms";
            break;
        }
        QThread::msleep(5);
        // Look at the socket itself, not only at what Qt has buffered.
        if (socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForReadyRead(0);
    }
    return drained;
}
