// Counting model of the simulated DSP unit and ramp of the HV unit, driven
// by explicit time steps (no clock, no sockets).

#include "simdspmodel.h"
#include "simhvmodel.h"

#include <QtTest>

#include <numeric>

namespace {

constexpr qint64 ms = 1000000;          // nanoseconds
constexpr qint64 second = 1000 * ms;

QByteArray word(quint16 v)
{
    QByteArray d(2, '\0');
    d[0] = char(v >> 8);
    d[1] = char(v);
    return d;
}

QByteArray six(quint64 v)
{
    QByteArray d(6, '\0');
    for (int k = 5; k >= 0; --k, v >>= 8)
        d[k] = char(v & 0xFF);
    return d;
}

void writeWord(SimDevice &d, quint32 addr, quint16 v, qint64 t)
{
    QList<int> hist;
    d.write(addr, word(v), t, hist);
}

quint64 sum(const QVector<quint32> &h)
{
    return std::accumulate(h.cbegin(), h.cend(), quint64(0));
}

quint32 ch(quint32 base, int c)
{
    return base + quint32(c) * SimDspModel::ChannelOffset;
}

} // namespace

class TstSimModel : public QObject
{
    Q_OBJECT
private slots:
    void countsOneSecond_data();
    void countsOneSecond();
    void presetStop_data();
    void presetStop();
    void clearPulse();
    void streamBytes();
    void frozenRealTime();
    void hvRamp();
};

void TstSimModel::countsOneSecond_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("deadFraction");
    QTest::newRow("default-like") << 2000.0 << 0.03;
    QTest::newRow("high rate") << 250000.0 << 0.25;
}

void TstSimModel::countsOneSecond()
{
    QFETCH(double, rate);
    QFETCH(double, deadFraction);
    SimDspModel m;
    m.setDeterministic(true);
    m.setCountRate(rate);
    m.setDeadFraction(deadFraction);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    QVERIFY(m.isCounting());
    for (int i = 1; i <= 10; ++i)
        m.update(i * 100 * ms);

    const quint64 real = m.value(SimDspModel::RegRealTime, 6, second);
    QCOMPARE(real, quint64(100000000));
    for (int c = 0; c < 4; ++c) {
        const quint64 live = m.value(ch(SimDspModel::RegLiveTime, c), 6, second);
        const quint64 dead = m.value(ch(SimDspModel::RegDeadTime, c), 6, second);
        QCOMPARE(live + dead, real);
        QVERIFY(qAbs(double(dead) - real * deadFraction) <= 1.0);
        QCOMPARE(m.value(ch(SimDspModel::RegICR, c), 4, second), quint64(qRound64(rate)));
        QVERIFY(qAbs(double(m.value(ch(SimDspModel::RegFTotalCount, c), 4, second)) - rate) <= 1.0);
        const quint64 th = m.value(ch(SimDspModel::RegThTotalCount, c), 4, second);
        QVERIFY(qAbs(double(th) - rate * (1 - deadFraction)) <= 1.0);
        QCOMPARE(sum(m.histogram(c)), th);
        QCOMPARE(m.liveEvents(c), th);
    }
}

void TstSimModel::presetStop_data()
{
    QTest::addColumn<quint64>("preset");
    QTest::addColumn<int>("steps");
    QTest::newRow("20 ms in one step") << quint64(2000000) << 1;
    QTest::newRow("odd tick count") << quint64(1234567) << 3;
}

void TstSimModel::presetStop()
{
    QFETCH(quint64, preset);
    QFETCH(int, steps);
    SimDspModel m;
    m.setDeterministic(true);
    QList<int> hist;
    m.write(SimDspModel::RegMeasTime, six(preset), 0, hist);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    const qint64 end = qint64(preset) * 10 + 50 * ms;
    for (int i = 1; i <= steps; ++i)
        m.update(end * i / steps);
    QVERIFY(!m.isCounting());
    QCOMPARE(m.registers().word(SimDspModel::RegStart), quint16(0));
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), preset);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(m.value(ch(SimDspModel::RegLiveTime, c), 6, end) + m.value(ch(SimDspModel::RegDeadTime, c), 6, end),
                 preset);
    m.update(end + 10 * second);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), preset);
}

void TstSimModel::clearPulse()
{
    SimDspModel m;
    m.setDeterministic(true);
    m.setCountRate(10000);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    writeWord(m, SimDspModel::RegStart, 0, second);
    QVERIFY(sum(m.histogram(0)) > 0);
    writeWord(m, SimDspModel::RegClear, 0, second);
    QVERIFY(sum(m.histogram(0)) > 0);   // 0 does not clear
    writeWord(m, SimDspModel::RegClear, 1, second);
    writeWord(m, SimDspModel::RegClear, 0, second);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(0));
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(sum(m.histogram(c)), quint64(0));
        for (quint32 r : {SimDspModel::RegLiveTime, SimDspModel::RegDeadTime})
            QCOMPARE(m.registers().value(ch(r, c), 6), quint64(0));
        for (quint32 r : {SimDspModel::RegFTotalCount, SimDspModel::RegThTotalCount, SimDspModel::RegICR,
                          SimDspModel::RegThCountR})
            QCOMPARE(m.registers().value(ch(r, c), 4), quint64(0));
        QCOMPARE(m.registers().word(ch(SimDspModel::RegPileupCountR, c)), quint16(0));
        QCOMPARE(m.liveEvents(c), quint64(0));
    }
    // The preset survives a clear.
    QCOMPARE(m.registers().value(SimDspModel::RegMeasTime, 6), SimDspModel::NoPreset);
}

void TstSimModel::streamBytes()
{
    SimDspModel m;
    QVector<quint32> h(4096, 0);
    h[0] = 258;
    h[1] = 0x01020304;
    h[4095] = 0xFFFFFFFF;
    m.setHistogram(3, h);
    const QByteArray b = m.histogramBytes(3);
    QCOMPARE(b.size(), 16384);
    QCOMPARE(b.left(8).toHex(' '), QByteArray("00 00 01 02 01 02 03 04"));
    QCOMPARE(b.right(4).toHex(), QByteArray("ffffffff"));
    QCOMPARE(m.histogram(2), QVector<quint32>(4096, 0));
    // Shorter or longer input is fitted to the bin count.
    m.setHistogram(1, {7, 8});
    QCOMPARE(m.histogram(1).size(), 4096);
    QCOMPARE(m.histogram(1).at(1), quint32(8));
    m.setHistogram(1, QVector<quint32>(9000, 1));
    QCOMPARE(m.histogram(1).size(), 4096);
    m.setHistogram(9, h);   // no such channel: ignored
}

void TstSimModel::frozenRealTime()
{
    SimDspModel m;
    m.setDeterministic(true);
    m.setFrozenRealTime(true);
    QList<int> hist;
    m.write(SimDspModel::RegMeasTime, six(1000), 0, hist);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    m.update(3 * second);
    QVERIFY(m.isCounting());   // the preset is never reached
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(0));
    QCOMPARE(m.registers().value(SimDspModel::RegLiveTime, 6), quint64(0));
    QVERIFY(m.liveEvents(0) > 0);
    m.setFrozenRealTime(false);
    m.update(3 * second + 20000);
    QVERIFY(!m.isCounting());
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(1000));
}

void TstSimModel::hvRamp()
{
    SimHvModel hv;
    const qint64 t0 = 5 * second;
    QCOMPARE(hv.reg(SimHvModel::RegStat, t0), quint16(0x0020));
    QCOMPARE(hv.reg(SimHvModel::RegValue, t0), quint16(0x8000));
    writeWord(hv, SimHvModel::RegOnOff, 1, t0);
    QCOMPARE(hv.reg(SimHvModel::RegStat, t0), quint16(0x0032));
    QCOMPARE(hv.reg(SimHvModel::RegValue, t0), quint16(0x8000));
    quint16 last = 0x8000;
    for (int i = 1; i < 10; ++i) {
        const quint16 v = hv.reg(SimHvModel::RegValue, t0 + i * 100 * ms);
        QVERIFY(v > last);
        last = v;
        QCOMPARE(hv.reg(SimHvModel::RegStat, t0 + i * 100 * ms) & 0xF, 2);
    }
    QCOMPARE(hv.reg(SimHvModel::RegValue, t0 + 500 * ms), quint16(0xA000));
    QCOMPARE(hv.reg(SimHvModel::RegStat, t0 + second), quint16(0x0034));
    QCOMPARE(hv.reg(SimHvModel::RegValue, t0 + second), quint16(0xC000));
    QCOMPARE(hv.reg(SimHvModel::RegOnOff, t0 + second), quint16(1));

    const qint64 t1 = 20 * second;
    writeWord(hv, SimHvModel::RegOnOff, 0, t1);
    QCOMPARE(hv.reg(SimHvModel::RegStat, t1), quint16(0x0022));
    QCOMPARE(hv.reg(SimHvModel::RegValue, t1 + 250 * ms), quint16(0xB000));
    QCOMPARE(hv.reg(SimHvModel::RegStat, t1 + 2 * second), quint16(0x0020));
    QCOMPARE(hv.reg(SimHvModel::RegValue, t1 + 2 * second), quint16(0x8000));
}

QTEST_GUILESS_MAIN(TstSimModel)
#include "tst_simmodel.moc"
