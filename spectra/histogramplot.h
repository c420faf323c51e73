// The plot of spectra shared by the Spectra window and the peer's picture.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QVector>

#include <qcustomplot.h>

// The plot of spectra shared by the Spectra window and marlo-peer's picture:
// counts over bins, one colour per trace with a legend, a linear or
// logarithmic count axis, zoom and pan on both axes (mouse drag and wheel),
// and shaded ROI bands. The axes follow the data (fit it at each setTraces)
// until the user zooms or pans; resetView() returns to following. render() draws the same plot into an image without
// showing a window (it needs a QApplication, on any platform, offscreen too).
class HistogramPlot : public QCustomPlot
{
    Q_OBJECT

public:
    struct Trace {
        QVector<quint32> bins;
        QString label;
        int colour = 0;        // index into colour()
    };
    // A shaded band over the bins first to last (both included), in the
    // colour of trace `colour`, or a neutral amber when colour < 0.
    struct Band {
        int first = 0;
        int last = 0;
        int colour = -1;
    };

    explicit HistogramPlot(QWidget *parent = nullptr);

    void setTraces(const QList<Trace> &traces);
    void setBands(const QList<Band> &bands);
    void setLogScale(bool on);
    bool logScale() const { return m_log; }
    void setTitle(const QString &title);
    // Both axes back to the whole of the data, and following it again.
    void resetView();

    // The trace drawn nearest to `pos` (widget pixels) at the bin under it:
    // false when there is no trace or the position lies outside the bins.
    bool pick(const QPointF &pos, int *trace, int *bin, quint32 *counts) const;

    // The plot drawn at `size` into an image.
    QImage image(const QSize &size);
    static QImage render(const QList<Trace> &traces, const QList<Band> &bands, bool logScale,
                         const QString &title, const QSize &size);

    // Writes the image as PNG through QSaveFile; false with `error` set on failure.
    static bool savePng(const QImage &image, const QString &path, QString *error);

    static QColor colour(int k);

private:
    void updateBands();
    void fitView();

    QList<Trace> m_traces;
    QList<Band> m_bands;
    QList<QCPItemRect *> m_bandItems;
    QCPTextElement *m_title = nullptr;
    bool m_log = false;
    bool m_follow = true;
    bool m_fitting = false;   // the ranges are being set by the plot itself
    int m_maxBins = 1;
    quint32 m_maxCount = 1;
};
