// The setting file: lines written and read (malformed ones included), whole
// files, and the numbers typed into a setting row.
#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include "configline.h"
#include "dspreg.h"
#include "settingfile.h"

Q_DECLARE_METATYPE(DspData)

namespace {

DspData rec(int dspNo, int ch, const QString &desc, quint32 hdr, quint32 addr, quint64 value)
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

QByteArray pad(const char *s, int n)
{
    return QByteArray(s) + QByteArray(n, ' ');
}

} // namespace

class TstSettingFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { buildRegMap(); }
    void formatLine_data();
    void formatLine();
    void parseLine_data();
    void parseLine();
    void roundTrip();
    void readFile();
    void fieldValue_data();
    void fieldValue();
};

void TstSettingFile::formatLine_data()
{
    QTest::addColumn<DspData>("data");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("unit-wide") << rec(1, -1, "Mode", 0x12, 0xB4000010, 0x1F)
                               << pad("DSP1 Mode", 26) + " : 00000012 b4000010 001f\n";
    QTest::newRow("channel 0, 32-bit value") << rec(0, 0, "Coarse Gain", 0xFF880602, 0xB4000200, 0x12345)
                                             << pad("DSP0 Ch0 Coarse Gain", 19) + " : ff880602 b4000200 12345\n";
    QTest::newRow("longer name is not cut") << rec(0, -1, QString(33, 'x'), 1, 2, 3)
                                            << "DSP0 " + QByteArray(33, 'x') + " : 00000001 00000002 0003\n";
    QTest::newRow("name with a percent") << rec(0, -1, "%1 %2", 0, 0, 0)
                                         << pad("DSP0 %1 %2", 25) + " : 00000000 00000000 0000\n";
}

void TstSettingFile::formatLine()
{
    QFETCH(DspData, data);
    QTEST(SettingFile::formatLine(data).toUtf8(), "line");
}

void TstSettingFile::parseLine_data()
{
    // Not a record: "-"; else the record as "unit ch hdr addr value desc".
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("record");
    auto row = [](const char *name, const char *line, const char *record) {
        QTest::newRow(name) << QString::fromUtf8(line) << QString::fromLatin1(record);
    };
    row("written channel", "DSP1 Ch3 Coarse Gain                   : 00000012 b4000800 0003",
        "1 3 12 b4000800 3 Coarse Gain");
    row("upper-case hex", "DSP0 Mode : FF880702 B4000010 001F", "0 -1 ff880702 b4000010 1f Mode");
    row("lower-case marks", "dsp5 ch2 whatever : 0 b4000600 10", "5 2 0 b4000600 10 Coarse Gain");
    row("tabs and runs of blanks", "  DSP0\tMode \t :\t1   b4000010\t2  ", "0 -1 1 b4000010 2 Mode");
    row("description from the map", "DSP0 Something Else : 0 b4000014 1", "0 -1 0 b4000014 1 Start/Stop");
    row("blanks", " \t  \r\n", "-");
    row("indented comment", "   #DSP0 Mode : 1 b4000010 2", "-");
    row("one number", "DSP3 Mode 1f", "3 -1 0 de 1f ");
    row("garbage", "hello world", "0 -1 0 0 d ");
    row("marks that are not numbers", "DSPx Ch? a : 1 b4000010 2", "0 0 1 b4000010 2 Mode");
    row("channel beyond 3", "DSP0 Ch9 Coarse Gain : 0 b4001400 1", "0 9 0 b4001400 1 ");
    row("negative unit", "DSP-1 Mode : 0 b4000010 1", "-1 -1 0 b4000010 1 Mode");
    // Hex fields keep the last eight digits; other characters count as 0.
    row("hex quirks", "DSP0 Mode : 123456789 b4000010 0x1\xc3\xa9", "0 -1 23456789 b4000010 10 Mode");
}

void TstSettingFile::parseLine()
{
    QFETCH(QString, line);
    DspData d;
    d.dspNo = 77;
    QString got = QStringLiteral("-");
    if (SettingFile::parseLine(line, d)) {
        QCOMPARE(d.name.size(), 30);
        got = QStringLiteral("%1 %2 %3 %4 %5 %6").arg(d.dspNo).arg(d.ch).arg(d.hdr, 0, 16).arg(d.addr, 0, 16)
                  .arg(d.value, 0, 16).arg(d.name.trimmed());
    } else {
        QCOMPARE(d.dspNo, 77);   // untouched
    }
    QTEST(got, "record");
}

void TstSettingFile::roundTrip()
{
    QTemporaryDir dir;
    const QString fname = dir.filePath("set.stg");
    // Every register of two units, values covering 16 and 32 bits.
    QList<DspData> out;
    quint32 v = 1;
    for (int u = 0; u < 2; ++u) {
        for (const DspReg &r : sysRegs + commonRegs)
            out << rec(u, -1, r.desc, 0xFF880602u, r.addr, (v++ * 0x9E3779B1u) & 0xFFFF);
        for (int ch = 0; ch < 4; ++ch)
            for (const DspReg &r : chRegs + chStatRegs)
                out << rec(u, ch, r.desc, 0, r.addr + quint32(chOffsets.at(ch)), v++ * 0x10001u);
    }
    QVERIFY(SettingFile::writeFile(fname, out));
    QList<DspData> in{rec(9, 9, "kept", 9, 9, 9)};   // reading appends
    QVERIFY(SettingFile::readFile(fname, in));
    QCOMPARE(in.size(), out.size() + 1);
    QCOMPARE(in.mid(1), out);

    // Writing again truncates: the file holds exactly the new lines.
    QVERIFY(SettingFile::writeFile(fname, out.mid(0, 2)));
    QFile f(fname);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), (SettingFile::formatLine(out.at(0)) + SettingFile::formatLine(out.at(1))).toUtf8());
}

void TstSettingFile::readFile()
{
    QTemporaryDir dir;
    QFile f(dir.filePath("mixed.stg"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    // A UTF-8 BOM, CR LF line ends and no line end at the end.
    f.write("\xef\xbb\xbf" "DSP3 Mode : 0 b4000010 5\r\n# a comment\r\n\r\nDSP0 Mode : 00000000 b4000010 0001\r\n   \t\n"
            "DSP1\nDSP2 Mode : 0 b4000010 2");
    f.close();
    QList<DspData> in;
    QVERIFY(SettingFile::readFile(f.fileName(), in));
    QCOMPARE(in, (QList<DspData>{rec(3, -1, "Mode", 0, 0xB4000010, 5), rec(0, -1, "Mode", 0, 0xB4000010, 1),
                                 rec(1, -1, QString(), 0, 0, 0), rec(2, -1, "Mode", 0, 0xB4000010, 2)}));
    // A missing file leaves the list as it is; unwritable places fail.
    QVERIFY(!SettingFile::readFile(dir.filePath("nothing-here.stg"), in));
    QCOMPARE(in.size(), 4);
    QVERIFY(!SettingFile::writeFile(dir.filePath("no/such/dir/x.stg"), in));
    QVERIFY(!SettingFile::writeFile(dir.path(), {}));   // a directory
}

void TstSettingFile::fieldValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("cut to 16 bits") << "70000" << (70000 & 0xFFFF);
    QTest::newRow("negative") << "-1" << 0xFFFF;
    QTest::newRow("blanks around") << " 42 " << 42;
    QTest::newRow("hex is not decimal") << "0x10" << 0;
    QTest::newRow("beyond 64 bits") << "99999999999999999999" << 0;
}

void TstSettingFile::fieldValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(ConfigLine::fieldValue(text), quint16(value));
}

QTEST_GUILESS_MAIN(TstSettingFile)
#include "tst_settingfile.moc"
