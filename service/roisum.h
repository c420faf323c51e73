// Sums over one channel histogram, as the value commands need.
#pragma once

#include <QtGlobal>

// Sums over one channel histogram of `length` bins, as the value commands
// read them. Ranges are clipped to the bins that exist, so no ROI can read
// outside the histogram.
class RoiSum
{
public:
    // "GetValue": bins from `start` up to but not including `end`.
    static quint64 exclusive(const quint32 *bins, int length, int start, int end);
    // "GetValues": bins from `start` to `end`, both included.
    static quint64 inclusive(const quint32 *bins, int length, int start, int end);
    // All bins.
    static quint64 total(const quint32 *bins, int length);
};
