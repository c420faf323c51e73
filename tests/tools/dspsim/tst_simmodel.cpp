// Counting model of the simulated DSP unit and ramp of the HV unit, driven
// by explicit time steps (no clock, no sockets).

#include "simdspmodel.h"
#include "simhvmodel.h"
#include "simspectrum.h"

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
    void idleDoesNotCount();
    void countsOneSecond_data();
    void countsOneSecond();
    void tickCarry();
    void presetStop_data();
    void presetStop();
    void stopFreezes();
    void clearPulse();
    void clearWhileCounting();
    void deterministicIndependentOfSteps_data();
    void deterministicIndependentOfSteps();
    void deterministicRanges_data();
    void deterministicRanges();
    void spectrumShape_data();
    void spectrumShape();
    void randomMode();
    void bMode();
    void streamBytes();
    void setHistogramThenCount();
    void frozenRealTime();
    void pokeIsHonoured();
    void hvRamp();
    void hvReverseMidRamp();
    void hvRepeatedWrite();
    void hvImmediate();
};

void TstSimModel::idleDoesNotCount()
{
    SimDspModel m;
    m.update(0);
    m.update(5 * second);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(0));
    QVERIFY(!m.isCounting());
    // Start counts from the moment of the write, not from the last access.
    writeWord(m, SimDspModel::RegStart, 1, 10 * second);
    m.update(10 * second + 20 * ms);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(2000000));
}

void TstSimModel::countsOneSecond_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<double>("deadFraction");
    QTest::newRow("default-like") << 2000.0 << 0.03;
    QTest::newRow("no dead time") << 500.0 << 0.0;
    QTest::newRow("all dead") << 1000.0 << 1.0;
    QTest::newRow("high rate") << 250000.0 << 0.25;
    QTest::newRow("no counts") << 0.0 << 0.1;
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

void TstSimModel::tickCarry()
{
    SimDspModel m;
    writeWord(m, SimDspModel::RegStart, 1, 0);
    for (int i = 1; i <= 1000; ++i)
        m.update(i * 15);   // 15 ns steps: 1.5 ticks each
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(1500));
}

void TstSimModel::presetStop_data()
{
    QTest::addColumn<quint64>("preset");
    QTest::addColumn<int>("steps");
    QTest::newRow("20 ms in one step") << quint64(2000000) << 1;
    QTest::newRow("20 ms in 7 steps") << quint64(2000000) << 7;
    QTest::newRow("odd tick count") << quint64(1234567) << 3;
    QTest::newRow("zero preset stops at once") << quint64(0) << 1;
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

void TstSimModel::stopFreezes()
{
    SimDspModel m;
    m.setDeterministic(true);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    writeWord(m, SimDspModel::RegStart, 0, 300 * ms);
    const QByteArray before = m.read(0xB4000000, 0x800, 300 * ms);
    const QVector<quint32> h = m.histogram(1);
    QCOMPARE(m.read(0xB4000000, 0x800, 10 * second), before);
    QCOMPARE(m.histogram(1), h);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(30000000));
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

void TstSimModel::clearWhileCounting()
{
    SimDspModel m;
    m.setDeterministic(true);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    writeWord(m, SimDspModel::RegClear, 1, 500 * ms);
    QVERIFY(m.isCounting());
    m.update(700 * ms);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(20000000));
}

void TstSimModel::deterministicIndependentOfSteps_data()
{
    QTest::addColumn<int>("steps");
    QTest::newRow("1") << 1;
    QTest::newRow("3") << 3;
    QTest::newRow("97") << 97;
}

// The histogram depends on the number of events only: the same counting
// time read in one step or in many gives the same bins, equal to the
// spectrum's own deterministic histogram.
void TstSimModel::deterministicIndependentOfSteps()
{
    QFETCH(int, steps);
    SimDspModel m;
    m.setDeterministic(true);
    m.setCountRate(123457);
    m.setDeadFraction(0.07);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    QVector<quint32> before(4096, 0);
    for (int i = 1; i <= steps; ++i) {
        m.update(2 * second * i / steps);
        if (i % 2) {
            const QVector<quint32> now = m.histogram(2);   // materialise part way
            for (int b = 0; b < 4096; ++b)
                QVERIFY(now[b] >= before[b]);             // a histogram never shrinks
            before = now;
        }
    }
    for (int c = 0; c < 4; ++c) {
        const QVector<quint32> h = m.histogram(c);
        QCOMPARE(h.size(), 4096);
        QCOMPARE(h, SimSpectrum(c, 4096).deterministic(m.liveEvents(c)));
    }
}

// Events keep their bins: the counts of a range are the difference of the
// histograms at its ends, whatever the range's alignment.
void TstSimModel::deterministicRanges_data()
{
    QTest::addColumn<quint64>("from");
    QTest::addColumn<quint64>("to");
    QTest::newRow("empty") << quint64(5) << quint64(5);
    QTest::newRow("one event") << quint64(0) << quint64(1);
    QTest::newRow("unaligned") << quint64(3) << quint64(1000);
    QTest::newRow("power of two") << quint64(1024) << quint64(4096);
    QTest::newRow("large") << quint64(123456789) << quint64(987654321);
}

void TstSimModel::deterministicRanges()
{
    QFETCH(quint64, from);
    QFETCH(quint64, to);
    const SimSpectrum s(1, 4096);
    const QVector<quint32> a = s.deterministic(from);
    const QVector<quint32> b = s.deterministic(to);
    QVector<quint32> h(4096, 0);
    s.addDeterministic(h, from, to);
    QCOMPARE(sum(h), to - from);
    for (int i = 0; i < 4096; i += 7) {
        QCOMPARE(h[i], b[i] - a[i]);
        QCOMPARE(quint64(h[i]), s.deterministicCount(i, from, to));
    }
}

void TstSimModel::spectrumShape_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("peak");
    QTest::newRow("ch 0") << 0 << 1180;
    QTest::newRow("ch 1") << 1 << 1227;   // channels shift the peaks by 4 % each
    QTest::newRow("ch 3") << 3 << 1322;
}

void TstSimModel::spectrumShape()
{
    QFETCH(int, channel);
    QFETCH(int, peak);
    const QVector<quint32> h = SimSpectrum(channel, 4096).deterministic(10000000);
    QCOMPARE(sum(h), quint64(10000000));
    // The strongest peak stands out around its bin.
    const auto maxAt = std::max_element(h.cbegin() + peak - 60, h.cbegin() + peak + 60) - h.cbegin();
    QVERIFY2(qAbs(int(maxAt) - peak) <= 2, qPrintable(QString::number(maxAt)));
    QVERIFY(h[maxAt] > 5 * h[peak - 60]);
    // A falling background: low energies above high ones, nothing below the threshold.
    QVERIFY(h[100] > h[900]);
    QVERIFY(h[2100] > h[3900]);
    QVERIFY(h[0] < h[100] / 10);
}

void TstSimModel::randomMode()
{
    SimDspModel m;
    m.setCountRate(50000);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    m.update(second);
    const quint64 n = m.liveEvents(0);
    const quint64 s = sum(m.histogram(0));
    QVERIFY(n > 40000);
    QVERIFY(qAbs(double(s) - double(n)) < 0.01 * double(n));
    // Many events at once go the approximate way, same total within noise.
    m.update(120 * second);
    const quint64 n2 = m.liveEvents(0);
    QVERIFY(qAbs(double(sum(m.histogram(0))) - double(n2)) < 0.01 * double(n2));
    QVERIFY(m.registers().value(SimDspModel::RegICR, 4) > 45000);
}

void TstSimModel::bMode()
{
    SimDspModel m(true);
    m.setDeterministic(true);
    QVERIFY(m.bMode());
    QCOMPARE(m.streamBytes(), 32768);
    writeWord(m, SimDspModel::RegStart, 1, 0);
    m.update(second);
    const QVector<quint32> h = m.histogram(0);
    QCOMPARE(h.size(), 8192);
    QCOMPARE(sum(h), m.liveEvents(0));
    QCOMPARE(m.histogramBytes(0).size(), 32768);
    m.setBMode(false);
    QCOMPARE(m.histogram(0).size(), 4096);
    QCOMPARE(m.histogramBytes(0).size(), 16384);
    QCOMPARE(m.histogram(0), h.mid(0, 4096));
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

void TstSimModel::setHistogramThenCount()
{
    SimDspModel m;
    m.setDeterministic(true);
    m.setHistogram(0, QVector<quint32>(4096, 5));
    writeWord(m, SimDspModel::RegStart, 1, 0);
    m.update(second);
    const QVector<quint32> expected = SimSpectrum(0, 4096).deterministic(m.liveEvents(0));
    const QVector<quint32> h = m.histogram(0);
    for (int i = 0; i < 4096; ++i)
        QCOMPARE(h[i], expected[i] + 5);
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

void TstSimModel::pokeIsHonoured()
{
    SimDspModel m;
    m.setReg(SimDspModel::RegRealTime + 4, 100, 0);
    m.setReg(SimDspModel::RegStart, 1, 0);   // a poke: counts, without side effects
    m.update(10000);
    QCOMPARE(m.registers().value(SimDspModel::RegRealTime, 6), quint64(1100));
    m.setReg(SimDspModel::RegClear, 1, 20000);   // a poke does not clear
    QCOMPARE(m.value(SimDspModel::RegRealTime, 6, 20000), quint64(2100));
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

void TstSimModel::hvReverseMidRamp()
{
    SimHvModel hv;
    writeWord(hv, SimHvModel::RegOnOff, 1, 0);
    writeWord(hv, SimHvModel::RegOnOff, 0, 500 * ms);   // raw at 0xA000
    QCOMPARE(hv.reg(SimHvModel::RegStat, 500 * ms), quint16(0x0022));
    QCOMPARE(hv.reg(SimHvModel::RegValue, second), quint16(0x9000));
    QCOMPARE(hv.reg(SimHvModel::RegValue, 2 * second), quint16(0x8000));
    QCOMPARE(hv.reg(SimHvModel::RegStat, 2 * second), quint16(0x0020));
}

void TstSimModel::hvRepeatedWrite()
{
    SimHvModel hv;
    writeWord(hv, SimHvModel::RegOnOff, 0, 0);   // already off
    QCOMPARE(hv.reg(SimHvModel::RegStat, 0), quint16(0x0020));
    writeWord(hv, SimHvModel::RegOnOff, 1, 0);
    writeWord(hv, SimHvModel::RegOnOff, 1, 900 * ms);   // does not restart the ramp
    QCOMPARE(hv.reg(SimHvModel::RegStat, second), quint16(0x0034));
}

void TstSimModel::hvImmediate()
{
    SimHvModel hv;
    hv.setRampMs(0);
    writeWord(hv, SimHvModel::RegOnOff, 1, 0);
    QCOMPARE(hv.reg(SimHvModel::RegStat, 0), quint16(0x0034));
    QCOMPARE(hv.reg(SimHvModel::RegValue, 0), quint16(0xC000));
}

QTEST_GUILESS_MAIN(TstSimModel)
#include "tst_simmodel.moc"
