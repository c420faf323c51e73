// The DSP setting window: rows of register values to read, edit, write back, save and load.
#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QString>

#include "configline.h"
#include "dspdata.h"
#include "dspsettingengine.h"
#include "vexdas.h"

#include "ui_dspsettingctrl.h"

class QMessageBox;
class QShowEvent;
class QFileDialog;
class QProgressBar;
class VexDA;

// The DSP setting window: shows the values read out of every register of
// every unit, the new values to write and those of a loaded setting file;
// reads out (also each time it opens, so that it shows the units' values
// now), writes back, saves and loads setting files. The transfers are its
// engine's, which start-up drives too.
class DspSettingCtrl : public QFrame, private Ui_DspSettingCtrl
{
    Q_OBJECT

public:
    explicit DspSettingCtrl(QWidget *parent = nullptr);
    ~DspSettingCtrl() override;

    // Lists `list` (the main window's units, in order) in the editor's own
    // set and hands them to the engine; a unit's position is its dspNo. The
    // set follows their busy state and, like every set, schedules its units
    // for deletion when it goes (each unit is deleted exactly once,
    // whichever set goes first).
    void setUnits(const QList<VexDA *> &list);
    VexDAs *unitSet() { return &units; }
    // The read-out, write-back, dump and recovery of the units. Its log and
    // progress signals are this window's.
    DspSettingEngine &engine() { return transfers; }

    // A hidden bar under `parent` that shows the progress of the engine's
    // operations while one runs.
    QProgressBar *newProgressBar(QWidget *parent);

    const QList<DspData> &config() const { return configData; }
    const QList<DspData> &loaded() const { return loadedData; }
    // The rows of the window, one per record of config(). They are built
    // when first needed (shown, edited, loaded into), not at every read-out,
    // so a start-up read-out of many units costs no widgets.
    const QList<ConfigLine *> &configLines();

    // The box that tells the operator that "Save File" failed (non-modal;
    // null until a save has failed).
    QMessageBox *saveFailedBox() const { return saveFailed; }

public slots:
    void readOut();
    void writeBack();
    void copyRestored();
    void load(const QString &fname);
    void save(const QString &fname);
    void dump() { transfers.dump(); }
    void recover(const QString &fname) { transfers.recover(fname); }

protected:
    void showEvent(QShowEvent *event) override;

signals:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    void progress(const QString &text, int done, int total);

private slots:
    void updatedALine(int num);
    void readOutOnOpen();

private:
    void beginRequest();
    void setUpConfigLines(const QList<DspData> &config);
    void ensureLines();
    void setValRestored(const QList<DspData> &config, const QList<DspData> &loadedConfig);

    DspSettingEngine transfers;
    QFileDialog *saveDialog = nullptr;
    QFileDialog *loadDialog = nullptr;
    QMessageBox *saveFailed = nullptr;
    VexDAs units;
    QList<DspData> configData;
    QList<DspData> loadedData;
    QList<ConfigLine *> lines;
    bool linesStale = false;           // config() changed since the rows were built
    int stretchRow = -1;
};
