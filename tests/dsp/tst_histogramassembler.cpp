#include <QBuffer>
#include <QtTest>

#include <vector>

#include "histogramassembler.h"

namespace {

// A stream of `bins` big-endian bins, bin i = seed + i * 7919.
QByteArray stream(int bins, quint32 seed)
{
    QByteArray b(4 * bins, '\0');
    for (int i = 0; i < bins; ++i)
        qToBigEndian<quint32>(seed + quint32(i) * 7919u, reinterpret_cast<uchar *>(b.data()) + 4 * i);
    return b;
}

} // namespace

class TstHistogramAssembler : public QObject
{
    Q_OBJECT

private slots:
    void assemble_data();
    void assemble();
    void feedFromDevice();
    void badSizes();
};

void TstHistogramAssembler::assemble_data()
{
    QTest::addColumn<int>("hgBytes");
    QTest::addColumn<int>("streamBins");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("maxBins");
    QTest::addColumn<int>("taken");
    QTest::addColumn<int>("converted");
    QTest::newRow("in 1000-byte pieces") << 16384 << 4096 << 1000 << 8192 << 16384 << 4096;
    QTest::newRow("in 3-byte pieces") << 16384 << 4096 << 3 << 8192 << 16384 << 4096;
    QTest::newRow("B mode: 4096 of 8192 bins kept") << 32768 << 8192 << 999 << 8192 << 32768 << 4096;
    QTest::newRow("bytes beyond the histogram not taken") << 16384 << 4106 << 16000 << 8192 << 16384 << 4096;
    QTest::newRow("stalled: nothing converted") << 16384 << 4095 << 1000 << 8192 << 16380 << 0;
    QTest::newRow("target bounds the bins") << 16384 << 4096 << 4096 << 100 << 16384 << 100;
    QTest::newRow("short stream bounds the bins") << 400 << 100 << 400 << 4096 << 400 << 100;
}

void TstHistogramAssembler::assemble()
{
    QFETCH(int, hgBytes);
    QFETCH(int, streamBins);
    QFETCH(int, piece);
    QFETCH(int, maxBins);
    QFETCH(int, converted);
    HistogramAssembler a(hgBytes, 4096);
    const QByteArray s = stream(streamBins, 5);
    int taken = 0;
    for (int off = 0; off < s.size(); off += piece)
        taken += a.feed(s.constData() + off, qMin(piece, int(s.size()) - off));
    QTEST(taken, "taken");
    QCOMPARE(a.isComplete(), taken == hgBytes);
    QCOMPARE(a.missing(), hgBytes - taken);
    std::vector<quint32> dst(size_t(maxBins) + 1, 0xDEADBEEF);
    QCOMPARE(a.convertTo(dst.data(), maxBins), converted);
    for (int i = 0; i < converted; ++i)
        QCOMPARE(dst[size_t(i)], 5u + quint32(i) * 7919u);
    QCOMPARE(dst[size_t(converted)], 0xDEADBEEFu);
}

void TstHistogramAssembler::feedFromDevice()
{
    QByteArray s = stream(4096 + 5, 11);
    QBuffer dev(&s);
    QVERIFY(dev.open(QIODevice::ReadOnly));
    HistogramAssembler a(16384, 4096);
    QCOMPARE(a.feedFrom(&dev, 1000), 1000);
    QCOMPARE(a.feedFrom(&dev, dev.bytesAvailable()), 15384);
    QVERIFY(a.isComplete());
    QCOMPARE(dev.bytesAvailable(), 20);   // the rest stays in the device
    a.setSizes(32768, 4096);               // a new size starts afresh
    QCOMPARE(a.missing(), 32768);
}

void TstHistogramAssembler::badSizes()
{
    QCOMPARE(HistogramAssembler(-5, -1).feed("abcd", 4), 0);
    HistogramAssembler b(16, 4);
    QCOMPARE(b.feed(nullptr, 4), 0);
    QCOMPARE(b.feed("abcd", -1), 0);
    QCOMPARE(b.convertTo(nullptr, 4), 0);
}

QTEST_APPLESS_MAIN(TstHistogramAssembler)
#include "tst_histogramassembler.moc"
