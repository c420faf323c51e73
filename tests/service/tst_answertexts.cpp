#include <QtTest>

#include "presetanswer.h"
#include "timetexts.h"

class TstAnswerTexts : public QObject
{
    Q_OBJECT

private slots:
    void times_data();
    void times();
    void preset_data();
    void preset();
};

void TstAnswerTexts::times_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("mean");
    QTest::newRow("none") << QList<double>{} << "" << "0";
    QTest::newRow("10 and 20") << QList<double>{10.0, 20.0} << "10 20" << "15";
    QTest::newRow("rounded before the mean") << QList<double>{1.0000004, 1.0000004} << "1 1" << "1";
    QTest::newRow("six digits") << QList<double>{12.34567} << "12.3457" << "12.3457";
    QTest::newRow("small") << QList<double>{0.00001, 0.5} << "1e-05 0.5" << "0.250005";
    // The mean is that of the texts (100000.333...), not of the times
    // (100000.733...).
    QTest::newRow("mean of texts") << QList<double>{100000.4, 100000.4, 100001.4}
                                   << "100000 100000 100001" << "100000";
    QTest::newRow("zeros from silent units") << QList<double>{0.0, 0.0, 3.0} << "0 0 3" << "1";
}

void TstAnswerTexts::times()
{
    QFETCH(QList<double>, values);
    QFETCH(QString, list);
    QFETCH(QString, mean);
    const QStringList texts = TimeTexts::texts(values);
    QCOMPARE(texts.join(QLatin1Char(' ')), list);
    QCOMPARE(TimeTexts::mean(texts), mean);
}

void TstAnswerTexts::preset_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("answer");
    QTest::newRow("no unit") << QStringList{} << "Er: No DSPs are managed";
    QTest::newRow("one unit") << QStringList{"2"} << "2";
    QTest::newRow("all equal") << QStringList{"1", "1", "1"} << "1";
    QTest::newRow("1 and 0") << QStringList{"1", "0"} << "1 Er: Preset Types are different. (1 0)";
    QTest::newRow("values") << QStringList{"1.5", "1.5", "2"} << "1.5 Er: Preset Types are different. (1.5 1.5 2)";
    QTest::newRow("percent in text") << QStringList{"%2", "%1"} << "%2 Er: Preset Types are different. (%2 %1)";
}

void TstAnswerTexts::preset()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, answer);
    QCOMPARE(PresetAnswer::build(texts), answer);
}

QTEST_APPLESS_MAIN(TstAnswerTexts)
#include "tst_answertexts.moc"
