// Bounded draining of a freshly opened unit connection.
#pragma once

#include <QtGlobal>

class QTcpSocket;

// Drops what a unit sends on a fresh connection before any data were asked
// for, within bounds: at most `maxBytes` and about `maxMs` per call, so that a
// unit that keeps sending is drained again at its next arrival, with the
// event loop running in between. Returns the bytes dropped.
qint64 drainConnection(QTcpSocket &socket, qint64 maxBytes, int maxMs);
