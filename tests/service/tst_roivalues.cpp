#include <QtTest>

#include "roibounds.h"
#include "roisum.h"
#include "valuesanswer.h"

#include <limits>

namespace {
constexpr int intMax = std::numeric_limits<int>::max();
constexpr int intMin = std::numeric_limits<int>::min();
}

class TstRoiValues : public QObject
{
    Q_OBJECT

private slots:
    void bounds_data();
    void bounds();
    void sums_data();
    void sums();
    void rampSums();
    void noHistogram();
    void valuesAnswer_data();
    void valuesAnswer();
};

void TstRoiValues::bounds_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("ordered") << "100" << "200" << 100 << 200 << 100.0 << 200.0;
    QTest::newRow("swapped") << "300" << "100" << 100 << 300 << 100.0 << 300.0;
    QTest::newRow("fractions truncated") << "10.9" << "20.9" << 10 << 20 << 10.9 << 20.9;
    QTest::newRow("negative toward zero") << "-0.5" << "-3.7" << -3 << 0 << -3.7 << -0.5;
    QTest::newRow("empty") << "" << "" << 0 << 0 << 0.0 << 0.0;
    QTest::newRow("letters") << "abc" << "50" << 0 << 50 << 0.0 << 50.0;
    QTest::newRow("nan") << "nan" << "7" << 0 << 7 << 0.0 << 7.0;
    QTest::newRow("huge") << "1e20" << "5" << 5 << intMax << 5.0 << 1e20;
    QTest::newRow("huge negative") << "-1e20" << "5" << intMin << 5 << -1e20 << 5.0;
    QTest::newRow("infinity") << "inf" << "-inf" << intMin << intMax
                              << -std::numeric_limits<double>::infinity()
                              << std::numeric_limits<double>::infinity();
    QTest::newRow("int max exactly") << "2147483647" << "0" << 0 << intMax << 0.0 << 2147483647.0;
}

void TstRoiValues::bounds()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(double, from);
    QFETCH(double, to);
    const RoiBounds r = RoiBounds::fromTexts(a, b);
    QCOMPARE(r.start, start);
    QCOMPARE(r.end, end);
    QCOMPARE(r.from, from);
    QCOMPARE(r.to, to);
    QVERIFY(r.start <= r.end);
}

void TstRoiValues::sums_data()
{
    // A histogram of 4096 bins holding 1 each: the sums count bins.
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<quint64>("exclusive");
    QTest::addColumn<quint64>("inclusive");
    QTest::newRow("10 to 20") << 10 << 20 << quint64(10) << quint64(11);
    QTest::newRow("single bin") << 5 << 5 << quint64(0) << quint64(1);
    QTest::newRow("whole") << 0 << 4095 << quint64(4095) << quint64(4096);
    QTest::newRow("default roi") << 0 << 2047 << quint64(2047) << quint64(2048);
    QTest::newRow("past the end") << 4000 << 5000 << quint64(96) << quint64(96);
    QTest::newRow("end at length") << 4000 << 4096 << quint64(96) << quint64(96);
    QTest::newRow("beyond the end") << 5000 << 6000 << quint64(0) << quint64(0);
    QTest::newRow("negative start") << -5 << 5 << quint64(5) << quint64(6);
    QTest::newRow("all negative") << -10 << -1 << quint64(0) << quint64(0);
    QTest::newRow("reversed") << 20 << 10 << quint64(0) << quint64(0);
    QTest::newRow("int range") << intMin << intMax << quint64(4096) << quint64(4096);
    QTest::newRow("zero roi") << 0 << 0 << quint64(0) << quint64(1);
}

void TstRoiValues::sums()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(quint64, exclusive);
    QFETCH(quint64, inclusive);
    QVector<quint32> ones(4096, 1);
    QCOMPARE(RoiSum::exclusive(ones.constData(), ones.size(), start, end), exclusive);
    QCOMPARE(RoiSum::inclusive(ones.constData(), ones.size(), start, end), inclusive);
    QCOMPARE(RoiSum::total(ones.constData(), ones.size()), quint64(4096));
}

void TstRoiValues::rampSums()
{
    // Bin i holds i: which bins are summed shows in the value, and big
    // counts do not wrap at 32 bits.
    QVector<quint32> bins(4096);
    for (int i = 0; i < bins.size(); ++i)
        bins[i] = quint32(i);
    QCOMPARE(RoiSum::exclusive(bins.constData(), 4096, 10, 13), quint64(10 + 11 + 12));
    QCOMPARE(RoiSum::inclusive(bins.constData(), 4096, 10, 13), quint64(10 + 11 + 12 + 13));
    QVector<quint32> big(4096, 0xFFFFFFFFu);
    QCOMPARE(RoiSum::total(big.constData(), 4096), quint64(4096) * 0xFFFFFFFFull);
}

void TstRoiValues::noHistogram()
{
    QCOMPARE(RoiSum::exclusive(nullptr, 4096, 0, 10), quint64(0));
    QCOMPARE(RoiSum::inclusive(nullptr, 4096, 0, 10), quint64(0));
    QCOMPARE(RoiSum::total(nullptr, 4096), quint64(0));
    quint32 one = 1;
    QCOMPARE(RoiSum::inclusive(&one, 0, 0, 10), quint64(0));
}

void TstRoiValues::valuesAnswer_data()
{
    QTest::addColumn<QList<QList<quint64>>>("rows");
    QTest::addColumn<QString>("text");
    QTest::newRow("no elements") << QList<QList<quint64>>{} << "0    ";
    QTest::newRow("one element") << QList<QList<quint64>>{{4096, 11, 300, 40}} << "11 4096 11 300 40";
    QTest::newRow("three elements")
        << QList<QList<quint64>>{{10, 1, 2, 3}, {20, 4, 5, 6}, {30, 7, 8, 9}}
        << "12 10 20 30 1 4 7 2 5 8 3 6 9";
    QTest::newRow("large") << QList<QList<quint64>>{{17592186044416ull, 8589934592ull, 4294967295ull, 0},
                                                    {1, 8589934592ull, 0, 0}}
                           << "17179869184 17592186044416 1 8589934592 8589934592 4294967295 0 0 0";
}

void TstRoiValues::valuesAnswer()
{
    QFETCH(QList<QList<quint64>>, rows);
    QFETCH(QString, text);
    ValuesAnswer a;
    for (const auto &r : rows)
        a.add(r.at(0), r.at(1), r.at(2), r.at(3));
    QCOMPARE(a.text(), text);
    QCOMPARE(a.count(), rows.size());
    QCOMPARE(a.text().split(QLatin1Char(' ')).size(), 1 + 4 * std::max<qsizetype>(rows.size(), 1));
}

QTEST_APPLESS_MAIN(TstRoiValues)
#include "tst_roivalues.moc"
