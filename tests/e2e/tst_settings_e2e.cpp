// The settings editor inside the main window: it lists Body's units, reads
// them out at start-up, carries out the start-up dump and recovery of the
// configuration, and is shown by the "Show Settings" button.

#include <QtTest>

#include <QPushButton>

#include "body.h"
#include "configline.h"
#include "dspreg.h"
#include "dspsettingctrl.h"
#include "servicerig.h"
#include "settingfile.h"
#include "simunit.h"
#include "vexda.h"

namespace {

const quint32 coarseGainCh1 = 0xB4000200 + 0x200;

QList<ServiceRig::Unit> twoUnits()
{
    return {{QStringLiteral("dsp1"), QStringLiteral("127.0.7.1"), QStringLiteral("1 1 0 0")},
            {QStringLiteral("dsp2"), QStringLiteral("127.0.7.2"), QStringLiteral("0 0 1 1")}};
}

int lineCount(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    return int(f.readAll().count('\n'));
}

} // namespace

class TstSettingsE2e : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readOutAtStartUp();
    void showSettingsButton();
    void startUpDumpAndRecover_data();
    void startUpDumpAndRecover();

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

void TstSettingsE2e::readOutAtStartUp()
{
    ServiceRig rig;
    QVERIFY2(rig.start(twoUnits()), qPrintable(rig.error()));
    DspSettingCtrl *ed = rig.body()->settingsEditor();
    QCOMPARE(ed->unitSet()->units, rig.body()->dspSet().units);
    QCOMPARE(ed->config().size(), 2 * DspSettingCtrl::registersPerUnit);
    // The hidden window builds its rows only when they are needed: so far
    // only the header row exists.
    QCOMPARE(ed->findChildren<ConfigLine *>().size(), 1);
    QCOMPARE(ed->configLines().size(), 2 * DspSettingCtrl::registersPerUnit);
    // Unit order gives the dspNo: the second unit's records follow the first's.
    QCOMPARE(ed->config().first().dspNo, 0);
    QCOMPARE(ed->config().last().dspNo, 1);
    QVERIFY(!QFile::exists(QStringLiteral("dump.stg")));
}

void TstSettingsE2e::showSettingsButton()
{
    ServiceRig rig;
    QVERIFY2(rig.start(twoUnits()), qPrintable(rig.error()));
    DspSettingCtrl *ed = rig.body()->settingsEditor();
    QVERIFY(!ed->isVisible());
    QVERIFY(ed->parent() == nullptr);
    auto *button = rig.body()->findChild<QPushButton *>(QStringLiteral("ShowSettings"));
    QVERIFY(button);
    button->click();
    QVERIFY(ed->isVisible());
    QVERIFY(ed->isWindow());
    QCOMPARE(ed->findChildren<ConfigLine *>().size(), 1 + 2 * DspSettingCtrl::registersPerUnit);
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

    QCOMPARE(QFile::exists(QStringLiteral("dump.stg")), dumped);
    if (dumped)
        QCOMPARE(lineCount(QStringLiteral("dump.stg")), 2 * DspSettingCtrl::registersPerUnit);

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
    bool found = false;
    for (const DspData &r : shown) {
        if (r.dspNo == 1 && r.addr == coarseGainCh1) {
            QCOMPARE(quint16(r.value), sim2->reg(coarseGainCh1));
            found = true;
        }
    }
    QVERIFY(found);
}

QTEST_MAIN(TstSettingsE2e)
#include "tst_settings_e2e.moc"
