// The CSV file of one element's spectrum.
#pragma once

#include <QByteArray>
#include <QString>

#include "mcahistogram.h"

// The CSV file of one element's spectrum: "#" header lines (element, unit,
// channel, times, count rate, the transfer's measurement count and number),
// then "bin,counts" and one line per bin. marlo-peer and the Spectra window
// both write their files with it.
class McaCsv
{
public:
    struct Info {
        int element = 0;
        ElementInfo where;
        bool hasMeasCount = false;   // the transfer had a first record
        quint32 measCount = 0;
        bool hasMeasNum = false;     // the transfer had a second record
        quint32 measNum = 0;
    };

    // "mca_e03_dsp2_ch1.csv", or with an unknown unit name "mca_e03_u1_ch1.csv".
    static QString fileName(const Info &info);
    static QByteArray contents(const McaHistogram &spectrum, const Info &info);
    // Writes the file; false with `error` set on failure.
    static bool write(const QString &path, const McaHistogram &spectrum, const Info &info, QString *error);
};
