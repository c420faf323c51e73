#include "body.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QPushButton>

#include "cfgfile.h"
#include "dspreg.h"
#include "logarea.h"
#include "logsink.h"
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

} // namespace

Body::Body(QWidget *parent)
    : QFrame(parent)
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

    // Quit box: No, then OK.
    quitBox.setText(tr("Quit"));
    QPushButton *noButton = quitBox.addButton(QMessageBox::No);
    QPushButton *okButton = quitBox.addButton(QMessageBox::Ok);
    connect(Quit, &QPushButton::clicked, this, &Body::quitting);
    connect(okButton, &QPushButton::clicked, this, &Body::okQuit);
    connect(noButton, &QPushButton::clicked, this, &Body::noQuit);

    setUpStars();

    buildRegMap();
    normalizeType = 2;

    setUpDataLink();

    createUnits();

    createHv();

    setUpDebugDiscard();

    setUpSettingsEditor();
}

Body::~Body()
{
    // The server stops accepting and closes, then the link is discarded.
    closeDataLink();
    // The HV unit polls until it goes; its panel and strip go with it.
    delete hv;
    hv = nullptr;

    // Nothing may log through the process-wide sink into a destroyed log area.
    if (logSink == Log)
        logSink = nullptr;
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
    stars->setPort(cfg.value(QStringLiteral("STARS_PORT"), QStringLiteral("6057")));
    stars->setNodeName(cfg.value(QStringLiteral("NAME_ON_STARS"), QStringLiteral("Marlo")));
    stars->setKeyFile(cfg.value(QStringLiteral("KEY_ON_STARS"), QStringLiteral("Marlo.key")));

    dataLinkIp = cfg.value(QStringLiteral("DATA_LINK_CH_IP"), QStringLiteral("localhost"));
    dataLinkPort = cfg.value(QStringLiteral("DATA_LINK_CH_PORT"), QStringLiteral("6058")).toInt();
    discardDataLinkOn = cfg.flag(QStringLiteral("DISCARD_DATA_LINK"), QStringLiteral("1"));

    stars->setReconnect(cfg.flag(QStringLiteral("STARS_RECONNECT"), QStringLiteral("1")));
    if (cfg.flag(QStringLiteral("CONNECT_TO_STARS"), QStringLiteral("0")))
        stars->connectToStars();
}

void Body::setUpDataLink()
{
    simpleTrans = config().flag(QStringLiteral("SIMPLE_TRANS"), QStringLiteral("1"));
    listenDataLink();
}

void Body::createUnits()
{
    const CfgFile &cfg = config();
    const QStringList lines = cfg.restsOf(QStringLiteral("VEXDA"));
    for (int i = 0; i < lines.size(); ++i) {
        QString id, ip, item;
        QString rest = splitFirstItem(lines.at(i), id);
        rest = splitFirstItem(rest, ip);

        auto *u = new VexDA(id, ip);
        connect(u, &VexDA::log, Log, &LogArea::log);
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
        DspStats->addWidget(u->status(), i, 0);

        rest = splitFirstItem(rest, item);
        u->hgBytes = item.toUpper() == QLatin1String("B") ? 32768 : 16384;
        u->mcaLength = 4096;
        for (int ch = 0; ch < u->chCount(); ++ch) {
            u->roiStart[ch] = 0;
            u->roiEnd[ch] = 2047;
        }
        u->openTcp();
        units.addUnit(u);
    }
    connect(&units, &VexDAs::changedIsBusy, this, &Body::changedVexDABusy);

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
        for (VexDA *u : std::as_const(units.units)) {
            if (u->name() == id)
                u->setWatchInterval(ms.toDouble());
        }
    }

    connect(ShowSettings, &QPushButton::clicked, &settingsCtrl, &QWidget::show);
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
    const int n = int(units.units.size());
    DspStats->addWidget(hv->status(), n + 1, 0);
    DspStats->addWidget(hv->panel(), n + 2, 0);
    connect(hv, &VexHv::changedSweep, this, &Body::newHvStat);
    hv->applyReadParamsText(cfg.restOf(QStringLiteral("HV_READ_PARAMS"), QString()));
    hv->applyReadTypeText(cfg.restOf(QStringLiteral("HV_READ_TYPE"), QString()));
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
    settingsCtrl.startUpFromConfig(config());
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
