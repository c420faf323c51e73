// The settings editor inside the main window: the start-up dump and recovery
// of the units' settings (before the STARS link opens), and saves that fail.

#include <QtTest>


#include <csignal>
#include <sys/resource.h>

#include "body.h"
#include "dspreg.h"
#include "dspsettingctrl.h"
#include "servicerig.h"
#include "settingfile.h"
#include "simunit.h"

namespace {

const quint32 coarseGainCh1 = 0xB4000200 + 0x200;

QList<ServiceRig::Unit> twoUnits()
{
    return {{QStringLiteral("dsp1"), QStringLiteral("127.0.7.1"), QStringLiteral("1 1 0 0")},
            {QStringLiteral("dsp2"), QStringLiteral("127.0.7.2"), QStringLiteral("0 0 1 1")}};
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

int lineCount(const QString &path)
{
    return int(contents(path).count('\n'));
}

// While it lives, no file of the process may grow beyond `bytes`: a write
// past it fails as on a full disk (root included).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit r = old;
        r.rlim_cur = bytes;
        ok = ::setrlimit(RLIMIT_FSIZE, &r) == 0;
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
    bool ok = false;

private:
    rlimit old{};
};

} // namespace

class TstSettingsE2e : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpDumpAndRecover_data();
    void startUpDumpAndRecover();
    void failedSaveLeavesFile_data();
    void failedSaveLeavesFile();
    void dumpKeepsPreviousAndNamesSilentUnit();

private:
    QTemporaryDir work;
    QString oldDir;
};

void TstSettingsE2e::init()
{
    oldDir = QDir::currentPath();
    QVERIFY(work.isValid());
    QDir::setCurrent(work.path());
    QFile::remove(QStringLiteral("dump.stg"));
}

void TstSettingsE2e::cleanup()
{
    QDir::setCurrent(oldDir);
}

void TstSettingsE2e::startUpDumpAndRecover_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("dumped");
    QTest::addColumn<bool>("recoveredFromOwnFile");

    QTest::newRow("dump") << QStringList{QStringLiteral("DUMP 1")} << true << false;
    QTest::newRow("dump 2 is off") << QStringList{QStringLiteral("DUMP 2")} << false << false;
    QTest::newRow("recover from a file") << QStringList{QStringLiteral("RECOVER 1"), QStringLiteral("RECOVER_FILE mine.stg")}
                                         << false << true;
    QTest::newRow("dump then recover dump.stg")
        << QStringList{QStringLiteral("DUMP 1"), QStringLiteral("RECOVER 1")} << true << false;
}

void TstSettingsE2e::startUpDumpAndRecover()
{
    QFETCH(QStringList, keys);
    QFETCH(bool, dumped);
    QFETCH(bool, recoveredFromOwnFile);

    // A setting file that gives dsp2's channel 1 coarse gain 0x1234.
    DspData d;
    d.dspNo = 1;
    d.ch = 1;
    d.hdr = 0xFF880702;
    d.addr = coarseGainCh1;
    d.value = 0x1234;
    QVERIFY(SettingFile::writeFile(QStringLiteral("mine.stg"), {d}));

    ServiceRig rig;
    QVERIFY2(rig.start(twoUnits(), keys), qPrintable(rig.error()));
    SimUnit *sim2 = rig.sim(QStringLiteral("dsp2"));
    QVERIFY(sim2);

    // The STARS link opens only after the start-up: no request came before.
    const QStringList log = rig.logLines();
    QVERIFY(log.indexOf(QRegularExpression(QStringLiteral("opening key file .*")))
            > log.lastIndexOf(QStringLiteral("Reading out DSP Settings")));

    QCOMPARE(QFile::exists(QStringLiteral("dump.stg")), dumped);
    if (dumped)
        QCOMPARE(lineCount(QStringLiteral("dump.stg")), 2 * DspSettingEngine::registersPerUnit);

    const QList<quint64> writes = ServiceRig::writesTo(sim2, coarseGainCh1);
    if (recoveredFromOwnFile) {
        QCOMPARE(writes, QList<quint64>{0x1234});
        QCOMPARE(sim2->reg(coarseGainCh1), quint16(0x1234));
    } else if (dumped && keys.contains(QStringLiteral("RECOVER 1"))) {
        // The dump is written back as it was read: the same value once.
        QCOMPARE(writes.size(), 1);
        QCOMPARE(quint16(writes.first()), sim2->reg(coarseGainCh1));
    } else {
        QVERIFY(writes.isEmpty());
    }
    // The window shows what was read after the dump and the recovery.
    const QList<DspData> &shown = rig.body()->settingsEditor()->config();
    const auto at = std::find_if(shown.begin(), shown.end(), [](const DspData &r) { return r.dspNo == 1 && r.addr == coarseGainCh1; });
    QVERIFY(at != shown.end());
    QCOMPARE(quint16(at->value), sim2->reg(coarseGainCh1));
}

void TstSettingsE2e::failedSaveLeavesFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("red");
    QTest::newRow("disk full") << "kept.stg" << true << "Err: writing kept.stg failed";
    QTest::newRow("folder is a file") << "afile/x.stg" << false << "Err: can't open afile/x.stg";
}

// "Save File" that cannot write its file: a red line, a box in the window,
// and whatever was there before is left untouched.
void TstSettingsE2e::failedSaveLeavesFile()
{
    QFETCH(QString, target);
    QFETCH(bool, diskFull);
    QFETCH(QString, red);
    QVERIFY(ServiceRig::writeFile(QStringLiteral("afile"), QByteArray()));
    QVERIFY(ServiceRig::writeFile(QStringLiteral("kept.stg"), "DSP0 old contents : 00000000 b4000010 0001\n"));
    const QByteArray before = contents(target);

    ServiceRig rig;
    QVERIFY2(rig.start(twoUnits()), qPrintable(rig.error()));
    DspSettingCtrl *ed = rig.body()->settingsEditor();
    {
        // The two units' read-out is some 30 kB.
        std::unique_ptr<FileSizeLimit> limit;
        if (diskFull) {
            limit = std::make_unique<FileSizeLimit>(4096);
            QVERIFY(limit->ok);
        }
        ed->save(target);
    }
    QCOMPARE(contents(target), before);
    QCOMPARE(rig.logLines(true).filter(red).size(), 1);
    QVERIFY(ed->saveFailedBox() && ed->saveFailedBox()->isVisible());
    QCOMPARE(QDir().entryList({QStringLiteral("kept.stg*")}, QDir::Files), QStringList{QStringLiteral("kept.stg")});
}

// Three start-ups with a dump: all units on, then one unit (dsp3) switched
// off twice. A dump that lacks a unit never pushes out the complete one:
// dump.stg.bak keeps the first dump, and a red line names the silent unit.
void TstSettingsE2e::dumpKeepsPreviousAndNamesSilentUnit()
{
    QByteArray complete;
    for (bool dsp3On : {true, false, false}) {
        QList<ServiceRig::Unit> units = twoUnits();
        if (dsp3On)
            units << ServiceRig::Unit{QStringLiteral("dsp3"), QStringLiteral("127.0.7.3"), QStringLiteral("1 0 0 0")};
        QStringList extra{QStringLiteral("DUMP 1")};
        if (!dsp3On)
            extra << QStringLiteral("VEXDA dsp3 127.0.7.3 1 0 0 0");
        ServiceRig rig;
        QVERIFY2(rig.start(units, extra), qPrintable(rig.error()));
        QCOMPARE(lineCount(QStringLiteral("dump.stg")), 3 * DspSettingEngine::registersPerUnit);
        const QStringList lacking = rig.logLines(true).filter(QStringLiteral("dump.stg lacks values of"));
        if (dsp3On) {
            complete = contents(QStringLiteral("dump.stg"));
            QCOMPARE(lacking.size(), 0);
            continue;
        }
        QCOMPARE(contents(QStringLiteral("dump.stg.bak")), complete);
        QCOMPARE(lacking.size(), 1);
        QVERIFY2(lacking.first().contains(QLatin1String("DSP2 (dsp3)")), qPrintable(lacking.first()));
    }
}

QTEST_MAIN(TstSettingsE2e)
#include "tst_settings_e2e.moc"
