// The settings engine: reads out, writes back, dumps and recovers the DSP units' registers (no widgets).
#include "dspsettingengine.h"

#include <QCoreApplication>
#include <QMap>
#include <QSet>
#include <QThread>

#include "cfgfile.h"
#include "dspreg.h"
#include "settingfile.h"

const QString DspSettingEngine::dumpFileName = QStringLiteral("dump.stg");

static const QColor red(255, 0, 0);

DspSettingEngine::StartUp DspSettingEngine::StartUp::fromConfig(const CfgFile &cfg)
{
    StartUp s;
    s.dump = cfg.value(QStringLiteral("DUMP"), QStringLiteral("0")).toInt() == 1 || cfg.hasKey(QStringLiteral("-dump"));
    s.recover = cfg.value(QStringLiteral("RECOVER"), QStringLiteral("0")).toInt() == 1
        || cfg.hasKey(QStringLiteral("-recover"));
    s.recoverFile = cfg.value(QStringLiteral("RECOVER_FILE"), dumpFileName);
    return s;
}

DspSettingEngine::DspSettingEngine(QObject *parent)
    : QObject(parent)
{
}

DspSettingEngine::~DspSettingEngine() = default;

void DspSettingEngine::addUnit(std::unique_ptr<Unit> unit)
{
    if (unit)
        units.push_back(std::move(unit));
}

QString DspSettingEngine::unitName(int no) const
{
    return no >= 0 && no < unitCount() ? units.at(size_t(no))->name() : QString();
}

void DspSettingEngine::report(int unitNo, int reg, int done, int total, bool silent)
{
    constexpr int slice = registersPerUnit / 4;
    const QString name = unitName(unitNo);
    const QString text = silent ? tr("%1: DSP %2 of %3 (%4) does not answer")
                                      .arg(operation).arg(unitNo + 1).arg(unitCount()).arg(name)
                                : tr("%1: DSP %2 of %3 (%4), register %5 of %6")
                                      .arg(operation).arg(unitNo + 1).arg(unitCount()).arg(name)
                                      .arg(reg + 1).arg(registersPerUnit);
    emit progress(text, done, total);
    if ((reg + 1) % slice == 0 || silent)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void DspSettingEngine::finishReport()
{
    emit progress(QString(), 0, 0);
}

void DspSettingEngine::pause()
{
    if (startUpPauseMs > 0)
        QThread::msleep(ulong(startUpPauseMs));
}

void DspSettingEngine::startUp(const StartUp &what)
{
    if (what.dump) {
        pause();
        dump();
    }
    if (what.recover) {
        pause();
        recover(what.recoverFile);
    }
}

void DspSettingEngine::readOutDspConfig(QList<DspData> &config)
{
    if (operation.isEmpty())
        operation = tr("Reading out");
    const int total = unitCount() * registersPerUnit;
    for (int no = 0; no < unitCount(); ++no) {
        Unit &unit = *units.at(size_t(no));
        bool silent = false;
        int notAsked = 0;
        int j = 0;
        auto readOne = [&](const DspReg &reg, int ch) {
            const bool wasSilent = silent;
            DspData d;
            d.name = DspData::padName(reg.desc);
            d.dspNo = no;
            d.ch = ch;
            if (silent) {
                // The unit has not answered in this read-out: record the
                // register as a time-out without asking (header, address, value 0).
                ++notAsked;
            } else {
                const quint32 addr = reg.addr + (ch >= 0 ? quint32(chOffsets.at(ch)) : 0u);
                silent = !unit.read(addr, d);
            }
            config.append(d);
            if (!wasSilent)
                report(no, j, no * registersPerUnit + j + 1, total, silent);
            ++j;
        };
        for (const DspReg &r : sysRegs)
            readOne(r, -1);
        for (const DspReg &r : commonRegs)
            readOne(r, -1);
        for (int ch = 0; ch < chOffsets.size(); ++ch)
            for (const DspReg &r : chRegs)
                readOne(r, ch);
        for (int ch = 0; ch < chOffsets.size(); ++ch)
            for (const DspReg &r : chStatRegs)
                readOne(r, ch);
        if (notAsked > 0) {
            emit log(QStringLiteral("DSP%1 (%2) did not answer: its other %3 registers were not read")
                         .arg(no)
                         .arg(unit.name())
                         .arg(notAsked),
                     red);
        }
    }
    finishReport();
    operation.clear();
}

void DspSettingEngine::writeBackDspConfig(const QList<DspData> &config)
{
    emit log(QStringLiteral("Writing back Setting Vals to DSPs"));
    if (operation.isEmpty())
        operation = tr("Writing back");
    QMap<int, int> perUnit;      // records handled per unit so far
    int done = 0;
    const int total = int(config.size());
    int noUnit = 0;
    int noAddress = 0;
    QSet<int> silentUnits;
    QMap<int, int> notWritten;   // per silent unit
    for (const DspData &d : config) {
        ++done;
        if (d.dspNo < 0 || d.dspNo >= unitCount()) {
            ++noUnit;
            continue;
        }
        if (d.addr == 0) {
            ++noAddress;
            continue;
        }
        if (silentUnits.contains(d.dspNo)) {
            ++notWritten[d.dspNo];
            continue;
        }
        const bool silent = !units.at(size_t(d.dspNo))->write(d.addr, d.value);
        if (silent)
            silentUnits.insert(d.dspNo);
        report(d.dspNo, perUnit[d.dspNo]++, done, total, silent);
    }
    finishReport();
    operation.clear();
    if (noAddress > 0)
        emit log(QStringLiteral("%1 records with address 0 (never read) were not written").arg(noAddress), red);
    if (noUnit > 0)
        emit log(QStringLiteral("%1 records name no DSP unit and were not written").arg(noUnit), red);
    for (auto it = notWritten.cbegin(); it != notWritten.cend(); ++it) {
        emit log(QStringLiteral("DSP%1 (%2) did not answer: its other %3 records were not written")
                     .arg(it.key())
                     .arg(unitName(it.key()))
                     .arg(it.value()),
                 red);
    }
}

void DspSettingEngine::loadDspConfig(const QString &fname, QList<DspData> &config)
{
    emit log(QStringLiteral("Loading DSP Setting Vals from %1").arg(fname));
    if (!SettingFile::readFile(fname, config))
        emit log(QStringLiteral("Can't open dump file [%1] to recover.").arg(fname), red);
}

bool DspSettingEngine::saveDspConfig(const QString &fname, const QList<DspData> &config, const QString &keepAs,
                                     QString *why)
{
    emit log(QStringLiteral("Saving DSP Config to %1").arg(fname));
    QString error;
    const SettingFile::Result r = SettingFile::save(fname, config, &error, keepAs);
    switch (r) {
    case SettingFile::Written:
        return true;
    case SettingFile::OpenFailed:
        emit log(QStringLiteral("Err: can't open %1 to save dsp config").arg(fname), red);
        break;
    case SettingFile::WriteFailed:
        emit log(QStringLiteral("Err: writing %1 failed (%2); the file is left as it was").arg(fname, error), red);
        break;
    case SettingFile::KeepFailed:
        emit log(QStringLiteral("Err: can't keep the previous %1 as %2 (%3); %1 is not replaced")
                     .arg(fname, keepAs, error),
                 red);
        break;
    }
    if (why)
        *why = error;
    return false;
}

void DspSettingEngine::dump()
{
    emit log(QStringLiteral("Dumping DSP Setting Vals dump.stg"));
    operation = tr("Dumping");
    QList<DspData> list;
    readOutDspConfig(list);
    // A unit that did not answer is missing from the dump: say which, so the
    // operator knows that this dump cannot restore it.
    QList<int> missing;
    for (const DspData &d : std::as_const(list)) {
        if (d.addr == 0 && !missing.contains(d.dspNo))
            missing << d.dspNo;
    }
    // Only a complete dump is kept as dump.stg.bak: one that lacks a unit
    // must not push out the last complete one, so that one of the two files
    // always holds the last dump in which every unit answered.
    const QString keepAs = SettingFile::holdsEveryUnit(dumpFileName) ? dumpFileName + QStringLiteral(".bak") : QString();
    if (!saveDspConfig(dumpFileName, list, keepAs))
        return;
    for (int no : std::as_const(missing)) {
        emit log(QStringLiteral("%1 lacks values of DSP%2 (%3): the unit did not answer; it cannot be recovered "
                                "from this dump")
                     .arg(dumpFileName)
                     .arg(no)
                     .arg(unitName(no)),
                 red);
    }
}

void DspSettingEngine::recover(const QString &fname)
{
    emit log(QStringLiteral("Recovering DSP Setting vals from %1").arg(fname));
    QList<DspData> list;
    loadDspConfig(fname, list);
    operation = tr("Recovering");
    writeBackDspConfig(list);
}
