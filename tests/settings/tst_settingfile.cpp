#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include "dspreg.h"
#include "settingfile.h"

Q_DECLARE_METATYPE(DspData)

class TstSettingFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formatLine_data();
    void formatLine();
    void readHex_data();
    void readHex();
    void parseLine_data();
    void parseLine();
    void roundTrip();
    void readFileSkipsAndEndings();
    void readMissingFile();
    void writeUnwritable();
};

static DspData rec(int dspNo, int ch, const QString &desc, quint32 hdr, quint32 addr, quint64 value)
{
    DspData d;
    d.name = DspData::padName(desc);
    d.dspNo = dspNo;
    d.ch = ch;
    d.hdr = hdr;
    d.addr = addr;
    d.value = value;
    return d;
}

static QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

void TstSettingFile::initTestCase()
{
    buildRegMap();
    QCOMPARE(allRegs.size(), 89);
}

void TstSettingFile::formatLine_data()
{
    QTest::addColumn<DspData>("data");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("unit-wide") << rec(1, -1, "Mode", 0x12, 0xB4000010, 0x1F)
                               << QByteArray("DSP1 Mode" + blanks(26).toLatin1() + " : 00000012 b4000010 001f\n");
    QTest::newRow("channel 3") << rec(1, 3, "Mode", 0x12, 0xB4000010, 0x1F)
                               << QByteArray("DSP1 Ch3 Mode" + blanks(26).toLatin1()
                                             + " : 00000012 b4000010 001f\n");
    QTest::newRow("channel 0") << rec(0, 0, "Coarse Gain", 0xFF880602, 0xB4000200, 0)
                               << QByteArray("DSP0 Ch0 Coarse Gain" + blanks(19).toLatin1()
                                             + " : ff880602 b4000200 0000\n");
    QTest::newRow("value beyond 16 bits") << rec(12, -1, "Mode", 0, 0, 0x12345)
                                          << QByteArray("DSP12 Mode" + blanks(26).toLatin1()
                                                        + " : 00000000 00000000 12345\n");
    QTest::newRow("longest description")
        << rec(0, 1, "Throughput Total Count 1 (MSB)", 0xFFFFFFFF, 0xB4000420, 0xFFFF)
        << QByteArray("DSP0 Ch1 Throughput Total Count 1 (MSB) : ffffffff b4000420 ffff\n");
    QTest::newRow("longer name is not cut") << rec(0, -1, QString(33, 'x'), 1, 2, 3)
                                            << QByteArray("DSP0 " + QByteArray(33, 'x')
                                                          + " : 00000001 00000002 0003\n");
    QTest::newRow("empty name") << rec(2, -1, QString(), 0, 0xB4000010, 5)
                                << QByteArray("DSP2 " + blanks(30).toLatin1() + " : 00000000 b4000010 0005\n");
    QTest::newRow("name with a percent") << rec(0, -1, "%1 %2", 0, 0, 0)
                                         << QByteArray("DSP0 %1 %2" + blanks(25).toLatin1()
                                                       + " : 00000000 00000000 0000\n");
}

void TstSettingFile::formatLine()
{
    QFETCH(DspData, data);
    QFETCH(QByteArray, line);
    QCOMPARE(SettingFile::formatLine(data).toUtf8(), line);
}

void TstSettingFile::readHex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint32>("value");

    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("zero") << "0" << 0u;
    QTest::newRow("lower") << "1f" << 0x1Fu;
    QTest::newRow("upper") << "1F" << 0x1Fu;
    QTest::newRow("mixed") << "aBcDeF" << 0xABCDEFu;
    QTest::newRow("eight digits") << "ffffffff" << 0xFFFFFFFFu;
    QTest::newRow("nine digits lose the leading one") << "123456789" << 0x23456789u;
    QTest::newRow("wraps to zero") << "100000000" << 0u;
    QTest::newRow("other characters count as 0") << "1z" << 0x10u;
    QTest::newRow("only others") << "zz" << 0u;
    QTest::newRow("prefix x is a 0 digit") << "0x10" << 0x10u;
    QTest::newRow("minus is a 0 digit") << "-1" << 0x1u;
    QTest::newRow("g is not a digit") << "g1" << 0x1u;
    QTest::newRow("non-ascii") << QString::fromUtf8("\xc3\xa9" "2") << 0x2u;
}

void TstSettingFile::readHex()
{
    QFETCH(QString, text);
    QFETCH(quint32, value);
    QCOMPARE(SettingFile::readHex(text), value);
}

void TstSettingFile::parseLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("isRecord");
    QTest::addColumn<int>("dspNo");
    QTest::addColumn<int>("ch");
    QTest::addColumn<quint32>("hdr");
    QTest::addColumn<quint32>("addr");
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QString>("desc");

    const QString mode = "Mode";
    QTest::newRow("written unit-wide")
        << "DSP1 Mode" + blanks(26) + " : 00000012 b4000010 001f" << true << 1 << -1 << 0x12u << 0xB4000010u
        << quint64(0x1F) << mode;
    QTest::newRow("written channel")
        << "DSP1 Ch3 Coarse Gain" + blanks(19) + " : 00000012 b4000800 0003" << true << 1 << 3 << 0x12u
        << 0xB4000800u << quint64(3) << "Coarse Gain";
    QTest::newRow("upper-case hex") << "DSP0 Mode : FF880702 B4000010 001F" << true << 0 << -1 << 0xFF880702u
                                    << 0xB4000010u << quint64(0x1F) << mode;
    QTest::newRow("lower-case marks") << "dsp5 ch2 whatever : 0 b4000600 10" << true << 5 << 2 << 0u << 0xB4000600u
                                      << quint64(0x10) << "Coarse Gain";
    QTest::newRow("CR LF") << "DSP0 Mode : 1 b4000010 2\r\n" << true << 0 << -1 << 1u << 0xB4000010u << quint64(2)
                           << mode;
    QTest::newRow("tabs and runs of blanks") << "  DSP0\tMode \t :\t1   b4000010\t2  " << true << 0 << -1 << 1u
                                             << 0xB4000010u << quint64(2) << mode;
    QTest::newRow("description read from the map, not the line")
        << "DSP0 Something Else : 0 b4000014 1" << true << 0 << -1 << 0u << 0xB4000014u << quint64(1)
        << "Start/Stop";
    QTest::newRow("32-bit value") << "DSP0 Mode : 0 b4000010 89abcdef" << true << 0 << -1 << 0u << 0xB4000010u
                                  << quint64(0x89ABCDEF) << mode;
    QTest::newRow("empty") << "" << false << 0 << -1 << 0u << 0u << quint64(0) << "";
    QTest::newRow("blanks") << " \t  \r\n" << false << 0 << -1 << 0u << 0u << quint64(0) << "";
    QTest::newRow("comment") << "# DSP0 Mode : 1 b4000010 2" << false << 0 << -1 << 0u << 0u << quint64(0) << "";
    QTest::newRow("indented comment") << "   #DSP0" << false << 0 << -1 << 0u << 0u << quint64(0) << "";
    QTest::newRow("unit only") << "DSP0" << true << 0 << -1 << 0u << 0u << quint64(0) << "";
    QTest::newRow("unit and channel only") << "DSP0 Ch2" << true << 0 << 2 << 0u << 0u << quint64(0) << "";
    QTest::newRow("one number") << "DSP3 Mode 1f" << true << 3 << -1 << 0u << 0xDEu << quint64(0x1F) << "";
    QTest::newRow("garbage") << "hello world" << true << 0 << -1 << 0u << 0u << quint64(0xD) << "";
    QTest::newRow("marks that are not numbers") << "DSPx Ch? a : 1 b4000010 2" << true << 0 << 0 << 1u
                                                << 0xB4000010u << quint64(2) << mode;
    QTest::newRow("channel beyond 3 gets no description")
        << "DSP0 Ch9 Coarse Gain : 0 b4001400 1" << true << 0 << 9 << 0u << 0xB4001400u << quint64(1) << "";
    QTest::newRow("negative channel gets no description")
        << "DSP0 Ch-4 Coarse Gain : 0 b4000200 1" << true << 0 << -4 << 0u << 0xB4000200u << quint64(1) << "";
    QTest::newRow("unknown address") << "DSP0 Mode : 1 00000000 2" << true << 0 << -1 << 1u << 0u << quint64(2)
                                     << "";
    QTest::newRow("negative unit") << "DSP-1 Mode : 0 b4000010 1" << true << -1 << -1 << 0u << 0xB4000010u
                                   << quint64(1) << mode;
    QTest::newRow("channel register as unit-wide") << "DSP0 x : 0 b4000200 1" << true << 0 << -1 << 0u
                                                   << 0xB4000200u << quint64(1) << "Coarse Gain";
}

void TstSettingFile::parseLine()
{
    QFETCH(QString, line);
    QFETCH(bool, isRecord);
    QFETCH(int, dspNo);
    QFETCH(int, ch);
    QFETCH(quint32, hdr);
    QFETCH(quint32, addr);
    QFETCH(quint64, value);
    QFETCH(QString, desc);

    DspData d;
    d.dspNo = 77;
    QCOMPARE(SettingFile::parseLine(line, d), isRecord);
    if (!isRecord) {
        QCOMPARE(d.dspNo, 77);   // untouched
        return;
    }
    QCOMPARE(d.dspNo, dspNo);
    QCOMPARE(d.ch, ch);
    QCOMPARE(d.hdr, hdr);
    QCOMPARE(d.addr, addr);
    QCOMPARE(d.value, value);
    QCOMPARE(d.name, DspData::padName(desc));
    QCOMPARE(d.name.size(), 30);
}

void TstSettingFile::roundTrip()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fname = dir.filePath("set.stg");

    // One record of every register, on two units and four channels, values
    // covering 16 and 32 bits.
    QList<DspData> out;
    quint32 v = 1;
    for (int u = 0; u < 2; ++u) {
        for (const DspReg &r : sysRegs) {
            out << rec(u, -1, r.desc, 0xFF880602u + v, r.addr, v);
            ++v;
        }
        for (const DspReg &r : commonRegs)
            out << rec(u, -1, r.desc, 0xFF880602u, r.addr, (v++ * 0x9E3779B1u) & 0xFFFF);
        for (int ch = 0; ch < 4; ++ch)
            for (const DspReg &r : chRegs)
                out << rec(u, ch, r.desc, 0, r.addr + quint32(chOffsets.at(ch)), v++);
        for (int ch = 0; ch < 4; ++ch)
            for (const DspReg &r : chStatRegs)
                out << rec(u, ch, r.desc, 0, r.addr + quint32(chOffsets.at(ch)), v++ * 0x10001u);
    }
    out << rec(0, -1, "Mode", 0, 0xB4000010, 0xFFFFFFFFu);
    QVERIFY(SettingFile::writeFile(fname, out));

    QList<DspData> in;
    in << rec(9, 9, "kept", 9, 9, 9);   // reading appends
    QVERIFY(SettingFile::readFile(fname, in));
    QCOMPARE(in.size(), out.size() + 1);
    QCOMPARE(in.first().dspNo, 9);
    in.removeFirst();
    QCOMPARE(in, out);

    // Writing again truncates: the file holds exactly the new lines.
    QVERIFY(SettingFile::writeFile(fname, out.mid(0, 2)));
    QFile f(fname);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    QCOMPARE(all, (SettingFile::formatLine(out.at(0)) + SettingFile::formatLine(out.at(1))).toUtf8());
}

void TstSettingFile::readFileSkipsAndEndings()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString fname = dir.filePath("mixed.stg");
    QFile f(fname);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("# a comment\r\n"
            "\r\n"
            "DSP0 Mode                           : 00000000 b4000010 0001\r\n"
            "   \t\n"
            "DSP0 Ch1 Coarse Gain : 0 B4000400 00FF\n"
            "  # DSP0 Mode : 0 b4000010 1\n"
            "DSP1\n"
            "DSP2 Mode : 0 b4000010 2");   // no line end at the end
    f.close();

    QList<DspData> in;
    QVERIFY(SettingFile::readFile(fname, in));
    QCOMPARE(in.size(), 4);
    QCOMPARE(in.at(0), rec(0, -1, "Mode", 0, 0xB4000010, 1));
    QCOMPARE(in.at(1), rec(0, 1, "Coarse Gain", 0, 0xB4000400, 0xFF));
    QCOMPARE(in.at(2), rec(1, -1, QString(), 0, 0, 0));
    QCOMPARE(in.at(3), rec(2, -1, "Mode", 0, 0xB4000010, 2));
}

void TstSettingFile::readMissingFile()
{
    QTemporaryDir dir;
    QList<DspData> in;
    in << rec(1, 1, "x", 1, 1, 1);
    QVERIFY(!SettingFile::readFile(dir.filePath("nothing-here.stg"), in));
    QCOMPARE(in.size(), 1);
}

void TstSettingFile::writeUnwritable()
{
    QTemporaryDir dir;
    QVERIFY(!SettingFile::writeFile(dir.filePath("no/such/dir/x.stg"), {rec(0, -1, "Mode", 0, 1, 2)}));
    QVERIFY(!SettingFile::writeFile(dir.path(), {}));   // a directory
}

QTEST_GUILESS_MAIN(TstSettingFile)
#include "tst_settingfile.moc"
