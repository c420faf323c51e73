// The measurement service end to end: a peer on the STARS bus asks Marlo,
// Marlo drives simulated DSP units over UDP and TCP, the peer checks the exact
// answers and events, and the test checks what the units were told. The
// parsing of parameters is the parameter table's business (its unit test);
// here each command is asked once or twice.
//
// Two units: dsp1 with channels 0 and 1 in use, dsp2 ("B" mode, 8192-bin
// streams) with channels 1 and 2, so the elements are (dsp1, 0), (dsp1, 1),
// (dsp2, 1), (dsp2, 2).

#include <QtTest>

#include <memory>

#include "body.h"
#include "dspreg.h"
#include "logarea.h"
#include "logsink.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "statdisp.h"
#include "unitstat.h"
#include "vexda.h"

namespace {

quint32 off(int ch)
{
    return quint32(ch) * 0x200;
}

const QString busy1 = QStringLiteral("ChangedIsBusy 1");
const QString busy0 = QStringLiteral("ChangedIsBusy 0");

} // namespace

class TstServiceE2e : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void simpleAnswers_data();
    void simpleAnswers();
    void typos_data();
    void typos();
    void presets();
    void measTime();
    void startAndMeasurementNumbers();
    void repeatedStartKeepsData();
    void roisAndValues();
    void times();
    void registersByName();
    void getHistgram();
    void silentUnit();
    void silentUnitWaitsOncePerRequest_data();
    void silentUnitWaitsOncePerRequest();

private:
    std::unique_ptr<ServiceRig> rig;
    SimUnit *sim1 = nullptr;
    SimUnit *sim2 = nullptr;
};

void TstServiceE2e::init()
{
    rig = std::make_unique<ServiceRig>();
    QVERIFY2(rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.21"), QStringLiteral("1 1 0 0")},
                         {QStringLiteral("dsp2"), QStringLiteral("127.0.6.22"), QStringLiteral("0 1 1 0"), true}}),
             qPrintable(rig->error()));
    sim1 = rig->sim(QStringLiteral("dsp1"));
    sim2 = rig->sim(QStringLiteral("dsp2"));
    sim1->clearRequests();
    sim2->clearRequests();
}

void TstServiceE2e::cleanup()
{
    if (rig && rig->body())
        QVERIFY2(rig->allAnswered(), qPrintable(rig->error()));
    rig.reset();
}

void TstServiceE2e::simpleAnswers_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("answer");
    QTest::newRow("GetMCALength") << "GetMCALength" << "4096";
    QTest::newRow("parameter too many") << "GetMCALength 1" << "Er: Number of Params shuld be 0";
    QTest::newRow("parameter missing") << "GetValue" << "Er: Number of Params shuld be 1";
    QTest::newRow("bad element") << "GetValue 4" << "Er: Elment No.";
    QTest::newRow("SetROI two params") << "SetROI 0 1" << "Er: Number of Params shuld be 3";
    QTest::newRow("SetROIs three params") << "SetROIs 1 2 3" << "Er: num of params";
    QTest::newRow("unknown") << "NoSuchCommand 1" << "Er: Unknown Command";
    QTest::newRow("case matters") << "getvalue 1" << "Er: Unknown Command";
    QTest::newRow("GetThreshold") << "GetThreshold 1 2 3" << "0";
    QTest::newRow("GetROIs") << "GetROIs" << "0 2047 0 2047 0 2047 0 2047";
    QTest::newRow("no HV unit") << "HVStart" << "Er: HV unit is not avaliable.";
    QTest::newRow("SetNormalizeType") << "SetNormalizeType live" << "Ok: Normalize type Live";
    QTest::newRow("GetNormalizeType") << "GetNormalizeType any thing" << "None";
}

void TstServiceE2e::simpleAnswers()
{
    QFETCH(QString, request);
    QFETCH(QString, answer);
    QCOMPARE(rig->ask(request), answer);
    // A refused request touches no unit.
    if (answer.startsWith(QLatin1String("Er:")))
        QCOMPARE(sim1->requests().size() + sim2->requests().size(), 0);
}

// A parameter read leniently keeps its answer, and a typo in it is told to
// the operator in red, once per word.
void TstServiceE2e::typos_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("red");
    const QString dsp1 = QStringLiteral("Marlo.dsp1");
    auto line = [](const char *cmd, const char *text, const char *what, const char *outcome) {
        return QStringList{QStringLiteral("%1 [%2] is no %3: %4").arg(cmd, text, what, outcome)};
    };
    QTest::newRow("preset type") << "SetPresetType Rael" << "Marlo" << "Ok:"
                                 << line("SetPresetType", "Rael", "preset type", "None (0) is set");
    QTest::newRow("preset type integer") << "SetPresetType -1" << "Marlo" << "Ok:" << QStringList();
    QTest::newRow("preset value") << "SetPresetValue abc" << "Marlo" << "Ok:"
                                  << line("SetPresetValue", "abc", "number", "0 is set");
    QTest::newRow("preset value number") << "SetPresetValue 1e1" << "Marlo" << "Ok:" << QStringList();
    QTest::newRow("normalize type") << "SetNormalizeType Rael" << "Marlo" << "Ok: Normalize type None"
                                    << line("SetNormalizeType", "Rael", "normalize type", "None (2) is kept");
    QTest::newRow("meas time") << "SetMeasTimeInSec 1,5" << dsp1 << "Ok:"
                               << line("SetMeasTimeInSec", "1,5", "number", "0 is set");
    QTest::newRow("ROI") << "SetROI 0 l0 20" << "Marlo" << "Ok:" << line("SetROI", "l0", "number", "0 is set");
    QTest::newRow("ROIs both") << "SetROIs x y" << "Marlo" << "Ok:"
                               << line("SetROIs", "x", "number", "0 is set") + line("SetROIs", "y", "number", "0 is set");
    QTest::newRow("ROIs per element") << "SetROIs 1 2 3 4 5 6 7 z" << "Marlo" << "Ok:"
                                      << line("SetROIs", "z", "number", "0 is set");
    QTest::newRow("config channel") << "SetConfig SFilterPeakingT one 5" << dsp1 << "SFilterPeakingT 0 5 0x5"
                                    << line("SetConfig", "one", "channel", "0 is used");
    QTest::newRow("config value") << "SetConfig SFilterPeakingT 1 0x1G" << dsp1 << "SFilterPeakingT 1 0 0x0"
                                  << line("SetConfig", "0x1G", "register value", "0 is set");
    QTest::newRow("config no value") << "SetConfig SFilterPeakingT" << dsp1 << "SFilterPeakingT 0 0x0"
                                     << line("SetConfig", "", "register value", "0 is set");
    QTest::newRow("status channel") << "Status SFilterPeakingT ch1" << dsp1 << QString()
                                    << line("Status", "ch1", "channel", "0 is used");
    QTest::newRow("run number is no typo") << "RunStart first" << "Marlo" << "Ok:" << QStringList();
}

void TstServiceE2e::typos()
{
    QFETCH(QString, request);
    QFETCH(QString, to);
    QFETCH(QString, answer);
    QFETCH(QStringList, red);
    rig->clearLog();
    const QString got = rig->ask(request, to);
    if (!answer.isNull())
        QCOMPARE(got, answer);
    QCOMPARE(rig->logLines(true), red);
}

void TstServiceE2e::presets()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("1"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 1.5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("1.5"));
    // Real preset of 1.5 s: 1.5e8 ticks in MeasTime1, on every unit.
    QCOMPARE(sim1->value(DspAddr::MeasTime1, 6), quint64(150000000));
    QCOMPARE(sim2->value(DspAddr::MeasTime1, 6), quint64(150000000));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 2")), QStringLiteral("Ok:"));

    // No preset: the three no-preset words.
    sim1->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType -1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("0"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime1), QList<quint64>{0x0FFF});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime2), QList<quint64>{0xFFFF});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime3), QList<quint64>{0xFFFF});

    // Units that differ say so.
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    rig->unit(QStringLiteral("dsp2"))->setPresetType(0);
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("1 Er: Preset Types are different. (1 0)"));
    rig->unit(QStringLiteral("dsp1"))->setPresetValue(0.5);
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("0.5 Er: Preset Types are different. (0.5 2)"));
}

// "SetMeasTimeInSec" goes to the one unit named by the channel, and the
// answer comes from that channel.
void TstServiceE2e::measTime()
{
    QCOMPARE(rig->ask(QStringLiteral("SetMeasTimeInSec 12.3456789"), QStringLiteral("Marlo.dsp2")), QStringLiteral("Ok:"));
    QCOMPARE(sim2->value(DspAddr::MeasTime1, 6), quint64(1234567890));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime1), QList<quint64>());
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec ignored"), QStringLiteral("Marlo.dsp2")), QStringLiteral("12.3457"));
    QCOMPARE(rig->lastLine(), QStringLiteral("Marlo.dsp2>Ravel @GetMeasTimeInSec 12.3457"));
    QCOMPARE(rig->ask(QStringLiteral("SetMeasTimeInSec 1"), QStringLiteral("Marlo.nosuch")),
             QStringLiteral("Er: No dsp of id nosuch"));
    // Commands for all units answer alike whatever the channel.
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength"), QStringLiteral("Marlo.nosuch")), QStringLiteral("4096"));
}

// Starts, stops and the busy events (their one owner end to end).
void TstServiceE2e::startAndMeasurementNumbers()
{
    VexDA *u1 = rig->unit(QStringLiteral("dsp1"));
    VexDA *u2 = rig->unit(QStringLiteral("dsp2"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(sim1->isCounting() && sim2->isCounting());
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::Start), (QList<quint64>{0, 1}));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("1"));

    // The same number again: every unit stops, none starts; each reports
    // busy and then idle once.
    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), (QStringList{busy0, busy1, busy0, busy1, busy0}));
    QVERIFY(!sim1->isCounting() && !sim2->isCounting());
    QCOMPARE(u1->measCount, 1);
    QCOMPARE(u2->mcaSet->measNum, 5);   // the stop took the data set

    // Resume does not clear.
    const qsizetype clears = ServiceRig::writesTo(sim1, DspAddr::Clear).size();
    QCOMPARE(rig->ask(QStringLiteral("Resume 6")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear).size(), clears);
    QCOMPARE(rig->ask(QStringLiteral("Stop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy0});
    QCOMPARE(u1->mcaSet->measNum, 6);

    // Without a number a start always starts; stopping an idle set reports
    // nothing; "Clear" pulses the clear bit.
    QCOMPARE(rig->ask(QStringLiteral("Start")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("Start")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), (QStringList{busy1, busy0, busy1, busy0}));
    QCOMPARE(u2->measCount, 4);
    sim1->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("Clear")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear), (QList<quint64>{0, 1, 0}));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Start), QList<quint64>());
    QCOMPARE(rig->takeEvents(), QStringList());
}

// A start retried with the number of a measurement that has ended (a
// request repeated after a time-out) clears nothing: its histograms and
// times stay.
void TstServiceE2e::repeatedStartKeepsData()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 0.2")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(busy0));
    sim1->setHistogram(0, QVector<quint32>(4096, 3));
    const QString histogram = rig->ask(QStringLiteral("GetHistgram 0"));
    QVERIFY(histogram.startsWith(QLatin1String("3 3 ")));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("0.2 0.2"));
    sim1->clearRequests();
    sim2->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), (QStringList{busy1, busy0, busy1, busy0}));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear) + ServiceRig::writesTo(sim2, DspAddr::Clear), QList<quint64>());
    QCOMPARE(rig->ask(QStringLiteral("GetHistgram 0")), histogram);
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("0.2 0.2"));
}

// "SetROI" changes only the ROI the program holds; "SetROIs" writes the
// registers of the channels in use (a negative start as 0). "GetValue"
// leaves the end bin out, "GetValues" includes it, and bounds outside the
// histogram stay outside.
void TstServiceE2e::roisAndValues()
{
    QCOMPARE(rig->ask(QStringLiteral("SetROI 3 20.9 10.9")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 3")), QStringLiteral("10 20"));
    QCOMPARE(sim1->requests().size() + sim2->requests().size(), 0);
    QCOMPARE(rig->ask(QStringLiteral("SetROIs 10 20 0 4095 4000 5000 -5 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROIs")), QStringLiteral("10 20 0 4095 4000 5000 -5 5"));
    QCOMPARE(sim1->reg(DspAddr::ROI1Start), quint16(10));
    QCOMPARE(sim2->reg(DspAddr::ROI1End + 4), quint16(5000));
    QCOMPARE(sim2->reg(DspAddr::FSCA_ROI1Ch + 4), quint16(3));
    QCOMPARE(sim2->reg(DspAddr::ROI1Start + 8), quint16(0));
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::ROI1Start), QList<quint64>());   // channel 0 not in use

    QVector<quint32> e1(4096), e3(8192, 0);
    for (int i = 0; i < 4096; ++i)
        e1[i] = quint32(i % 7);
    std::fill(e3.begin(), e3.begin() + 100, 5);
    sim1->setHistogram(0, QVector<quint32>(4096, 1));
    sim1->setHistogram(1, e1);
    sim2->setHistogram(1, QVector<quint32>(8192, 2));
    sim2->setHistogram(2, e3);
    const quint32 fast[4] = {70000, 1, 0xFFFFFFFF, 4};
    for (int k = 0; k < 4; ++k) {
        const quint32 at = off(k == 0 ? 0 : k == 3 ? 2 : 1);
        ServiceRig::poke(k < 2 ? sim1 : sim2, DspAddr::FTotalCount1 + at, fast[k], 2);
        ServiceRig::poke(k < 2 ? sim1 : sim2, DspAddr::ICR1 + at, quint32(300 + k), 2);
    }
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("10"));
    QCOMPARE(rig->ask(QStringLiteral("GetValueInROI 1")), QStringLiteral("12285"));   // bins 0..4094 of i % 7
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), QStringLiteral("192"));          // bins 4000..4095
    QCOMPARE(rig->ask(QStringLiteral("GetValue 3")), QStringLiteral("25"));           // bins 0..4
    // Grand total, totals, ROI sums, fast totals, input counts.
    QCOMPARE(rig->ask(QStringLiteral("GetValues")),
             QStringLiteral("12518 4096 12285 8192 500 11 12285 192 30 70000 1 4294967295 4 300 301 302 303"));
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::Histgram).mid(0, 1), QList<quint64>{1});
    // Histograms that grow between requests are read afresh.
    sim1->setHistogram(0, QVector<quint32>(4096, 2));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("20"));
}

void TstServiceE2e::times()
{
    ServiceRig::poke(sim1, DspAddr::RealTime1, 1000000000ULL);   // 10 s
    ServiceRig::poke(sim2, DspAddr::RealTime1, 2000000000ULL);   // 20 s
    const quint64 live[4] = {150000000ULL, 250000000ULL, 1234567890ULL, 300010000ULL};
    for (int k = 0; k < 4; ++k)
        ServiceRig::poke(k < 2 ? sim1 : sim2, DspAddr::LiveTime1 + off(k == 0 ? 0 : k == 3 ? 2 : 1), live[k]);
    ServiceRig::poke(sim1, DspAddr::DeadTime1 + off(0), 1000ULL);   // 1e-05 s
    ServiceRig::poke(sim2, DspAddr::DeadTime1 + off(2), 123456789012ULL);
    sim2->setReg(DspAddr::SFilterPeakingT + off(2), 1234);

    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("15"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("10 20"));
    QCOMPARE(rig->ask(QStringLiteral("GetLiveTimes")), QStringLiteral("1.5 2.5 12.3457 3.0001"));
    // The mean of the texts: (1.5 + 2.5 + 12.3457 + 3.0001) / 4.
    QCOMPARE(rig->ask(QStringLiteral("GetLiveTime")), QStringLiteral("4.83645"));
    QCOMPARE(rig->ask(QStringLiteral("GetDeadTimes")), QStringLiteral("1e-05 0 0 1234.57"));
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 3")), QStringLiteral("12.34"));
    // Every unit's times are read afresh for each request.
    ServiceRig::poke(sim2, DspAddr::RealTime1, 100000004ULL);
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("10 1"));
}

// "Status" and "SetConfig": a register by its name, for one unit.
void TstServiceE2e::registersByName()
{
    sim1->setReg(DspAddr::SFilterPeakingT + off(1), 160);
    sim1->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("Status SFilterPeakingT 1"), QStringLiteral("Marlo.dsp1")),
             QStringLiteral("SFilterPeakingT 1 160 0xa0"));
    QCOMPARE(rig->ask(QStringLiteral("Status NoSuchReg"), QStringLiteral("Marlo.dsp1")),
             QStringLiteral("Er: No Status [NoSuchReg]"));
    QCOMPARE(sim1->requests().size(), 1);
    QCOMPARE(rig->ask(QStringLiteral("SetConfig SFilterPeakingT 2 0x1F4"), QStringLiteral("Marlo.dsp1")),
             QStringLiteral("SFilterPeakingT 2 500 0x1f4"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::SFilterPeakingT + off(2)), QList<quint64>{500});
    QCOMPARE(sim2->requests().size(), 0);
}

// "GetHistgram" as text: unsigned decimals; of a "B" mode stream the first
// 4096 of its 8192 bins.
void TstServiceE2e::getHistgram()
{
    QVector<quint32> bins(8192);
    for (int i = 0; i < bins.size(); ++i)
        bins[i] = quint32(i) * 65537u + 2;
    sim2->setHistogram(2, bins);
    QStringList want;
    for (int i = 0; i < 4096; ++i)
        want << QString::number(bins.at(i));
    QCOMPARE(rig->ask(QStringLiteral("GetHistgram 3")), want.join(QLatin1Char(' ')));
    sim1->setHistogram(1, bins.mid(0, 4096));
    QCOMPARE(rig->ask(QStringLiteral("GetHistgram 1")), want.join(QLatin1Char(' ')));
}

// A unit that is switched off (no answers, no data): every request is still
// answered, with 0 for what the unit did not tell, and the failed register
// access is logged.
void TstServiceE2e::silentUnit()
{
    ServiceRig::poke(sim1, DspAddr::RealTime1, 1000000000ULL);   // 10 s
    sim1->setHistogram(0, QVector<quint32>(4096, 1));
    SimFaults f;
    f.silent = true;
    f.noTcpData = true;
    sim2->setFaults(f);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("2047"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), QStringLiteral("0 Er: data transfer"));
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec"), QStringLiteral("Marlo.dsp2")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("5"));
    QCOMPARE(rig->ask(QStringLiteral("Status SFilterPeakingT 1"), QStringLiteral("Marlo.dsp2")),
             QStringLiteral("SFilterPeakingT 1 0 0x0"));
    QVERIFY(rig->logLines().contains(QStringLiteral("Er: asking status to answer a request from stars  Status SFilterPeakingT 1")));
}

// A unit that does not answer costs a request one time-out: its other
// accesses are still sent, without waiting. The state is logged in red once
// each way, naming the unit, and shown on its strip.
void TstServiceE2e::silentUnitWaitsOncePerRequest_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("GetValues") << "GetValues";
    QTest::newRow("GetValuesInROI") << "GetValuesInROI";
    QTest::newRow("GetRealTimes") << "GetRealTimes";
    QTest::newRow("GetLiveTimes") << "GetLiveTimes";
    QTest::newRow("SetPresetValue") << "SetPresetValue 2";
}

void TstServiceE2e::silentUnitWaitsOncePerRequest()
{
    QFETCH(QString, request);
    SimFaults f;
    f.silent = true;
    sim2->setFaults(f);
    const QString down = QStringLiteral("dsp2 (127.0.6.22) does not answer");
    const QString up = QStringLiteral("dsp2 answers again");
    logSink = rig->body()->logArea();   // the time-out lines
    const auto unsink = qScopeGuard([] { logSink = nullptr; });
    for (int i = 0; i < 3; ++i) {
        const QString mark = QStringLiteral("request %1").arg(i);
        rig->body()->logArea()->log(mark);   // also ends the collapsing of repeated lines
        sim2->clearRequests();
        QVERIFY(!rig->ask(request).isEmpty());
        const QStringList lines = rig->logLines();
        const QStringList after = lines.mid(lines.lastIndexOf(mark));
        QCOMPARE(after.filter(QStringLiteral("Err. Timeout waiting ans from UDP")).size(), 1);
        QVERIFY(!sim2->requests().isEmpty());
    }
    QCOMPARE(rig->logLines(true).count(down), 1);
    QCOMPARE(rig->unit(QStringLiteral("dsp2"))->status()->findChild<StatDisp *>(QStringLiteral("UDPTimeout"))->text(),
             QStringLiteral("no answer"));
    sim2->setFaults(SimFaults());
    QVERIFY(!rig->ask(request).isEmpty());
    QVERIFY(!rig->ask(request).isEmpty());
    QCOMPARE(rig->logLines(true).count(up), 1);
    QCOMPARE(rig->logLines(true).count(down), 1);
}

QTEST_MAIN(TstServiceE2e)
#include "tst_service_e2e.moc"
