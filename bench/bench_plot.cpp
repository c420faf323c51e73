// A redraw of the Spectra window's plot: 32 spectra of 4096 bins put into
// the plot and drawn (offscreen), linear and logarithmic count axis, against
// the floor measured in the same run: the same 32 spectra drawn by hand with
// QPainter as one polyline each, reduced to the largest count per pixel
// column, into an image of the same size. Minima of interleaved rounds.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>

#include "benchutil.h"
#include "histogramplot.h"

namespace {

constexpr int spectraCount = 32;
constexpr int bins = 4096;
const QSize plotSize(1000, 600);

// Two sets of spectra with peaks and noise, so that each redraw has new data.
QList<HistogramPlot::Trace> makeTraces(int seed)
{
    QList<HistogramPlot::Trace> out;
    quint32 r = quint32(seed) * 2654435761u + 1;
    for (int k = 0; k < spectraCount; ++k) {
        HistogramPlot::Trace t;
        t.bins.resize(bins);
        for (int i = 0; i < bins; ++i) {
            r = r * 1664525u + 1013904223u;
            const double peak = 5000 * std::exp(-std::pow((i - 800 - 50 * k) / 12.0, 2))
                                + 2000 * std::exp(-std::pow((i - 2500) / 20.0, 2));
            t.bins[i] = quint32(peak + 100 * std::exp(-i / 1500.0) + (r >> 27));
        }
        t.label = QStringLiteral("e%1").arg(k);
        t.colour = k;
        out << t;
    }
    return out;
}

double msPerCall(int n, const std::function<void()> &f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i)
        f();
    return double(t.nsecsElapsed()) / 1e6 / n;
}

void row(const char *figure, double value, double floor, const char *target)
{
    std::printf("%s | %.1f ms | %.1f ms | %.2f | %s\n", figure, value, floor, value / floor, target);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    const QList<HistogramPlot::Trace> sets[2] = {makeTraces(1), makeTraces(2)};
    int gen = 0;

    HistogramPlot plot;
    plot.resize(plotSize);
    plot.show();
    QList<HistogramPlot::Band> bands;
    for (int k = 0; k < spectraCount; ++k)
        bands << HistogramPlot::Band{700 + 50 * k, 900 + 50 * k, k};
    plot.setBands(bands);
    auto redraw = [&] {
        gen ^= 1;
        plot.setTraces(sets[gen]);
        plot.replot(QCustomPlot::rpImmediateRefresh);
    };

    QImage image(plotSize, QImage::Format_RGB32);
    auto floorFn = [&] {
        gen ^= 1;
        image.fill(Qt::white);
        QPainter p(&image);
        const int w = plotSize.width();
        for (int k = 0; k < spectraCount; ++k) {
            const QVector<quint32> &b = sets[gen].at(k).bins;
            QPolygonF line;
            for (int c = 0; c < w; ++c) {
                quint32 m = 0;
                for (int i = c * bins / w; i < (c + 1) * bins / w; ++i)
                    m = std::max(m, b.at(i));
                line << QPointF(c, plotSize.height() * (1.0 - m / 8000.0));
            }
            p.setPen(HistogramPlot::colour(k));
            p.drawPolyline(line);
        }
    };

    bench::header();
    for (bool log : {false, true}) {
        plot.setLogScale(log);
        for (int i = 0; i < 3; ++i) {
            redraw();
            floorFn();
        }
        const bench::Pair r = bench::compareMinima(
            9, [&] { return msPerCall(5, floorFn); }, [&] { return msPerCall(5, redraw); });
        row(log ? "Spectra plot redraw, 32 x 4096 bins, log axis" : "Spectra plot redraw, 32 x 4096 bins, linear axis",
            r.value, r.floor, log ? "-" : "<= 30 ms");
    }
    return 0;
}
