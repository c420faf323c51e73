// The settings engine: reads out, writes back, dumps and recovers the DSP units' registers (no widgets).
#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "dspdata.h"

class CfgFile;

// Drives the register transfers of the settings window and of start-up: the
// read-out of every register of every unit, the write-back of records, the
// dump of all units to dump.stg and the recovery from a setting file. Each
// access waits for its answer; a unit that does not answer costs one
// time-out per operation, its other registers are skipped.
class DspSettingEngine : public QObject
{
    Q_OBJECT

public:
    static const QString dumpFileName;        // "dump.stg"
    static constexpr int registersPerUnit = 212;

    // What the engine needs of a unit: its name, and 2-byte register
    // accesses that wait for the answer and return false on a time-out.
    class Unit
    {
    public:
        virtual ~Unit() = default;
        virtual QString name() const = 0;
        // On success `answer` holds the answer's header, address and value;
        // on a time-out they are 0.
        virtual bool read(quint32 addr, DspData &answer) = 0;
        virtual bool write(quint32 addr, quint64 value) = 0;
    };

    // What start-up asks for: DUMP or "-dump", RECOVER or "-recover",
    // RECOVER_FILE (default "dump.stg").
    struct StartUp {
        bool dump = false;
        bool recover = false;
        QString recoverFile = dumpFileName;
        static StartUp fromConfig(const CfgFile &cfg);
    };

    explicit DspSettingEngine(QObject *parent = nullptr);
    ~DspSettingEngine() override;

    // Appends a unit; its position is its dspNo.
    void addUnit(std::unique_ptr<Unit> unit);
    int unitCount() const { return int(units.size()); }
    // True while an operation runs (it lets the event loop paint meanwhile).
    bool busy() const { return !operation.isEmpty(); }

    // The pause before a start-up dump or recovery (1000 ms).
    void setStartUpPauseMs(int ms) { startUpPauseMs = ms; }
    // After a pause, dump() when asked; after another, recover() when asked.
    void startUp(const StartUp &what);

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
    // Reads every unit out into dump.stg; the previous dump.stg is kept as
    // dump.stg.bak only when every unit answered in it.
    void dump();
    // Writes the records of the setting file `fname` to the units.
    void recover(const QString &fname);

signals:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    // Progress of a read-out, write-back, dump or recovery: `done` of `total`
    // registers, with a text naming the unit and register ("DSP i of N,
    // register j of 212", or that the unit does not answer). A total of 0
    // marks the end of the operation.
    void progress(const QString &text, int done, int total);

private:
    QString unitName(int no) const;
    void pause();
    // Emits progress and, at the end of a unit or of a slice of registers,
    // lets the event loop paint (user input stays queued).
    void report(int unitNo, int reg, int done, int total, bool silent);
    void finishReport();

    std::vector<std::unique_ptr<Unit>> units;
    int startUpPauseMs = 1000;
    QString operation;                 // the operation that progress() reports
};
