// The main window: builds the units, the STARS link and the windows, and wires them together.
#include "body.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QHostAddress>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

#include "cfgfile.h"
#include "datalinkrules.h"
#include "hostlookup.h"
#include "dspreg.h"
#include "logarea.h"
#include "logsink.h"
#include "mcawindow.h"
#include "unitstat.h"
#include "vexda.h"
#include "vexhv.h"

namespace {

// The configuration of the process; without one every key takes its default.
const CfgFile &config()
{
    static const CfgFile noConfig{QStringList()};
    return CfgFile::instance() ? *CfgFile::instance() : noConfig;
}

const QColor red(255, 0, 0);

QString unresolvedText(const QString &kind, const QString &id, const QString &address)
{
    return QStringLiteral("%1 %2: the address [%3] does not resolve; the unit is not reached and its accesses "
                          "time out at once")
        .arg(kind, id, address);
}

} // namespace

Body::Body(QWidget *parent, bool showWhileStarting)
    : QFrame(parent)
    , showEarly(showWhileStarting)
{
    const CfgFile &cfg = config();
    AMsg::registerMetaType();

    setupUi(this);
    quitBox.setObjectName(QStringLiteral("quitBox"));

    // Log settings.
    Log->setWriteToFile(cfg.flag(QStringLiteral("WRITE_LOG_FILE"), QStringLiteral("1")));
    Log->setVerbose(cfg.flag(QStringLiteral("VERBOSE"), QStringLiteral("0")));
    connect(this, &Body::log, Log, &LogArea::log);

    emit log(QStringLiteral("Starting !!"));

    setUpQuitBox();

    setUpStars();

    buildRegMap();
    normalizeType = 2;

    setUpDataLink();

    createUnits();

    createHv();
    fitUnitStrips();

    setUpDebugDiscard();

    setUpSettingsEditor();

    // Start-up is over: a unit that did not answer cost one time-out, its
    // other start-up accesses were sent without waiting.
    for (VexDA *u : std::as_const(units.units)) {
        if (u->notAnswering() && !u->addressUnresolved())
            emit log(QStringLiteral("DSP unit %1 (%2) did not answer at start-up: its start-up settings were sent "
                                    "without waiting for answers")
                         .arg(u->name(), u->ip()),
                     red);
    }

    // Only now may requests come: every unit is built and has its address,
    // and the start-up read-out, dump and recovery are over.
    if (cfg.flag(QStringLiteral("CONNECT_TO_STARS"), QStringLiteral("0")))
        stars->connectToStars();
}

Body::~Body()
{
    spectra.reset();
    // The server stops accepting and closes, then the link is discarded.
    closeDataLink();
    // The HV unit polls until it goes; its panel and strip go with it.
    delete hv;
    hv = nullptr;

    // Nothing may log through the process-wide sink into a destroyed log area.
    if (logSink == Log)
        logSink = nullptr;
}

// Quit box: a question answered Yes or No.
void Body::setUpQuitBox()
{
    quitBox.setWindowTitle(QStringLiteral("Marlo"));
    quitBox.setIcon(QMessageBox::Question);
    quitBox.setText(tr("Quit Marlo?"));
    quitBox.setInformativeText(tr("The connections to the units are closed, and STARS requests are no longer answered."));
    QPushButton *noButton = quitBox.addButton(QMessageBox::No);
    QPushButton *okButton = quitBox.addButton(QMessageBox::Yes);
    quitBox.setDefaultButton(noButton);
    connect(Quit, &QPushButton::clicked, this, &Body::quitting);
    connect(okButton, &QPushButton::clicked, this, &Body::okQuit);
    connect(noButton, &QPushButton::clicked, this, &Body::noQuit);
}

LogArea *Body::logArea() const
{
    return Log;
}

void Body::setUpStars()
{
    const CfgFile &cfg = config();
    stars = StarsUi;

    stars->setLogSendingMsg(LogMsgToStars->isChecked());
    connect(LogMsgToStars, &QCheckBox::toggled, stars, &Stars::setLogSendingMsg);
    LogMsgToStars->setChecked(cfg.flag(QStringLiteral("RECORD_MSG_TO_STARS"), QStringLiteral("0")));
    LogMsgFromStars->setChecked(cfg.flag(QStringLiteral("RECORD_MSG_FROM_STARS"), QStringLiteral("0")));

    connect(stars, &Stars::log, Log, &LogArea::log);
    connect(stars, &Stars::anyAsk, this, &Body::anyAsk);

    stars->setHost(cfg.value(QStringLiteral("STARS_IP"), QStringLiteral("localhost")));
    stars->setPort(QString::number(numberKey(QStringLiteral("STARS_PORT"), 6057, 1, 65535)));
    stars->setNodeName(cfg.value(QStringLiteral("NAME_ON_STARS"), QStringLiteral("Marlo")));
    stars->setKeyFile(cfg.value(QStringLiteral("KEY_ON_STARS"), QStringLiteral("Marlo.key")));

    dataLinkIp = cfg.value(QStringLiteral("DATA_LINK_CH_IP"), QStringLiteral("localhost"));
    // 0 written out asks for any free port.
    dataLinkPort = numberKey(QStringLiteral("DATA_LINK_CH_PORT"), 6058, 0, 65535);
    discardDataLinkOn = cfg.flag(QStringLiteral("DISCARD_DATA_LINK"), QStringLiteral("1"));

    stars->setReconnect(cfg.flag(QStringLiteral("STARS_RECONNECT"), QStringLiteral("1")));
    // CONNECT_TO_STARS is acted on when the start-up is complete.
}

void Body::setUpDataLink()
{
    const CfgFile &cfg = config();
    simpleTrans = cfg.flag(QStringLiteral("SIMPLE_TRANS"), QStringLiteral("1"));
    QStringList bad;
    // DATA_LINK_ALLOW with any word restricts the link, to nobody when no
    // word is an address.
    dataLinkAllow = DataLinkRules::allowList(cfg.restOf(QStringLiteral("DATA_LINK_ALLOW")), bad);
    dataLinkRestricted = !dataLinkAllow.isEmpty() || !bad.isEmpty();
    for (const QString &b : std::as_const(bad))
        emit log(QStringLiteral("DATA_LINK_ALLOW : \"%1\" is not an address").arg(b), QColor(255, 0, 0));
    listenDataLink();
}

void Body::createUnits()
{
    const CfgFile &cfg = config();
    const QStringList lines = cfg.restsOf(QStringLiteral("VEXDA"));
    // Host names first (the HV unit's too), all looked up together, so that
    // no look-up, which runs the event loop, comes between the units'
    // start-up accesses.
    QStringList addressed = lines;
    addressed << cfg.restOf(QStringLiteral("VEXHV"), QString());
    QStringList hostNames;
    for (const QString &line : std::as_const(addressed)) {
        QString id, ip;
        splitFirstItem(splitFirstItem(line, id), ip);
        if (!ip.isEmpty() && QHostAddress(ip).isNull())
            hostNames << ip.trimmed();
    }
    HostLookup::resolveAll(hostNames);
    for (int i = 0; i < lines.size(); ++i)
        units.addUnit(createUnit(i, lines.at(i)));
    connect(&units, &VexDAs::changedIsBusy, this, &Body::changedVexDABusy);
    setUpUnitOptions();
    connect(ShowSettings, &QPushButton::clicked, &settingsCtrl, &QWidget::show);
    connect(ShowSpectra, &QPushButton::clicked, this, &Body::openSpectra);
}

VexDA *Body::createUnit(int row, const QString &line)
{
    QString id, ip, item;
    QString rest = splitFirstItem(line, id);
    rest = splitFirstItem(rest, ip);

    auto *u = new VexDA(id, ip);
    connect(u, &VexDA::log, Log, &LogArea::log);
    if (u->addressUnresolved())
        emit log(unresolvedText(QStringLiteral("DSP unit"), id, ip), red);
    for (int ch = 0; ch < 4; ++ch) {
        rest = splitFirstItem(rest, item);
        bool ok = false;
        const bool use = item.toInt(&ok) == 1 && ok;
        u->chUse << use;
        if (use)
            units.elements << Element{u, ch};
    }
    u->roiStart.resize(u->chCount());
    u->roiEnd.resize(u->chCount());
    u->initMcaSet();
    DspStats->addWidget(u->status(), row, 0);

    rest = splitFirstItem(rest, item);
    u->hgBytes = item.toUpper() == QLatin1String("B") ? 32768 : 16384;
    u->mcaLength = 4096;
    for (int ch = 0; ch < u->chCount(); ++ch) {
        u->roiStart[ch] = 0;
        u->roiEnd[ch] = 2047;
    }
    u->openTcp();
    return u;
}

void Body::setUpUnitOptions()
{
    const CfgFile &cfg = config();
    for (VexDA *u : std::as_const(units.units))
        u->setDataTransDelay(0);

    EmulateSignal->setChecked(cfg.flag(QStringLiteral("EMULATE_DSP_SIGNAL"), QStringLiteral("0")));
    for (VexDA *u : std::as_const(units.units)) {
        u->setEmulateSignal(EmulateSignal->isChecked());
        connect(EmulateSignal, &QCheckBox::toggled, u, &VexDA::setEmulateSignal);
    }

    const QStringList intervals = cfg.restsOf(QStringLiteral("WATCH_INTERVAL_MS"));
    for (const QString &line : intervals) {
        QString id, ms;
        splitFirstItem(splitFirstItem(line, id), ms);
        bool ok = false;
        const double v = ms.toDouble(&ok);
        for (VexDA *u : std::as_const(units.units)) {
            if (u->name() != id)
                continue;
            // Not a positive number: the watch could never see the end of
            // a preset measurement.
            if (!ok || !u->setWatchInterval(v))
                emit log(QStringLiteral("WATCH_INTERVAL_MS of DSP unit %1: [%2] is not a positive number of "
                                        "milliseconds; the unit keeps %3 ms")
                             .arg(id, ms)
                             .arg(u->watchIntervalMs()),
                         red);
        }
    }

    const bool quickEnd = cfg.flag(QStringLiteral("QUICK_PRESET_END"), QStringLiteral("1"));
    for (VexDA *u : std::as_const(units.units))
        u->setQuickPresetEnd(quickEnd);
}

void Body::createHv()
{
    const CfgFile &cfg = config();
    const QString line = cfg.restOf(QStringLiteral("VEXHV"), QString());
    if (line.trimmed().isEmpty())
        return;
    QString id, ip;
    splitFirstItem(splitFirstItem(line, id), ip);
    hv = new VexHv(id, ip);
    connect(hv, &VexUnit::log, Log, &LogArea::log);
    if (hv->addressUnresolved())
        emit log(unresolvedText(QStringLiteral("HV unit"), id, ip), red);
    const int n = int(units.units.size());
    DspStats->addWidget(hv->status(), n + 1, 0);
    DspStats->addWidget(hv->panel(), n + 2, 0);
    connect(hv, &VexHv::changedSweep, this, &Body::newHvStat);
    hv->applyReadParamsText(cfg.restOf(QStringLiteral("HV_READ_PARAMS"), QString()));
    const int readType = numberKey(QStringLiteral("HV_READ_TYPE"), -1, 0, 2);
    if (readType >= 0)
        hv->applyReadTypeText(QString::number(readType));
}

// Up to four unit strips and the HV rows show whole; more strips scroll.
void Body::fitUnitStrips()
{
    const int n = int(units.units.size());
    int height = 0;
    int shown = 0;
    for (int row = 0; row < DspStats->rowCount(); ++row) {
        QLayoutItem *item = DspStats->itemAtPosition(row, 0);
        if (!item || (row >= 4 && row < n))
            continue;
        height += item->sizeHint().height();
        ++shown;
    }
    if (shown > 1)
        height += (shown - 1) * qMax(0, DspStats->verticalSpacing());
    DspStatsArea->setFixedHeight(height);
    // The strips never shrink below their own width (no horizontal scrolling).
    int width = DspStatsContents->minimumSizeHint().width();
    if (n > 4)
        width += DspStatsArea->verticalScrollBar()->sizeHint().width();
    DspStatsArea->setMinimumWidth(width);
}

void Body::setUpDebugDiscard()
{
    ddlDelayTimer.setSingleShot(true);
    connect(&ddlDelayTimer, &QTimer::timeout, this, &Body::DDLDelayTimeout);
    connect(DiscardDLinBody, &QCheckBox::toggled, this, &Body::discardDLinBody);
    connect(DiscardDLinVexDA, &QCheckBox::toggled, this, &Body::discardDLinVexDA);
}

// The settings editor logs to the log area, lists the same units in the same
// order, and carries out DUMP / "-dump" and RECOVER / "-recover" /
// RECOVER_FILE before its first read-out.
void Body::setUpSettingsEditor()
{
    connect(&settingsCtrl, &DspSettingCtrl::log, Log, &LogArea::log);
    settingsCtrl.setUnits(units.units);

    // The editor's progress (start-up read-out, dump, recovery and the
    // window's own operations) shows under the unit strips while it runs.
    progressBar = settingsCtrl.newProgressBar(frame_2);
    progressBar->setObjectName(QStringLiteral("SettingsProgress"));
    gridLayout_4->addWidget(progressBar, 1, 0);
    if (showEarly && !units.units.isEmpty())
        show();
    settingsCtrl.engine().startUp(DspSettingEngine::StartUp::fromConfig(config()));
    settingsCtrl.readOut();
}

int Body::numberKey(const QString &key, int def, int min, int max)
{
    QString complaint;
    const int n = config().number(key, def, min, max, &complaint);
    if (!complaint.isEmpty())
        emit log(complaint, QColor(255, 0, 0));
    return n;
}

void Body::changedVexDABusy()
{
    const int b = units.isBusy ? 1 : 0;
    emit log(QStringLiteral("Emitting Event: %1 %2").arg(QStringLiteral("ChangedIsBusy")).arg(b));
    // setBusy stores the flag that "IsBusy" answers and sends the event
    // "ChangedIsBusy" when the flag changes.
    if (stars)
        stars->setBusy(b == 1);
}

void Body::openSpectra()
{
    if (!spectra) {
        spectra = std::make_unique<McaWindow>(&units, [this] { return dataTransferInFlight(); });
        connect(spectra.get(), &McaWindow::log, Log, &LogArea::log);
    }
    spectra->show();
    spectra->raise();
}

void Body::quitting()
{
    quitBox.show();
}

void Body::okQuit()
{
    qDebug() << "ok quit";
    for (VexDA *u : std::as_const(units.units))
        u->closeTcp();
    emit finishing();
}

void Body::noQuit()
{
}

void Body::closeEvent(QCloseEvent *event)
{
    emit finishing();
    QFrame::closeEvent(event);
}
