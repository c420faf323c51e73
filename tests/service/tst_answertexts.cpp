// Answer texts built from unit figures: times and their mean, the preset
// answer, ROI sums and the "GetValues" answer.
#include <QtTest>

#include <limits>

#include "presetanswer.h"
#include "roisum.h"
#include "timetexts.h"
#include "valuesanswer.h"

class TstAnswerTexts : public QObject
{
    Q_OBJECT

private slots:
    void times_data();
    void times();
    void preset_data();
    void preset();
    void roiSums_data();
    void roiSums();
    void valuesAnswer_data();
    void valuesAnswer();
};

void TstAnswerTexts::times_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("mean");
    QTest::newRow("none") << QList<double>{} << "" << "0";
    QTest::newRow("rounded before the mean") << QList<double>{1.0000004, 1.0000004} << "1 1" << "1";
    QTest::newRow("small") << QList<double>{0.00001, 0.5} << "1e-05 0.5" << "0.250005";
    // The mean is that of the texts (100000.333...), not of the times.
    QTest::newRow("mean of texts") << QList<double>{100000.4, 100000.4, 100001.4} << "100000 100000 100001"
                                   << "100000";
    QTest::newRow("zeros from silent units") << QList<double>{0.0, 0.0, 3.0} << "0 0 3" << "1";
}

void TstAnswerTexts::times()
{
    QFETCH(QList<double>, values);
    const QStringList texts = TimeTexts::texts(values);
    QTEST(texts.join(QLatin1Char(' ')), "list");
    QTEST(TimeTexts::mean(texts), "mean");
}

void TstAnswerTexts::preset_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("answer");
    QTest::newRow("no unit") << QStringList{} << "Er: No DSPs are managed";
    QTest::newRow("percent in text") << QStringList{"%2", "%1"} << "%2 Er: Preset Types are different. (%2 %1)";
}

void TstAnswerTexts::preset()
{
    QFETCH(QStringList, texts);
    QTEST(PresetAnswer::build(texts), "answer");
}

void TstAnswerTexts::roiSums_data()
{
    // Bin i holds i + 1, so the sum shows which bins were added.
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<quint64>("exclusive");
    QTest::addColumn<quint64>("inclusive");
    constexpr int intMax = std::numeric_limits<int>::max();
    constexpr int intMin = std::numeric_limits<int>::min();
    const quint64 all = 4096ull * 4097 / 2;
    QTest::newRow("10 to 13") << 10 << 13 << quint64(11 + 12 + 13) << quint64(11 + 12 + 13 + 14);
    QTest::newRow("single bin") << 5 << 5 << quint64(0) << quint64(6);
    QTest::newRow("past the end") << 4094 << 5000 << quint64(4095 + 4096) << quint64(4095 + 4096);
    QTest::newRow("beyond the end") << 5000 << 6000 << quint64(0) << quint64(0);
    QTest::newRow("negative start") << -5 << 1 << quint64(1) << quint64(1 + 2);
    QTest::newRow("int range") << intMin << intMax << all << all;
}

void TstAnswerTexts::roiSums()
{
    QFETCH(int, start);
    QFETCH(int, end);
    // One bin more than the length, holding a count that shows when a sum
    // reads past the histogram.
    QVector<quint32> bins(4096 + 1, 1000000u);
    for (int i = 0; i < 4096; ++i)
        bins[i] = quint32(i + 1);
    QTEST(RoiSum::exclusive(bins.constData(), 4096, start, end), "exclusive");
    QTEST(RoiSum::inclusive(bins.constData(), 4096, start, end), "inclusive");
    QCOMPARE(RoiSum::inclusive(nullptr, 4096, start, end), quint64(0));
    // Large counts do not wrap at 32 bits.
    QVector<quint32> big(4096, 0xFFFFFFFFu);
    QCOMPARE(RoiSum::total(big.constData(), 4096), quint64(4096) * 0xFFFFFFFFull);
}

void TstAnswerTexts::valuesAnswer_data()
{
    QTest::addColumn<QList<QList<quint64>>>("rows");
    QTest::addColumn<QString>("text");
    QTest::newRow("no elements") << QList<QList<quint64>>{} << "0    ";
    QTest::newRow("three elements") << QList<QList<quint64>>{{10, 1, 2, 3}, {20, 4, 5, 6}, {30, 7, 8, 9}}
                                    << "12 10 20 30 1 4 7 2 5 8 3 6 9";
    QTest::newRow("large") << QList<QList<quint64>>{{17592186044416ull, 8589934592ull, 4294967295ull, 0},
                                                    {1, 8589934592ull, 0, 0}}
                           << "17179869184 17592186044416 1 8589934592 8589934592 4294967295 0 0 0";
}

void TstAnswerTexts::valuesAnswer()
{
    QFETCH(QList<QList<quint64>>, rows);
    ValuesAnswer a;
    for (const auto &r : rows)
        a.add(r.at(0), r.at(1), r.at(2), r.at(3));
    QTEST(a.text(), "text");
}

QTEST_APPLESS_MAIN(TstAnswerTexts)
#include "tst_answertexts.moc"
