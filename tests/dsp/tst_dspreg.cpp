#include <QtTest>

#include "dspreg.h"

namespace {

const DspReg *find(const QList<DspReg> &list, const QString &name)
{
    for (const DspReg &r : list)
        if (r.name == name)
            return &r;
    return nullptr;
}

} // namespace

class TstDspReg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void counts();
    void order();
    void rows_data();
    void rows();
    void roiRowsAlternate();
    void channelAddresses_data();
    void channelAddresses();
    void longestDescription();
    void secondBuildAddsNothing();
};

void TstDspReg::initTestCase()
{
    buildRegMap();
}

void TstDspReg::counts()
{
    QCOMPARE(sysRegs.size(), 2);
    QCOMPARE(commonRegs.size(), 46);
    QCOMPARE(chRegs.size(), 26);
    QCOMPARE(chStatRegs.size(), 15);
    QCOMPARE(allRegs.size(), 89);
    QCOMPARE(hvRegs.size(), 3);
    QCOMPARE(chOffsets, (QList<int>{0x000, 0x200, 0x400, 0x600}));
}

void TstDspReg::order()
{
    QCOMPARE(allRegs.first().name, QStringLiteral("DTDelay1"));
    QCOMPARE(allRegs.last().name, QStringLiteral("DeadTime3"));
    QCOMPARE(allRegs.at(2).name, commonRegs.first().name);
    QCOMPARE(allRegs.at(2 + 46).name, QStringLiteral("CoarseGain"));
    QCOMPARE(allRegs.at(2 + 46 + 26).name, QStringLiteral("FTotalCount1"));
    QCOMPARE(commonRegs.last().name, QStringLiteral("FSCAAux8Tmg"));
    QCOMPARE(commonRegs.last().addr, 0xB40000E4u);
    QCOMPARE(chRegs.last().name, QStringLiteral("FFilterType"));
    QCOMPARE(hvRegs.at(0).name, QStringLiteral("HV Stat"));
    QCOMPARE(hvRegs.at(2).name, QStringLiteral("HV On/Off"));
}

void TstDspReg::rows_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("writable");
    auto row = [](const char *n, quint32 a, const char *d, bool r, bool w) {
        QTest::newRow(n) << QString::fromLatin1(n) << a << QString::fromLatin1(d) << r << w;
    };
    row("DTDelay1", 0x00000008, "Data Trans Delay (MSB)", true, true);
    row("DTDelay2", 0x0000000A, "Data Trans Delay (LSB)", true, true);
    row("Mode", 0xB4000010, "Mode", true, true);
    row("Start", 0xB4000014, "Start/Stop", true, true);
    row("MeasTime1", 0xB4000016, "Meas Time 1 (MSB)", true, true);
    row("MeasTime3", 0xB400001A, "MEas Time 3 (LSB)", true, true);
    row("RealTime1", 0xB400001C, "Real Time 1 (MSB)", true, false);
    row("RealTime3", 0xB4000020, "Real Time 3 (LSB)", true, false);
    row("Clear", 0xB4000040, "Clear Histgram", true, true);
    row("Histgram", 0xB400004A, "Get Histgram", false, true);
    row("DAQMonSel", 0xB400007A, "DAC Monitor Selet", true, true);
    row("ROI1Start", 0xB400009E, "ROI 1 Start", true, true);
    row("ROI8End", 0xB40000BC, "ROI 8 End", true, true);
    row("FSCA_ROI1Ch", 0xB40000C6, "Fast SCA ROI1 Ch", true, true);
    row("FSCA_ROI8Ch", 0xB40000D4, "Fast SCA ROI8 Ch", true, true);
    row("FSCAAux1Tmg", 0xB40000D6, "Fast SCA AUX1 Timing", true, true);
    row("SFilterPeakingT", 0xB400020A, "Slow Filter Peaking Time", true, true);
    row("FFilterTrgTh", 0xB4000210, "Fast Filter Trg Th.", true, true);
    row("PreAMPPolarity", 0xB400021A, "Pre Amp. Polarity", true, true);
    row("FFilterType", 0xB40002D4, "Fast Filter Type", true, true);
    row("FTotalCount1", 0xB400021C, "Fast Total Count 1 (MSB)", true, false);
    row("ThTotalCount1", 0xB4000220, "Throughput Total Count 1 (MSB)", true, false);
    row("ICR1", 0xB400022C, "ICR 1 (MSB)", true, false);
    row("PileupCountR", 0xB4000234, "Pileup Count Rate", true, false);
    row("LiveTime1", 0xB4000246, "Live Time 1 (MSB)", true, false);
    row("DeadTime3", 0xB4000250, "Dead Time 3 (LSB)", true, false);
}

void TstDspReg::rows()
{
    QFETCH(QString, name);
    const DspReg *r = find(allRegs, name);
    QVERIFY2(r, qPrintable(name));
    QTEST(r->addr, "addr");
    QTEST(r->desc, "desc");
    QTEST(r->readable, "readable");
    QTEST(r->writable, "writable");
}

void TstDspReg::roiRowsAlternate()
{
    int first = -1;
    for (int i = 0; i < commonRegs.size(); ++i)
        if (commonRegs.at(i).name == QLatin1String("ROI1Start"))
            first = i;
    QVERIFY(first >= 0);
    for (int k = 1; k <= 8; ++k) {
        const DspReg &s = commonRegs.at(first + 2 * (k - 1));
        const DspReg &e = commonRegs.at(first + 2 * (k - 1) + 1);
        QCOMPARE(s.name, QStringLiteral("ROI%1Start").arg(k));
        QCOMPARE(s.addr, 0xB400009Eu + 4u * quint32(k - 1));
        QCOMPARE(e.name, QStringLiteral("ROI%1End").arg(k));
        QCOMPARE(e.addr, 0xB40000A0u + 4u * quint32(k - 1));
        QCOMPARE(e.desc, QStringLiteral("ROI %1 End").arg(k));
    }
}

void TstDspReg::channelAddresses_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ch");
    QTest::addColumn<quint32>("addr");
    QTest::newRow("ch2 LiveTime1") << "LiveTime1" << 2 << quint32(0xB4000646);
    QTest::newRow("ch3 SFilterPeakingT") << "SFilterPeakingT" << 3 << quint32(0xB400080A);
    QTest::newRow("ch1 ICR1") << "ICR1" << 1 << quint32(0xB400042C);
    QTest::newRow("ch0 DeadTime1") << "DeadTime1" << 0 << quint32(0xB400024C);
}

void TstDspReg::channelAddresses()
{
    QFETCH(QString, name);
    QFETCH(int, ch);
    const DspReg *r = find(allRegs, name);
    QVERIFY(r);
    QTEST(r->addr + quint32(chOffsets.at(ch)), "addr");
}

void TstDspReg::longestDescription()
{
    int longest = 0;
    QString which;
    for (const DspReg &r : std::as_const(allRegs)) {
        if (r.desc.size() > longest) {
            longest = int(r.desc.size());
            which = r.desc;
        }
    }
    QCOMPARE(longest, 30);
    QCOMPARE(which, QStringLiteral("Throughput Total Count 1 (MSB)"));
}

void TstDspReg::secondBuildAddsNothing()
{
    buildRegMap();
    QCOMPARE(allRegs.size(), 89);
    QCOMPARE(sysRegs.size(), 2);
    QCOMPARE(hvRegs.size(), 3);
    QCOMPARE(chOffsets.size(), 4);
}

QTEST_APPLESS_MAIN(TstDspReg)
#include "tst_dspreg.moc"
