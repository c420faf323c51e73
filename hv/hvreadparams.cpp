// Converts the HV unit's raw voltage reading into volts.
#include "hvreadparams.h"

#include "cfgfile.h"

HvReadParams HvReadParams::ofType(int type)
{
    HvReadParams p;
    switch (type) {
    case 1:
        p.rawMin = 0;
        p.rawMax = 0xFFF;
        break;
    case 2:
        p.rawMin = 0;
        p.rawMax = 0x7FF;
        break;
    default:
        break;   // type 0: the defaults
    }
    return p;
}

quint32 HvReadParams::readRawWord(const QString &word)
{
    bool ok = false;
    quint32 v;
    if (word.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = word.mid(2).toUInt(&ok, 16);
    else
        v = word.toUInt(&ok, 10);
    return ok ? v : 0;
}

bool HvReadParams::fromParamsText(const QString &rest, HvReadParams &out)
{
    if (rest.trimmed().isEmpty())
        return false;
    QString fs, mn, mx;
    QString r = splitFirstItem(rest, fs);
    r = splitFirstItem(r, mn);
    splitFirstItem(r, mx);
    HvReadParams p;
    p.fullScale = fs.toDouble();   // not a number gives 0
    p.rawMin = readRawWord(mn);
    p.rawMax = readRawWord(mx);
    out = p;
    return true;
}

bool HvReadParams::fromTypeText(const QString &rest, HvReadParams &out)
{
    if (rest.trimmed().isEmpty())
        return false;
    QString word;
    splitFirstItem(rest, word);
    bool ok = false;
    int t = word.toInt(&ok, 10);
    if (!ok)
        t = 0;   // not a number, or too large for an int, counts as type 0
    if (t < 0 || t > 2)
        return false;
    out = ofType(t);
    return true;
}
