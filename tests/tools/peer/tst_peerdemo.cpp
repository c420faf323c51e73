// The demo's measurement (demo/measure.peer) run by the marlo-peer program
// against Marlo's Body in this process: a STARS bus in its own thread, the
// demo's units (two DSP units, one in "B" mode, and the HV unit) simulated
// on loopback addresses of their own, the data link on a free port.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "logsink.h"
#include "simhost.h"
#include "simunit.h"
#include "starsbusrunner.h"
#include "vexda.h"

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

QString demoFile(const QString &name)
{
    return QStringLiteral(MARLO_SOURCE_DIR "/demo/") + name;
}

} // namespace

class TstPeerDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void demoMeasurement_data();
    void demoMeasurement();

private:
    bool startBody(const QString &extraConfig);
    void stopBody();

    QTemporaryDir dir;
    std::unique_ptr<StarsBusRunner> bus;
    std::unique_ptr<SimHost> sims;
    std::unique_ptr<CfgFile> cfg;
    std::unique_ptr<Body> body;
    QString cfgPath;
};

void TstPeerDemo::initTestCase()
{
    // The demo's keys and units, on addresses of this test's own.
    bus = std::make_unique<StarsBusRunner>(demoFile(QStringLiteral("keys")));
    QVERIFY(bus->start(QHostAddress::LocalHost, 0));
    sims = std::make_unique<SimHost>();
    sims->addDsp(QStringLiteral("dsp1"), QHostAddress(QStringLiteral("127.0.24.2")), 4660, 0);
    sims->addDsp(QStringLiteral("dsp2"), QHostAddress(QStringLiteral("127.0.24.3")), 4660, 0, true);
    sims->addHv(QStringLiteral("hv1"), QHostAddress(QStringLiteral("127.0.24.4")), 4660);
    for (SimUnit *u : sims->units())
        u->setCountRate(20000);
    QVERIFY(sims->start());
}

bool TstPeerDemo::startBody(const QString &extraConfig)
{
    if (body)
        stopBody();   // left by a failed row
    cfgPath = dir.filePath(QStringLiteral("config.cfg"));
    if (!writeFile(cfgPath, QStringLiteral("STARS_IP 127.0.0.1\nSTARS_PORT %1\nNAME_ON_STARS Marlo\nKEY_ON_STARS %2\n"
                                           "CONNECT_TO_STARS 1\nWRITE_LOG_FILE 0\nDATA_LINK_CH_IP 127.0.0.1\n"
                                           "DATA_LINK_CH_PORT 0\nVEXDA dsp1 127.0.24.2 1 1 1 1\n"
                                           "VEXDA dsp2 127.0.24.3 1 1 0 0 B\nVEXHV hv1 127.0.24.4\nHV_READ_TYPE 0\n%3\n")
                                .arg(bus->port())
                                .arg(demoFile(QStringLiteral("keys/Marlo.key")), extraConfig)
                                .toUtf8()))
        return false;
    cfg = std::make_unique<CfgFile>(QStringList{QStringLiteral("marlo")});
    if (!cfg->readFile(cfgPath))
        return false;
    CfgFile::setInstance(cfg.get());
    body = std::make_unique<Body>();
    for (VexDA *v : body->dspSet().units) {
        v->tcpPort = sims->unit(v->name())->tcpPort();
        v->openTcp();
    }
    for (VexDA *v : body->dspSet().units) {
        if (!QTest::qWaitFor([v] { return v->tcpHasConnected(); }, 5000))
            return false;
    }
    return QTest::qWaitFor([this] { return body->starsClient()->isConnected(); }, 5000);
}

void TstPeerDemo::stopBody()
{
    logSink = nullptr;
    body.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CfgFile::setInstance(nullptr);
    cfg.reset();
    // The bus lets the name go before the next Body logs in.
    (void)QTest::qWaitFor([this] { return !bus->nodeNames().contains(QStringLiteral("Marlo")); }, 5000);
}

void TstPeerDemo::cleanupTestCase()
{
    stopBody();
    sims.reset();
    bus->stop();
}

void TstPeerDemo::demoMeasurement_data()
{
    QTest::addColumn<QString>("config");
    QTest::newRow("blocking transfer") << "SIMPLE_TRANS 1";
    QTest::newRow("acknowledged transfer") << "SIMPLE_TRANS 0";
}

void TstPeerDemo::demoMeasurement()
{
    QFETCH(QString, config);
    QVERIFY(startBody(config));
    const QString out = dir.filePath(QStringLiteral("demo-out-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-')));
    QProcess peer;
    peer.start(qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/tools/peer/marlo-peer"),
               {QStringLiteral("--port"), QString::number(bus->port()), QStringLiteral("--key"),
                demoFile(QStringLiteral("keys/Ravel.key")), QStringLiteral("--config"), cfgPath,
                QStringLiteral("--roi"), QStringLiteral("marlo"), QStringLiteral("--get-mcas"), out,
                QStringLiteral("--script"), demoFile(QStringLiteral("measure.peer"))});
    QVERIFY(peer.waitForStarted());
    // Marlo works in this thread: keep its event loop running meanwhile.
    QVERIFY(QTest::qWaitFor([&peer] { return peer.state() == QProcess::NotRunning; }, 120000));
    const QString log = QString::fromLocal8Bit(peer.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(peer.readAllStandardError());
    QVERIFY2(peer.exitCode() == 0, qPrintable(log + err));

    auto answer = [&log](const QString &cmd) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<< Marlo>Ravel @%1 (.*)$").arg(cmd), QRegularExpression::MultilineOption)
                .match(log);
        return m.hasMatch() ? m.captured(1) : QString();
    };
    QCOMPARE(answer(QStringLiteral("Hello")), QStringLiteral("Hello! I am Marlo. Nice to meet you!"));
    QVERIFY(log.contains(QLatin1String("** Marlo>Ravel _ChangedIsBusy 0")));
    QCOMPARE(answer(QStringLiteral("GetRealTimes")), QStringLiteral("2 2"));
    QCOMPARE(answer(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QCOMPARE(answer(QStringLiteral("HVVol")), QStringLiteral("100"));
    QVERIFY(log.contains(QLatin1String("-- data link: 6 records, 98592 bytes, sent Ack")));

    // The spectra hold what "GetValues" counted after the measurement.
    const QStringList values = answer(QStringLiteral("GetValues")).split(QLatin1Char(' '));
    QCOMPARE(values.size(), 1 + 4 * 6);
    const QStringList files = QDir(out).entryList({QStringLiteral("mca_e*.csv")}, QDir::Files);
    QCOMPARE(files, (QStringList{"mca_e00_dsp1_ch0.csv", "mca_e01_dsp1_ch1.csv", "mca_e02_dsp1_ch2.csv",
                                 "mca_e03_dsp1_ch3.csv", "mca_e04_dsp2_ch0.csv", "mca_e05_dsp2_ch1.csv"}));
    for (int k = 0; k < 6; ++k) {
        QFile f(QDir(out).filePath(files.at(k)));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        QVERIFY2(text.contains(QStringLiteral("# bins 4096, counts %1\n").arg(values.at(1 + k))), qPrintable(files.at(k)));
        QVERIFY(text.contains(QLatin1String("# real time 2 s\n")));
        QVERIFY(text.contains(k < 4 ? QLatin1String("# unit 0 (dsp1)\n") : QLatin1String("# unit 1 (dsp2)\n")));
        QVERIFY(text.contains(QLatin1String("# measurement count 1\n# measurement number 1\n")));
    }
    QCOMPARE(QImage(QDir(out).filePath(QStringLiteral("mcas.png"))).size(), QSize(1200, 700));
    stopBody();
}

QTEST_MAIN(TstPeerDemo)
#include "tst_peerdemo.moc"
