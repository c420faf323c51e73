// "Status", "SetConfig", "GetHistgram", "GetDataLinkCh" and the HV commands
// end to end: the peer node asks over the STARS bus, Marlo talks to simulated
// DSP units and a simulated HV unit, the test checks the answers, the events
// and what the units were told.
//
// dsp1 (channels 0 and 1 in use) streams normal histograms, dsp2 (channels 1
// and 2) "B" mode ones; the HV unit hv1 answers at its own address.

#include <QtTest>

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include <memory>

#include "body.h"
#include "dspreg.h"
#include "logarea.h"
#include "logsink.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "unitstat.h"
#include "vexda.h"
#include "vexhv.h"

namespace {

const QString hvAddress = QStringLiteral("127.0.6.53");
const QString noHv = QStringLiteral("Er: HV unit is not avaliable.");

QList<ServiceRig::Unit> twoUnits()
{
    return {{QStringLiteral("dsp1"), QStringLiteral("127.0.6.51"), QStringLiteral("1 1 0 0")},
            {QStringLiteral("dsp2"), QStringLiteral("127.0.6.52"), QStringLiteral("0 1 1 0"), true}};
}

QString numbers(const QVector<quint32> &v, int n)
{
    QStringList out;
    for (int i = 0; i < n; ++i)
        out << QString::number(v.at(i));
    return out.join(QLatin1Char(' '));
}

} // namespace

class TstStatusHvE2e : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void registers_data();
    void registers();
    void registerOfSilentUnit();
    void getHistgram_data();
    void getHistgram();
    void getHistgramNotDelivered();
    void withoutHv_data();
    void withoutHv();
    void hvLayout();
    void hvStatusWords_data();
    void hvStatusWords();
    void hvVoltage_data();
    void hvVoltage();
    void hvReadParameters_data();
    void hvReadParameters();
    void hvSwitching();
    void hvPanelButtons();
    void silentHv();

private:
    bool start(bool withHv, const QStringList &extra = {});
    bool waitForPoll();
    QStringList logLines() const;

    std::unique_ptr<ServiceRig> rig;
    SimUnit *sim1 = nullptr;
    SimUnit *sim2 = nullptr;
    SimUnit *simHv = nullptr;
    Body *body = nullptr;
};

bool TstStatusHvE2e::start(bool withHv, const QStringList &extra)
{
    rig = std::make_unique<ServiceRig>();
    QStringList lines = extra;
    if (withHv) {
        rig->addHv(QStringLiteral("hv1"), hvAddress);
        lines.prepend(QStringLiteral("VEXHV hv1 ") + hvAddress);
    }
    if (!rig->start(twoUnits(), lines)) {
        qWarning() << rig->error();
        return false;
    }
    body = rig->body();
    logSink = body->logArea();
    sim1 = rig->sim(QStringLiteral("dsp1"));
    sim2 = rig->sim(QStringLiteral("dsp2"));
    simHv = rig->sim(QStringLiteral("hv1"));
    sim1->clearRequests();
    sim2->clearRequests();
    return true;
}

void TstStatusHvE2e::cleanup()
{
    if (rig && rig->body()) {
        if (sim1)
            sim1->setFaults(SimFaults());
        if (sim2)
            sim2->setFaults(SimFaults());
        if (simHv)
            simHv->setFaults(SimFaults());
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->strayAnswers, QStringList());
    }
    rig.reset();
    body = nullptr;
    simHv = nullptr;
}

// Two complete polls of the HV unit after this call.
bool TstStatusHvE2e::waitForPoll()
{
    const int before = ServiceRig::readsOf(simHv, VexHv::regValue);
    return QTest::qWaitFor([&] { return ServiceRig::readsOf(simHv, VexHv::regValue) >= before + 2; }, 10000);
}

QStringList TstStatusHvE2e::logLines() const
{
    const QString all = body->logArea()->findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    QStringList out;
    for (const QString &l : all.split(QLatin1Char('\n')))
        out << l.mid(22);
    return out;
}

// ---- registers by name ----------------------------------------------------------------

void TstStatusHvE2e::registers_data()
{
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<quint32>("writeAddr");   // 0: nothing written
    QTest::addColumn<quint64>("written");

    // dsp1 holds 160 in channel 1's peaking time and 0x12345678 in RealTime1..2.
    QTest::newRow("Status with channel") << "Marlo.dsp1" << "Status SFilterPeakingT 1"
                                         << "SFilterPeakingT 1 160 0xa0" << 0u << quint64(0);
    QTest::newRow("Status without channel") << "Marlo.dsp1" << "Status SFilterPeakingT"
                                            << "SFilterPeakingT 7 0x7" << 0u << quint64(0);
    QTest::newRow("Status unit-wide, channel clamped") << "Marlo.dsp1" << "Status RealTime1 7"
                                                       << "RealTime1 3 4660 0x1234" << 0u << quint64(0);
    QTest::newRow("Status channel not a number") << "Marlo.dsp1" << "Status SFilterPeakingT x"
                                                 << "SFilterPeakingT 0 7 0x7" << 0u << quint64(0);
    QTest::newRow("Status negative channel") << "Marlo.dsp1" << "Status SFilterPeakingT -4"
                                             << "SFilterPeakingT 0 7 0x7" << 0u << quint64(0);
    QTest::newRow("Status extra parameters") << "Marlo.dsp1" << "Status SFilterPeakingT 1 junk"
                                             << "SFilterPeakingT 1 160 0xa0" << 0u << quint64(0);
    QTest::newRow("Status unknown name") << "Marlo.dsp1" << "Status NoSuchReg" << "Er: No Status [NoSuchReg]"
                                         << 0u << quint64(0);
    QTest::newRow("Status no name") << "Marlo.dsp1" << "Status" << "Er: No Status []" << 0u << quint64(0);
    QTest::newRow("Status to Marlo") << "Marlo" << "Status SFilterPeakingT" << "Er: No dsp of id " << 0u
                                     << quint64(0);
    QTest::newRow("Status to no unit") << "Marlo.dsp9" << "Status SFilterPeakingT" << "Er: No dsp of id dsp9"
                                       << 0u << quint64(0);

    QTest::newRow("SetConfig hexadecimal with channel")
        << "Marlo.dsp1" << "SetConfig SFilterPeakingT 2 0x1F4" << "SFilterPeakingT 2 500 0x1f4"
        << quint32(0xB400060A) << quint64(500);
    QTest::newRow("SetConfig without channel") << "Marlo.dsp2" << "SetConfig SFilterPeakingT 300"
                                               << "SFilterPeakingT 300 0x12c" << quint32(0xB400020A)
                                               << quint64(300);
    QTest::newRow("SetConfig beyond 16 bits") << "Marlo.dsp1" << "SetConfig SFilterPeakingT 70000"
                                              << "SFilterPeakingT 4464 0x1170" << quint32(0xB400020A)
                                              << quint64(4464);
    QTest::newRow("SetConfig hexadecimal beyond 16 bits")
        << "Marlo.dsp1" << "SetConfig SFilterPeakingT 3 0x12345" << "SFilterPeakingT 3 9029 0x2345"
        << quint32(0xB400080A) << quint64(0x2345);
    QTest::newRow("SetConfig beyond 32 bits") << "Marlo.dsp1" << "SetConfig SFilterPeakingT 1 99999999999"
                                              << "SFilterPeakingT 1 0 0x0" << quint32(0xB400040A)
                                              << quint64(0);
    QTest::newRow("SetConfig negative") << "Marlo.dsp1" << "SetConfig SFilterPeakingT -1"
                                        << "SFilterPeakingT 65535 0xffff" << quint32(0xB400020A)
                                        << quint64(0xFFFF);
    QTest::newRow("SetConfig not a number") << "Marlo.dsp1" << "SetConfig SFilterPeakingT ten"
                                            << "SFilterPeakingT 0 0x0" << quint32(0xB400020A) << quint64(0);
    QTest::newRow("SetConfig capital X") << "Marlo.dsp1" << "SetConfig SFilterPeakingT 0X10"
                                         << "SFilterPeakingT 0 0x0" << quint32(0xB400020A) << quint64(0);
    QTest::newRow("SetConfig no value") << "Marlo.dsp1" << "SetConfig SFilterPeakingT"
                                        << "SFilterPeakingT 0 0x0" << quint32(0xB400020A) << quint64(0);
    QTest::newRow("SetConfig channel clamped") << "Marlo.dsp1" << "SetConfig SFilterPeakingT 9 12"
                                               << "SFilterPeakingT 3 12 0xc" << quint32(0xB400080A)
                                               << quint64(12);
    QTest::newRow("SetConfig unknown name") << "Marlo.dsp1" << "SetConfig NoSuchReg 1"
                                            << "Er: No Status [NoSuchReg]" << 0u << quint64(0);
    QTest::newRow("SetConfig to no unit") << "Marlo.x" << "SetConfig SFilterPeakingT 1"
                                          << "Er: No dsp of id x" << 0u << quint64(0);
}

void TstStatusHvE2e::registers()
{
    QFETCH(QString, to);
    QFETCH(QString, request);
    QFETCH(QString, answer);
    QFETCH(quint32, writeAddr);
    QFETCH(quint64, written);
    QVERIFY(start(false));
    sim1->setReg(0xB400020A, 7);
    sim1->setReg(0xB400040A, 160);
    sim1->setReg(DspAddr::RealTime1, 0x1234);
    sim1->clearRequests();
    sim2->clearRequests();

    QCOMPARE(rig->ask(request, to), answer);
    SimUnit *target = to.endsWith(QLatin1String("dsp2")) ? sim2 : sim1;
    if (writeAddr) {
        QCOMPARE(ServiceRig::writesTo(target, writeAddr), QList<quint64>{written});
        QCOMPARE(target->reg(writeAddr), quint16(written));
        QCOMPARE(target->requests().size(), 1);
    } else if (answer.startsWith(QLatin1String("Er:"))) {
        QCOMPARE(sim1->requests().size(), 0);
        QCOMPARE(sim2->requests().size(), 0);
    } else {
        QCOMPARE(target->requests().size(), 1);
    }
}

// A unit that does not answer: logged, answered with 0.
void TstStatusHvE2e::registerOfSilentUnit()
{
    QVERIFY(start(false));
    SimFaults f;
    f.silent = true;
    sim1->setFaults(f);
    QCOMPARE(rig->ask(QStringLiteral("Status SFilterPeakingT 1"), QStringLiteral("Marlo.dsp1")),
             QStringLiteral("SFilterPeakingT 1 0 0x0"));
    QCOMPARE(rig->ask(QStringLiteral("SetConfig SFilterPeakingT 5"), QStringLiteral("Marlo.dsp1")),
             QStringLiteral("SFilterPeakingT 0 0x0"));
    const QStringList lines = logLines();
    QCOMPARE(lines.filter(QStringLiteral("Er: asking status to answer a request from stars ")).size(), 1);
    QVERIFY(lines.contains(QStringLiteral("Er: asking status to answer a request from stars  Status SFilterPeakingT 1")));
    QVERIFY(lines.contains(QStringLiteral("Er: setting config on a request from stars  SetConfig SFilterPeakingT 5")));
}

// ---- histogram as text -------------------------------------------------------------------

void TstStatusHvE2e::getHistgram_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("ch");
    QTest::addColumn<bool>("ok");
    QTest::newRow("normal mode") << "GetHistgram 1" << "dsp1" << 1 << true;
    QTest::newRow("B mode: the first 4096 of 8192 bins") << "GetHistgram 3" << "dsp2" << 2 << true;
    QTest::newRow("no parameter") << "GetHistgram" << "" << 0 << false;
    QTest::newRow("two parameters") << "GetHistgram 1 2" << "" << 0 << false;
    QTest::newRow("element out of range") << "GetHistgram 4" << "" << 0 << false;
    QTest::newRow("element not a number") << "GetHistgram x" << "" << 0 << false;
}

void TstStatusHvE2e::getHistgram()
{
    QFETCH(QString, request);
    QFETCH(QString, unit);
    QFETCH(int, ch);
    QFETCH(bool, ok);
    QVERIFY(start(false));
    if (!ok) {
        const QString a = rig->ask(request);
        QVERIFY2(a == QLatin1String("Er: Number of Params shuld be 1") || a == QLatin1String("Er: Elment No."),
                 qPrintable(a));
        QCOMPARE(sim1->requests().size() + sim2->requests().size(), 0);
        return;
    }
    SimUnit *s = rig->sim(unit);
    const int streamBins = s->bMode() ? 8192 : 4096;
    QVector<quint32> bins(streamBins);
    for (int i = 0; i < streamBins; ++i)
        bins[i] = quint32(i) * 65537u + quint32(ch);   // large values: unsigned, decimal
    s->setHistogram(ch, bins);
    const QString answer = rig->ask(request);
    QCOMPARE(answer.count(QLatin1Char(' ')), 4095);
    QCOMPARE(answer, numbers(bins, 4096));
}

// A histogram that does not come: the previous contents of the buffer.
void TstStatusHvE2e::getHistgramNotDelivered()
{
    QVERIFY(start(false));
    sim1->setHistogram(0, QVector<quint32>(4096, 5));
    const QString first = rig->ask(QStringLiteral("GetHistgram 0"));
    QCOMPARE(first, numbers(QVector<quint32>(4096, 5), 4096));
    SimFaults f;
    f.noTcpData = true;
    sim1->setFaults(f);
    sim1->setHistogram(0, QVector<quint32>(4096, 9));
    QCOMPARE(rig->ask(QStringLiteral("GetHistgram 0")), first);
}

// ---- HV -------------------------------------------------------------------------------------

void TstStatusHvE2e::withoutHv_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("HVStart") << "HVStart";
    QTest::newRow("HVStop") << "HVStop 1";
    QTest::newRow("HVStat2") << "HVStat2";
    QTest::newRow("HVVol") << "HVVol x y";
}

void TstStatusHvE2e::withoutHv()
{
    QFETCH(QString, request);
    // The read parameters mean nothing without a unit.
    QVERIFY(start(false, {QStringLiteral("HV_READ_PARAMS 100 0 0xFFF"), QStringLiteral("HV_READ_TYPE 1")}));
    QVERIFY(!body->hvUnit());
    QCOMPARE(rig->ask(request), noHv);
}

void TstStatusHvE2e::hvLayout()
{
    QVERIFY(start(true));
    VexHv *hv = body->hvUnit();
    QVERIFY(hv);
    QCOMPARE(hv->name(), QStringLiteral("hv1"));
    QCOMPARE(hv->ip(), hvAddress);
    auto *grid = body->findChild<QGridLayout *>(QStringLiteral("DspStats"));
    QVERIFY(grid);
    QCOMPARE(grid->itemAtPosition(0, 0)->widget(), body->dspSet().units.at(0)->status());
    QCOMPARE(grid->itemAtPosition(1, 0)->widget(), body->dspSet().units.at(1)->status());
    QVERIFY(!grid->itemAtPosition(2, 0));
    QCOMPARE(grid->itemAtPosition(3, 0)->widget(), static_cast<QWidget *>(hv->status()));
    QCOMPARE(grid->itemAtPosition(4, 0)->widget(), static_cast<QWidget *>(hv->panel()));
    // It polls: status word, then voltage.
    QVERIFY(waitForPoll());
    QVERIFY(ServiceRig::readsOf(simHv, VexHv::regStat) >= 2);
}

void TstStatusHvE2e::hvStatusWords_data()
{
    QTest::addColumn<quint16>("word");
    QTest::addColumn<QString>("stat");
    QTest::addColumn<QString>("event");   // empty: none
    // The simulated unit starts positive and off (0x0020): sweep 0.
    QTest::newRow("on, positive, emergency bits") << quint16(0x0034) << "2" << "ChangedHVStat 2";
    QTest::newRow("in transition") << quint16(0x0002) << "1" << "ChangedHVStat 1";
    QTest::newRow("other nibble") << quint16(0x0007) << "-1" << "ChangedHVStat -1";
    QTest::newRow("nibble 3") << quint16(0x0023) << "-1" << "ChangedHVStat -1";
    QTest::newRow("off, other bits change") << quint16(0x0010) << "0" << "";
    QTest::newRow("high bits ignored") << quint16(0xFF04) << "2" << "ChangedHVStat 2";
}

void TstStatusHvE2e::hvStatusWords()
{
    QFETCH(quint16, word);
    QFETCH(QString, stat);
    QFETCH(QString, event);
    QVERIFY(start(true));
    QVERIFY(waitForPoll());
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
    rig->takeEvents();
    simHv->setReg(VexHv::regStat, word);
    QVERIFY(waitForPoll());
    QCOMPARE(body->hvUnit()->hvStat().stat, word);
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), stat);
    if (event.isEmpty()) {
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->takeEvents(), QStringList());
    } else {
        QVERIFY(rig->waitForEvent(event));
        QCOMPARE(rig->takeEvents(), QStringList());
    }
}

void TstStatusHvE2e::hvVoltage_data()
{
    QTest::addColumn<quint16>("raw");
    QTest::addColumn<QString>("volts");
    QTest::newRow("half scale") << quint16(0xC000) << "100";
    QTest::newRow("zero") << quint16(0x8000) << "0";
    QTest::newRow("full scale") << quint16(0xFFFF) << "199.994";
    QTest::newRow("below the minimum is negative") << quint16(0x4000) << "-100";
    QTest::newRow("raw 1") << quint16(1) << "-199.994";
}

// "HVVol" reads the unit itself; the panel shows the same.
void TstStatusHvE2e::hvVoltage()
{
    QFETCH(quint16, raw);
    QFETCH(QString, volts);
    QVERIFY(start(true));
    // Keep the poll from taking the reading first.
    QVERIFY(waitForPoll());
    body->hvUnit()->watchTimer()->stop();
    const int reads = ServiceRig::readsOf(simHv, VexHv::regValue);
    simHv->setReg(VexHv::regValue, raw);
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), volts);
    QCOMPARE(ServiceRig::readsOf(simHv, VexHv::regValue), reads + 1);
    QCOMPARE(body->hvUnit()->panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(), volts);
}

void TstStatusHvE2e::hvReadParameters_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<quint16>("raw");
    QTest::addColumn<QString>("volts");
    QTest::newRow("params") << QStringList{"HV_READ_PARAMS 100 0x0 0xFFF"} << quint16(0x800) << "50";
    QTest::newRow("params, decimal") << QStringList{"HV_READ_PARAMS 100 0 4095"} << quint16(0x400) << "25";
    QTest::newRow("type 1") << QStringList{"HV_READ_TYPE 1"} << quint16(0x800) << "100";
    QTest::newRow("type 2") << QStringList{"HV_READ_TYPE 2"} << quint16(0x400) << "100";
    QTest::newRow("type wins over params")
        << QStringList{"HV_READ_TYPE 2", "HV_READ_PARAMS 100 0x0 0xFFF"} << quint16(0x400) << "100";
    QTest::newRow("unknown type changes nothing")
        << QStringList{"HV_READ_PARAMS 100 0x0 0xFFF", "HV_READ_TYPE 5"} << quint16(0x800) << "50";
    QTest::newRow("type too large for int changes nothing")
        << QStringList{"HV_READ_PARAMS 100 0x0 0xFFF", "HV_READ_TYPE 99999999999"} << quint16(0x800) << "50";
}

void TstStatusHvE2e::hvReadParameters()
{
    QFETCH(QStringList, lines);
    QFETCH(quint16, raw);
    QFETCH(QString, volts);
    QVERIFY(start(true, lines));
    body->hvUnit()->watchTimer()->stop();
    simHv->setReg(VexHv::regValue, raw);
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), volts);
}

// "HVStart" ramps the unit up: the events follow its sweep state.
void TstStatusHvE2e::hvSwitching()
{
    QVERIFY(start(true));
    simHv->setRampMs(1000);
    QVERIFY(waitForPoll());
    rig->takeEvents();
    simHv->clearRequests();

    QCOMPARE(rig->ask(QStringLiteral("HVStart")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), QList<quint64>{1});
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedHVStat 1")));
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedHVStat 2")));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QVERIFY(waitForPoll());
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), QStringLiteral("100"));
    QCOMPARE(body->hvUnit()->panel()->findChild<QLineEdit *>(QStringLiteral("Voltage"))->text(),
             QStringLiteral("100"));

    QCOMPARE(rig->ask(QStringLiteral("HVStop any")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), (QList<quint64>{1, 0}));
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedHVStat 1")));
    QVERIFY(rig->waitForEvent(QStringLiteral("ChangedHVStat 0")));
    QCOMPARE(rig->ask(QStringLiteral("HVStat2")), QStringLiteral("0"));
    QCOMPARE(rig->takeEvents(), QStringList());
    // The event on the bus comes from Marlo's own name.
    QVERIFY(rig->peer().receivedLines().contains(QStringLiteral("Marlo>Ravel _ChangedHVStat 2")));
}

void TstStatusHvE2e::hvPanelButtons()
{
    QVERIFY(start(true));
    simHv->clearRequests();
    QWidget *panel = body->hvUnit()->panel();
    panel->findChild<QPushButton *>(QStringLiteral("TurnHvOn"))->click();
    panel->findChild<QPushButton *>(QStringLiteral("TurnHvOff"))->click();
    QCOMPARE(ServiceRig::writesTo(simHv, VexHv::regOnOff), (QList<quint64>{1, 0}));
}

// A silent HV unit: its polls skip the voltage read and slow down, requests
// are still answered, and "HVVol" keeps the last good voltage.
void TstStatusHvE2e::silentHv()
{
    QVERIFY(start(true));
    body->hvUnit()->watchTimer()->stop();
    simHv->setReg(VexHv::regValue, 0xC000);
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), QStringLiteral("100"));
    body->hvUnit()->watchTimer()->start();

    SimFaults f;
    f.silent = true;
    simHv->setFaults(f);
    QTRY_VERIFY_WITH_TIMEOUT(body->hvUnit()->isSilent(), 10000);
    simHv->clearRequests();
    for (int i = 0; i < 10; ++i)
        QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QCOMPARE(rig->ask(QStringLiteral("HVVol")), QStringLiteral("100"));
    // Polls read the status word only.
    QTRY_VERIFY_WITH_TIMEOUT(ServiceRig::readsOf(simHv, VexHv::regStat) >= 1, 10000);
    const int valueReads = ServiceRig::readsOf(simHv, VexHv::regValue);
    QCOMPARE(valueReads, 1);   // the one of "HVVol"
    QCOMPARE(body->hvUnit()->watchTimer()->interval(), VexHv::silentWatchIntervalMs);

    simHv->setFaults(SimFaults());
    QTRY_VERIFY_WITH_TIMEOUT(!body->hvUnit()->isSilent(), 10000);
    QCOMPARE(body->hvUnit()->watchTimer()->interval(), VexHv::defaultWatchIntervalMs);
}

QTEST_MAIN(TstStatusHvE2e)
#include "tst_statushv_e2e.moc"
