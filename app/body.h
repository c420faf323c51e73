// The main window and controller of the program; its service handlers live in service/.
#pragma once

#include <QColor>
#include <QFrame>
#include <QHostAddress>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <memory>

#include "amsg.h"
#include "dspsettingctrl.h"
#include "hvstat.h"
#include "replyscanner.h"
#include "stars.h"
#include "ui_body.h"
#include "vexdas.h"

class LogArea;
class QCloseEvent;
class QDataStream;
class QProgressBar;
class McaWindow;
class QTcpSocket;
struct RoiBounds;
class VexHv;

// Marlo's main window and controller: builds every part of the program from
// the configuration (body.cpp), answers the STARS requests that the STARS
// client hands on (the measurement service, service/body_*.cpp), reports
// the DSP units' combined busy state to STARS and handles quitting.
class Body : public QFrame, private Ui_Body
{
    Q_OBJECT

public:
    // With `showWhileStarting` the window shows itself before the settings
    // editor's start-up read-out, so that its progress can be seen. The
    // STARS link (CONNECT_TO_STARS) opens only when the constructor ends, so
    // no request reaches a handler before the start-up is complete.
    explicit Body(QWidget *parent = nullptr, bool showWhileStarting = false);
    ~Body() override;

    // The window's log area, which main makes the process-wide log sink.
    LogArea *logArea() const;

    // For tests and tools: the STARS client, the DSP set, the quit box and
    // the normalisation type in force.
    Stars *starsClient() const { return stars; }
    const VexDAs &dspSet() const { return units; }
    QMessageBox *quitDialog() { return &quitBox; }
    int currentNormalizeType() const { return normalizeType; }
    DspSettingCtrl *settingsEditor() { return &settingsCtrl; }

    // For tests and tools: the data link and the HV unit. The port the
    // data-link server listens on (0 when it does not listen); the wait for
    // the peer's reply (3000 ms; a value of 0 or less restores that); the
    // transfer state and the bytes of the link not yet handed to the system.
    quint16 dataLinkServerPort() const;
    int dataTransWait() const { return dataTransWaitMs; }
    void setDataTransWaitMs(int ms);
    bool dataLinkConnected() const { return dataLinkUp(); }
    qint64 dataLinkUnwritten() const;
    bool inDataTransfer() const { return inDataTrans; }
    // A transfer is on a link and its reply is awaited; false while it only
    // waits for the peer to reconnect.
    bool dataTransferInFlight() const { return inDataTrans && dataTransWaitTimer.isActive(); }
    bool resendPending() const { return resendAfterReconnect; }
    bool discardInVexDAAsked() const { return discardInVexDARequested; }
    VexHv *hvUnit() const { return hv; }
    // The Spectra window, made on the first press of "Spectra" (null before).
    McaWindow *spectraWindow() const { return spectra.get(); }

signals:
    void finishing();
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));

private slots:
    void quitting();
    void okQuit();
    void noQuit();
    void changedVexDABusy();
    void newHvStat(HvStat::SweepStat stat);
    void openSpectra();

    // Data link (body_datalink.cpp).
    void askNewDataLink();
    void dataLinkDisconnected();
    void readyReadFromDataLink();
    void dataTransWaitTimeout();
    void dataLinkBytesWritten();
    void discardDLinBody();
    void discardDLinVexDA();
    void DDLDelayTimeout();

    // Dispatch of the STARS requests (service/body_dispatch.cpp).
    void anyAsk(AMsg msg);

    // The handlers, in service/: measurement control and presets
    // (body_measure.cpp), ROIs and values (body_roi.cpp), times
    // (body_times.cpp), registers, histogram and data-link channel
    // (body_status.cpp), HV (body_hv.cpp) and spectra (body_mcas.cpp).
    void askGetMCALength(AMsg msg);
    void askGetPeakingTime(AMsg msg);
    void askClear(AMsg msg);
    void askStart(AMsg msg, bool clearHgm);
    void askStop(AMsg msg);
    void askGetMCAs(AMsg msg);
    void askSetNormalizeType(AMsg msg);
    void askGetNormalizeType(AMsg msg);
    void askSetPresetType(AMsg msg);
    void askGetPresetType(AMsg msg);
    void askSetPresetValue(AMsg msg);
    void askGetPresetValue(AMsg msg);
    void askStatus(AMsg msg);
    void askSetConfig(AMsg msg);
    void askHvStart(AMsg msg);
    void askHvStop(AMsg msg);
    void askHvStat(AMsg msg);
    void askHvVol(AMsg msg);
    void askSetROI(AMsg msg);
    void askSetROIs(AMsg msg);
    void askGetROI(AMsg msg);
    void askGetROIs(AMsg msg);
    void askGetValue(AMsg msg);
    void askGetValues(AMsg msg);
    void askGetRealTime(AMsg msg);
    void askGetLiveTime(AMsg msg);
    void askGetRealTimes(AMsg msg);
    void askGetLiveTimes(AMsg msg);
    void askGetDeadTimes(AMsg msg);
    void askGetDataLinkCh(AMsg msg);
    void askGetHistgram(AMsg msg);
    void askGetMeasTimeInSec(AMsg msg);
    void askSetMeasTimeInSec(AMsg msg);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // The handler of a command number of the command table; null for an
    // unknown command (service/body_dispatch.cpp).
    using Handler = void (*)(Body *, const AMsg &);
    static Handler handlerOf(int cmdId);

    // Construction steps (body.cpp).
    void setUpStars();
    void setUpDataLink();
    void setUpQuitBox();
    void createUnits();
    // One DSP unit from its "VEXDA" line; its strip goes in row `row`.
    VexDA *createUnit(int row, const QString &line);
    // The keys that apply to every unit: emulated signal, watch intervals,
    // quick preset end.
    void setUpUnitOptions();
    void setUpDebugDiscard();
    void setUpSettingsEditor();
    void createHv();
    void fitUnitStrips();
    // A number key of the configuration (CfgFile::number); a value that is
    // no number in range is logged in red and gives `def`.
    int numberKey(const QString &key, int def, int min, int max);

    // Data link (service/body_datalink.cpp) and spectrum transfer
    // (service/body_mcas.cpp).
    void listenDataLink();
    void closeDataLink();
    bool dataLinkUp() const;
    bool discardDataLink();
    bool discardDataLinkNow();
    void startDataTrans();
    void answerNAck();
    void giveUpDataTrans(const QString &why);
    void sendMCAsAndWaitAck();
    // How one send of the blocking transfer ended: with the peer's reply,
    // with no reply in time, or with the link gone (closed or replaced).
    enum class BlockingReply { Ack, NAck, TimedOut, LinkLost };
    BlockingReply awaitBlockingReply();
    void giveUpBlockingTransfer(const QString &why);
    void sendMCAsViaDataLink();

    // Parameter checks shared by the handlers (body_dispatch.cpp); each
    // answers the request itself when the check fails.
    bool checkNumOfParams(const AMsg &msg, int n);
    int checkMaxNumOfParams(const AMsg &msg, int n);
    int getElmNo(const AMsg &msg, int n);
    // The unit addressed by the receiver channel, or null after answering
    // "Er: No dsp of id %1".
    VexDA *addressedUnit(const AMsg &msg);
    // Reads the element's histogram into its unit's buffer; when the read
    // fails, answers "0 Er: data transfer" and yields false.
    bool readHistogram(const AMsg &msg, const Element &e);
    // A parameter read leniently was no `what`: the request goes on with
    // the fallback `outcome` tells, and the operator hears it in red.
    void logUnread(const AMsg &msg, const QString &text, const QString &what, const QString &outcome);
    // The channel parameter of "Status" and "SetConfig" (body_status.cpp).
    int channelOf(const AMsg &msg, bool hasCh);

    // Time lists (body_times.cpp): every unit's times are refreshed first.
    QStringList realTimeTexts();
    QStringList liveTimeTexts();

    // ROI of an element's channel and its three ROI registers (body_roi.cpp).
    static void storeRoi(const Element &e, int start, int end);
    void logUnreadBounds(const AMsg &msg, const RoiBounds &b);
    static void writeRoiRegs(const Element &e);

    QColor rcvColor = QColor(200, 120, 0);   // received STARS requests in the log
    QMessageBox quitBox;
    DspSettingCtrl settingsCtrl;             // the settings editor: no parent, a window of its own
    Stars *stars = nullptr;                  // the form's StarsUi

    // Data link. The configuration keys are read with the STARS client; the
    // server, the transfer and the replies belong to body_datalink.cpp.
    QTcpServer dataLinkServer;
    QTcpSocket *dataLink = nullptr;
    QDataStream *dataLinkStream = nullptr;
    QString dataLinkIp = QStringLiteral("localhost");
    int dataLinkPort = 6058;
    bool discardDataLinkOn = true;           // DISCARD_DATA_LINK
    bool simpleTrans = true;                 // SIMPLE_TRANS
    int dataTransWaitMs = 3000;
    QTimer dataTransWaitTimer;
    bool inDataTrans = false;
    bool resendAfterReconnect = false;
    bool nackOwed = false;                   // a NAck came while a transfer was still unwritten
    qint64 lastTransferBytes = 0;            // the size of the last transfer written to the link
    bool dataLinkRestricted = false;         // DATA_LINK_ALLOW is set: only its peers may connect
    QList<QHostAddress> dataLinkAllow;       // the addresses of DATA_LINK_ALLOW
    ReplyScanner replies;                    // reply buffer and the "Ack"/"NAck" finder

    VexDAs units;                            // the DSP set, its elements and busy flag
    VexHv *hv = nullptr;                     // the HV unit (created by the HV step), or none
    int normalizeType = 2;                   // 0 Real, 1 Live, 2 None
    QTimer ddlDelayTimer;                    // debug data-link discard delay
    bool discardInVexDARequested = false;    // the debug discard "in a VexDA" was asked (nothing acts on it)
    bool showEarly = false;                  // show the window before the settings start-up
    QProgressBar *progressBar = nullptr;     // the settings editor's progress, in the status area
    std::unique_ptr<McaWindow> spectra;  // made on first use; goes before the units
};
