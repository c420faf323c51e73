// The Spectra window: spectra of all or the checked elements, with rates and CSV export.
#pragma once

#include <QColor>
#include <QFrame>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimer>
#include <QVector>

#include <functional>

#include "mcahistogram.h"
#include "ui_mcawindow.h"

class QFileDialog;
class QMouseEvent;
class HistogramPlot;
class VexDA;
class VexDAs;

// The Spectra window: the spectra of all elements (or of those checked in the
// list) with their ROI bands, a table of times and rates per element, and a
// refresh while the units measure.
//
// The refresh reads with its own buffers (it never touches the units' data
// sets, so "GetMCAs" sends what it would send without the window) and shares
// the thread: one step per event-loop turn, each step at most one histogram
// read or one unit's times, and no step while a data-link transfer waits for
// its reply. A unit that did not answer is left out of the refresh and tried
// again at most every silentRetryMs. When a measurement ends, the window
// shows a copy of the units' new data sets.
class McaWindow : public QFrame, private Ui_McaWindow
{
    Q_OBJECT

public:
    // `awaitingTransferReply` tells whether an asynchronous data-link transfer
    // waits for the peer's reply (a blocking transfer never lets the window step).
    McaWindow(VexDAs *set, std::function<bool()> awaitingTransferReply, QWidget *parent = nullptr);
    ~McaWindow() override;

    static constexpr qint64 silentRetryMs = 10000;
    // The clock (milliseconds) that paces the retries of silent units; a
    // monotonic one by default, for tests one they move themselves.
    void setClock(std::function<qint64()> msNow);

    // One per element, in element order: the data shown.
    const QList<McaHistogram> &spectra() const { return data; }
    bool cycleRunning() const { return !steps.isEmpty(); }
    HistogramPlot *plot() const { return plotWidget; }

    // The refresh interval in seconds (0: off).
    void setIntervalSec(double sec);

    // One CSV file per element (marlo-peer's format) and "mcas.png" in `dir`,
    // each through QSaveFile; false with `error` set on the first failure.
    bool saveTo(const QString &dir, QString *error);

public slots:
    // Reads every element's histogram and times now (the "Refresh" button).
    void refreshNow();
    // Shows a copy of every unit's data set.
    void takeDataSets();

signals:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    // A read cycle has ended and the plot and table show its data.
    void refreshed();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void intervalTick();
    void step();
    void busyChanged();
    void redraw();
    void saveChosen(const QString &dir);
    void cursorMoved(QMouseEvent *event);

private:
    struct Step {
        int unit;      // index in the set's unit list
        int element;   // element number; -1: the unit's times
    };
    void startCycle();
    void finishCycle();
    QString noAnswerText() const;   // "No answer from ..." for the silent units
    void fillElementList();
    void fillTable();
    QString label(int element) const;
    void applyInterval();

    VexDAs *units;
    std::function<bool()> awaitingTransferReply;
    HistogramPlot *plotWidget = nullptr;
    QFileDialog *saveDialog = nullptr;
    QList<McaHistogram> data;
    QList<int> roiStart, roiEnd;   // per element, from its unit as Marlo holds them
    QList<Step> steps;             // the rest of the running read cycle
    QList<int> silentUnits;        // units whose read failed in this cycle
    QHash<int, qint64> quietSince; // units that did not answer: the time of their last try
    std::function<qint64()> clock;
    QList<int> shown;              // element of each trace of the plot
    QVector<quint32> buffer;       // the window's own histogram buffer
    QTimer intervalTimer;
    QTimer stepTimer;
    bool listFilled = false;
};
