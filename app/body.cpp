#include "body.h"

#include <QCloseEvent>
#include <QDebug>
#include <QPushButton>

#include "cfgfile.h"
#include "logarea.h"
#include "logsink.h"

Body::Body(QWidget *parent)
    : QFrame(parent)
{
    // Read the process-wide configuration; without one every key takes its default.
    const CfgFile noConfig{QStringList()};
    const CfgFile &cfg = CfgFile::instance() ? *CfgFile::instance() : noConfig;

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

    // STARS client (StarsUi): log-sending flag and its box, the
    // RECORD_MSG_TO_STARS / RECORD_MSG_FROM_STARS boxes, log and anyAsk
    // wiring, STARS_IP, STARS_PORT, NAME_ON_STARS, KEY_ON_STARS into its
    // fields, the data-link keys, CONNECT_TO_STARS.

    // DSP register table, normalizeType = 2.

    // Data-link server.

    // DSP units from the VEXDA lines, the busy event, EMULATE_DSP_SIGNAL,
    // WATCH_INTERVAL_MS, ShowSettings.

    // HV unit from VEXHV, HV_READ_PARAMS, HV_READ_TYPE.

    // Debug data-link discard boxes and delay timer.

    // Settings editor: log, units, DUMP / RECOVER.
}

Body::~Body()
{
    // Nothing may log through the process-wide sink into a destroyed log area.
    if (logSink == Log)
        logSink = nullptr;
}

LogArea *Body::logArea() const
{
    return Log;
}

void Body::quitting()
{
    quitBox.show();
}

void Body::okQuit()
{
    qDebug() << "ok quit";
    // Every DSP unit's TCP connection is closed here, in the DSP set's order.
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
