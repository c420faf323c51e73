#include "paramrules.h"

#include <cmath>
#include <limits>

int ParamRules::elementNo(const QString &text, int elementCount)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || n >= elementCount)
        return -1;
    return n;
}

int ParamRules::measNum(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok ? n : 0;
}

int ParamRules::presetType(const QString &text)
{
    const QString up = text.toUpper();
    if (up == QLatin1String("NONE"))
        return 0;
    if (up == QLatin1String("REAL"))
        return 1;
    if (up == QLatin1String("LIVE"))
        return 2;
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < 1)
        return 0;
    if (n <= 2)
        return int(n);
    return 1;
}

int ParamRules::normalizeType(const QString &text, int current)
{
    const QString up = text.toUpper();
    if (up == QLatin1String("REAL") || up == QLatin1String("0"))
        return 0;
    if (up == QLatin1String("LIVE") || up == QLatin1String("1"))
        return 1;
    if (up == QLatin1String("NONE") || up == QLatin1String("2"))
        return 2;
    return current;
}

QString ParamRules::normalizeName(int type)
{
    switch (type) {
    case 0:
        return QStringLiteral("Real");
    case 1:
        return QStringLiteral("Live");
    default:
        return QStringLiteral("None");
    }
}

double ParamRules::number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || std::isnan(v))
        return 0.0;
    return v;
}

quint32 ParamRules::configValue(const QString &text)
{
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"))) {
        const qulonglong v = text.mid(2).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFULL)
            return 0;
        return quint32(v);
    }
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v > qlonglong(0xFFFFFFFFLL) || v < qlonglong(std::numeric_limits<qint32>::min()))
        return 0;
    return quint32(v);
}

QString ParamRules::gText(double v)
{
    return QString::number(v, 'g', 6);
}

QString ParamRules::hexText(quint64 v)
{
    return QString::number(v, 16);
}
