// Builds the five-field answer of the values command.
#include "valuesanswer.h"

void ValuesAnswer::add(quint64 total, quint64 roi, quint64 fastTotal, quint64 inputCount)
{
    grand += roi;
    totals << QString::number(total);
    rois << QString::number(roi);
    fastTotals << QString::number(fastTotal);
    inputCounts << QString::number(inputCount);
}

QString ValuesAnswer::text() const
{
    const QString blank(QLatin1Char(' '));
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(QString::number(grand), totals.join(blank), rois.join(blank),
             fastTotals.join(blank), inputCounts.join(blank));
}
