// The DSP setting window against simulated DSP units.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include "cfgfile.h"
#include "configline.h"
#include "dspreg.h"
#include "dspsettingctrl.h"
#include "settingfile.h"
#include "simhost.h"
#include "simunit.h"
#include "vexda.h"

using LogLine = QPair<QString, QColor>;

static const QColor black(0, 0, 0);
static const QColor red(255, 0, 0);

// Registers with side effects when written; kept at 0 where values are planted.
static bool hasSideEffect(quint32 addr)
{
    return addr == 0xB4000014 || addr == 0xB4000040 || addr == 0xB400004A;
}

struct Reg {
    quint32 addr;
    QString desc;
    int ch;
    bool writable;
};

// Every register of a unit in read-out order.
static QList<Reg> readOutOrder()
{
    QList<Reg> r;
    for (const DspReg &d : sysRegs)
        r << Reg{d.addr, d.desc, -1, d.writable};
    for (const DspReg &d : commonRegs)
        r << Reg{d.addr, d.desc, -1, d.writable};
    for (int ch = 0; ch < 4; ++ch)
        for (const DspReg &d : chRegs)
            r << Reg{d.addr + quint32(chOffsets.at(ch)), d.desc, ch, d.writable};
    for (int ch = 0; ch < 4; ++ch)
        for (const DspReg &d : chStatRegs)
            r << Reg{d.addr + quint32(chOffsets.at(ch)), d.desc, ch, d.writable};
    return r;
}

static void silence(SimUnit *s)
{
    SimFaults f;
    f.silent = true;
    s->setFaults(f);
}

static QByteArray readRequest(quint32 addr)
{
    QByteArray d = QByteArray::fromHex("ffc00602");
    d.append(char(addr >> 24)).append(char(addr >> 16)).append(char(addr >> 8)).append(char(addr));
    return d;
}

static QByteArray writeRequest(quint32 addr, quint16 v)
{
    QByteArray d = QByteArray::fromHex("ff800702");
    d.append(char(addr >> 24)).append(char(addr >> 16)).append(char(addr >> 8)).append(char(addr));
    d.append(char(v >> 8)).append(char(v));
    return d;
}

class TstDspSettingCtrl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void form();
    void readOutOrderAndCount();
    void silentUnitCostsOneTimeout();
    void combinedValues_data();
    void combinedValues();
    void loadMatchesByAddress();
    void loadShuffledAndForeign();
    void copyLoadedAndWriteBack();
    void writeBackEdit();
    void writeBackSilentUnit();
    void dumpThenRecover();
    void recoverSkipsRecords();
    void startUp_data();
    void startUp();
    void fileErrors();

private:
    DspSettingCtrl *makeEditor(int nUnits);
    void plantValues(SimUnit *s, quint16 salt);
    int logsContaining(const QString &text, const QColor &c) const;

    SimHost *host = nullptr;
    QList<SimUnit *> sims;
    std::unique_ptr<DspSettingCtrl> ed;
    QList<LogLine> logs;
    QTemporaryDir *workDir = nullptr;
    QString oldCwd;
};

void TstDspSettingCtrl::initTestCase()
{
    buildRegMap();
    QCOMPARE(readOutOrder().size(), DspSettingCtrl::registersPerUnit);
    host = new SimHost;
    for (int i = 0; i < 3; ++i)
        sims << host->addDsp(QStringLiteral("dsp%1").arg(i), QHostAddress(QStringLiteral("127.0.5.%1").arg(41 + i)), 0,
                             0);
    QVERIFY(host->start());
}

void TstDspSettingCtrl::cleanupTestCase()
{
    delete host;
}

void TstDspSettingCtrl::init()
{
    for (SimUnit *s : std::as_const(sims)) {
        s->setFaults(SimFaults());
        s->setDeterministic(true);
    }
    logs.clear();
    workDir = new QTemporaryDir;
    QVERIFY(workDir->isValid());
    oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir->path()));
}

void TstDspSettingCtrl::cleanup()
{
    ed.reset();   // its set schedules the units for deletion
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir::setCurrent(oldCwd);
    delete workDir;
    workDir = nullptr;
}

DspSettingCtrl *TstDspSettingCtrl::makeEditor(int nUnits)
{
    ed = std::make_unique<DspSettingCtrl>();
    ed->setStartUpPauseMs(0);
    connect(ed.get(), &DspSettingCtrl::log, this, [this](const QString &m, const QColor &c) { logs << LogLine(m, c); });
    QList<VexDA *> units;
    for (int i = 0; i < nUnits; ++i) {
        SimUnit *s = sims.at(i);
        units << new VexDA(s->name(), s->address().toString(), s->udpPort(), s->tcpPort());
    }
    ed->setUnits(units);
    for (SimUnit *s : std::as_const(sims))
        s->clearRequests();
    return ed.get();
}

// Distinct values in every writable register (0 in those with side effects).
void TstDspSettingCtrl::plantValues(SimUnit *s, quint16 salt)
{
    for (const Reg &r : readOutOrder()) {
        if (!r.writable)
            continue;
        s->setReg(r.addr, hasSideEffect(r.addr) ? 0 : quint16((r.addr * 7 + salt) & 0xFFFF));
    }
}

int TstDspSettingCtrl::logsContaining(const QString &text, const QColor &c) const
{
    int n = 0;
    for (const LogLine &l : logs)
        n += l.first.contains(text) && l.second == c;
    return n;
}

void TstDspSettingCtrl::form()
{
    DspSettingCtrl *e = makeEditor(0);
    QCOMPARE(e->findChild<QLineEdit *>(QStringLiteral("Val4Bytes"))->text(), QStringLiteral("0"));
    QCOMPARE(e->findChild<QLineEdit *>(QStringLiteral("Val6Bytes"))->text(), QStringLiteral("0"));
    QVERIFY(e->findChild<QLineEdit *>(QStringLiteral("Val6Bytes"))->isReadOnly());
    auto *header = e->findChild<ConfigLine *>(QStringLiteral("Header"));
    QVERIFY(header);
    QCOMPARE(header->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->text(), QStringLiteral("Loaded Val"));

    e->findChild<QPushButton *>(QStringLiteral("ReadOut"))->click();
    QCOMPARE(logs, QList<LogLine>({LogLine(QStringLiteral("Reading out DSP Settings"), black)}));
    // Without units a write-back writes nothing and reads nothing.
    logs.clear();
    e->writeBack();
    QVERIFY(e->configLines().isEmpty());
    QVERIFY(e->config().isEmpty());
    QCOMPARE(logs, QList<LogLine>({LogLine(QStringLiteral("Writing back Setting Vals to DSPs"), black),
                                   LogLine(QStringLiteral("Reading out DSP Settings"), black)}));
}

void TstDspSettingCtrl::readOutOrderAndCount()
{
    plantValues(sims.at(0), 1);
    plantValues(sims.at(1), 2);
    DspSettingCtrl *e = makeEditor(2);
    e->readOut();

    const QList<Reg> order = readOutOrder();
    const QList<DspData> &cfg = e->config();
    QCOMPARE(cfg.size(), 2 * 212);
    QCOMPARE(e->configLines().size(), cfg.size());
    for (int u = 0; u < 2; ++u) {
        QList<QByteArray> expected;
        for (int i = 0; i < 212; ++i) {
            const DspData &d = cfg.at(u * 212 + i);
            const Reg &r = order.at(i);
            QCOMPARE(d.dspNo, u);
            QCOMPARE(d.ch, r.ch);
            QCOMPARE(d.addr, r.addr);
            QCOMPARE(d.hdr, 0xFFC80602u);
            QCOMPARE(d.name, DspData::padName(r.desc));
            QCOMPARE(d.value, quint64(sims.at(u)->reg(r.addr)));
            expected << readRequest(r.addr);

            ConfigLine *l = e->configLines().at(u * 212 + i);
            QCOMPARE(l->num(), u * 212 + i + 1);
            QCOMPARE(l->valNow(), quint16(d.value));
            QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("Dsp"))->text(), QStringLiteral("DSP%1").arg(u));
            QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("Ch"))->text(),
                     r.ch < 0 ? QString() : QStringLiteral("Ch%1").arg(r.ch));
        }
        QCOMPARE(sims.at(u)->requests(), expected);
    }
    QCOMPARE(logs.size(), 1);

    // A second read-out rebuilds the rows.
    e->readOut();
    QCOMPARE(e->configLines().size(), 2 * 212);
    QCOMPARE(e->config().size(), 2 * 212);
}

void TstDspSettingCtrl::silentUnitCostsOneTimeout()
{
    plantValues(sims.at(0), 3);
    DspSettingCtrl *e = makeEditor(2);
    silence(sims.at(1));
    e->readOut();

    QCOMPARE(e->config().size(), 2 * 212);
    QCOMPARE(sims.at(0)->requests().size(), 212);
    QCOMPARE(sims.at(1)->requests().size(), 1);   // one time-out, not 212
    for (int i = 212; i < 424; ++i) {
        const DspData &d = e->config().at(i);
        QCOMPARE(d.dspNo, 1);
        QCOMPARE(d.hdr, 0u);
        QCOMPARE(d.addr, 0u);
        QCOMPARE(d.value, quint64(0));
        QCOMPARE(e->configLines().at(i)->findChild<QLineEdit *>(QStringLiteral("Addr"))->text(),
                 QStringLiteral("00000000"));
    }
    QCOMPARE(e->config().at(212).name, DspData::padName(QStringLiteral("Data Trans Delay (MSB)")));
    QCOMPARE(logsContaining(QStringLiteral("did not answer"), red), 1);
    QCOMPARE(logsContaining(QStringLiteral("211"), red), 1);
}

void TstDspSettingCtrl::combinedValues_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<QString>("four");
    QTest::addColumn<QString>("six");

    QTest::newRow("small") << 0 << 1 << 1 << 2 << 3 << "65538" << "4.2951e+09";
    QTest::newRow("high word 0x8000 is negative") << 0 << 1 << 0x8000 << 1 << 0 << "-2.14748e+09"
                                                  << "-1.40737e+14";
    QTest::newRow("all ones") << 5 << 1 << 0xFFFF << 0xFFFF << 5 << "-1" << "-65531";
    QTest::newRow("zero") << 5 << 1 << 0 << 0 << 0 << "0" << "0";
    QTest::newRow("loaded column") << 3 << 2 << 0 << 7 << 9 << "7" << "458761";
    QTest::newRow("next to last row") << 210 << 1 << 1 << 2 << -1 << "65538" << "4.2951e+09";
    QTest::newRow("last row") << 211 << 1 << 7 << -1 << -1 << "458752" << "3.00648e+10";
}

void TstDspSettingCtrl::combinedValues()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(QString, four);
    QFETCH(QString, six);

    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    const QList<ConfigLine *> &lines = e->configLines();
    QCOMPARE(lines.size(), 212);
    auto setCol = [column](ConfigLine *l, int v) {
        if (column == 1)
            l->setNew(quint16(v));
        else
            l->setRestored(quint16(v));
    };
    if (b >= 0)
        setCol(lines.at(row + 1), b);
    if (c >= 0)
        setCol(lines.at(row + 2), c);
    QLineEdit *field =
        lines.at(row)->findChild<QLineEdit *>(column == 1 ? QStringLiteral("ValNew") : QStringLiteral("ValRestored"));
    field->setText(QString::number(a));
    emit field->editingFinished();
    QCOMPARE(e->findChild<QLineEdit *>(QStringLiteral("Val4Bytes"))->text(), four);
    QCOMPARE(e->findChild<QLineEdit *>(QStringLiteral("Val6Bytes"))->text(), six);
}

void TstDspSettingCtrl::loadMatchesByAddress()
{
    plantValues(sims.at(0), 10);
    plantValues(sims.at(1), 20);   // same addresses, other values
    DspSettingCtrl *e = makeEditor(2);
    e->readOut();
    e->save(QStringLiteral("same.stg"));
    QCOMPARE(logs.last(), LogLine(QStringLiteral("Saving DSP Config to same.stg"), black));

    e->load(QStringLiteral("same.stg"));
    QCOMPARE(e->loaded().size(), 424);
    for (ConfigLine *l : e->configLines()) {
        QCOMPARE(l->valRestored(), l->valNow());
        QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->styleSheet(), QString());
    }

    // One register of unit 1 changes; after a read-out only its row differs.
    const quint32 mode = 0xB4000010;
    const quint16 before = sims.at(1)->reg(mode);
    sims.at(1)->setReg(mode, quint16(before + 1));
    e->readOut();
    logs.clear();
    e->load(QStringLiteral("same.stg"));
    QCOMPARE(logs.value(0), LogLine(QStringLiteral("Load DSP Setting Vals"), black));
    QCOMPARE(logs.value(1), LogLine(QStringLiteral("Loading DSP Setting Vals from same.stg"), black));
    int pink = 0;
    for (int i = 0; i < e->configLines().size(); ++i) {
        ConfigLine *l = e->configLines().at(i);
        const bool differs = l->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->styleSheet()
            == ConfigLine::changedStyle;
        if (differs) {
            ++pink;
            QCOMPARE(e->config().at(i).dspNo, 1);
            QCOMPARE(e->config().at(i).addr, mode);
            QCOMPARE(l->valRestored(), before);
        }
    }
    QCOMPARE(pink, 1);
}

void TstDspSettingCtrl::loadShuffledAndForeign()
{
    plantValues(sims.at(0), 30);
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();

    // Records in reverse order, all values + 1, plus records of addresses
    // that no row has: every row gets its own register's value.
    QList<DspData> recs = e->config();
    std::reverse(recs.begin(), recs.end());
    for (DspData &d : recs)
        d.value = (d.value + 1) & 0xFFFF;
    DspData foreign;
    foreign.addr = 0x12345678;
    foreign.value = 99;
    recs.insert(5, foreign);
    recs << foreign;
    QVERIFY(SettingFile::writeFile(QStringLiteral("shuffled.stg"), recs));

    e->load(QStringLiteral("shuffled.stg"));
    QCOMPARE(e->loaded().size(), 214);
    for (int i = 0; i < 212; ++i) {
        ConfigLine *l = e->configLines().at(i);
        QCOMPARE(l->valRestored(), quint16(l->valNow() + 1));
    }
}

void TstDspSettingCtrl::copyLoadedAndWriteBack()
{
    plantValues(sims.at(0), 40);
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    e->save(QStringLiteral("before.stg"));

    // Change two writable registers on the unit, then bring them back.
    const quint32 gain2 = 0xB4000200 + 0x400;   // Coarse Gain, channel 2
    const quint32 roi3 = 0xB40000A6;             // ROI 3 Start
    const quint16 g = sims.at(0)->reg(gain2), r = sims.at(0)->reg(roi3);
    sims.at(0)->setReg(gain2, quint16(g ^ 0x00FF));
    sims.at(0)->setReg(roi3, quint16(r ^ 0x0F0F));
    e->readOut();
    e->load(QStringLiteral("before.stg"));
    logs.clear();
    e->copyRestored();
    QCOMPARE(logs.value(0), LogLine(QStringLiteral("Copy Restored DSP Setting Vals to New Vals"), black));
    int pinkNew = 0;
    for (int i = 0; i < e->configLines().size(); ++i) {
        ConfigLine *l = e->configLines().at(i);
        QCOMPARE(l->valNew(), l->valRestored());
        QCOMPARE(e->config().at(i).value, quint64(l->valRestored()));
        pinkNew += l->findChild<QLineEdit *>(QStringLiteral("ValNew"))->styleSheet() == ConfigLine::changedStyle;
    }
    QCOMPARE(pinkNew, 2);

    // "Save File" now saves the copied values.
    e->save(QStringLiteral("copied.stg"));
    QList<DspData> saved;
    QVERIFY(SettingFile::readFile(QStringLiteral("copied.stg"), saved));
    QCOMPARE(saved.size(), 212);
    for (int i = 0; i < 212; ++i)
        QCOMPARE(saved.at(i).value, e->config().at(i).value);

    sims.at(0)->clearRequests();
    e->writeBack();
    QCOMPARE(sims.at(0)->reg(gain2), g);
    QCOMPARE(sims.at(0)->reg(roi3), r);
    // Every record was written (in order), then everything read out again.
    const QList<QByteArray> req = sims.at(0)->requests();
    QCOMPARE(req.size(), 2 * 212);
    QCOMPARE(req.at(0), writeRequest(0x00000008, quint16(e->config().at(0).value)));
    QCOMPARE(req.at(212), readRequest(0x00000008));
    for (ConfigLine *l : e->configLines())
        QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("ValNew"))->styleSheet(), QString());
}

void TstDspSettingCtrl::writeBackEdit()
{
    plantValues(sims.at(0), 50);
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    int row = -1;
    for (int i = 0; i < e->config().size(); ++i) {
        if (e->config().at(i).addr == 0xB4000256 + 0x200)   // Analog Pole 0, channel 1
            row = i;
    }
    QVERIFY(row >= 0);
    QLineEdit *f = e->configLines().at(row)->findChild<QLineEdit *>(QStringLiteral("ValNew"));
    f->setText(QStringLiteral("4660"));
    emit f->editingFinished();
    logs.clear();
    e->writeBack();
    QCOMPARE(sims.at(0)->reg(0xB4000456), quint16(4660));
    QCOMPARE(e->configLines().at(row)->valNow(), quint16(4660));
    QCOMPARE(logs.value(0), LogLine(QStringLiteral("Writing back Setting Vals to DSPs"), black));
    QCOMPARE(logs.value(1), LogLine(QStringLiteral("Reading out DSP Settings"), black));
    QCOMPARE(logs.size(), 2);
}

void TstDspSettingCtrl::writeBackSilentUnit()
{
    DspSettingCtrl *e = makeEditor(2);
    e->readOut();
    silence(sims.at(0));
    sims.at(0)->clearRequests();
    sims.at(1)->clearRequests();
    logs.clear();
    e->writeBack();
    // One write times out, the rest of the unit is not tried; the read-out
    // that follows costs one more time-out. The other unit is served fully.
    QCOMPARE(sims.at(0)->requests().size(), 2);
    QCOMPARE(sims.at(1)->requests().size(), 2 * 212);
    QCOMPARE(logsContaining(QStringLiteral("records were not written"), red), 1);
    // The silent unit's rows now have address 0: a second write-back skips them.
    sims.at(0)->clearRequests();
    logs.clear();
    e->writeBack();
    QCOMPARE(sims.at(0)->requests().size(), 1);   // only the read-out's one time-out
    QCOMPARE(logsContaining(QStringLiteral("212 records with address 0"), red), 1);
}

void TstDspSettingCtrl::dumpThenRecover()
{
    DspSettingCtrl *e = makeEditor(2);   // (making a unit writes its preset registers)
    plantValues(sims.at(0), 60);
    plantValues(sims.at(1), 70);
    QHash<quint32, quint16> orig0, orig1;
    const QList<Reg> order = readOutOrder();
    for (const Reg &r : order) {
        orig0[r.addr] = sims.at(0)->reg(r.addr);
        orig1[r.addr] = sims.at(1)->reg(r.addr);
    }

    e->dump();
    QCOMPARE(logs.value(0), LogLine(QStringLiteral("Dumping DSP Setting Vals dump.stg"), black));
    QCOMPARE(logs.value(1), LogLine(QStringLiteral("Saving DSP Config to dump.stg"), black));
    QVERIFY(e->configLines().isEmpty());   // the window's rows are not changed
    QList<DspData> dumped;
    QVERIFY(SettingFile::readFile(QStringLiteral("dump.stg"), dumped));
    QCOMPARE(dumped.size(), 424);

    // Scramble every writable register, then recover.
    for (int u = 0; u < 2; ++u)
        for (const Reg &r : order)
            if (r.writable && !hasSideEffect(r.addr))
                sims.at(u)->setReg(r.addr, 0x5A5A);
    logs.clear();
    e->recover(QStringLiteral("dump.stg"));
    QCOMPARE(logs.value(0), LogLine(QStringLiteral("Recovering DSP Setting vals from dump.stg"), black));
    QCOMPARE(logs.value(1), LogLine(QStringLiteral("Loading DSP Setting Vals from dump.stg"), black));
    QCOMPARE(logs.value(2), LogLine(QStringLiteral("Writing back Setting Vals to DSPs"), black));
    QCOMPARE(logs.size(), 3);
    int checked = 0;
    for (const Reg &r : order) {
        if (!r.writable)
            continue;
        QCOMPARE(sims.at(0)->reg(r.addr), orig0.value(r.addr));
        QCOMPARE(sims.at(1)->reg(r.addr), orig1.value(r.addr));
        ++checked;
    }
    QCOMPARE(checked, 2 + 43 + 4 * 26);   // "Get Histgram" is write-only but writable too
    QVERIFY(e->configLines().isEmpty());
}

void TstDspSettingCtrl::recoverSkipsRecords()
{
    DspSettingCtrl *e = makeEditor(1);
    QFile f(QStringLiteral("odd.stg"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("DSP0 Mode : 0 00000000 0005\n"          // never read: address 0
            "DSP5 Mode : 0 b4000010 0006\n"          // no unit 5
            "DSP-1 Mode : 0 b4000010 0006\n"         // no unit -1
            "# DSP0 Mode : 0 b4000010 0009\n"        // comment
            "DSP0 Mode : ffc80602 b4000010 0007\n"); // written
    f.close();
    e->recover(QStringLiteral("odd.stg"));
    QCOMPARE(sims.at(0)->requests(), QList<QByteArray>({writeRequest(0xB4000010, 7)}));
    QCOMPARE(sims.at(0)->reg(0xB4000010), quint16(7));
    QCOMPARE(logsContaining(QStringLiteral("1 records with address 0"), red), 1);
    QCOMPARE(logsContaining(QStringLiteral("2 records name no DSP unit"), red), 1);
}

void TstDspSettingCtrl::startUp_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("cfgText");
    QTest::addColumn<QStringList>("expectedLogs");

    const QString dumpL = "Dumping DSP Setting Vals dump.stg";
    const QString saveL = "Saving DSP Config to dump.stg";
    const QString recL = "Recovering DSP Setting vals from %1";
    const QString loadL = "Loading DSP Setting Vals from %1";
    const QString wbL = "Writing back Setting Vals to DSPs";
    const QString roL = "Reading out DSP Settings";

    QTest::newRow("nothing asked") << QStringList{"marlo"} << "" << QStringList{roL};
    QTest::newRow("-dump -recover") << QStringList{"marlo", "-dump", "-recover"} << ""
                                    << QStringList{dumpL, saveL, recL.arg("dump.stg"), loadL.arg("dump.stg"), wbL, roL};
    QTest::newRow("keys") << QStringList{"marlo"} << "DUMP 1\nRECOVER 1\n"
                          << QStringList{dumpL, saveL, recL.arg("dump.stg"), loadL.arg("dump.stg"), wbL, roL};
    QTest::newRow("flag 2 is off") << QStringList{"marlo"} << "DUMP 2\nRECOVER yes\n" << QStringList{roL};
    QTest::newRow("recover from other file")
        << QStringList{"marlo"} << "RECOVER 01\nRECOVER_FILE other.stg\n"
        << QStringList{recL.arg("other.stg"), loadL.arg("other.stg"), wbL, roL};
}

void TstDspSettingCtrl::startUp()
{
    QFETCH(QStringList, args);
    QFETCH(QString, cfgText);
    QFETCH(QStringList, expectedLogs);

    plantValues(sims.at(0), 80);
    CfgFile cfg(args);
    if (!cfgText.isEmpty()) {
        QFile f(QStringLiteral("config.cfg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(cfgText.toUtf8());
        f.close();
        QVERIFY(cfg.readFile(QStringLiteral("config.cfg")));
    }
    DspData one;   // a file to recover from when another one is named
    one.addr = 0xB4000010;
    one.value = 0x77;
    QVERIFY(SettingFile::writeFile(QStringLiteral("other.stg"), {one}));
    DspSettingCtrl *e = makeEditor(1);
    e->startUpFromConfig(cfg);
    QStringList got;
    for (const LogLine &l : std::as_const(logs))
        got << l.first;
    QCOMPARE(got, expectedLogs);
    QCOMPARE(e->configLines().size(), 212);   // the window shows the values after all

    const bool dumped = expectedLogs.contains(QStringLiteral("Dumping DSP Setting Vals dump.stg"));
    QCOMPARE(QFile::exists(QStringLiteral("dump.stg")), dumped);
    const bool recovered = expectedLogs.contains(QStringLiteral("Writing back Setting Vals to DSPs"));
    int writes = 0;
    for (const QByteArray &r : sims.at(0)->requests())
        writes += quint8(r.at(1)) == 0x80;
    QCOMPARE(writes, recovered ? (dumped ? 212 : 1) : 0);
    if (recovered && !dumped)
        QCOMPARE(sims.at(0)->reg(0xB4000010), quint16(0x77));
}

void TstDspSettingCtrl::fileErrors()
{
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    logs.clear();
    const QString bad = QDir::current().filePath(QStringLiteral("no/such/dir/x.stg"));
    e->save(bad);
    QCOMPARE(logs, QList<LogLine>({LogLine(QStringLiteral("Saving DSP Config to %1").arg(bad), black),
                                   LogLine(QStringLiteral("Err: can't open %1 to save dsp config").arg(bad), red)}));
    logs.clear();
    e->load(QStringLiteral("missing.stg"));
    QCOMPARE(logs.value(2), LogLine(QStringLiteral("Can't open dump file [missing.stg] to recover."), red));
    QVERIFY(e->loaded().isEmpty());
    for (ConfigLine *l : e->configLines())
        QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->text(), QString());
}

QTEST_MAIN(TstDspSettingCtrl)
#include "tst_dspsettingctrl.moc"
