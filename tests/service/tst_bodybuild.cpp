// Body as the configuration builds it: the DSP units and their elements, the
// keys it applies, the busy event, the unit log and quitting.
//
// Units get loopback addresses with a simulated unit answering on its UDP
// port, so that construction (which writes the presets) does not wait.

#include <QtTest>

#include <QCheckBox>
#include <QPushButton>
#include <QTextEdit>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "dspreg.h"
#include "logarea.h"
#include "servicerig.h"
#include "simhost.h"
#include "simunit.h"
#include "unitstat.h"
#include "vexda.h"

namespace {

// A Body built from configuration lines, with simulated units at the
// addresses of its VEXDA lines.
class Built
{
public:
    Built(const QStringList &lines, const QStringList &simAddresses)
    {
        for (const QString &a : simAddresses)
            host.addDsp(a, QHostAddress(a), 4660, 0);
        host.start();
        QFile f(dir.filePath(QStringLiteral("config.cfg")));
        f.open(QIODevice::WriteOnly);
        f.write((QStringList{QStringLiteral("WRITE_LOG_FILE 0"), QStringLiteral("DATA_LINK_CH_PORT 0")} + lines)
                    .join(QLatin1Char('\n')).toUtf8() + '\n');
        f.close();
        cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
        cfg->readFile(f.fileName());
        CfgFile::setInstance(cfg.get());
        body = std::make_unique<Body>();
    }
    ~Built()
    {
        body.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        CfgFile::setInstance(nullptr);
    }
    QString elements() const
    {
        QStringList out;
        for (const Element &e : body->dspSet().elements)
            out << QStringLiteral("%1:%2").arg(e.unit->name()).arg(e.ch);
        return out.join(QLatin1Char(' '));
    }
    VexDA *unit(int i) const { return body->dspSet().units.at(i); }

    QTemporaryDir dir;
    SimHost host;
    std::unique_ptr<CfgFile> cfg;
    std::unique_ptr<Body> body;
};

QString logText(Body *b)
{
    return b->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
}

} // namespace

class TstBodyBuild : public QObject
{
    Q_OBJECT

private slots:
    void noUnit();
    void oneUnitInBMode();
    void twoUnitsFiveElements();
    void vexdaLines_data();
    void vexdaLines();
    void watchIntervalAndEmulate();
    void starsKeys();
    void busyEventAndLog();
    void unitLogReachesLogArea();
    void requestsLogged();
    void quitNoThenOk();
    void closingTheWindow();
};

void TstBodyBuild::noUnit()
{
    Built b({}, {});
    QVERIFY(b.body->dspSet().units.isEmpty());
    QVERIFY(b.body->dspSet().elements.isEmpty());
    QCOMPARE(b.body->currentNormalizeType(), 2);
    QVERIFY(!b.body->starsClient()->isConnected());
    QVERIFY(logText(b.body.get()).contains(QLatin1String("Starting !!")));
    // The register map is there for the handlers.
    QVERIFY(!allRegs.isEmpty());
}

void TstBodyBuild::oneUnitInBMode()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.1 1 0 1 0 b")}, {QStringLiteral("127.0.6.1")});
    QCOMPARE(b.body->dspSet().units.size(), 1);
    VexDA *u = b.unit(0);
    QCOMPARE(u->name(), QStringLiteral("dsp1"));
    QCOMPARE(u->ip(), QStringLiteral("127.0.6.1"));
    QCOMPARE(u->hgBytes, 32768);
    QCOMPARE(u->mcaLength, 4096);
    QCOMPARE(u->chUse, (QList<bool>{true, false, true, false}));
    QCOMPARE(b.elements(), QStringLiteral("dsp1:0 dsp1:2"));
    QCOMPARE(u->roiStart, (QList<int>{0, 0, 0, 0}));
    QCOMPARE(u->roiEnd, (QList<int>{2047, 2047, 2047, 2047}));
    QVERIFY(u->mcaSet);
    QCOMPARE(u->mcaSet->chs.size(), 4);
    QVERIFY(u->keepTcp());
    QVERIFY(!u->emulateSignal);
    // The unit was told its presets and a data transfer delay of 0.
    SimUnit *s = b.host.unit(QStringLiteral("127.0.6.1"));
    QCOMPARE(ServiceRig::writesTo(s, DspAddr::DTDelay1), QList<quint64>{0});
    QCOMPARE(ServiceRig::writesTo(s, DspAddr::MeasTime1).size(), 2);
    // Its status strip sits in the window.
    QCOMPARE(u->status()->window(), b.body.get());
}

void TstBodyBuild::twoUnitsFiveElements()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.2 1 1 0 0"), QStringLiteral("VEXDA dsp2 127.0.6.3 0 1 1 1")},
            {QStringLiteral("127.0.6.2"), QStringLiteral("127.0.6.3")});
    QCOMPARE(b.body->dspSet().units.size(), 2);
    QCOMPARE(b.unit(0)->name(), QStringLiteral("dsp1"));
    QCOMPARE(b.unit(1)->name(), QStringLiteral("dsp2"));
    QCOMPARE(b.elements(), QStringLiteral("dsp1:0 dsp1:1 dsp2:1 dsp2:2 dsp2:3"));
    QCOMPARE(b.unit(0)->hgBytes, 16384);
    QCOMPARE(b.unit(1)->hgBytes, 16384);
}

void TstBodyBuild::vexdaLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("elements");
    QTest::addColumn<int>("hgBytes");
    QTest::newRow("all used") << "VEXDA u 127.0.6.4 1 1 1 1" << "u:0 u:1 u:2 u:3" << 16384;
    QTest::newRow("none used") << "VEXDA u 127.0.6.4 0 0 0 0 B" << "" << 32768;
    QTest::newRow("flags missing") << "VEXDA u 127.0.6.4" << "" << 16384;
    QTest::newRow("two flags") << "VEXDA u 127.0.6.4 0 1" << "u:1" << 16384;
    QTest::newRow("only exactly 1") << "VEXDA u 127.0.6.4 2 1.0 x 01" << "u:3" << 16384;
    QTest::newRow("other mode") << "VEXDA u 127.0.6.4 1 0 0 0 C" << "u:0" << 16384;
    QTest::newRow("comment after") << "VEXDA u 127.0.6.4 1 0 0 1 b # long stream" << "u:0 u:3" << 32768;
}

void TstBodyBuild::vexdaLines()
{
    QFETCH(QString, line);
    QFETCH(QString, elements);
    QFETCH(int, hgBytes);
    Built b({line}, {QStringLiteral("127.0.6.4")});
    QCOMPARE(b.elements(), elements);
    QCOMPARE(b.unit(0)->hgBytes, hgBytes);
    QCOMPARE(b.unit(0)->chUse.size(), 4);
    QCOMPARE(b.unit(0)->roiEnd.size(), 4);
}

void TstBodyBuild::watchIntervalAndEmulate()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.5 1 0 0 0"), QStringLiteral("VEXDA dsp2 127.0.6.6 1 0 0 0"),
             QStringLiteral("WATCH_INTERVAL_MS dsp2 250.7"), QStringLiteral("WATCH_INTERVAL_MS nosuch 10"),
             QStringLiteral("WATCH_INTERVAL_MS DSP1 20"), QStringLiteral("WATCH_INTERVAL_MS dsp1 300"),
             QStringLiteral("WATCH_INTERVAL_MS dsp1 400"), QStringLiteral("EMULATE_DSP_SIGNAL 1")},
            {QStringLiteral("127.0.6.5"), QStringLiteral("127.0.6.6")});
    QCOMPARE(b.unit(0)->watchIntervalMs(), 400.0);
    QCOMPARE(b.unit(1)->watchIntervalMs(), 250.7);
    QCOMPARE(b.unit(1)->watchTimerIntervalMs(), 250);
    QVERIFY(b.unit(0)->emulateSignal);
    QVERIFY(b.unit(1)->emulateSignal);
    auto *box = b.body->findChild<QCheckBox *>(QStringLiteral("EmulateSignal"));
    QVERIFY(box->isChecked());
    box->setChecked(false);
    QVERIFY(!b.unit(0)->emulateSignal);
    QVERIFY(!b.unit(1)->emulateSignal);
}

void TstBodyBuild::starsKeys()
{
    Built b({QStringLiteral("STARS_IP 127.0.0.9"), QStringLiteral("STARS_PORT 7001"),
             QStringLiteral("NAME_ON_STARS Marlo2"), QStringLiteral("KEY_ON_STARS keys/m.key"),
             QStringLiteral("RECORD_MSG_TO_STARS 1"), QStringLiteral("RECORD_MSG_FROM_STARS 1")},
            {});
    Stars *s = b.body->starsClient();
    QCOMPARE(s->objectName(), QStringLiteral("StarsUi"));
    QCOMPARE(s->host(), QStringLiteral("127.0.0.9"));
    QCOMPARE(s->portText(), QStringLiteral("7001"));
    QCOMPARE(s->nodeName(), QStringLiteral("Marlo2"));
    QCOMPARE(s->keyFile(), QStringLiteral("keys/m.key"));
    QVERIFY(s->logSendingMsg());
    QVERIFY(b.body->findChild<QCheckBox *>(QStringLiteral("LogMsgFromStars"))->isChecked());
    b.body->findChild<QCheckBox *>(QStringLiteral("LogMsgToStars"))->setChecked(false);
    QVERIFY(!s->logSendingMsg());
    QVERIFY(!s->isConnected());

    Built d({}, {});
    QCOMPARE(d.body->starsClient()->host(), QStringLiteral("localhost"));
    QCOMPARE(d.body->starsClient()->portText(), QStringLiteral("6057"));
    QCOMPARE(d.body->starsClient()->nodeName(), QStringLiteral("Marlo"));
    QCOMPARE(d.body->starsClient()->keyFile(), QStringLiteral("Marlo.key"));
    QVERIFY(!d.body->starsClient()->logSendingMsg());
}

void TstBodyBuild::busyEventAndLog()
{
    ServiceRig rig;
    QVERIFY2(rig.start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.7"), QStringLiteral("1 0 0 0")},
                        {QStringLiteral("dsp2"), QStringLiteral("127.0.6.8"), QStringLiteral("1 0 0 0")}}),
             qPrintable(rig.error()));
    VexDA *u1 = rig.unit(QStringLiteral("dsp1"));
    VexDA *u2 = rig.unit(QStringLiteral("dsp2"));
    Stars *stars = rig.body()->starsClient();

    u1->startMeasWatch();
    QVERIFY(logText(rig.body()).contains(QLatin1String("Emitting Event: ChangedIsBusy 1")));
    QVERIFY(stars->busy());
    u2->startMeasWatch();   // the set stays busy: no second event
    QVERIFY(rig.waitForEvent(QStringLiteral("ChangedIsBusy 1")));
    QCOMPARE(rig.ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    u1->stopMeasWatch();
    QCOMPARE(rig.ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    u2->stopMeasWatch();
    QVERIFY(logText(rig.body()).contains(QLatin1String("Emitting Event: ChangedIsBusy 0")));
    QVERIFY(!stars->busy());
    QCOMPARE(rig.ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(rig.takeEvents(), QStringList{QStringLiteral("ChangedIsBusy 0")});
    QCOMPARE(logText(rig.body()).count(QLatin1String("Emitting Event: ChangedIsBusy")), 2);
    QCOMPARE(rig.peer().receivedLines().filter(QStringLiteral("_ChangedIsBusy")),
             (QStringList{QStringLiteral("Marlo>Ravel _ChangedIsBusy 1"), QStringLiteral("Marlo>Ravel _ChangedIsBusy 0")}));
}

void TstBodyBuild::unitLogReachesLogArea()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.9 1 0 0 0")}, {QStringLiteral("127.0.6.9")});
    emit b.unit(0)->log(QStringLiteral("a unit message"), QColor(1, 2, 3));
    QVERIFY(logText(b.body.get()).contains(QLatin1String("a unit message")));
    b.unit(0)->startMeasWatch();
    QVERIFY(logText(b.body.get()).contains(QLatin1String("Changed Busy 1")));
    b.unit(0)->inMeas = false;
    b.unit(0)->checkIsBusy();
    QVERIFY(logText(b.body.get()).contains(QLatin1String("Changed Busy 0")));
}

void TstBodyBuild::requestsLogged()
{
    ServiceRig rig;
    QVERIFY2(rig.start({}, {QStringLiteral("RECORD_MSG_FROM_STARS 1")}), qPrintable(rig.error()));
    QCOMPARE(rig.ask(QStringLiteral("GetROIs")), QString(QLatin1String("")));
    QCOMPARE(rig.lastLine(), QStringLiteral("Marlo>Ravel @GetROIs "));
    QCOMPARE(rig.ask(QStringLiteral("Nonsense a  b")), QStringLiteral("Er: Unknown Command"));
    const QString log = logText(rig.body());
    QVERIFY(log.contains(QLatin1String(":::: Rcv Ravel>Marlo GetROIs")));
    QVERIFY(log.contains(QLatin1String(":::: Rcv Ravel>Marlo Nonsense a  b")));
    QVERIFY(log.contains(QLatin1String("**** Er:  Nonsense a  b")));
    // With no unit: the answers the empty set gives.
    QCOMPARE(rig.ask(QStringLiteral("GetMCALength")), QStringLiteral("Er: No DSPs are managed"));
    QCOMPARE(rig.ask(QStringLiteral("GetPresetType")), QStringLiteral("Er: No DSPs are managed"));
    QCOMPARE(rig.ask(QStringLiteral("GetPresetValue")), QStringLiteral("Er: No DSPs are managed"));
    QCOMPARE(rig.ask(QStringLiteral("RunStart 3")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("Clear")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("SetPresetValue 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("SetROIs 1 2")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("SetROIs")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("GetValues")), QStringLiteral("0    "));
    QCOMPARE(rig.ask(QStringLiteral("GetRealTime")), QStringLiteral("0"));
    QCOMPARE(rig.ask(QStringLiteral("GetLiveTime")), QStringLiteral("0"));
    QCOMPARE(rig.ask(QStringLiteral("GetRealTimes")), QString(QLatin1String("")));
    QCOMPARE(rig.ask(QStringLiteral("GetDeadTimes")), QString(QLatin1String("")));
    QCOMPARE(rig.ask(QStringLiteral("GetValue 0")), QStringLiteral("Er: Elment No."));
    QCOMPARE(rig.ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
    QCOMPARE(rig.strayAnswers, QStringList());
    QCOMPARE(rig.takeEvents(), QStringList());
}

void TstBodyBuild::quitNoThenOk()
{
    ServiceRig rig;
    QVERIFY2(rig.start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.10"), QStringLiteral("1 0 0 0")},
                        {QStringLiteral("dsp2"), QStringLiteral("127.0.6.11"), QStringLiteral("0 0 0 1")}}),
             qPrintable(rig.error()));
    Body *body = rig.body();
    QSignalSpy finishing(body, &Body::finishing);

    body->findChild<QPushButton *>(QStringLiteral("Quit"))->click();
    QVERIFY(body->quitDialog()->isVisible());
    body->quitDialog()->button(QMessageBox::No)->click();
    QVERIFY(QTest::qWaitFor([&] { return !body->quitDialog()->isVisible(); }));
    QCOMPARE(finishing.count(), 0);
    // Still running: requests are served, the units stay connected.
    QCOMPARE(rig.ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    for (VexDA *u : body->dspSet().units) {
        QVERIFY(u->keepTcp());
        QCOMPARE(u->tcpSocket()->state(), QAbstractSocket::ConnectedState);
    }

    body->findChild<QPushButton *>(QStringLiteral("Quit"))->click();
    QVERIFY(body->quitDialog()->isVisible());
    // Requests are served while the box is open.
    QCOMPARE(rig.ask(QStringLiteral("GetNormalizeType")), QStringLiteral("None"));
    body->quitDialog()->button(QMessageBox::Ok)->click();
    QCOMPARE(finishing.count(), 1);
    for (VexDA *u : body->dspSet().units) {
        QVERIFY(!u->keepTcp());
        QVERIFY(QTest::qWaitFor([u] { return u->tcpSocket()->state() == QAbstractSocket::UnconnectedState; }, 5000));
    }
}

void TstBodyBuild::closingTheWindow()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.12 1 0 0 0")}, {QStringLiteral("127.0.6.12")});
    QSignalSpy finishing(b.body.get(), &Body::finishing);
    b.body->show();
    QVERIFY(b.body->close());
    QCOMPARE(finishing.count(), 1);
    // Without the confirmation, the units are not stopped.
    QVERIFY(b.unit(0)->keepTcp());
}

QTEST_MAIN(TstBodyBuild)
#include "tst_bodybuild.moc"
