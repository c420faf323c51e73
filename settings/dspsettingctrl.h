#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QString>

#include "configline.h"
#include "dspdata.h"
#include "vexdas.h"

#include "ui_dspsettingctrl.h"

class CfgFile;
class QMessageBox;
class QShowEvent;
class QFileDialog;
class QProgressBar;
class VexDA;

// The DSP setting window: reads out every register of every unit, shows the
// values read, the new values to write and those of a loaded setting file,
// writes them back, saves and loads setting files, and dumps or recovers the
// settings at start-up.
class DspSettingCtrl : public QFrame, private Ui_DspSettingCtrl
{
    Q_OBJECT

public:
    static const QString dumpFileName;        // "dump.stg"
    static constexpr int registersPerUnit = 212;

    explicit DspSettingCtrl(QWidget *parent = nullptr);
    ~DspSettingCtrl() override;

    // Lists `list` (the main window's units, in order) in the editor's own
    // set; a unit's position is its dspNo. The set follows their busy state
    // and, like every set, schedules its units for deletion when it goes
    // (each unit is deleted exactly once, whichever set goes first).
    void setUnits(const QList<VexDA *> &list);
    VexDAs *unitSet() { return &units; }

    // Start-up: after a one-second pause, dump() when `dump`; after another,
    // recover(recoverFile) when `recover`; then readOut() in every case.
    void startUp(bool dump, bool recover, const QString &recoverFile);
    // The same with the flags of the configuration: DUMP or "-dump",
    // RECOVER or "-recover", RECOVER_FILE (default "dump.stg").
    void startUpFromConfig(const CfgFile &cfg);
    // The pause before a start-up dump or recovery (1000 ms).
    void setStartUpPauseMs(int ms) { startUpPauseMs = ms; }

    const QList<DspData> &config() const { return configData; }
    const QList<DspData> &loaded() const { return loadedData; }
    // The rows of the window, one per record of config(). They are built
    // when first needed (shown, edited, loaded into), not at every read-out,
    // so a start-up read-out of many units costs no widgets.
    const QList<ConfigLine *> &configLines();

    // The read-out of every unit in order (system, common, channel 0-3
    // settings, channel 0-3 status registers), appended to `config`.
    void readOutDspConfig(QList<DspData> &config);
    // Writes every record to its unit. Records with address 0 (never read)
    // and records naming no unit are skipped, with one log line each kind.
    void writeBackDspConfig(const QList<DspData> &config);
    void loadDspConfig(const QString &fname, QList<DspData> &config);
    // Writes the file whole or not at all; a failure is a red log line.
    // With `keepAs`, the file it replaces is kept under that name. Returns
    // whether the file was written; `why` tells what failed.
    bool saveDspConfig(const QString &fname, const QList<DspData> &config, const QString &keepAs = QString(),
                       QString *why = nullptr);

    // The box that tells the operator that "Save File" failed (non-modal;
    // null until a save has failed).
    QMessageBox *saveFailedBox() const { return saveFailed; }

public slots:
    void readOut();
    void writeBack();
    void copyRestored();
    void load(const QString &fname);
    void save(const QString &fname);
    void dump();
    void recover(const QString &fname);

protected:
    void showEvent(QShowEvent *event) override;

signals:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    // Progress of a read-out, write-back, dump or recovery: `done` of `total`
    // registers, with a text naming the unit and register ("DSP i of N,
    // register j of 212", or that the unit does not answer). A total of 0
    // marks the end of the operation.
    void progress(const QString &text, int done, int total);

private slots:
    void updatedALine(int num);

private:
    void setUpConfigLines(const QList<DspData> &config);
    void ensureLines();
    void setValRestored(const QList<DspData> &config, const QList<DspData> &loadedConfig);
    void pause();
    // Emits progress and, at the end of a unit or of a slice of registers,
    // lets the event loop paint (user input stays queued).
    void report(int unitNo, int reg, int done, int total, bool silent);
    void finishReport();

    QFileDialog *saveDialog = nullptr;
    QFileDialog *loadDialog = nullptr;
    QMessageBox *saveFailed = nullptr;
    VexDAs units;
    QList<DspData> configData;
    QList<DspData> loadedData;
    QList<ConfigLine *> lines;
    bool linesStale = false;           // config() changed since the rows were built
    int stretchRow = -1;
    int startUpPauseMs = 1000;
    QString operation;                 // the operation that progress() reports
    QProgressBar *progressBar = nullptr;
};
