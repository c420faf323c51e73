#include "datalinkrules.h"

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
