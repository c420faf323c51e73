// The DSP setting window against simulated DSP units: read-out, save and
// load, write-back and recovery, each once with its failures. The start-up
// dump and recovery are tst_settings_e2e's.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <memory>

#include "configline.h"
#include "dspreg.h"
#include "dspsettingctrl.h"
#include "rbcp.h"
#include "settingfile.h"
#include "simhost.h"
#include "simunit.h"
#include "vexda.h"

namespace {

constexpr int perUnit = DspSettingEngine::registersPerUnit;

struct Reg {
    quint32 addr;
    int ch;
    bool writable;
};

// Every register of a unit in read-out order.
QList<Reg> readOutOrder()
{
    QList<Reg> r;
    for (const DspReg &d : sysRegs + commonRegs)
        r << Reg{d.addr, -1, d.writable};
    for (const QList<DspReg> *regs : {&chRegs, &chStatRegs})
        for (int ch = 0; ch < 4; ++ch)
            for (const DspReg &d : *regs)
                r << Reg{d.addr + quint32(chOffsets.at(ch)), ch, d.writable};
    return r;
}

QString valNew(ConfigLine *l)
{
    return l->findChild<QLineEdit *>(QStringLiteral("ValNew"))->styleSheet();
}

} // namespace

class TstDspSettingCtrl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { delete host; }
    void init();
    void cleanup();

    void readOut();
    void readsOutOnOpen_data();
    void readsOutOnOpen();
    void saveAndLoad();
    void copyAndWriteBack();
    void writeBackSilentUnit();
    void recoverSkipsRecords();

private:
    DspSettingCtrl *makeEditor(int nUnits);
    // Distinct values in every writable register but those with side effects.
    void plantValues(SimUnit *s, quint16 salt);
    int redLogs(const QString &text) const { return int(redLines.filter(text).size()); }

    SimHost *host = nullptr;
    QList<SimUnit *> sims;
    std::unique_ptr<DspSettingCtrl> ed;
    QStringList redLines;   // the lines logged in red
    std::unique_ptr<QTemporaryDir> workDir;
    QString oldCwd;
};

void TstDspSettingCtrl::initTestCase()
{
    buildRegMap();
    QCOMPARE(readOutOrder().size(), perUnit);
    host = new SimHost;
    for (int i = 0; i < 2; ++i)
        sims << host->addDsp(QStringLiteral("dsp%1").arg(i), QHostAddress(QStringLiteral("127.0.5.%1").arg(41 + i)),
                             0, 0);
    QVERIFY(host->start());
}

void TstDspSettingCtrl::init()
{
    for (SimUnit *s : std::as_const(sims)) {
        s->setFaults(SimFaults());
        s->setDeterministic(true);
    }
    redLines.clear();
    workDir = std::make_unique<QTemporaryDir>();
    oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir->path()));
}

void TstDspSettingCtrl::cleanup()
{
    ed.reset();   // its set schedules the units for deletion
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir::setCurrent(oldCwd);
    workDir.reset();
}

DspSettingCtrl *TstDspSettingCtrl::makeEditor(int nUnits)
{
    ed = std::make_unique<DspSettingCtrl>();
    ed->engine().setStartUpPauseMs(0);
    connect(ed.get(), &DspSettingCtrl::log, this, [this](const QString &m, const QColor &c) {
        if (c == QColor(255, 0, 0))
            redLines << m;
    });
    QList<VexDA *> units;
    for (int i = 0; i < nUnits; ++i)
        units << new VexDA(sims.at(i)->name(), sims.at(i)->address().toString(), sims.at(i)->udpPort(),
                           sims.at(i)->tcpPort());
    ed->setUnits(units);
    for (SimUnit *s : std::as_const(sims))
        s->clearRequests();
    return ed.get();
}

void TstDspSettingCtrl::plantValues(SimUnit *s, quint16 salt)
{
    for (const Reg &r : readOutOrder())
        if (r.writable && r.addr != DspAddr::Start && r.addr != DspAddr::Clear && r.addr != DspAddr::Histgram)
            s->setReg(r.addr, quint16((r.addr * 7 + salt) & 0xFFFF));
}

// Every register once, in order; a silent unit costs one time-out, not 212,
// and reads as zeros.
void TstDspSettingCtrl::readOut()
{
    plantValues(sims.at(0), 1);
    DspSettingCtrl *e = makeEditor(2);
    SimFaults silent;
    silent.silent = true;
    sims.at(1)->setFaults(silent);
    e->readOut();
    const QList<Reg> order = readOutOrder();
    const QList<DspData> &cfg = e->config();
    QCOMPARE(cfg.size(), 2 * perUnit);
    QCOMPARE(e->configLines().size(), cfg.size());
    QList<QByteArray> expected;
    for (int i = 0; i < perUnit; ++i) {
        const DspData &d = cfg.at(i);
        QCOMPARE(QList<int>({d.dspNo, d.ch}), QList<int>({0, order.at(i).ch}));
        QCOMPARE(d.addr, order.at(i).addr);
        QCOMPARE(d.value, quint64(sims.at(0)->reg(d.addr)));
        QCOMPARE(e->configLines().at(i)->valNow(), quint16(d.value));
        expected << Rbcp::readRequest(d.addr, 2);
        const DspData &z = cfg.at(perUnit + i);
        QCOMPARE(QList<quint64>({quint64(z.dspNo), z.hdr, z.addr, z.value}), QList<quint64>({1, 0, 0, 0}));
        const QLineEdit *addr = e->configLines().at(perUnit + i)->findChild<QLineEdit *>(QStringLiteral("Addr"));
        QCOMPARE(addr->text(), QStringLiteral("no answer"));
    }
    QCOMPARE(sims.at(0)->requests(), expected);
    QCOMPARE(sims.at(1)->requests().size(), 1);
    QCOMPARE(redLogs(QStringLiteral("did not answer")), 1);
}

void TstDspSettingCtrl::readsOutOnOpen_data()
{
    QTest::addColumn<bool>("silentAtOpen");
    QTest::newRow("changed since the last read-out") << false;
    QTest::newRow("switched off since") << true;
}

// Each opening reads the units out again: the rows show, and a write-back
// would write, the values the units hold now.
void TstDspSettingCtrl::readsOutOnOpen()
{
    QFETCH(bool, silentAtOpen);
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    const int row = 100;
    const quint32 addr = e->config().at(row).addr;
    for (quint16 v : {quint16(1100), quint16(1400)}) {
        sims.at(0)->setReg(addr, v);
        if (silentAtOpen) {
            SimFaults silent;
            silent.silent = true;
            sims.at(0)->setFaults(silent);
        }
        e->show();
        QTRY_COMPARE(e->config().at(row).value, silentAtOpen ? 0u : quint64(v));
        QCOMPARE(e->configLines().at(row)->valNow(), silentAtOpen ? quint16(0) : v);
        e->hide();
    }
}

// Loaded records go to the rows of their unit and address; records of no row
// are ignored; a differing row is marked. Failed saves and
// loads are reported in red; a failed load changes nothing.
void TstDspSettingCtrl::saveAndLoad()
{
    plantValues(sims.at(0), 10);
    plantValues(sims.at(1), 20);
    DspSettingCtrl *e = makeEditor(2);
    e->readOut();
    const QString bad = QDir::current().filePath(QStringLiteral("no/such/dir/x.stg"));
    e->save(bad);
    QCOMPARE(redLogs(QStringLiteral("Err: can't open %1 to save dsp config").arg(bad)), 1);
    e->load(QStringLiteral("missing.stg"));
    QCOMPARE(redLogs(QStringLiteral("Can't open dump file [missing.stg] to recover.")), 1);
    QVERIFY(e->loaded().isEmpty());
    QCOMPARE(e->configLines().first()->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->text(), QString());
    e->save(QStringLiteral("same.stg"));
    QList<DspData> recs;
    QVERIFY(SettingFile::readFile(QStringLiteral("same.stg"), recs));
    QCOMPARE(recs, e->config());
    recs[2 * perUnit - 8].value ^= 1;   // a register of unit 1
    DspData foreign;
    foreign.addr = 0x12345678;
    recs << foreign;
    QVERIFY(SettingFile::writeFile(QStringLiteral("shuffled.stg"), recs));
    e->load(QStringLiteral("shuffled.stg"));
    QCOMPARE(e->loaded().size(), 2 * perUnit + 1);
    for (int i = 0; i < 2 * perUnit; ++i) {
        ConfigLine *l = e->configLines().at(i);
        const bool changed = i == 2 * perUnit - 8;
        QCOMPARE(l->valRestored(), quint16(l->valNow() ^ (changed ? 1 : 0)));
        QCOMPARE(l->findChild<QLineEdit *>(QStringLiteral("ValRestored"))->styleSheet(),
                 changed ? ConfigLine::changedStyle : QString());
    }
}

// Loaded values copied to the new ones are written back, every record in
// order, then read out again.
void TstDspSettingCtrl::copyAndWriteBack()
{
    plantValues(sims.at(0), 40);
    DspSettingCtrl *e = makeEditor(1);
    e->readOut();
    e->save(QStringLiteral("before.stg"));
    const quint32 gain2 = 0xB4000200 + 0x400, roi3 = 0xB40000A6;
    const quint16 g = sims.at(0)->reg(gain2), r = sims.at(0)->reg(roi3);
    sims.at(0)->setReg(gain2, quint16(g ^ 0x00FF));
    sims.at(0)->setReg(roi3, quint16(r ^ 0x0F0F));
    e->readOut();
    e->load(QStringLiteral("before.stg"));
    e->copyRestored();
    int marked = 0;
    for (ConfigLine *l : e->configLines())
        marked += valNew(l) == ConfigLine::changedStyle;
    QCOMPARE(marked, 2);

    // One more value typed in.
    QLineEdit *f = e->configLines().at(101)->findChild<QLineEdit *>(QStringLiteral("ValNew"));
    f->setText(QStringLiteral("4660"));
    emit f->editingFinished();
    const quint32 typed = e->config().at(101).addr;
    sims.at(0)->clearRequests();
    e->writeBack();
    QCOMPARE(sims.at(0)->reg(gain2), g);
    QCOMPARE(sims.at(0)->reg(roi3), r);
    QCOMPARE(sims.at(0)->reg(typed), quint16(4660));
    const QList<QByteArray> req = sims.at(0)->requests();
    QCOMPARE(req.size(), 2 * perUnit);
    QCOMPARE(req.at(0), Rbcp::writeRequest(0x00000008, e->config().at(0).value, 2));
    QCOMPARE(req.at(perUnit), Rbcp::readRequest(0x00000008, 2));
    for (ConfigLine *l : e->configLines())
        QCOMPARE(valNew(l), QString());
}

// A silent unit: one write times out and the rest of the unit is not tried;
// its rows then have address 0 and are skipped.
void TstDspSettingCtrl::writeBackSilentUnit()
{
    DspSettingCtrl *e = makeEditor(2);
    e->readOut();
    SimFaults silent;
    silent.silent = true;
    sims.at(0)->setFaults(silent);
    sims.at(0)->clearRequests();
    sims.at(1)->clearRequests();
    e->writeBack();
    QCOMPARE(sims.at(0)->requests().size(), 2);   // the write, then the read-out's time-out
    QCOMPARE(sims.at(1)->requests().size(), 2 * perUnit);
    QCOMPARE(redLogs(QStringLiteral("records were not written")), 1);
    sims.at(0)->clearRequests();
    e->writeBack();
    QCOMPARE(sims.at(0)->requests().size(), 1);
    QCOMPARE(redLogs(QStringLiteral("212 records with address 0")), 1);
}

void TstDspSettingCtrl::recoverSkipsRecords()
{
    DspSettingCtrl *e = makeEditor(1);
    QFile f(QStringLiteral("odd.stg"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("DSP5 Mode : 0 b4000010 0006\n"          // no unit 5
            "DSP-1 Mode : 0 b4000010 0006\n"         // no unit -1
            "DSP0 Mode : ffc80602 b4000010 0007\n"); // written
    f.close();
    e->recover(QStringLiteral("odd.stg"));
    QCOMPARE(sims.at(0)->requests(), QList<QByteArray>({Rbcp::writeRequest(0xB4000010, 7, 2)}));
    QCOMPARE(sims.at(0)->reg(0xB4000010), quint16(7));
    QCOMPARE(redLogs(QStringLiteral("2 records name no DSP unit")), 1);
}

QTEST_MAIN(TstDspSettingCtrl)
#include "tst_dspsettingctrl.moc"
