// The DSP setting window: rows of register values to read, edit, write back, save and load.
#include "dspsettingctrl.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include "vexda.h"

namespace {

// A unit of the main window as the engine reaches it; one that is gone
// answers nothing.
class UnitAccess : public DspSettingEngine::Unit
{
public:
    explicit UnitAccess(VexDA *u) : unit(u) {}
    QString name() const override { return unit ? unit->name() : QString(); }
    bool read(quint32 addr, DspData &answer) override
    {
        if (!unit)
            return false;
        const bool ok = unit->readReg(addr, true, 2);
        answer.hdr = unit->ansHeader();
        answer.addr = unit->ansAddr();
        answer.value = unit->ansValue();
        return ok;
    }
    bool write(quint32 addr, quint64 value) override { return unit && unit->writeReg(addr, value, true, 2); }

private:
    QPointer<VexDA> unit;
};

} // namespace

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

    connect(ReadOut, &QPushButton::clicked, this, [this] {
        beginRequest();
        readOut();
    });
    connect(WriteBack, &QPushButton::clicked, this, &DspSettingCtrl::writeBack);
    connect(CopyLoaded, &QPushButton::clicked, this, &DspSettingCtrl::copyRestored);
    connect(Load, &QPushButton::clicked, loadDialog, &QFileDialog::show);
    connect(loadDialog, &QFileDialog::fileSelected, this, &DspSettingCtrl::load);
    connect(Save, &QPushButton::clicked, saveDialog, &QFileDialog::show);
    connect(saveDialog, &QFileDialog::fileSelected, this, &DspSettingCtrl::save);

    connect(&transfers, &DspSettingEngine::log, this, &DspSettingCtrl::log);
    connect(&transfers, &DspSettingEngine::progress, this, &DspSettingCtrl::progress);
    QProgressBar *bar = newProgressBar(this);
    bar->setObjectName(QStringLiteral("Progress"));
    TopBar->addWidget(bar, 1, 0, 1, TopBar->columnCount());
}

QProgressBar *DspSettingCtrl::newProgressBar(QWidget *parent)
{
    auto *bar = new QProgressBar(parent);
    bar->setVisible(false);
    connect(this, &DspSettingCtrl::progress, bar, [bar](const QString &text, int done, int total) {
        bar->setVisible(total > 0);
        bar->setRange(0, qMax(total, 1));
        bar->setValue(done);
        bar->setFormat(text);
    });
    return bar;
}

DspSettingCtrl::~DspSettingCtrl() = default;

void DspSettingCtrl::setUnits(const QList<VexDA *> &list)
{
    for (VexDA *u : list) {
        if (u && !units.units.contains(u)) {
            units.addUnit(u);
            transfers.addUnit(std::make_unique<UnitAccess>(u));
        }
    }
}

void DspSettingCtrl::beginRequest()
{
    // The operator's read-out or write-back is one request to each unit: a
    // unit marked as not answering gets one awaited access again (start-up's
    // read-out belongs to the start-up request).
    for (VexDA *u : std::as_const(units.units))
        u->beginRequest();
}

void DspSettingCtrl::readOut()
{
    emit log(QStringLiteral("Reading out DSP Settings"));
    configData.clear();
    transfers.readOutDspConfig(configData);
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
    // Opened (not restored from an icon): read the units out again once the
    // window is on screen, so that it shows and would write back their
    // values now.
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &DspSettingCtrl::readOutOnOpen, Qt::QueuedConnection);
}

void DspSettingCtrl::readOutOnOpen()
{
    // A read-out or write-back under way ends with a read-out of its own.
    if (isVisible() && !transfers.busy()) {
        beginRequest();
        readOut();
    }
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
    beginRequest();
    transfers.writeBackDspConfig(configData);
    readOut();
}

void DspSettingCtrl::load(const QString &fname)
{
    emit log(QStringLiteral("Load DSP Setting Vals"));
    loadedData.clear();
    transfers.loadDspConfig(fname, loadedData);
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
    if (transfers.saveDspConfig(fname, configData, QString(), &why))
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

