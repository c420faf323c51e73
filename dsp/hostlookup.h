// Process-wide cache of the units' host-name look-ups.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

// Host names of the units, looked up once per process. The program has one
// thread: the answers come through a local event loop with a bounded wait.
class HostLookup
{
public:
    static constexpr int defaultWaitMs = 2000;

    // The address of `host`, looked up (at most `waitMs`) unless it was
    // already; an IPv4 address is preferred. Null when it does not resolve.
    static QHostAddress resolve(const QString &host, int waitMs = defaultWaitMs);
    // Looks up every name not yet looked up, all at once, waiting at most
    // `waitMs` for all of them together.
    static void resolveAll(const QStringList &hosts, int waitMs = defaultWaitMs);
};
