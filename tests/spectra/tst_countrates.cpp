// The figures of a row of the Spectra window, including times of zero.
#include <QtTest>

#include <cmath>

#include "countrates.h"

using Level = CountRates::Level;
Q_DECLARE_METATYPE(Level)

class TstCountRates : public QObject
{
    Q_OBJECT

private slots:
    void rates_data();
    void rates();
};

void TstCountRates::rates_data()
{
    QTest::addColumn<double>("real");
    QTest::addColumn<double>("live");
    QTest::addColumn<int>("roiStart");
    QTest::addColumn<int>("roiEnd");
    QTest::addColumn<double>("dead");
    QTest::addColumn<double>("ocr");
    QTest::addColumn<quint64>("roiCounts");
    QTest::addColumn<double>("roiRate");
    QTest::addColumn<Level>("level");
    // 100 bins, bin i holding i counts: 4950 in all.
    QTest::newRow("plain") << 2.0 << 1.5 << 10 << 19 << 25.0 << 2475.0 << quint64(145) << 72.5 << Level::Normal;
    QTest::newRow("amber") << 1.0 << 0.6 << 0 << 0 << 40.0 << 4950.0 << quint64(0) << 0.0 << Level::Amber;
    QTest::newRow("red") << 1.0 << 0.3 << 99 << 99 << 70.0 << 4950.0 << quint64(99) << 99.0 << Level::Red;
    QTest::newRow("zero real time") << 0.0 << 0.0 << 10 << 19 << 0.0 << 0.0 << quint64(145) << 0.0 << Level::Normal;
    QTest::newRow("zero live time") << 4.0 << 0.0 << 10 << 19 << 100.0 << 1237.5 << quint64(145) << 36.25 << Level::Red;
    QTest::newRow("live above real") << 1.0 << 1.5 << 10 << 19 << 0.0 << 4950.0 << quint64(145) << 145.0 << Level::Normal;
    QTest::newRow("no time at all (NaN)") << qQNaN() << qQNaN() << 10 << 19 << 0.0 << 0.0 << quint64(145) << 0.0
                                          << Level::Normal;
    QTest::newRow("ROI past the bins") << 1.0 << 1.0 << 98 << 5000 << 0.0 << 4950.0 << quint64(197) << 197.0
                                       << Level::Normal;
    QTest::newRow("ROI before the bins") << 1.0 << 1.0 << -5 << 1 << 0.0 << 4950.0 << quint64(1) << 1.0
                                         << Level::Normal;
}

void TstCountRates::rates()
{
    QFETCH(double, real);
    QFETCH(double, live);
    QFETCH(int, roiStart);
    QFETCH(int, roiEnd);
    QVector<quint32> bins(100);
    for (int i = 0; i < bins.size(); ++i)
        bins[i] = quint32(i);
    const CountRates r = CountRates::of(real, live, bins, roiStart, roiEnd);
    for (double v : {r.deadPercent, r.ocr, r.roiRate})
        QVERIFY(std::isfinite(v));
    QCOMPARE(r.total, quint64(4950));
    QTEST(r.deadPercent, "dead");
    QTEST(r.ocr, "ocr");
    QTEST(r.roiCounts, "roiCounts");
    QTEST(r.roiRate, "roiRate");
    QTEST(r.level, "level");
}

QTEST_GUILESS_MAIN(TstCountRates)
#include "tst_countrates.moc"
