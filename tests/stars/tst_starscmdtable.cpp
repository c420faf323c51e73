#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "starscmdtable.h"

class TstStarsCmdTable : public QObject
{
    Q_OBJECT

private slots:
    void standardTable_data();
    void standardTable();
    void standardTableShape();
    void lookups_data();
    void lookups();
    void emptyTable();
    void duplicates();
    void namesLeaveOutMarkedAndEmpty();
};

void TstStarsCmdTable::standardTable_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("help");

    const struct { int id; const char *name; const char *help; } rows[] = {
        {0, "Hello", "Answer greeting message"},
        {1, "Help", "Show help message"},
        {2, "IsBusy", "Answer if Marlo is busy"},
        {4, "GetMCALength", "Get Length of a MCA(histgram)"},
        {5, "GetPeakingTime", "Get Peaking time of a ch. GetPeakingtime [ch No]"},
        {6, "RunStart", "Start Measurement with clear Histgram"},
        {7, "Resume", "Start Measurement without clear Histgram"},
        {8, "RunStop", "Stop Measurement"},
        {9, "Clear", "Clear Histgram"},
        {10, "Start", "Start Measurement without clear Histgram"},
        {11, "Stop", "Stop Measurement"},
        {12, "GetMCAs", "Get MCA(histgram)s of all chs via 2nd connection"},
        {13, "SetNormalizeType", "Set Normalize Type. Real, Live, None, 0, 1, 2"},
        {14, "GetNormalizeType", "Get Normalize Type. Real, Live, None"},
        {15, "SetPresetType", "Set Preset Type 0, 1, 2 (None, Real, Live). Live is not avaliable and treat as Real."},
        {16, "GetPresetType", "Get Preset Type 0, 1, 2 (None, Real, Live)."},
        {17, "SetPresetValue", "Set Preset Value (sec)"},
        {18, "GetPresetValue", "Get Preset Value (sec)"},
        {21, "SetROI", "Set ROI of a Ch"},
        {22, "SetROIs", "Set ROIs of all Chs"},
        {23, "GetROI", "Get ROI of a Ch"},
        {24, "GetROIs", "Get ROIs of all Chs"},
        {25, "GetValue", "Get Value of a Ch in ROI (same as GetValueInROI)"},
        {26, "GetValueInROI", "Get Value of a Ch in ROI (same as GetValue)"},
        {27, "GetValues", "Get Values of all Chs in ROI (same as GetValuesInROI)"},
        {28, "GetValuesInROI", "Get Values of all Chs in ROI (same as GetValues)"},
        {19, "GetRealTime", "Get mean Real Times of all DSPs"},
        {20, "GetLiveTime", "Get mean Live Times of all chs of all DSPs"},
        {33, "GetRealTimes", "Get Real Times of all DSPs"},
        {34, "GetLiveTimes", "Get Live Times of all chs of all DSPs"},
        {35, "GetDeadTimes", "Get Dead Times of all chs of all DSPs"},
        {29, "HVStart", "Ask Start HV (HV On)"},
        {30, "HVStop", "Ask Stop HV (HV Off)"},
        {31, "HVStat2", "Ask status of HV unit"},
        {32, "HVVol", "Ask HV Voltage"},
        {36, "GetThreshold", "Get Thresold of a ch  (returns dummy value)"},
        {37, "GetCalibration", "Get Calibraiont of a ch  (returns dummy value)"},
        {38, "GetDynamicRange", "Get DynamicRange of a ch  (returns dummy value)"},
        {39, "GetPreAMPGain", "Get PreAMPGain of a ch  (returns dummy value)"},
        {3, "GetDataLinkCh", "Get IP and Port of Data Link Ch"},
        {40, "Status", "Show status of DSP"},
        {41, "SetConfig", "Set config of DSP"},
        {42, "GetHistgram", "Get Histgram of a Ch"},
        {44, "GetMeasTimeInSec", "Get Meas Time in sec"},
        {43, "SetMeasTimeInSec", "Set Meas Time in sec"},
    };
    int order = 0;
    for (const auto &r : rows) {
        QTest::newRow(r.name) << order << r.id << QString::fromLatin1(r.name) << QString::fromLatin1(r.help);
        ++order;
    }
}

void TstStarsCmdTable::standardTable()
{
    QFETCH(int, order);
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, help);

    StarsCmdTable t;
    t.fillStandard();
    QCOMPARE(t.size(), 45);
    const StarsCmd &c = t.entries().at(order);
    QCOMPARE(c.id, id);
    QCOMPARE(c.name, name);
    QCOMPARE(c.help, help);
    QCOMPARE(t.cmdIdOf(name), id);
    QCOMPARE(t.cmdHelpOf(name), help);
}

void TstStarsCmdTable::standardTableShape()
{
    StarsCmdTable t;
    t.fillStandard();   // must not report any duplicate
    QSet<int> ids;
    QSet<QString> names;
    for (const StarsCmd &c : t.entries()) {
        ids.insert(c.id);
        names.insert(c.name);
    }
    QCOMPARE(ids.size(), 45);
    QCOMPARE(names.size(), 45);
    QVERIFY(!ids.contains(45));
    QVERIFY(!ids.contains(46));
    for (int id = 0; id <= 44; ++id)
        QVERIFY2(ids.contains(id), qPrintable(QString::number(id)));

    const QString names45 = t.cmdNames();
    QVERIFY(names45.startsWith("Hello Help IsBusy GetMCALength GetPeakingTime RunStart "));
    QVERIFY(names45.endsWith(" GetHistgram GetMeasTimeInSec SetMeasTimeInSec"));
    QCOMPARE(names45.split(' ').size(), 45);

    // Filling again adds nothing and reports every entry as a duplicated id.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Duplicated id "));
    for (int i = 1; i < 45; ++i)
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Duplicated id "));
    t.fillStandard();
    QCOMPARE(t.size(), 45);
}

void TstStarsCmdTable::lookups_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("help");

    QTest::newRow("exact") << "GetValue" << 25 << "Get Value of a Ch in ROI (same as GetValueInROI)";
    QTest::newRow("case-sensitive") << "getvalue" << 46 << "";
    QTest::newRow("prefix is not a match") << "GetVal" << 46 << "";
    QTest::newRow("trailing blank is not a match") << "Hello " << 46 << "";
    QTest::newRow("empty") << "" << 46 << "";
    QTest::newRow("marked") << "@Hello" << 46 << "";
    QTest::newRow("id 3 late in order") << "GetDataLinkCh" << 3 << "Get IP and Port of Data Link Ch";
    QTest::newRow("HVStat2") << "HVStat2" << 31 << "Ask status of HV unit";
    QTest::newRow("HVStat") << "HVStat" << 46 << "";
}

void TstStarsCmdTable::lookups()
{
    QFETCH(QString, name);
    QFETCH(int, id);
    QFETCH(QString, help);
    StarsCmdTable t;
    t.fillStandard();
    QCOMPARE(t.cmdIdOf(name), id);
    QCOMPARE(t.cmdHelpOf(name), help);
}

void TstStarsCmdTable::emptyTable()
{
    StarsCmdTable t;
    QCOMPARE(t.cmdIdOf("Hello"), 46);
    QCOMPARE(t.cmdHelpOf("Hello"), QString());
    QCOMPARE(t.cmdNames(), QString());
}

void TstStarsCmdTable::duplicates()
{
    StarsCmdTable t;
    QVERIFY(t.addCmd(1, "A", "help a"));
    QVERIFY(t.addCmd(2, "B", "help b"));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Duplicated id 1 \"C\" \"help c\"$"));
    QVERIFY(!t.addCmd(1, "C", "help c"));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Duplicated msg 3 \"B\" \"other\"$"));
    QVERIFY(!t.addCmd(3, "B", "other"));

    // The scan stops at the first entry that clashes: entry A clashes by name
    // before entry B clashes by id.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Duplicated msg 2 \"A\" \"x\"$"));
    QVERIFY(!t.addCmd(2, "A", "x"));

    QCOMPARE(t.size(), 2);
    QCOMPARE(t.cmdHelpOf("B"), QStringLiteral("help b"));
    QCOMPARE(t.cmdIdOf("C"), 46);
}

void TstStarsCmdTable::namesLeaveOutMarkedAndEmpty()
{
    StarsCmdTable t;
    t.addCmd(1, "One", "");
    t.addCmd(2, "@Ans", "");
    t.addCmd(3, "_Ev", "");
    t.addCmd(4, "", "");
    t.addCmd(5, "Two@", "");
    QCOMPARE(t.cmdNames(), QStringLiteral("One Two@"));
    QCOMPARE(t.cmdIdOf(""), 4);   // an empty name is still an entry
    QCOMPARE(t.cmdIdOf("@Ans"), 2);
}

QTEST_GUILESS_MAIN(TstStarsCmdTable)
#include "tst_starscmdtable.moc"
