#include <QtTest>

#include <cstring>

#include "mcadataset.h"

namespace {

template <typename T>
T at(const char *buf, int offset)
{
    T v;
    std::memcpy(&v, buf + offset, sizeof v);
    return v;
}

} // namespace

class TstMcaData : public QObject
{
    Q_OBJECT

private slots:
    void block_data();
    void block();
    void headerLayout();
    void linkFieldOverlapsChannel();
    void set_data();
    void set();
};

void TstMcaData::block_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("totalBytes");
    QTest::newRow("4096") << qint64(4096) << qint64(48 + 16384);
    QTest::newRow("1") << qint64(1) << qint64(52);
    QTest::newRow("0") << qint64(0) << qint64(48);
    QTest::newRow("negative counts as 0") << qint64(-3) << qint64(48);
}

void TstMcaData::block()
{
    QFETCH(qint64, length);
    MCAData d(length);
    QTEST(d.totalBytes, "totalBytes");
    QCOMPARE(d.length, qMax<qint64>(0, length));
    // Compared as addresses (char pointers would be compared as strings).
    QCOMPARE(static_cast<const void *>(d.data), static_cast<const void *>(d.buf + MCAData::headerBytes));
    QCOMPARE(static_cast<const void *>(d.linkField), static_cast<const void *>(d.buf + 4));
    for (qint64 i = 0; i < d.totalBytes; ++i)
        QCOMPARE(d.buf[i], '\0');
}

void TstMcaData::headerLayout()
{
    MCAData d(4096);
    d.setCh(3);
    d.setInMeas(true);
    d.setLen(4096);
    d.setRealTimeSec(1.25);
    d.setLiveTimeSec(0.75);
    d.setIcr(12345.0);
    d.data[0] = 7;
    d.data[4095] = 9;
    QCOMPARE(at<qint64>(d.buf, 0), qint64(3));
    QCOMPARE(at<quint64>(d.buf, 8), quint64(1));
    QCOMPARE(at<qint64>(d.buf, 16), qint64(4096));
    QCOMPARE(at<double>(d.buf, 24), 1.25);
    QCOMPARE(at<double>(d.buf, 32), 0.75);
    QCOMPARE(at<double>(d.buf, 40), 12345.0);
    QCOMPARE(at<quint32>(d.buf, 48), 7u);
    QCOMPARE(at<quint32>(d.buf, 48 + 4 * 4095), 9u);
    QCOMPARE(d.ch(), qint64(3));
    QCOMPARE(d.inMeas(), quint64(1));
    QCOMPARE(d.len(), qint64(4096));
    QCOMPARE(d.realTimeSec(), 1.25);
    QCOMPARE(d.liveTimeSec(), 0.75);
    QCOMPARE(d.icr(), 12345.0);
    d.setInMeas(false);
    QCOMPARE(at<quint64>(d.buf, 8), quint64(0));
    // little-endian host: the channel's low byte comes first
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        QCOMPARE(int(d.buf[0]), 3);
}

void TstMcaData::linkFieldOverlapsChannel()
{
    MCAData d(16);
    d.setCh(2);
    QCOMPARE(*d.linkField, 0);
    *d.linkField = 0x11223344;
    QCOMPARE(at<qint32>(d.buf, 4), 0x11223344);
    QCOMPARE(at<qint32>(d.buf, 0), 2);   // the channel's low half is kept
    d.setCh(1);                          // a new channel clears the field again
    QCOMPARE(*d.linkField, 0);
}

void TstMcaData::set_data()
{
    QTest::addColumn<int>("chCount");
    QTest::addColumn<qint64>("length");
    QTest::newRow("4 x 4096") << 4 << qint64(4096);
    QTest::newRow("2 x 10") << 2 << qint64(10);
    QTest::newRow("none") << 0 << qint64(4096);
}

void TstMcaData::set()
{
    QFETCH(int, chCount);
    QFETCH(qint64, length);
    MCADataSet s(chCount, length, 17, 3);
    QCOMPARE(s.measNum, 17);
    QCOMPARE(s.count, 3);
    QCOMPARE(s.chs.size(), chCount);
    for (MCAData *d : std::as_const(s.chs)) {
        QCOMPARE(d->length, length);
        QCOMPARE(d->data[length - 1], 0u);
    }
}

QTEST_APPLESS_MAIN(TstMcaData)
#include "tst_mcadata.moc"
