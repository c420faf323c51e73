// The Spectra window: lists the elements, plots their spectra and saves them as CSV.
#include "mcawindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QMouseEvent>
#include <QHideEvent>
#include <QShowEvent>
#include <QTableWidgetItem>

#include <memory>

#include "countrates.h"
#include "histogramplot.h"
#include "mcacsv.h"
#include "vexda.h"
#include "vexdas.h"

namespace {

const QColor red(255, 0, 0);
const QColor amberCell(255, 200, 60);
const QColor redCell(255, 110, 110);
const QSize pictureSize(1200, 700);

} // namespace

McaWindow::McaWindow(VexDAs *set, std::function<bool()> awaitingTransferReply, QWidget *parent)
    : QFrame(parent)
    , units(set)
    , awaitingTransferReply(std::move(awaitingTransferReply))
{
    setupUi(this);
    plotWidget = new HistogramPlot(PlotFrame);
    plotWidget->setObjectName(QStringLiteral("Plot"));
    plotWidget->setMinimumSize(400, 250);
    PlotBox->insertWidget(0, plotWidget, 1);
    Split->setStretchFactor(0, 3);
    Split->setStretchFactor(1, 1);
    Split->setSizes({480, 220});
    TopSplit->setStretchFactor(1, 1);

    const QStringList headers{tr("Element"), tr("Real time (s)"), tr("Live time (s)"), tr("Dead time (%)"),
                              tr("ICR (1/s)"), tr("OCR (1/s)"), tr("Total counts"), tr("ROI"),
                              tr("ROI counts"), tr("ROI rate (1/s)")};
    Rates->setColumnCount(int(headers.size()));
    Rates->setHorizontalHeaderLabels(headers);
    Rates->verticalHeader()->setVisible(false);
    Rates->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    saveDialog = new QFileDialog(this, tr("Save spectra into a folder"));
    saveDialog->setFileMode(QFileDialog::Directory);
    saveDialog->setOption(QFileDialog::ShowDirsOnly, true);
    saveDialog->setModal(false);
    connect(saveDialog, &QFileDialog::fileSelected, this, &McaWindow::saveChosen);
    connect(SaveSpectra, &QPushButton::clicked, saveDialog, &QFileDialog::show);

    connect(LogScale, &QCheckBox::toggled, this, [this](bool on) {
        plotWidget->setLogScale(on);
        plotWidget->replot();
    });
    connect(ResetView, &QPushButton::clicked, this, [this] {
        plotWidget->resetView();
        plotWidget->replot();
    });
    connect(RefreshNow, &QPushButton::clicked, this, &McaWindow::refreshNow);
    connect(Interval, &QDoubleSpinBox::valueChanged, this, &McaWindow::applyInterval);
    connect(ElementList, &QListWidget::itemChanged, this, &McaWindow::redraw);
    connect(plotWidget, &QCustomPlot::mouseMove, this, &McaWindow::cursorMoved);
    connect(units, &VexDAs::changedIsBusy, this, &McaWindow::busyChanged);
    connect(&intervalTimer, &QTimer::timeout, this, &McaWindow::intervalTick);
    stepTimer.setSingleShot(true);
    connect(&stepTimer, &QTimer::timeout, this, &McaWindow::step);

    auto monotonic = std::make_shared<QElapsedTimer>();
    monotonic->start();
    clock = [monotonic] { return monotonic->elapsed(); };

    fillElementList();
    applyInterval();
    takeDataSets();
}

void McaWindow::setClock(std::function<qint64()> msNow)
{
    clock = std::move(msNow);
}

McaWindow::~McaWindow() = default;

QString McaWindow::label(int k) const
{
    const Element &e = units->elements.at(k);
    return QStringLiteral("e%1 %2 ch%3").arg(k).arg(e.unit ? e.unit->name() : QString()).arg(e.ch);
}

void McaWindow::fillElementList()
{
    ElementList->blockSignals(true);
    ElementList->clear();
    for (int k = 0; k < units->elements.size(); ++k) {
        auto *item = new QListWidgetItem(label(k), ElementList);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        item->setForeground(HistogramPlot::colour(k));
    }
    ElementList->blockSignals(false);
    data.resize(units->elements.size());
    roiStart.resize(units->elements.size());
    roiEnd.resize(units->elements.size());
}

void McaWindow::setIntervalSec(double sec)
{
    Interval->setValue(sec);
    applyInterval();
}

void McaWindow::applyInterval()
{
    const int ms = int(Interval->value() * 1000.0);
    if (ms <= 0) {
        intervalTimer.stop();
        State->setText(tr("Refresh off"));
        return;
    }
    intervalTimer.start(ms);
}

void McaWindow::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    redraw();
}

void McaWindow::hideEvent(QHideEvent *event)
{
    // A closed window reads nothing.
    steps.clear();
    QFrame::hideEvent(event);
}

void McaWindow::intervalTick()
{
    if (!isVisible() || !steps.isEmpty())
        return;
    for (VexDA *u : std::as_const(units->units)) {
        if (u && u->inMeas) {
            startCycle();
            return;
        }
    }
}

void McaWindow::refreshNow()
{
    // A running cycle already shows what it does (reading, or waiting for
    // the data link).
    if (steps.isEmpty())
        startCycle();
}

void McaWindow::startCycle()
{
    steps.clear();
    silentUnits.clear();
    const qint64 now = clock();
    for (int u = 0; u < units->units.size(); ++u) {
        if (quietSince.contains(u) && now - quietSince.value(u) < silentRetryMs) {
            silentUnits << u;
            continue;
        }
        // Each refresh is one request to a unit: one marked as not answering
        // gets an awaited access again.
        units->units.at(u)->beginRequest();
        bool any = false;
        for (int k = 0; k < units->elements.size(); ++k) {
            if (units->elements.at(k).unit == units->units.at(u)) {
                steps << Step{u, k};
                any = true;
            }
        }
        if (any)
            steps << Step{u, -1};
    }
    if (steps.isEmpty()) {
        State->setText(silentUnits.isEmpty() ? tr("No element to read") : noAnswerText());
        return;
    }
    State->setText(tr("Reading the units..."));
    stepTimer.start(0);
}

void McaWindow::step()
{
    if (steps.isEmpty())
        return;
    // Nothing is read while a transfer waits for the peer's reply.
    if (awaitingTransferReply && awaitingTransferReply()) {
        State->setText(tr("Waiting for the data-link transfer to end..."));
        stepTimer.start(50);
        return;
    }
    State->setText(tr("Reading the units..."));
    const Step s = steps.takeFirst();
    VexDA *u = units->units.value(s.unit);
    if (u && !silentUnits.contains(s.unit)) {
        if (s.element < 0) {
            // A unit that measures with a preset has its times read by its
            // watch every few hundred milliseconds.
            if (!u->watchIsRunning())
                u->readTimes();
        } else {
            buffer.resize(qMin(u->mcaLength, int(VexDA::hgCapacity)));
            u->askHistogram(units->elements.at(s.element).ch, true, buffer.data());
            if (u->hgReady) {
                data[s.element].bins = buffer;
                if (quietSince.remove(s.unit) > 0)
                    emit log(tr("%1 answers the Spectra window again").arg(u->name()));
            } else {
                silentUnits << s.unit;
                if (!quietSince.contains(s.unit))
                    emit log(tr("%1 does not answer: the Spectra window tries it again every %2 s")
                                 .arg(u->name())
                                 .arg(silentRetryMs / 1000),
                             red);
                quietSince.insert(s.unit, clock());
            }
        }
    }
    if (steps.isEmpty())
        finishCycle();
    else
        stepTimer.start(0);
}

QString McaWindow::noAnswerText() const
{
    QStringList silent;
    for (int u : std::as_const(silentUnits))
        silent << units->units.at(u)->name();
    return silent.isEmpty() ? QString() : tr("No answer from %1").arg(silent.join(QStringLiteral(", ")));
}

void McaWindow::finishCycle()
{
    for (int k = 0; k < units->elements.size(); ++k) {
        const Element &e = units->elements.at(k);
        McaHistogram &s = data[k];
        s.channel = quint32(e.ch);
        s.inMeas = e.unit->inMeas ? 1 : 0;
        s.realTime = e.unit->realTime;
        s.liveTime = e.unit->liveTimes.value(e.ch);
        s.icr = e.unit->icrs.value(e.ch);
        roiStart[k] = e.unit->roiStart.value(e.ch);
        roiEnd[k] = e.unit->roiEnd.value(e.ch);
    }
    State->setText(noAnswerText());
    redraw();
    emit refreshed();
}

void McaWindow::busyChanged()
{
    // A measurement has ended: every unit has built its data set.
    if (!units->isBusy) {
        steps.clear();
        takeDataSets();
    }
}

void McaWindow::takeDataSets()
{
    for (int k = 0; k < units->elements.size(); ++k) {
        const Element &e = units->elements.at(k);
        McaHistogram &s = data[k];
        s = McaHistogram();
        s.channel = quint32(e.ch);
        const MCADataSet *set = e.unit->mcaSet;
        if (set && e.ch < set->chs.size()) {
            const MCAData *d = set->chs.at(e.ch);
            s.inMeas = d->inMeas();
            s.realTime = d->realTimeSec();
            s.liveTime = d->liveTimeSec();
            s.icr = d->icr();
            s.bins = QVector<quint32>(d->data, d->data + d->length);
        }
        roiStart[k] = e.unit->roiStart.value(e.ch);
        roiEnd[k] = e.unit->roiEnd.value(e.ch);
    }
    redraw();
}

void McaWindow::redraw()
{
    QList<HistogramPlot::Trace> traces;
    QList<HistogramPlot::Band> bands;
    shown.clear();
    for (int k = 0; k < data.size(); ++k) {
        const QListWidgetItem *item = ElementList->item(k);
        if (item && item->checkState() != Qt::Checked)
            continue;
        shown << k;
        traces << HistogramPlot::Trace{data.at(k).bins, label(k), k};
    }
    // One band per ROI: in its element's colour, or in the neutral colour
    // once for a range that several elements share.
    for (int k : std::as_const(shown)) {
        int sharing = 0;
        bool drawn = false;
        for (int j : std::as_const(shown)) {
            if (roiStart.at(j) == roiStart.at(k) && roiEnd.at(j) == roiEnd.at(k)) {
                ++sharing;
                drawn = drawn || j < k;
            }
        }
        if (!drawn)
            bands << HistogramPlot::Band{roiStart.at(k), roiEnd.at(k), sharing > 1 ? -1 : k};
    }
    plotWidget->setTraces(traces);
    plotWidget->setBands(bands);
    if (isVisible())
        plotWidget->replot();
    fillTable();
}

void McaWindow::fillTable()
{
    // One layout pass for the whole table, not one per cell.
    Rates->setUpdatesEnabled(false);
    const bool firstFill = Rates->rowCount() != data.size();
    Rates->setRowCount(int(data.size()));
    auto put = [this](int row, int col, const QString &text, const QColor &bg = QColor()) {
        QTableWidgetItem *it = Rates->item(row, col);
        if (!it) {
            it = new QTableWidgetItem;
            Rates->setItem(row, col, it);
        }
        it->setText(text);
        it->setTextAlignment(col == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
        it->setBackground(bg.isValid() ? QBrush(bg) : QBrush());
    };
    for (int k = 0; k < data.size(); ++k) {
        const McaHistogram &s = data.at(k);
        const CountRates r = CountRates::of(s.realTime, s.liveTime, s.bins, roiStart.at(k), roiEnd.at(k));
        const QColor dead = r.level == CountRates::Level::Red     ? redCell
                            : r.level == CountRates::Level::Amber ? amberCell
                                                                     : QColor();
        put(k, 0, label(k));
        put(k, 1, QString::number(s.realTime, 'f', 3));
        put(k, 2, QString::number(s.liveTime, 'f', 3));
        put(k, 3, QString::number(r.deadPercent, 'f', 1), dead);
        put(k, 4, QString::number(s.icr, 'f', 1));
        put(k, 5, QString::number(r.ocr, 'f', 1));
        put(k, 6, QString::number(r.total));
        put(k, 7, QStringLiteral("%1-%2").arg(roiStart.at(k)).arg(roiEnd.at(k)));
        put(k, 8, QString::number(r.roiCounts));
        put(k, 9, QString::number(r.roiRate, 'f', 1));
    }
    if (firstFill)
        Rates->resizeColumnsToContents();
    Rates->setUpdatesEnabled(true);
}

void McaWindow::cursorMoved(QMouseEvent *event)
{
    int trace = 0, bin = 0;
    quint32 counts = 0;
    if (!plotWidget->pick(event->position(), &trace, &bin, &counts)) {
        Cursor->clear();
        return;
    }
    Cursor->setText(tr("%1: bin %2, counts %3").arg(label(shown.at(trace))).arg(bin).arg(counts));
}

bool McaWindow::saveTo(const QString &dirPath, QString *error)
{
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (error)
            *error = tr("cannot make the folder %1").arg(dirPath);
        return false;
    }
    // The header's measurement count and number are those that "GetMCAs"
    // would put into the first two records: the first unit's data set's.
    const MCADataSet *first = units->units.isEmpty() ? nullptr : units->units.first()->mcaSet;
    for (int k = 0; k < data.size(); ++k) {
        const Element &e = units->elements.at(k);
        McaCsv::Info info;
        info.element = k;
        info.where = ElementInfo{int(units->units.indexOf(e.unit)), e.unit->name(), e.ch};
        info.hasMeasCount = true;
        info.measCount = first ? quint32(first->count) : 0;
        info.hasMeasNum = data.size() > 1;
        info.measNum = first ? quint32(first->measNum) : 0;
        if (!McaCsv::write(dir.filePath(McaCsv::fileName(info)), data.at(k), info, error))
            return false;
    }
    return HistogramPlot::savePng(plotWidget->image(pictureSize), dir.filePath(QStringLiteral("mcas.png")), error);
}

void McaWindow::saveChosen(const QString &dir)
{
    QString why;
    if (saveTo(dir, &why))
        emit log(tr("Spectra saved to %1").arg(dir));
    else
        emit log(tr("Spectra not saved: %1").arg(why), red);
}
