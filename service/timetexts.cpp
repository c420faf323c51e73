// Formats the texts of the time commands.
#include "timetexts.h"

#include "paramrules.h"

QStringList TimeTexts::texts(const QList<double> &times)
{
    QStringList out;
    out.reserve(times.size());
    for (double t : times)
        out << ParamRules::gText(t);
    return out;
}

QString TimeTexts::mean(const QStringList &texts)
{
    double sum = 0.0;
    for (const QString &t : texts)
        sum += t.toDouble();
    const double m = texts.isEmpty() ? 0.0 : sum / texts.size();
    return ParamRules::gText(m);
}
