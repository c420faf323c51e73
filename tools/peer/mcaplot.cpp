#include "mcaplot.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

constexpr int leftMargin = 84;
constexpr int rightMargin = 24;
constexpr int topMargin = 44;
constexpr int bottomMargin = 56;

QString tickText(double v)
{
    if (v >= 1e6)
        return QString::number(v, 'g', 3);
    return QString::number(qint64(std::llround(v)));
}

} // namespace

QColor McaPlot::colour(int k)
{
    static const QColor palette[] = {
        QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44), QColor(148, 103, 189),
        QColor(255, 127, 14), QColor(23, 190, 207), QColor(140, 86, 75), QColor(227, 119, 194),
        QColor(127, 127, 127), QColor(188, 189, 34),
    };
    constexpr int n = int(sizeof palette / sizeof palette[0]);
    return palette[((k % n) + n) % n];
}

double McaPlot::niceStep(double range, int ticks)
{
    if (!(range > 0) || ticks < 1)
        return 1.0;
    const double raw = range / ticks;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / p;
    const double m = f <= 1.0 ? 1.0 : f <= 2.0 ? 2.0 : f <= 5.0 ? 5.0 : 10.0;
    return m * p;
}

QImage McaPlot::render(const QList<PeerRecord> &records, const QStringList &labels, const Options &o)
{
    QImage img(o.size, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    QFont font = p.font();
    font.setPixelSize(13);
    p.setFont(font);
    const QFontMetrics fm(font);

    const QRectF area(leftMargin, topMargin, o.size.width() - leftMargin - rightMargin,
                      o.size.height() - topMargin - bottomMargin);

    qsizetype nBins = 1;
    quint32 maxCount = 0;
    for (const PeerRecord &r : records) {
        nBins = std::max(nBins, r.bins.size());
        for (quint32 v : r.bins)
            maxCount = std::max(maxCount, v);
    }

    // Count axis.
    double yTop = 1.0;
    if (o.logScale) {
        yTop = std::pow(10.0, std::max(1.0, std::ceil(std::log10(std::max<double>(maxCount, 1.0) * 1.05))));
    } else {
        const double step = niceStep(std::max<double>(maxCount, 1.0), 6);
        yTop = std::max(step, std::ceil(std::max<double>(maxCount, 1.0) * 1.05 / step) * step);
    }
    auto yOf = [&](double v) {
        double f;
        if (o.logScale)
            f = v < 1.0 ? 0.0 : std::log10(v) / std::log10(yTop);
        else
            f = v / yTop;
        return area.bottom() - std::clamp(f, 0.0, 1.0) * area.height();
    };
    auto xOf = [&](double bin) { return area.left() + bin / double(nBins) * area.width(); };

    // ROI bands.
    for (int i = 0; i < o.rois.size(); ++i) {
        const auto &roi = o.rois.at(i);
        if (o.rois.indexOf(roi) != i)
            continue;
        const double x0 = std::clamp(xOf(roi.first), area.left(), area.right());
        const double x1 = std::clamp(xOf(roi.second + 1), area.left(), area.right());
        p.fillRect(QRectF(x0, area.top(), std::max(1.0, x1 - x0), area.height()), QColor(255, 190, 0, 60));
        p.setPen(QColor(200, 140, 0));
        p.drawText(QPointF(x0 + 3, area.top() + fm.ascent() + 2 + 16 * i),
                   QStringLiteral("ROI %1-%2").arg(roi.first).arg(roi.second));
    }

    // Grid and ticks.
    p.setPen(QPen(QColor(225, 225, 225), 1));
    QList<QPair<double, QString>> yTicks;
    if (o.logScale) {
        for (double v = 1.0; v <= yTop * 1.0001; v *= 10.0)
            yTicks << qMakePair(v, tickText(v));
    } else {
        const double step = niceStep(yTop, 6);
        for (double v = 0.0; v <= yTop * 1.0001; v += step)
            yTicks << qMakePair(v, tickText(v));
    }
    const double xStep = niceStep(double(nBins), 8);
    QList<double> xTicks;
    for (double b = 0.0; b <= double(nBins) + 0.5; b += xStep)
        xTicks << b;
    for (const auto &t : yTicks)
        p.drawLine(QPointF(area.left(), yOf(t.first)), QPointF(area.right(), yOf(t.first)));
    for (double b : xTicks)
        p.drawLine(QPointF(xOf(b), area.top()), QPointF(xOf(b), area.bottom()));

    p.setPen(Qt::black);
    for (const auto &t : yTicks) {
        const double y = yOf(t.first);
        p.drawLine(QPointF(area.left() - 5, y), QPointF(area.left(), y));
        const QRectF box(0, y - 10, area.left() - 8, 20);
        p.drawText(box, Qt::AlignRight | Qt::AlignVCenter, t.second);
    }
    for (double b : xTicks) {
        const double x = xOf(b);
        p.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 5));
        p.drawText(QRectF(x - 40, area.bottom() + 7, 80, 18), Qt::AlignHCenter | Qt::AlignTop, tickText(b));
    }
    p.drawText(QRectF(area.left(), o.size.height() - 24, area.width(), 20), Qt::AlignHCenter, QStringLiteral("bin"));
    p.save();
    p.translate(16, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter,
               o.logScale ? QStringLiteral("counts (log)") : QStringLiteral("counts"));
    p.restore();

    // Spectra: per pixel column the largest count of the bins it covers.
    p.setClipRect(area.adjusted(-1, -1, 1, 1));
    const int columns = std::max(1, int(area.width()));
    for (int k = 0; k < records.size(); ++k) {
        const QVector<quint32> &bins = records.at(k).bins;
        QPolygonF line;
        if (bins.size() <= columns) {
            for (qsizetype i = 0; i < bins.size(); ++i) {
                line << QPointF(xOf(double(i)), yOf(bins.at(i)));
                line << QPointF(xOf(double(i + 1)), yOf(bins.at(i)));
            }
        } else {
            for (int c = 0; c < columns; ++c) {
                const qsizetype b0 = qsizetype(double(c) / columns * double(nBins));
                const qsizetype b1 = std::min<qsizetype>(bins.size(), qsizetype(double(c + 1) / columns * double(nBins)));
                if (b0 >= bins.size())
                    break;
                quint32 m = 0;
                for (qsizetype i = b0; i < std::max(b1, b0 + 1); ++i)
                    m = std::max(m, bins.at(i));
                line << QPointF(area.left() + c + 0.5, yOf(m));
            }
        }
        p.setPen(QPen(colour(k), 1.3));
        p.drawPolyline(line);
    }
    p.setClipping(false);

    p.setPen(Qt::black);
    p.drawRect(area);

    // Title and legend.
    QFont bold = font;
    bold.setPixelSize(15);
    bold.setBold(true);
    p.setFont(bold);
    p.drawText(QRectF(area.left(), 8, area.width(), 26), Qt::AlignLeft | Qt::AlignVCenter, o.title);
    p.setFont(font);
    const int lineH = fm.height() + 3;
    const int maxLines = std::max(1, int(area.height() / lineH) - 1);
    int legendW = 0;
    for (const QString &l : labels)
        legendW = std::max(legendW, fm.horizontalAdvance(l));
    legendW += 34;
    const int shown = int(std::min<qsizetype>(labels.size(), maxLines));
    const bool more = labels.size() > shown;
    if (shown > 0) {
        const QRectF box(area.right() - legendW - 8, area.top() + 8, legendW, lineH * (shown + (more ? 1 : 0)) + 6);
        p.fillRect(box, QColor(255, 255, 255, 220));
        p.setPen(QColor(160, 160, 160));
        p.drawRect(box);
        for (int k = 0; k < shown; ++k) {
            const double y = box.top() + 3 + lineH * k + lineH / 2.0;
            p.setPen(QPen(colour(k), 3));
            p.drawLine(QPointF(box.left() + 6, y), QPointF(box.left() + 24, y));
            p.setPen(Qt::black);
            p.drawText(QRectF(box.left() + 30, y - lineH / 2.0, legendW - 30, lineH), Qt::AlignVCenter, labels.at(k));
        }
        if (more) {
            p.setPen(Qt::black);
            p.drawText(QRectF(box.left() + 30, box.top() + 3 + lineH * shown, legendW - 30, lineH), Qt::AlignVCenter,
                       QStringLiteral("... %1 more").arg(labels.size() - shown));
        }
    }
    p.end();
    return img;
}

bool McaPlot::save(const QImage &image, const QString &path, QString *error)
{
    QImageWriter w(path, "png");
    if (!w.write(image)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, w.errorString());
        return false;
    }
    return true;
}
