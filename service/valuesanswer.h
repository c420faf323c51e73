// The five-field answer of the values command.
#pragma once

#include <QString>
#include <QStringList>

// The five-field answer of "GetValues": the grand total of the ROI sums, then
// the histogram totals, the ROI sums, the fast total counts and the input
// counts of all elements, each list in element order.
class ValuesAnswer
{
public:
    void add(quint64 total, quint64 roi, quint64 fastTotal, quint64 inputCount);
    QString text() const;
    int count() const { return totals.size(); }

private:
    quint64 grand = 0;
    QStringList totals, rois, fastTotals, inputCounts;
};
