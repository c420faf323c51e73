// The stamp of the simulator's self-checking histograms: written, read back,
// and every kind of damage a reader must catch.
#include <QtTest>

#include "histogramstamp.h"

using Id = HistogramStamp::Id;
Q_DECLARE_METATYPE(Id)

class TstHistogramStamp : public QObject
{
    Q_OBJECT
private slots:
    void check_data();
    void check();
};

void TstHistogramStamp::check_data()
{
    QTest::addColumn<QVector<quint32>>("bins");
    QTest::addColumn<Id>("expected");
    QTest::addColumn<QString>("problem");   // start of the problem text; empty: sound

    const Id id{3, 2, 17};
    const QVector<quint32> good = HistogramStamp::make(4096, id);
    QTest::newRow("sound") << good << id << QString();
    QTest::newRow("long histogram") << HistogramStamp::make(8192, id) << id << QString();
    QVector<quint32> flipped = good;
    flipped[2000] ^= 0x100;
    QTest::newRow("one bit flipped") << flipped << id << QStringLiteral("checksum wrong");
    QVector<quint32> header = good;
    header[3] = 18;
    QTest::newRow("start count changed") << header << id << QStringLiteral("checksum wrong");
    // The first half of this start's channel 2, the rest from channel 3.
    QVector<quint32> spliced = good;
    const QVector<quint32> other = HistogramStamp::make(4096, {3, 3, 17});
    std::copy(other.begin() + 2048, other.end(), spliced.begin() + 2048);
    QTest::newRow("spliced pair") << spliced << id << QStringLiteral("checksum wrong");
    QTest::newRow("wrong channel") << HistogramStamp::make(4096, {3, 1, 17}) << id
                                   << QStringLiteral("unit 3 channel 1, expected unit 3 channel 2");
    QTest::newRow("wrong unit") << HistogramStamp::make(4096, {4, 2, 17}) << id
                                << QStringLiteral("unit 4 channel 2, expected");
    QTest::newRow("old start count") << HistogramStamp::make(4096, {3, 2, 16}) << id
                                     << QStringLiteral("old start 16, expected 17");
    QVector<quint32> swapped = good;
    for (quint32 &v : swapped)
        v = qbswap(v);
    QTest::newRow("byte order swapped") << swapped << id << QStringLiteral("no mark (bin 0 is 0x504d5453)");
    QTest::newRow("all zeros") << QVector<quint32>(4096, 0) << id << QStringLiteral("no mark");
    QTest::newRow("too short") << good.mid(0, 4) << id << QStringLiteral("4 bins, too short");
    // A forger that recomputes the checksum over a changed count still
    // breaks the rule of the derived bins.
    QVector<quint32> forged = good;
    forged[100] += 1;
    forged[4] = HistogramStamp::crc(forged.constData(), int(forged.size()));
    QTest::newRow("checksum made to fit") << forged << id << QStringLiteral("bin 100 does not follow");
}

void TstHistogramStamp::check()
{
    QFETCH(QVector<quint32>, bins);
    QFETCH(Id, expected);
    QFETCH(QString, problem);
    const QString got = HistogramStamp::check(bins, expected);
    if (problem.isEmpty())
        QVERIFY2(got.isEmpty(), qPrintable(got));
    else
        QVERIFY2(got.startsWith(problem), qPrintable(got));
}

QTEST_APPLESS_MAIN(TstHistogramStamp)
#include "tst_histogramstamp.moc"
