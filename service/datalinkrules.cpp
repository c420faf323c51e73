// Reads the data link's texts: its listening address and its replies.
#include "datalinkrules.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

QHostAddress DataLinkRules::listenAddress(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress a;
    if (t.isEmpty() || !a.setAddress(t))
        return QHostAddress();
    return a;
}

int DataLinkRules::delayMs(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || std::isnan(v) || v <= 0.0)
        return 0;
    if (v >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return int(v);
}

QList<QHostAddress> DataLinkRules::allowList(const QString &text, QStringList &bad)
{
    QList<QHostAddress> out;
    for (const QString &w : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QHostAddress a = listenAddress(w);
        if (a.isNull())
            bad << w;
        else
            out << a;
    }
    return out;
}

bool DataLinkRules::allowed(const QList<QHostAddress> &list, const QHostAddress &peer)
{
    for (const QHostAddress &a : list) {
        if (a.isEqual(peer, QHostAddress::ConvertV4MappedToIPv4))
            return true;
    }
    return false;
}
