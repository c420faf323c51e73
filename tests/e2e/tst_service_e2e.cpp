// The measurement service end to end: a peer on the STARS bus asks Marlo,
// Marlo drives simulated DSP units over UDP and TCP, the peer checks the exact
// answers and events, and the test checks what the units were told.
//
// Two units: dsp1 with channels 0 and 1 in use, dsp2 with channels 1 and 2,
// so the elements are (dsp1, 0), (dsp1, 1), (dsp2, 1), (dsp2, 2).

#include <QtTest>

#include <memory>

#include "body.h"
#include "dspreg.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"
#include "vexda.h"

namespace {

void poke48(SimUnit *u, quint32 addr, quint64 v)
{
    u->setReg(addr, quint16(v >> 32));
    u->setReg(addr + 2, quint16(v >> 16));
    u->setReg(addr + 4, quint16(v));
}

void poke32(SimUnit *u, quint32 addr, quint32 v)
{
    u->setReg(addr, quint16(v >> 16));
    u->setReg(addr + 2, quint16(v));
}

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
    void answerLineShape();
    void normalizeType();
    void presets();
    void presetsDiffer();
    void measTime_data();
    void measTime();
    void unknownUnit();
    void startAndMeasurementNumbers();
    void clearPulse();
    void presetMeasurementEndsByItself();
    void rois();
    void roiBadBounds_data();
    void roiBadBounds();
    void values();
    void times();
    void peakingTime();
    void histogramNotDelivered();
    void silentUnit();

private:
    std::unique_ptr<ServiceRig> rig;
    SimUnit *sim1 = nullptr;
    SimUnit *sim2 = nullptr;
};

void TstServiceE2e::init()
{
    rig = std::make_unique<ServiceRig>();
    QVERIFY2(rig->start({{QStringLiteral("dsp1"), QStringLiteral("127.0.6.21"), QStringLiteral("1 1 0 0")},
                         {QStringLiteral("dsp2"), QStringLiteral("127.0.6.22"), QStringLiteral("0 1 1 0")}}),
             qPrintable(rig->error()));
    sim1 = rig->sim(QStringLiteral("dsp1"));
    sim2 = rig->sim(QStringLiteral("dsp2"));
    sim1->clearRequests();
    sim2->clearRequests();
}

void TstServiceE2e::cleanup()
{
    if (rig && rig->body()) {
        // Every request got exactly one answer: nothing but the answer to
        // this last request may still come.
        sim1->setFaults(SimFaults());
        sim2->setFaults(SimFaults());
        QCOMPARE(rig->ask(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
        QCOMPARE(rig->strayAnswers, QStringList());
    }
    rig.reset();
}

void TstServiceE2e::simpleAnswers_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("answer");
    const QString params0 = QStringLiteral("Er: Number of Params shuld be 0");
    const QString params1 = QStringLiteral("Er: Number of Params shuld be 1");
    const QString params3 = QStringLiteral("Er: Number of Params shuld be 3");
    const QString elm = QStringLiteral("Er: Elment No.");

    QTest::newRow("GetMCALength") << "GetMCALength" << "4096";
    QTest::newRow("GetMCALength 1") << "GetMCALength 1" << params0;
    QTest::newRow("GetMCALength trailing blank") << "GetMCALength " << params0;
    QTest::newRow("GetThreshold") << "GetThreshold 1 2 3" << "0";
    QTest::newRow("GetCalibration") << "GetCalibration" << "0";
    QTest::newRow("GetDynamicRange") << "GetDynamicRange x" << "1";
    QTest::newRow("GetPreAMPGain") << "GetPreAMPGain" << "1";
    QTest::newRow("unknown") << "NoSuchCommand 1" << "Er: Unknown Command";
    QTest::newRow("case matters") << "getvalue 1" << "Er: Unknown Command";
    QTest::newRow("IsBusy idle") << "IsBusy" << "0";
    QTest::newRow("GetNormalizeType") << "GetNormalizeType any thing" << "None";

    QTest::newRow("RunStart 2 params") << "RunStart 1 2" << params1;
    QTest::newRow("Resume 2 params") << "Resume 1 2" << params1;
    QTest::newRow("Start 2 params") << "Start x y" << params1;
    QTest::newRow("RunStop param") << "RunStop 1" << params0;
    QTest::newRow("Stop param") << "Stop x" << params0;
    QTest::newRow("Clear param") << "Clear 1" << params0;
    QTest::newRow("SetNormalizeType none") << "SetNormalizeType" << params1;
    QTest::newRow("SetPresetType none") << "SetPresetType" << params1;
    QTest::newRow("SetPresetType two") << "SetPresetType 1 2" << params1;
    QTest::newRow("SetPresetValue none") << "SetPresetValue" << params1;
    QTest::newRow("GetPresetType param") << "GetPresetType 1" << params0;
    QTest::newRow("GetPresetValue param") << "GetPresetValue 1" << params0;
    QTest::newRow("GetPresetType") << "GetPresetType" << "0";
    QTest::newRow("GetPresetValue") << "GetPresetValue" << "1";

    for (const char *cmd : {"GetPeakingTime", "GetROI", "GetValue", "GetValueInROI"}) {
        const QString c = QString::fromLatin1(cmd);
        QTest::addRow("%s no param", cmd) << c << params1;
        QTest::addRow("%s two params", cmd) << c + " 0 1" << params1;
        QTest::addRow("%s trailing blank", cmd) << c + " 1 " << params1;
        QTest::addRow("%s letters", cmd) << c + " x" << elm;
        QTest::addRow("%s negative", cmd) << c + " -1" << elm;
        QTest::addRow("%s count", cmd) << c + " 4" << elm;
        QTest::addRow("%s huge", cmd) << c + " 99999999999999" << elm;
        QTest::addRow("%s nan", cmd) << c + " nan" << elm;
        QTest::addRow("%s fraction", cmd) << c + " 1.0" << elm;
        QTest::addRow("%s empty", cmd) << c + " \"\"" << elm;
    }
    QTest::newRow("SetROI one param") << "SetROI 0" << params3;
    QTest::newRow("SetROI four params") << "SetROI 0 1 2 3" << params3;
    QTest::newRow("SetROI bad element") << "SetROI 4 1 2" << elm;
    QTest::newRow("SetROI letters element") << "SetROI x 1 2" << elm;
    QTest::newRow("SetROIs 3 params") << "SetROIs 1 2 3" << "Er: num of params";
    QTest::newRow("SetROIs 1 param") << "SetROIs 1" << "Er: num of params";
    QTest::newRow("SetROIs none") << "SetROIs" << "Er: num of params";
    QTest::newRow("GetROIs param") << "GetROIs 1" << params0;
    QTest::newRow("GetROIs") << "GetROIs" << "0 2047 0 2047 0 2047 0 2047";

    for (const char *cmd : {"GetRealTime", "GetLiveTime", "GetRealTimes", "GetLiveTimes", "GetDeadTimes"})
        QTest::addRow("%s param", cmd) << QString::fromLatin1(cmd) + " 1" << params0;
}

void TstServiceE2e::simpleAnswers()
{
    QFETCH(QString, request);
    QFETCH(QString, answer);
    QCOMPARE(rig->ask(request), answer);
    // A refused request touches no unit.
    if (answer.startsWith(QLatin1String("Er:")) && !request.startsWith(QLatin1String("GetPresetType"))) {
        QCOMPARE(sim1->requests().size(), 0);
        QCOMPARE(sim2->requests().size(), 0);
    }
}

void TstServiceE2e::answerLineShape()
{
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QCOMPARE(rig->lastLine(), QStringLiteral("Marlo>Ravel @GetMCALength 4096"));
    // No preset: the measuring time holds the largest 44-bit count.
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec"), QStringLiteral("Marlo.dsp2")), QStringLiteral("175922"));
    QCOMPARE(rig->lastLine(), QStringLiteral("Marlo.dsp2>Ravel @GetMeasTimeInSec 175922"));
}

void TstServiceE2e::normalizeType()
{
    const QList<QPair<QString, QString>> steps{
        {"SetNormalizeType live", "Ok: Normalize type Live"},
        {"GetNormalizeType", "Live"},
        {"SetNormalizeType 7", "Ok: Normalize type Live"},
        {"SetNormalizeType \"\"", "Ok: Normalize type Live"},
        {"SetNormalizeType 0", "Ok: Normalize type Real"},
        {"GetNormalizeType", "Real"},
        {"SetNormalizeType NONE", "Ok: Normalize type None"},
        {"SetNormalizeType 1", "Ok: Normalize type Live"},
        {"SetNormalizeType Real", "Ok: Normalize type Real"},
        {"SetNormalizeType nan", "Ok: Normalize type Real"},
        {"SetNormalizeType 2", "Ok: Normalize type None"},
        {"GetNormalizeType", "None"},
    };
    for (const auto &s : steps)
        QCOMPARE(rig->ask(s.first), s.second);
    QCOMPARE(rig->body()->currentNormalizeType(), 2);
}

void TstServiceE2e::presets()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("1"));
    // Real preset of 1 s: 1e8 ticks in MeasTime1, on every unit.
    QCOMPARE(sim1->value(DspAddr::MeasTime1, 6), quint64(100000000));
    QCOMPARE(sim2->value(DspAddr::MeasTime1, 6), quint64(100000000));

    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 1.5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("1.5"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime1).last(), quint64(150000000));
    QCOMPARE(sim2->value(DspAddr::MeasTime1, 6), quint64(150000000));

    QCOMPARE(rig->ask(QStringLiteral("SetPresetType live")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("2"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 12.3456789")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("12.3457"));

    // Beyond the 48-bit register: clamped to its largest count.
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 1e300")), QStringLiteral("Ok:"));
    QCOMPARE(sim1->value(DspAddr::MeasTime1, 6), quint64(0xFFFFFFFFFFFFULL));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue -3")), QStringLiteral("Ok:"));
    QCOMPARE(sim1->value(DspAddr::MeasTime1, 6), quint64(0));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue nan")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue x")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 2")), QStringLiteral("Ok:"));

    // No preset: the three no-preset words.
    sim1->clearRequests();
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType -1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("0"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime1), QList<quint64>{0x0FFF});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime2), QList<quint64>{0xFFFF});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime3), QList<quint64>{0xFFFF});
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("2"));
    for (const char *t : {"NONE", "0", "x", "\"\"", "99999999999"}) {
        QCOMPARE(rig->ask(QStringLiteral("SetPresetType %1").arg(QLatin1String(t))), QStringLiteral("Ok:"));
        QCOMPARE(rig->ask(QStringLiteral("GetPresetType")),
                 QLatin1String(t) == QLatin1String("99999999999") ? QStringLiteral("1") : QStringLiteral("0"));
    }
}

void TstServiceE2e::presetsDiffer()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    rig->unit(QStringLiteral("dsp2"))->setPresetType(0);
    QCOMPARE(rig->ask(QStringLiteral("GetPresetType")), QStringLiteral("1 Er: Preset Types are different. (1 0)"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 3")), QStringLiteral("Ok:"));
    rig->unit(QStringLiteral("dsp1"))->setPresetValue(0.5);
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("0.5 Er: Preset Types are different. (0.5 3)"));
}

void TstServiceE2e::measTime_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<quint64>("ticks");
    QTest::addColumn<QString>("answer");
    QTest::newRow("2.5 s") << "2.5" << quint64(250000000) << "2.5";
    QTest::newRow("six digits") << "12.3456789" << quint64(1234567890) << "12.3457";
    QTest::newRow("negative") << "-1" << quint64(0) << "0";
    QTest::newRow("nan") << "nan" << quint64(0) << "0";
    QTest::newRow("letters") << "abc" << quint64(0) << "0";
    QTest::newRow("empty") << "" << quint64(0) << "0";
    QTest::newRow("huge") << "1e300" << quint64(0xFFFFFFFFFFFFULL) << "2.81475e+06";
    QTest::newRow("infinite") << "inf" << quint64(0xFFFFFFFFFFFFULL) << "2.81475e+06";
}

void TstServiceE2e::measTime()
{
    QFETCH(QString, value);
    QFETCH(quint64, ticks);
    QFETCH(QString, answer);
    poke48(sim2, DspAddr::MeasTime1, 777);
    const QString req = value.isEmpty() ? QStringLiteral("SetMeasTimeInSec") : QStringLiteral("SetMeasTimeInSec ") + value;
    QCOMPARE(rig->ask(req, QStringLiteral("Marlo.dsp2")), QStringLiteral("Ok:"));
    QCOMPARE(sim2->value(DspAddr::MeasTime1, 6), ticks);
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::MeasTime1), QList<quint64>());
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec ignored"), QStringLiteral("Marlo.dsp2")), answer);
}

void TstServiceE2e::unknownUnit()
{
    QCOMPARE(rig->ask(QStringLiteral("SetMeasTimeInSec 1"), QStringLiteral("Marlo.nosuch")),
             QStringLiteral("Er: No dsp of id nosuch"));
    QCOMPARE(rig->lastLine(), QStringLiteral("Marlo.nosuch>Ravel @SetMeasTimeInSec Er: No dsp of id nosuch"));
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec"), QStringLiteral("Marlo.DSP1")),
             QStringLiteral("Er: No dsp of id DSP1"));
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec")), QStringLiteral("Er: No dsp of id "));
    QCOMPARE(rig->ask(QStringLiteral("SetMeasTimeInSec 1"), QStringLiteral("Marlo.dsp1.x")),
             QStringLiteral("Er: No dsp of id dsp1.x"));
    // Commands for all units answer alike whatever the channel.
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength"), QStringLiteral("Marlo.nosuch")), QStringLiteral("4096"));
    QCOMPARE(sim1->requests().size(), 0);
    QCOMPARE(sim2->requests().size(), 0);
}

void TstServiceE2e::startAndMeasurementNumbers()
{
    VexDA *u1 = rig->unit(QStringLiteral("dsp1"));
    VexDA *u2 = rig->unit(QStringLiteral("dsp2"));

    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(sim1->isCounting());
    QVERIFY(sim2->isCounting());
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear), (QList<quint64>{0, 1, 0}));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Start), (QList<quint64>{0, 1}));
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::Start), (QList<quint64>{0, 1}));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("1"));
    QCOMPARE(u1->startMeasNum, 5);
    QCOMPARE(u1->measCount, 1);

    // The same number again: every unit stops, none starts; each reports
    // busy and then idle once.
    QCOMPARE(rig->ask(QStringLiteral("RunStart 5")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), (QStringList{busy0, busy1, busy0, busy1, busy0}));
    QVERIFY(!sim1->isCounting());
    QVERIFY(!sim2->isCounting());
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Start), (QList<quint64>{0, 1, 0}));
    QCOMPARE(u1->measCount, 1);
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    // The stop took the data set of measurement 5.
    QCOMPARE(u1->mcaSet->measNum, 5);
    QCOMPARE(u2->mcaSet->measNum, 5);

    // Resume does not clear.
    const qsizetype clears = ServiceRig::writesTo(sim1, DspAddr::Clear).size();
    QCOMPARE(rig->ask(QStringLiteral("Resume 6")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear).size(), clears);
    QVERIFY(sim1->isCounting());
    QCOMPARE(u2->startMeasNum, 6);

    QCOMPARE(rig->ask(QStringLiteral("Stop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy0});
    QVERIFY(!sim1->isCounting());
    QCOMPARE(u1->mcaSet->measNum, 6);

    // Without a number (or with one that is none) a start always starts.
    QCOMPARE(rig->ask(QStringLiteral("Start")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QCOMPARE(rig->ask(QStringLiteral("Start x")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), (QStringList{busy0, busy1}));
    QVERIFY(sim2->isCounting());
    QCOMPARE(u1->startMeasNum, 0);
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy0});
    QCOMPARE(u1->measCount, 4);
    QCOMPARE(u2->measCount, 4);
    // Stopping an idle set reports nothing.
    QCOMPARE(rig->ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QCOMPARE(rig->takeEvents(), QStringList());
}

void TstServiceE2e::clearPulse()
{
    QCOMPARE(rig->ask(QStringLiteral("Clear")), QStringLiteral("Ok:"));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Clear), (QList<quint64>{0, 1, 0}));
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::Clear), (QList<quint64>{0, 1, 0}));
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::Start), QList<quint64>());
    // The clear reached the unit: its histograms are empty.
    sim1->setHistogram(0, QVector<quint32>(4096, 3));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("6141"));
    QCOMPARE(rig->ask(QStringLiteral("Clear")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("0"));
}

void TstServiceE2e::presetMeasurementEndsByItself()
{
    QCOMPARE(rig->ask(QStringLiteral("SetPresetType 1")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 0.3")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart 9")), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QVERIFY(rig->waitForEvent(busy0, 15000));
    QCOMPARE(rig->takeEvents(), QStringList());
    QCOMPARE(rig->ask(QStringLiteral("IsBusy")), QStringLiteral("0"));
    QVERIFY(!sim1->isCounting());
    QCOMPARE(rig->unit(QStringLiteral("dsp1"))->mcaSet->measNum, 9);
    QCOMPARE(rig->unit(QStringLiteral("dsp2"))->mcaSet->measNum, 9);
    // The units stopped at their preset.
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("0.3 0.3"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("0.3"));
}

void TstServiceE2e::rois()
{
    QCOMPARE(rig->ask(QStringLiteral("SetROI 0 300 100")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 0")), QStringLiteral("100 300"));
    QCOMPARE(rig->ask(QStringLiteral("SetROI 3 10.9 20.9")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 3")), QStringLiteral("10 20"));
    QCOMPARE(rig->ask(QStringLiteral("GetROIs")), QStringLiteral("100 300 0 2047 0 2047 10 20"));
    // "SetROI" changes only the ROI the program holds.
    for (SimUnit *s : {sim1, sim2})
        for (quint32 a = DspAddr::ROI1Start; a <= DspAddr::FSCA_ROI1Ch + 6; a += 2)
            QCOMPARE(ServiceRig::writesTo(s, a), QList<quint64>());

    // One ROI for all elements, registers written.
    QCOMPARE(rig->ask(QStringLiteral("SetROIs 200 100")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROIs")), QStringLiteral("100 200 100 200 100 200 100 200"));
    for (int ch : {0, 1}) {
        QCOMPARE(sim1->reg(DspAddr::ROI1Start + 4 * ch), quint16(100));
        QCOMPARE(sim1->reg(DspAddr::ROI1End + 4 * ch), quint16(200));
        QCOMPARE(sim1->reg(DspAddr::FSCA_ROI1Ch + 2 * ch), quint16(ch + 1));
    }
    for (int ch : {1, 2}) {
        QCOMPARE(sim2->reg(DspAddr::ROI1Start + 4 * ch), quint16(100));
        QCOMPARE(sim2->reg(DspAddr::ROI1End + 4 * ch), quint16(200));
        QCOMPARE(sim2->reg(DspAddr::FSCA_ROI1Ch + 2 * ch), quint16(ch + 1));
    }
    // Channels not in use get no ROI registers.
    QCOMPARE(ServiceRig::writesTo(sim1, DspAddr::ROI1Start + 8), QList<quint64>());
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::ROI1Start), QList<quint64>());

    // One ROI per element.
    QCOMPARE(rig->ask(QStringLiteral("SetROIs 1 2 4 3 5.5 6.5 -8 7")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROIs")), QStringLiteral("1 2 3 4 5 6 -8 7"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 2")), QStringLiteral("5 6"));
    QCOMPARE(sim1->reg(DspAddr::ROI1Start + 4), quint16(3));
    QCOMPARE(sim1->reg(DspAddr::ROI1End + 4), quint16(4));
    QCOMPARE(sim2->reg(DspAddr::ROI1Start + 4), quint16(5));
    QCOMPARE(sim2->reg(DspAddr::ROI1End + 4), quint16(6));
    // A negative start reaches the register as 0, not as a wrapped number.
    QCOMPARE(sim2->reg(DspAddr::ROI1Start + 8), quint16(0));
    QCOMPARE(sim2->reg(DspAddr::ROI1End + 8), quint16(7));
    QCOMPARE(rig->ask(QStringLiteral("SetROIs 1 2 3 4 5 6 7")), QStringLiteral("Er: num of params"));
    QCOMPARE(rig->ask(QStringLiteral("GetROIs")), QStringLiteral("1 2 3 4 5 6 -8 7"));
}

void TstServiceE2e::roiBadBounds_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("roi");
    QTest::newRow("letters") << "x" << "y" << "0 0";
    QTest::newRow("nan") << "nan" << "50" << "0 50";
    QTest::newRow("empty") << "\"\"" << "9" << "0 9";
    QTest::newRow("negative") << "-5" << "-10" << "-10 -5";
    QTest::newRow("huge") << "1e20" << "3" << "3 2147483647";
    QTest::newRow("huge negative") << "-1e20" << "3" << "-2147483648 3";
    QTest::newRow("infinite") << "inf" << "-inf" << "-2147483648 2147483647";
}

void TstServiceE2e::roiBadBounds()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, roi);
    QCOMPARE(rig->ask(QStringLiteral("SetROI 1 %1 %2").arg(from, to)), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 1")), roi);
    // Whatever the bounds, the sums stay inside the histogram.
    sim1->setHistogram(1, QVector<quint32>(4096, 1));
    const QStringList r = roi.split(QLatin1Char(' '));
    const qint64 start = std::max<qint64>(r.at(0).toLongLong(), 0);
    const qint64 end = std::min<qint64>(r.at(1).toLongLong(), 4096);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 1")), QString::number(std::max<qint64>(end - start, 0)));
    const qint64 endIncl = std::min<qint64>(r.at(1).toLongLong(), 4095);
    const QStringList v = rig->ask(QStringLiteral("GetValues")).split(QLatin1Char(' '));
    QCOMPARE(v.size(), 17);
    QCOMPARE(v.at(1 + 4 + 1), QString::number(std::max<qint64>(endIncl - start + 1, 0)));
}

void TstServiceE2e::values()
{
    // Histograms of the four elements, and their counters.
    QVector<quint32> e0(4096, 1), e1(4096), e2(4096, 2), e3(4096, 0);
    for (int i = 0; i < 4096; ++i)
        e1[i] = quint32(i % 7);
    for (int i = 0; i < 100; ++i)
        e3[i] = 5;
    sim1->setHistogram(0, e0);
    sim1->setHistogram(1, e1);
    sim2->setHistogram(1, e2);
    sim2->setHistogram(2, e3);
    poke32(sim1, DspAddr::FTotalCount1 + off(0), 70000);
    poke32(sim1, DspAddr::ICR1 + off(0), 300);
    poke32(sim1, DspAddr::FTotalCount1 + off(1), 1);
    poke32(sim1, DspAddr::ICR1 + off(1), 301);
    poke32(sim2, DspAddr::FTotalCount1 + off(1), 0xFFFFFFFF);
    poke32(sim2, DspAddr::ICR1 + off(1), 302);
    poke32(sim2, DspAddr::FTotalCount1 + off(2), 4);
    poke32(sim2, DspAddr::ICR1 + off(2), 0);

    QCOMPARE(rig->ask(QStringLiteral("SetROIs 10 20 0 4095 4000 5000 -5 5")), QStringLiteral("Ok:"));

    // "GetValue" leaves the end bin out.
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("10"));
    QCOMPARE(rig->ask(QStringLiteral("GetValueInROI 1")), QStringLiteral("12285"));   // bins 0..4094 of i % 7
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), QStringLiteral("192"));          // bins 4000..4095
    QCOMPARE(rig->ask(QStringLiteral("GetValue 3")), QStringLiteral("25"));           // bins 0..4

    // "GetValues" includes it: grand total, totals, ROI sums, fast totals,
    // input counts.
    const QString expect = QStringLiteral("12518 4096 12285 8192 500 11 12285 192 30 70000 1 4294967295 4 300 301 302 0");
    QCOMPARE(rig->ask(QStringLiteral("GetValues")), expect);
    QCOMPARE(rig->ask(QStringLiteral("GetValuesInROI ignored params")), expect);
    // Each element's histogram was asked on its own channel, and the
    // counters read with 4 bytes.
    QCOMPARE(ServiceRig::writesTo(sim2, DspAddr::Histgram).mid(0, 1), QList<quint64>{1});
    QCOMPARE(ServiceRig::readsOf(sim1, DspAddr::FTotalCount1 + off(1)), 2);
    QCOMPARE(ServiceRig::readsOf(sim2, DspAddr::ICR1 + off(2)), 2 + 2);   // values and time refreshes

    // Histograms that grow between requests are read afresh.
    sim1->setHistogram(0, QVector<quint32>(4096, 2));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("20"));
}

void TstServiceE2e::times()
{
    poke48(sim1, DspAddr::RealTime1, 1000000000ULL);    // 10 s
    poke48(sim2, DspAddr::RealTime1, 2000000000ULL);    // 20 s
    poke48(sim1, DspAddr::LiveTime1 + off(0), 150000000ULL);    // 1.5 s
    poke48(sim1, DspAddr::LiveTime1 + off(1), 250000000ULL);    // 2.5 s
    poke48(sim2, DspAddr::LiveTime1 + off(1), 1234567890ULL);   // 12.3456789 s
    poke48(sim2, DspAddr::LiveTime1 + off(2), 300010000ULL);    // 3.0001 s
    poke48(sim1, DspAddr::DeadTime1 + off(0), 1000ULL);         // 1e-05 s
    poke48(sim1, DspAddr::DeadTime1 + off(1), 25000000ULL);     // 0.25 s
    poke48(sim2, DspAddr::DeadTime1 + off(1), 0ULL);
    poke48(sim2, DspAddr::DeadTime1 + off(2), 123456789012ULL); // 1234.56789012 s

    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("15"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("10 20"));
    QCOMPARE(rig->ask(QStringLiteral("GetLiveTimes")), QStringLiteral("1.5 2.5 12.3457 3.0001"));
    // The mean of the texts: (1.5 + 2.5 + 12.3457 + 3.0001) / 4.
    QCOMPARE(rig->ask(QStringLiteral("GetLiveTime")), QStringLiteral("4.83645"));
    QCOMPARE(rig->ask(QStringLiteral("GetDeadTimes")), QStringLiteral("1e-05 0.25 0 1234.57"));
    // Every unit's times are read afresh for each request.
    poke48(sim1, DspAddr::RealTime1, 100000004ULL);   // 1.00000004 s
    poke48(sim2, DspAddr::RealTime1, 100000004ULL);
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes")), QStringLiteral("1 1"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTime")), QStringLiteral("1"));
}

void TstServiceE2e::peakingTime()
{
    sim1->setReg(DspAddr::SFilterPeakingT, 160);
    sim2->setReg(DspAddr::SFilterPeakingT + off(2), 1234);
    sim2->setReg(DspAddr::SFilterPeakingT + off(1), 0xFFFF);
    sim1->setReg(DspAddr::SFilterPeakingT + off(1), 0);
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 0")), QStringLiteral("1.6"));
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 3")), QStringLiteral("12.34"));
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 2")), QStringLiteral("655.35"));
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 1")), QStringLiteral("0"));
}

void TstServiceE2e::histogramNotDelivered()
{
    SimFaults f;
    f.noTcpData = true;
    sim1->setFaults(f);
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("0 Er: data transfer"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("GetValues")), QStringLiteral("0 Er: data transfer"));
    // A stream that stalls half way is no histogram either.
    f.noTcpData = false;
    f.stopAfterBytes = 8000;
    sim2->setFaults(f);
    sim1->setFaults(SimFaults());
    QCOMPARE(rig->ask(QStringLiteral("GetValue 3")), QStringLiteral("0 Er: data transfer"));
    sim2->setFaults(SimFaults());
    QCOMPARE(rig->ask(QStringLiteral("GetValue 3")), QStringLiteral("0"));
}

void TstServiceE2e::silentUnit()
{
    poke48(sim1, DspAddr::RealTime1, 1000000000ULL);
    sim1->setHistogram(0, QVector<quint32>(4096, 1));
    // A unit that is switched off: no answers, no data.
    SimFaults f;
    f.silent = true;
    f.noTcpData = true;
    sim2->setFaults(f);
    // Every request is still answered, with 0 for what the unit did not tell.
    QCOMPARE(rig->ask(QStringLiteral("GetValue 0")), QStringLiteral("2047"));
    QCOMPARE(rig->ask(QStringLiteral("GetValue 2")), QStringLiteral("0 Er: data transfer"));
    QCOMPARE(rig->ask(QStringLiteral("GetPeakingTime 3")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("GetMeasTimeInSec"), QStringLiteral("Marlo.dsp2")), QStringLiteral("0"));
    QCOMPARE(rig->ask(QStringLiteral("GetRealTimes"), QStringLiteral("Marlo"), 30000), QStringLiteral("10 0"));
    QCOMPARE(rig->ask(QStringLiteral("GetValues"), QStringLiteral("Marlo"), 30000), QStringLiteral("0 Er: data transfer"));
    QCOMPARE(rig->ask(QStringLiteral("SetROIs 1 2"), QStringLiteral("Marlo"), 30000), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetROI 3")), QStringLiteral("1 2"));
    QCOMPARE(rig->ask(QStringLiteral("SetMeasTimeInSec 1"), QStringLiteral("Marlo.dsp2")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("Clear")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("SetPresetValue 2")), QStringLiteral("Ok:"));
    QCOMPARE(rig->ask(QStringLiteral("GetPresetValue")), QStringLiteral("2"));
    QCOMPARE(rig->ask(QStringLiteral("GetMCALength")), QStringLiteral("4096"));
    QCOMPARE(rig->ask(QStringLiteral("RunStart"), QStringLiteral("Marlo"), 30000), QStringLiteral("Ok:"));
    QCOMPARE(rig->takeEvents(), QStringList{busy1});
    QCOMPARE(rig->ask(QStringLiteral("RunStop"), QStringLiteral("Marlo"), 30000), QStringLiteral("Ok:"));
    QVERIFY(rig->waitForEvent(busy0, 30000));
}

QTEST_MAIN(TstServiceE2e)
#include "tst_service_e2e.moc"
