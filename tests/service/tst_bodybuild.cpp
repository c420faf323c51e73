// Body as the configuration builds it: the DSP units and their elements, the
// keys it applies, the busy event, the unit log and quitting. Units get loopback addresses with a simulated unit answering on its UDP
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
    void vexdaLines_data();
    void vexdaLines();
    void keysApplied();
    void busyEventAndLog();
    void requestsLogged();
    void quitStopsUnits();
};

void TstBodyBuild::vexdaLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("elements");
    QTest::addColumn<int>("hgBytes");
    QTest::newRow("none") << QStringList{} << "" << 0;
    QTest::newRow("two units") << QStringList{"VEXDA u 127.0.6.4 1 1 0 0", "VEXDA v 127.0.6.3 0 1 1 1"}
                               << "u:0 u:1 v:1 v:2 v:3" << 16384;
    QTest::newRow("B mode") << QStringList{"VEXDA u 127.0.6.4 1 0 1 0 b"} << "u:0 u:2" << 32768;
    QTest::newRow("flags missing") << QStringList{"VEXDA u 127.0.6.4"} << "" << 16384;
    QTest::newRow("two flags") << QStringList{"VEXDA u 127.0.6.4 0 1"} << "u:1" << 16384;
    QTest::newRow("only exactly 1") << QStringList{"VEXDA u 127.0.6.4 2 1.0 x 01"} << "u:3" << 16384;
    QTest::newRow("other mode") << QStringList{"VEXDA u 127.0.6.4 1 0 0 0 C"} << "u:0" << 16384;
    QTest::newRow("comment after") << QStringList{"VEXDA u 127.0.6.4 1 0 0 1 B # long stream"} << "u:0 u:3"
                                   << 32768;
}

void TstBodyBuild::vexdaLines()
{
    QFETCH(QStringList, lines);
    QFETCH(int, hgBytes);
    Built b(lines, {QStringLiteral("127.0.6.3"), QStringLiteral("127.0.6.4")});
    QTEST(b.elements(), "elements");
    for (VexDA *u : b.body->dspSet().units) {
        QCOMPARE(u->hgBytes, hgBytes);
        QCOMPARE(u->roiEnd, (QList<int>{2047, 2047, 2047, 2047}));
        QCOMPARE(u->mcaSet->chs.size(), 4);
        QVERIFY(u->keepTcp() && u->quickPresetEnd());
        QCOMPARE(u->status()->window(), b.body.get());
        // The unit was told its presets and a data transfer delay of 0.
        SimUnit *s = b.host.unit(u->ip());
        QCOMPARE(ServiceRig::writesTo(s, DspAddr::DTDelay1), QList<quint64>{0});
        QCOMPARE(ServiceRig::writesTo(s, DspAddr::MeasTime1).size(), 2);
    }
}

void TstBodyBuild::keysApplied()
{
    Built b({QStringLiteral("VEXDA dsp1 127.0.6.5 1 0 0 0"), QStringLiteral("VEXDA dsp2 127.0.6.6 1 0 0 0"),
             QStringLiteral("WATCH_INTERVAL_MS dsp2 250.7"), QStringLiteral("WATCH_INTERVAL_MS nosuch 10"),
             QStringLiteral("WATCH_INTERVAL_MS DSP1 20"), QStringLiteral("WATCH_INTERVAL_MS dsp1 300"),
             QStringLiteral("WATCH_INTERVAL_MS dsp1 400"), QStringLiteral("EMULATE_DSP_SIGNAL 1"), QStringLiteral("QUICK_PRESET_END 0"),
             QStringLiteral("STARS_IP 127.0.0.9"), QStringLiteral("STARS_PORT 7001"),
             QStringLiteral("NAME_ON_STARS Marlo2"), QStringLiteral("KEY_ON_STARS keys/m.key"),
             QStringLiteral("RECORD_MSG_TO_STARS 1"), QStringLiteral("RECORD_MSG_FROM_STARS 1")},
            {QStringLiteral("127.0.6.5"), QStringLiteral("127.0.6.6")});
    QCOMPARE(b.unit(0)->watchIntervalMs(), 400.0);
    QCOMPARE(b.unit(1)->watchTimerIntervalMs(), 250);
    QVERIFY(!b.unit(0)->quickPresetEnd() && !b.unit(1)->quickPresetEnd());
    QVERIFY(b.unit(0)->emulateSignal && b.unit(1)->emulateSignal);
    auto *box = b.body->findChild<QCheckBox *>(QStringLiteral("EmulateSignal"));
    QVERIFY(box->isChecked());
    box->setChecked(false);
    QVERIFY(!b.unit(0)->emulateSignal && !b.unit(1)->emulateSignal);
    emit b.unit(0)->log(QStringLiteral("a unit message"), QColor(1, 2, 3));
    QVERIFY(logText(b.body.get()).contains(QLatin1String("a unit message")));

    Stars *s = b.body->starsClient();
    QCOMPARE(QStringList({s->host(), s->portText(), s->nodeName(), s->keyFile()}),
             QStringList({"127.0.0.9", "7001", "Marlo2", "keys/m.key"}));
    QVERIFY(s->logSendingMsg());
    QVERIFY(b.body->findChild<QCheckBox *>(QStringLiteral("LogMsgFromStars"))->isChecked());
    b.body->findChild<QCheckBox *>(QStringLiteral("LogMsgToStars"))->setChecked(false);
    QVERIFY(!s->logSendingMsg());
}

// Busy of the set: one event when the first unit starts, one when the last
// one stops, on the bus and in the log.
void TstBodyBuild::busyEventAndLog()
{
    ServiceRig rig;
    QVERIFY2(rig.start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.7"), QStringLiteral("1 0 0 0")},
                        {QStringLiteral("dsp2"), QStringLiteral("127.0.6.8"), QStringLiteral("1 0 0 0")}}),
             qPrintable(rig.error()));
    VexDA *u1 = rig.unit(QStringLiteral("dsp1"));
    VexDA *u2 = rig.unit(QStringLiteral("dsp2"));
    u1->startMeasWatch();
    u2->startMeasWatch();
    QVERIFY(rig.waitForEvent(QStringLiteral("ChangedIsBusy 1")));
    u1->stopMeasWatch();
    QCOMPARE(rig.ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    u2->stopMeasWatch();
    QVERIFY(!rig.body()->starsClient()->busy());
    QCOMPARE(rig.ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(rig.takeEvents(), QStringList{QStringLiteral("ChangedIsBusy 0")});
    QCOMPARE(logText(rig.body()).count(QLatin1String("Emitting Event: ChangedIsBusy")), 2);
}

// Requests are logged when asked to; the set without units answers them all.
void TstBodyBuild::requestsLogged()
{
    ServiceRig rig;
    QVERIFY2(rig.start({}, {QStringLiteral("RECORD_MSG_FROM_STARS 1")}), qPrintable(rig.error()));
    QCOMPARE(rig.ask(QStringLiteral("Nonsense a  b")), QStringLiteral("Er: Unknown Command"));
    const QString log = logText(rig.body());
    QVERIFY(log.contains(QLatin1String(":::: Rcv Ravel>Marlo Nonsense a  b")));
    QVERIFY(log.contains(QLatin1String("**** Er:  Nonsense a  b")));
    const QList<QPair<const char *, const char *>> answers{
        {"GetMCALength", "Er: No DSPs are managed"}, {"RunStart 3", "Ok:"}, {"SetROIs 1 2", "Ok:"},
        {"GetValues", "0    "}, {"GetRealTime", "0"}, {"GetRealTimes", ""}, {"GetValue 0", "Er: Elment No."}};
    for (const auto &a : answers)
        QCOMPARE(rig.ask(QLatin1String(a.first)), QLatin1String(a.second));
    QCOMPARE(rig.strayAnswers, QStringList());
    QCOMPARE(rig.takeEvents(), QStringList());
}

// Ok in the quit box stops the units; requests are served while it is open.
void TstBodyBuild::quitStopsUnits()
{
    ServiceRig rig;
    QVERIFY2(rig.start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.10"), QStringLiteral("1 0 0 0")}}),
             qPrintable(rig.error()));
    Body *body = rig.body();
    VexDA *u = rig.unit(QStringLiteral("dsp1"));
    QCOMPARE(u->tcpSocket()->state(), QAbstractSocket::ConnectedState);
    body->findChild<QPushButton *>(QStringLiteral("Quit"))->click();
    QCOMPARE(rig.ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    body->quitDialog()->button(QMessageBox::Yes)->click();
    QVERIFY(!u->keepTcp());
    QVERIFY(QTest::qWaitFor([u] { return u->tcpSocket()->state() == QAbstractSocket::UnconnectedState; }, 5000));
}

QTEST_MAIN(TstBodyBuild)
#include "tst_bodybuild.moc"
