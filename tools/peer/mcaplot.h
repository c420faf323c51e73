#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

#include "peerrecord.h"

// Draws all spectra of a transfer into one image: counts over bins, one
// colour per element, a legend, linear or logarithmic count axis, and
// translucent bands for the ROIs.
class McaPlot
{
public:
    struct Options {
        QSize size = QSize(1200, 700);
        bool logScale = false;
        QList<QPair<int, int>> rois;   // first and last bin of each band
        QString title;
    };

    // labels: one per record (legend text).
    static QImage render(const QList<PeerRecord> &records, const QStringList &labels, const Options &options);
    static bool save(const QImage &image, const QString &path, QString *error);

    // The colour of element k.
    static QColor colour(int k);
    // Tick step: 1, 2 or 5 times a power of ten, giving about `ticks` ticks up to `range`.
    static double niceStep(double range, int ticks);
};
