// Reads the parameters of service requests and formats the answers.
#include "paramrules.h"

#include <cmath>
#include <limits>

namespace {

// Tells the caller whether the text was read; passes the value through.
template <typename T>
T readAs(T value, bool ok, bool *read)
{
    if (read)
        *read = ok;
    return value;
}

} // namespace

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

int ParamRules::presetType(const QString &text, bool *read)
{
    const QString up = text.toUpper();
    if (up == QLatin1String("NONE"))
        return readAs(0, true, read);
    if (up == QLatin1String("REAL"))
        return readAs(1, true, read);
    if (up == QLatin1String("LIVE"))
        return readAs(2, true, read);
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < 1)
        return readAs(0, ok, read);
    return readAs(n <= 2 ? int(n) : 1, true, read);
}

int ParamRules::normalizeType(const QString &text, int current, bool *read)
{
    const QString up = text.toUpper();
    if (up == QLatin1String("REAL") || up == QLatin1String("0"))
        return readAs(0, true, read);
    if (up == QLatin1String("LIVE") || up == QLatin1String("1"))
        return readAs(1, true, read);
    if (up == QLatin1String("NONE") || up == QLatin1String("2"))
        return readAs(2, true, read);
    return readAs(current, false, read);
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

double ParamRules::number(const QString &text, bool *read)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || std::isnan(v))
        return readAs(0.0, false, read);
    return readAs(v, true, read);
}

quint32 ParamRules::configValue(const QString &text, bool *read)
{
    bool ok = false;
    if (text.startsWith(QLatin1String("0x"))) {
        const qulonglong v = text.mid(2).toULongLong(&ok, 16);
        if (!ok || v > 0xFFFFFFFFULL)
            return readAs(0u, false, read);
        return readAs(quint32(v), true, read);
    }
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v > qlonglong(0xFFFFFFFFLL) || v < qlonglong(std::numeric_limits<qint32>::min()))
        return readAs(0u, false, read);
    return readAs(quint32(v), true, read);
}

QString ParamRules::gText(double v)
{
    return QString::number(v, 'g', 6);
}

QString ParamRules::hexText(quint64 v)
{
    return QString::number(v, 16);
}
