// Process-wide cache of the units' host-name look-ups.
#include "hostlookup.h"

#include <QEventLoop>
#include <QHash>
#include <QHostInfo>
#include <QSet>
#include <QTimer>

#include "dsplog.h"

namespace {

// Every name looked up in this process, with its address (null: none).
QHash<QString, QHostAddress> &resolvedHosts()
{
    static QHash<QString, QHostAddress> resolved;
    return resolved;
}

QHostAddress preferredAddress(const QHostInfo &info)
{
    const QList<QHostAddress> all = info.addresses();
    for (const QHostAddress &a : all) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    }
    return all.isEmpty() ? QHostAddress() : all.first();
}

} // namespace

QHostAddress HostLookup::resolve(const QString &host, int waitMs)
{
    resolveAll({host}, waitMs);
    return resolvedHosts().value(host);
}

void HostLookup::resolveAll(const QStringList &hosts, int waitMs)
{
    QHash<QString, QHostAddress> &resolved = resolvedHosts();
    QEventLoop loop;
    QSet<QString> pending;
    QList<int> ids;
    for (const QString &host : hosts) {
        if (host.isEmpty() || resolved.contains(host) || pending.contains(host))
            continue;
        pending.insert(host);
        ids << QHostInfo::lookupHost(host, &loop, [&, host](const QHostInfo &info) {
            resolved.insert(host, preferredAddress(info));
            pending.remove(host);
            if (pending.isEmpty())
                loop.quit();
        });
    }
    if (!pending.isEmpty()) {
        QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    for (const int id : std::as_const(ids))
        QHostInfo::abortHostLookup(id);
    for (const QString &host : std::as_const(pending)) {
        qCWarning(lcDsp) << "look-up of" << host << "gave no answer within" << waitMs << "ms";
        resolved.insert(host, QHostAddress());
    }
}
