#pragma once

class QAbstractSocket;

// Runs a nested event loop of the calling thread until `sock` has new data,
// is disconnected, or `timeoutMs` has passed, so that objects of that thread
// (a bus, a Marlo under test) keep working meanwhile. Returns false when the
// time ran out.
bool waitForSocketEvent(QAbstractSocket &sock, int timeoutMs);
