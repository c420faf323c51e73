// The bounds of one ROI as the ROI commands give them.
#pragma once

#include <QString>
#include <QStringList>

// The bounds of one ROI as "SetROI" and "SetROIs" give them: two decimal
// numbers in either order; the smaller is the start, the larger the end.
struct RoiBounds
{
    double from = 0.0;    // the smaller number, as given (for log lines)
    double to = 0.0;      // the larger number
    int start = 0;        // `from` clamped to the int range, truncated toward zero
    int end = 0;          // `to` likewise
    QStringList unread;   // the given texts that were no number

    // Missing text, no number and NaN read as 0; infinities and numbers beyond
    // the int range are clamped to it before they are truncated.
    static RoiBounds fromTexts(const QString &a, const QString &b);
    static int toIntClamped(double v);
};
