// The texts of the time commands.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The texts of the time commands: every time as a number with format 'g' and
// 6 significant digits, and the mean of such texts.
class TimeTexts
{
public:
    static QStringList texts(const QList<double> &times);
    // The mean of the numbers the texts hold (so of the rounded values), as a
    // 'g' text; "0" for no text.
    static QString mean(const QStringList &texts);
};
