// Draws spectra, with log scale and axes that fit the data.
#include "histogramplot.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

constexpr int legendRows = 8;   // the legend wraps into further columns after this many rows

} // namespace

QColor HistogramPlot::colour(int k)
{
    static const QColor palette[] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44), QColor(148, 103, 189),
        QColor(255, 127, 14), QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194),
        QColor(127, 127, 127), QColor(188, 189, 34),
    };
    constexpr int n = int(sizeof palette / sizeof palette[0]);
    const QColor base = palette[((k % n) + n) % n];
    // Past the palette, the same hues darker, then lighter.
    const int round = ((k / n) % 3 + 3) % 3;
    return round == 0 ? base : round == 1 ? base.darker(150) : base.lighter(140);
}

HistogramPlot::HistogramPlot(QWidget *parent)
    : QCustomPlot(parent)
{
    // Spectra of thousands of bins: no antialiasing, adaptive sampling (one
    // vertical stroke per pixel column), so that a redraw stays cheap.
    setNotAntialiasedElements(QCP::aeAll);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);
    xAxis->setLabel(tr("bin"));
    yAxis->setLabel(tr("counts"));
    legend->setVisible(true);
    legend->setFillOrder(QCPLayoutGrid::foRowsFirst);
    legend->setWrap(legendRows);
    legend->setBrush(QColor(255, 255, 255, 220));
    QFont lf = font();
    lf.setPointSizeF(std::max(6.0, lf.pointSizeF() - 1.0));
    legend->setFont(lf);
    axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    // Any range change not made here is the user's zoom or pan.
    auto userMoved = [this] {
        if (!m_fitting)
            m_follow = false;
    };
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, userMoved);
    connect(yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, userMoved);
}

void HistogramPlot::setTitle(const QString &title)
{
    if (title.isEmpty()) {
        if (m_title) {
            plotLayout()->remove(m_title);
            plotLayout()->simplify();
            m_title = nullptr;
        }
        return;
    }
    if (!m_title) {
        plotLayout()->insertRow(0);
        m_title = new QCPTextElement(this, title, QFont(font().family(), font().pointSize() + 1, QFont::Bold));
        plotLayout()->addElement(0, 0, m_title);
    } else {
        m_title->setText(title);
    }
}

void HistogramPlot::setTraces(const QList<Trace> &traces)
{
    const bool firstData = m_traces.isEmpty() && !traces.isEmpty();
    m_traces = traces;
    while (graphCount() > traces.size())
        removeGraph(graphCount() - 1);
    while (graphCount() < traces.size())
        addGraph();
    m_maxBins = 1;
    m_maxCount = 1;
    QVector<QCPGraphData> points;
    for (int k = 0; k < traces.size(); ++k) {
        const Trace &t = traces.at(k);
        QCPGraph *g = graph(k);
        g->setPen(QPen(colour(t.colour), 0));
        g->setName(t.label);
        g->setLineStyle(QCPGraph::lsLine);
        g->setAdaptiveSampling(true);
        points.resize(t.bins.size());
        for (int i = 0; i < t.bins.size(); ++i) {
            points[i].key = i;
            points[i].value = t.bins.at(i);
            m_maxCount = std::max(m_maxCount, t.bins.at(i));
        }
        g->data()->set(points, true);
        m_maxBins = std::max(m_maxBins, int(t.bins.size()));
    }
    updateBands();
    if (firstData)
        resetView();
    else if (m_follow)
        fitView();
}

void HistogramPlot::setBands(const QList<Band> &bands)
{
    m_bands = bands;
    updateBands();
}

void HistogramPlot::updateBands()
{
    while (m_bandItems.size() > m_bands.size())
        removeItem(m_bandItems.takeLast());
    while (m_bandItems.size() < m_bands.size()) {
        auto *r = new QCPItemRect(this);
        r->setLayer(QStringLiteral("background"));
        r->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
        r->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
        r->setSelectable(false);
        m_bandItems << r;
    }
    for (int i = 0; i < m_bands.size(); ++i) {
        const Band &b = m_bands.at(i);
        QColor c = b.colour < 0 ? QColor(255, 170, 0) : colour(b.colour);
        QCPItemRect *r = m_bandItems.at(i);
        r->topLeft->setCoords(b.first - 0.5, 0.0);
        r->bottomRight->setCoords(b.last + 0.5, 1.0);
        c.setAlpha(45);
        r->setBrush(c);
        c.setAlpha(110);
        r->setPen(QPen(c, 0));
    }
}

void HistogramPlot::setLogScale(bool on)
{
    if (on == m_log)
        return;
    m_log = on;
    m_fitting = true;
    if (on) {
        yAxis->setScaleType(QCPAxis::stLogarithmic);
        yAxis->setTicker(QSharedPointer<QCPAxisTickerLog>(new QCPAxisTickerLog));
        yAxis->setNumberFormat(QStringLiteral("eb"));
        yAxis->setNumberPrecision(0);
    } else {
        yAxis->setScaleType(QCPAxis::stLinear);
        yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
        yAxis->setNumberFormat(QStringLiteral("gb"));
        yAxis->setNumberPrecision(6);
    }
    m_fitting = false;
    resetView();
}

void HistogramPlot::resetView()
{
    m_follow = true;
    fitView();
}

void HistogramPlot::fitView()
{
    m_fitting = true;
    xAxis->setRange(-0.5, m_maxBins - 0.5);
    if (m_log)
        yAxis->setRange(0.5, std::max(10.0, double(m_maxCount) * 2.0));
    else
        yAxis->setRange(0.0, std::max(1.0, double(m_maxCount) * 1.05));
    m_fitting = false;
}

bool HistogramPlot::pick(const QPointF &pos, int *trace, int *bin, quint32 *counts) const
{
    if (m_traces.isEmpty() || !axisRect()->rect().contains(pos.toPoint()))
        return false;
    const int b = int(std::floor(xAxis->pixelToCoord(pos.x()) + 0.5));
    int best = -1;
    double bestDist = 0.0;
    for (int k = 0; k < m_traces.size(); ++k) {
        const QVector<quint32> &bins = m_traces.at(k).bins;
        if (b < 0 || b >= bins.size())
            continue;
        const double v = bins.at(b);
        const double y = m_log && v <= 0.0 ? axisRect()->bottom() : yAxis->coordToPixel(v);
        const double d = std::abs(y - pos.y());
        if (best < 0 || d < bestDist) {
            best = k;
            bestDist = d;
        }
    }
    if (best < 0)
        return false;
    *trace = best;
    *bin = b;
    *counts = m_traces.at(best).bins.at(b);
    return true;
}

QImage HistogramPlot::image(const QSize &size)
{
    return toPixmap(size.width(), size.height()).toImage();
}

QImage HistogramPlot::render(const QList<Trace> &traces, const QList<Band> &bands, bool logScale,
                            const QString &title, const QSize &size)
{
    HistogramPlot plot;
    plot.resize(size);
    plot.setTitle(title);
    plot.setLogScale(logScale);
    plot.setTraces(traces);
    plot.setBands(bands);
    plot.resetView();
    return plot.image(size);
}

bool HistogramPlot::savePng(const QImage &image, const QString &path, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !image.save(&f, "PNG") || !f.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}
