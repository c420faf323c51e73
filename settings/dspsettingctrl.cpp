#include "dspsettingctrl.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMap>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QThread>

#include "cfgfile.h"
#include "dspreg.h"
#include "settingfile.h"
#include "vexda.h"

Q_LOGGING_CATEGORY(lcSettings, "marlo.settings")

const QString DspSettingCtrl::dumpFileName = QStringLiteral("dump.stg");

static const QColor red(255, 0, 0);

static QFileDialog *makeDialog(QWidget *parent, QFileDialog::AcceptMode mode)
{
    auto *d = new QFileDialog(parent);
    d->setAcceptMode(mode);
    d->setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d->setNameFilters({QStringLiteral("Setting Data (*.stg)"), QStringLiteral("Any (*, *.*)")});
    // A name typed without a suffix gets ".stg", so that the Load dialog's filter shows it.
    if (mode == QFileDialog::AcceptSave)
        d->setDefaultSuffix(QStringLiteral("stg"));
    d->setModal(false);
    return d;
}

DspSettingCtrl::DspSettingCtrl(QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
    saveDialog = makeDialog(this, QFileDialog::AcceptSave);
    loadDialog = makeDialog(this, QFileDialog::AcceptOpen);

    connect(ReadOut, &QPushButton::clicked, this, &DspSettingCtrl::readOut);
    connect(WriteBack, &QPushButton::clicked, this, &DspSettingCtrl::writeBack);
    connect(CopyLoaded, &QPushButton::clicked, this, &DspSettingCtrl::copyRestored);
    connect(Load, &QPushButton::clicked, loadDialog, &QFileDialog::show);
    connect(loadDialog, &QFileDialog::fileSelected, this, &DspSettingCtrl::load);
    connect(Save, &QPushButton::clicked, saveDialog, &QFileDialog::show);
    connect(saveDialog, &QFileDialog::fileSelected, this, &DspSettingCtrl::save);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("Progress"));
    progressBar->setVisible(false);
    TopBar->addWidget(progressBar, 1, 0, 1, TopBar->columnCount());
    connect(this, &DspSettingCtrl::progress, this, [this](const QString &text, int done, int total) {
        progressBar->setVisible(total > 0);
        progressBar->setRange(0, qMax(total, 1));
        progressBar->setValue(done);
        progressBar->setFormat(text);
    });
}

void DspSettingCtrl::report(int unitNo, int reg, int done, int total, bool silent)
{
    constexpr int slice = registersPerUnit / 4;
    const VexDA *u = units.units.value(unitNo);
    const QString name = u ? u->name() : QString();
    const QString text = silent ? tr("%1: DSP %2 of %3 (%4) does not answer")
                                      .arg(operation).arg(unitNo + 1).arg(units.units.size()).arg(name)
                                : tr("%1: DSP %2 of %3 (%4), register %5 of %6")
                                      .arg(operation).arg(unitNo + 1).arg(units.units.size()).arg(name)
                                      .arg(reg + 1).arg(registersPerUnit);
    emit progress(text, done, total);
    if ((reg + 1) % slice == 0 || silent)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void DspSettingCtrl::finishReport()
{
    emit progress(QString(), 0, 0);
}

DspSettingCtrl::~DspSettingCtrl() = default;

void DspSettingCtrl::setUnits(const QList<VexDA *> &list)
{
    for (VexDA *u : list) {
        if (u && !units.units.contains(u))
            units.addUnit(u);
    }
}

void DspSettingCtrl::pause()
{
    if (startUpPauseMs > 0)
        QThread::msleep(ulong(startUpPauseMs));
}

void DspSettingCtrl::startUp(bool doDump, bool doRecover, const QString &recoverFile)
{
    if (doDump) {
        pause();
        dump();
    }
    if (doRecover) {
        pause();
        recover(recoverFile);
    }
    readOut();
}

void DspSettingCtrl::startUpFromConfig(const CfgFile &cfg)
{
    const bool doDump = cfg.value(QStringLiteral("DUMP"), QStringLiteral("0")).toInt() == 1
        || cfg.hasKey(QStringLiteral("-dump"));
    const bool doRecover = cfg.value(QStringLiteral("RECOVER"), QStringLiteral("0")).toInt() == 1
        || cfg.hasKey(QStringLiteral("-recover"));
    startUp(doDump, doRecover, cfg.value(QStringLiteral("RECOVER_FILE"), dumpFileName));
}

void DspSettingCtrl::readOutDspConfig(QList<DspData> &config)
{
    if (operation.isEmpty())
        operation = tr("Reading out");
    const int total = int(units.units.size()) * registersPerUnit;
    for (int no = 0; no < units.units.size(); ++no) {
        VexDA *unit = units.units.at(no);
        bool silent = false;
        int notAsked = 0;
        int j = 0;
        auto readOne = [&](const DspReg &reg, int ch) {
            const bool wasSilent = silent;
            DspData d;
            d.name = DspData::padName(reg.desc);
            d.dspNo = no;
            d.ch = ch;
            if (!unit) {
                ++notAsked;
            } else if (silent) {
                // The unit has not answered in this read-out: record the
                // register as a time-out without asking (header, address, value 0).
                ++notAsked;
            } else {
                const quint32 addr = reg.addr + (ch >= 0 ? quint32(chOffsets.at(ch)) : 0u);
                if (!unit->readReg(addr, true, 2))
                    silent = true;
                d.hdr = unit->ansHeader();
                d.addr = unit->ansAddr();
                d.value = unit->ansValue();
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
                         .arg(unit ? unit->name() : QString())
                         .arg(notAsked),
                     red);
        }
    }
    finishReport();
    operation.clear();
}

void DspSettingCtrl::writeBackDspConfig(const QList<DspData> &config)
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
        if (d.dspNo < 0 || d.dspNo >= units.units.size() || !units.units.at(d.dspNo)) {
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
        VexDA *unit = units.units.at(d.dspNo);
        const bool silent = !unit->writeReg(d.addr, d.value, true, 2);
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
                     .arg(units.units.at(it.key())->name())
                     .arg(it.value()),
                 red);
    }
}

void DspSettingCtrl::loadDspConfig(const QString &fname, QList<DspData> &config)
{
    emit log(QStringLiteral("Loading DSP Setting Vals from %1").arg(fname));
    if (!SettingFile::readFile(fname, config))
        emit log(QStringLiteral("Can't open dump file [%1] to recover.").arg(fname), red);
}

bool DspSettingCtrl::saveDspConfig(const QString &fname, const QList<DspData> &config, const QString &keepAs,
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

void DspSettingCtrl::readOut()
{
    emit log(QStringLiteral("Reading out DSP Settings"));
    configData.clear();
    readOutDspConfig(configData);
    linesStale = true;
    if (isVisible())
        ensureLines();
}

void DspSettingCtrl::ensureLines()
{
    if (!linesStale)
        return;
    linesStale = false;
    setUpConfigLines(configData);
}

const QList<ConfigLine *> &DspSettingCtrl::configLines()
{
    ensureLines();
    return lines;
}

void DspSettingCtrl::showEvent(QShowEvent *event)
{
    ensureLines();
    QFrame::showEvent(event);
}

void DspSettingCtrl::setUpConfigLines(const QList<DspData> &config)
{
    for (ConfigLine *l : std::as_const(lines)) {
        Base->removeWidget(l);
        l->hide();
        l->deleteLater();
    }
    lines.clear();
    if (stretchRow >= 0)
        Base->setRowStretch(stretchRow, 0);

    for (int i = 0; i < config.size(); ++i) {
        const DspData &d = config.at(i);
        auto *l = new ConfigLine(i + 1, QStringLiteral("DSP%1").arg(d.dspNo),
                                 d.ch >= 0 ? QStringLiteral("Ch%1").arg(d.ch) : QString(), d.name, d.addr,
                                 quint16(d.value & 0xFFFF), scrollAreaWidgetContents);
        Base->addWidget(l, i, 0);
        // Rows are built when the window shows, after its children were shown.
        l->show();
        connect(l, &ConfigLine::updated, this, &DspSettingCtrl::updatedALine);
        lines.append(l);
    }
    stretchRow = config.size();
    Base->setRowStretch(stretchRow, 1);
}

void DspSettingCtrl::updatedALine(int num)
{
    const int i = lines.indexOf(qobject_cast<ConfigLine *>(sender()));
    if (i < 0)
        return;
    const quint32 a = lines.at(i)->val(num);
    const quint32 b = i + 1 < lines.size() ? lines.at(i + 1)->val(num) : 0;
    const quint32 c = i + 2 < lines.size() ? lines.at(i + 2)->val(num) : 0;
    const qint32 four = qint32((a << 16) | b);
    const qint64 six = qint64(four) * 65536 + qint64(c);
    Val4Bytes->setText(QString::number(double(four), 'g', 6));
    Val6Bytes->setText(QString::number(double(six), 'g', 6));
}

void DspSettingCtrl::writeBack()
{
    ensureLines();
    const int n = qMin(lines.size(), configData.size());
    for (int i = 0; i < n; ++i)
        configData[i].value = lines.at(i)->valNew();
    writeBackDspConfig(configData);
    readOut();
}

void DspSettingCtrl::load(const QString &fname)
{
    emit log(QStringLiteral("Load DSP Setting Vals"));
    loadedData.clear();
    loadDspConfig(fname, loadedData);
    ensureLines();
    setValRestored(configData, loadedData);
}

void DspSettingCtrl::setValRestored(const QList<DspData> &config, const QList<DspData> &loadedConfig)
{
    const int n = qMin(config.size(), lines.size());
    if (n == 0)
        return;
    for (int j = 0; j < loadedConfig.size(); ++j) {
        const quint32 addr = loadedConfig.at(j).addr;
        for (int k = 0; k < n; ++k) {
            const int pos = int((qint64(j) + k) % n);
            if (config.at(pos).addr == addr) {
                lines.at(pos)->setRestored(quint16(loadedConfig.at(j).value & 0xFFFF));
                break;
            }
        }
    }
}

void DspSettingCtrl::copyRestored()
{
    emit log(QStringLiteral("Copy Restored DSP Setting Vals to New Vals"));
    ensureLines();
    for (int i = 0; i < lines.size(); ++i) {
        ConfigLine *l = lines.at(i);
        l->setNew(l->valRestored());
        if (i < configData.size())
            configData[i].value = l->valNew();
    }
}

void DspSettingCtrl::save(const QString &fname)
{
    QString why;
    if (saveDspConfig(fname, configData, QString(), &why))
        return;
    // The operator asked for this file: tell it in the window too. The box
    // does not block, and the window stays usable.
    if (!saveFailed) {
        saveFailed = new QMessageBox(QMessageBox::Warning, tr("Save File"), QString(), QMessageBox::Ok, this);
        saveFailed->setWindowModality(Qt::NonModal);
    }
    saveFailed->setText(tr("The DSP settings could not be saved to %1 (%2).\n"
                           "A file that was there is left as it was.")
                            .arg(fname, why));
    saveFailed->show();
}

void DspSettingCtrl::dump()
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
        VexDA *u = no < units.units.size() ? units.units.at(no) : nullptr;
        emit log(QStringLiteral("%1 lacks values of DSP%2 (%3): the unit did not answer; it cannot be recovered "
                                "from this dump")
                     .arg(dumpFileName)
                     .arg(no)
                     .arg(u ? u->name() : QString()),
                 red);
    }
}

void DspSettingCtrl::recover(const QString &fname)
{
    emit log(QStringLiteral("Recovering DSP Setting vals from %1").arg(fname));
    QList<DspData> list;
    loadDspConfig(fname, list);
    operation = tr("Recovering");
    writeBackDspConfig(list);
}
