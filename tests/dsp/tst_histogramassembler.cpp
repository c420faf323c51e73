#include <QBuffer>
#include <QtTest>

#include <vector>

#include "histogramassembler.h"

namespace {

// A stream of `bins` big-endian bins, bin i = seed + i * 7919.
QByteArray stream(int bins, quint32 seed = 0)
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
    void pieces_data();
    void pieces();
    void firstBin();
    void bModeDropsTheRest();
    void extraBytesAreNotTaken();
    void incompleteConvertsNothing();
    void maxBinsBoundsTheTarget();
    void shortStreamBoundsTheBins();
    void resetAndResize();
    void feedFromDevice();
    void badInput();
};

void TstHistogramAssembler::pieces_data()
{
    QTest::addColumn<int>("hgBytes");
    QTest::addColumn<int>("piece");
    QTest::newRow("16384 in 1000s") << 16384 << 1000;
    QTest::newRow("16384 whole") << 16384 << 16384;
    QTest::newRow("16384 in 1s") << 16384 << 1;
    QTest::newRow("16384 in 3s") << 16384 << 3;
    QTest::newRow("32768 in 4096s") << 32768 << 4096;
    QTest::newRow("32768 in 999s") << 32768 << 999;
}

void TstHistogramAssembler::pieces()
{
    QFETCH(int, hgBytes);
    QFETCH(int, piece);
    HistogramAssembler a(hgBytes, 4096);
    const QByteArray s = stream(hgBytes / 4, 5);
    int completions = 0;
    int lastSize = 0;
    for (int off = 0; off < s.size(); off += piece) {
        QVERIFY(!a.isComplete());
        const int n = qMin(piece, int(s.size()) - off);
        QCOMPARE(a.feed(s.constData() + off, n), n);
        QVERIFY(a.size() > lastSize);
        lastSize = a.size();
        if (a.isComplete())
            ++completions;
    }
    QCOMPARE(completions, 1);
    QCOMPARE(a.missing(), 0);
    std::vector<quint32> dst(8192, 0xDEADBEEF);
    QCOMPARE(a.convertTo(dst.data(), 8192), 4096);
    for (int i = 0; i < 4096; ++i)
        QCOMPARE(dst[size_t(i)], 5u + quint32(i) * 7919u);
    QCOMPARE(dst[4096], 0xDEADBEEFu);
}

void TstHistogramAssembler::firstBin()
{
    HistogramAssembler a(16384, 4096);
    QByteArray s(16384, '\0');
    s[2] = 0x01;
    s[3] = 0x02;
    s[4] = char(0xFF);   // bin 1 = 0xFF000000: MSB first
    a.feed(s);
    quint32 dst[4096];
    QCOMPARE(a.convertTo(dst, 4096), 4096);
    QCOMPARE(dst[0], 258u);
    QCOMPARE(dst[1], 0xFF000000u);
    QCOMPARE(dst[2], 0u);
}

void TstHistogramAssembler::bModeDropsTheRest()
{
    HistogramAssembler a(32768, 4096);
    const QByteArray s = stream(8192, 1);
    QCOMPARE(a.feed(s), 32768);
    QVERIFY(a.isComplete());
    std::vector<quint32> dst(8192, 0);
    QCOMPARE(a.convertTo(dst.data(), 8192), 4096);
    QCOMPARE(dst[4095], 1u + 4095u * 7919u);
    QCOMPARE(dst[4096], 0u);
}

void TstHistogramAssembler::extraBytesAreNotTaken()
{
    HistogramAssembler a(16384, 4096);
    const QByteArray s = stream(4096 + 10);
    QCOMPARE(a.feed(s.left(16000)), 16000);
    QCOMPARE(a.feed(s.mid(16000)), 384);
    QVERIFY(a.isComplete());
    QCOMPARE(a.feed(s), 0);
    QCOMPARE(a.size(), 16384);
}

void TstHistogramAssembler::incompleteConvertsNothing()
{
    HistogramAssembler a(16384, 4096);
    a.feed(stream(4095));
    quint32 dst[4] = {9, 9, 9, 9};
    QCOMPARE(a.convertTo(dst, 4), 0);
    QCOMPARE(dst[0], 9u);
    QCOMPARE(a.missing(), 4);
}

void TstHistogramAssembler::maxBinsBoundsTheTarget()
{
    HistogramAssembler a(16384, 4096);
    a.feed(stream(4096, 3));
    std::vector<quint32> dst(101, 0xAAAAAAAA);
    QCOMPARE(a.convertTo(dst.data(), 100), 100);
    QCOMPARE(dst[99], 3u + 99u * 7919u);
    QCOMPARE(dst[100], 0xAAAAAAAAu);
}

void TstHistogramAssembler::shortStreamBoundsTheBins()
{
    // A stream shorter than the bins kept converts only what it holds.
    HistogramAssembler a(400, 4096);
    a.feed(stream(100, 2));
    std::vector<quint32> dst(4096, 0xAAAAAAAA);
    QCOMPARE(a.convertTo(dst.data(), 4096), 100);
    QCOMPARE(dst[99], 2u + 99u * 7919u);
    QCOMPARE(dst[100], 0xAAAAAAAAu);
}

void TstHistogramAssembler::resetAndResize()
{
    HistogramAssembler a(16384, 4096);
    a.feed(stream(10));
    QCOMPARE(a.size(), 40);
    a.reset();
    QCOMPARE(a.size(), 0);
    a.feed(stream(10));
    a.setSizes(32768, 4096);
    QCOMPARE(a.size(), 0);
    QCOMPARE(a.hgBytes(), 32768);
    QCOMPARE(a.missing(), 32768);
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
    QCOMPARE(a.feedFrom(&dev, 20), 0);
    std::vector<quint32> dst(4096);
    a.convertTo(dst.data(), 4096);
    QCOMPARE(dst[4095], 11u + 4095u * 7919u);
}

void TstHistogramAssembler::badInput()
{
    HistogramAssembler a(-5, -1);
    QCOMPARE(a.hgBytes(), 0);
    QVERIFY(!a.isComplete());
    QCOMPARE(a.feed("abcd", 4), 0);
    HistogramAssembler b(16, 4);
    QCOMPARE(b.feed(nullptr, 4), 0);
    QCOMPARE(b.feed("abcd", -1), 0);
    QCOMPARE(b.feedFrom(nullptr, 4), 0);
    QCOMPARE(b.convertTo(nullptr, 4), 0);
}

QTEST_APPLESS_MAIN(TstHistogramAssembler)
#include "tst_histogramassembler.moc"
