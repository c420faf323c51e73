// One run of marlo-peer: the demo's measurement (demo/measure.peer) against
// Marlo's Body in this process, with the demo's units simulated on loopback
// addresses of their own and the STARS bus in its own thread.
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

static QString demoFile(const QString &name)
{
    return QStringLiteral(MARLO_SOURCE_DIR "/demo/") + name;
}

class TstPeerDemo : public QObject
{
    Q_OBJECT
private slots:
    void demoMeasurement();
};

void TstPeerDemo::demoMeasurement()
{
    QTemporaryDir dir;
    StarsBusRunner bus(demoFile(QStringLiteral("keys")));
    QVERIFY(bus.start(QHostAddress::LocalHost, 0));
    SimHost sims;
    sims.addDsp(QStringLiteral("dsp1"), QHostAddress(QStringLiteral("127.0.24.2")), 4660, 0);
    sims.addDsp(QStringLiteral("dsp2"), QHostAddress(QStringLiteral("127.0.24.3")), 4660, 0, true);
    sims.addHv(QStringLiteral("hv1"), QHostAddress(QStringLiteral("127.0.24.4")), 4660);
    for (SimUnit *u : sims.units())
        u->setCountRate(20000);
    QVERIFY(sims.start());

    const QString cfgPath = dir.filePath(QStringLiteral("config.cfg"));
    QFile f(cfgPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("STARS_IP 127.0.0.1\nSTARS_PORT %1\nNAME_ON_STARS Marlo\nKEY_ON_STARS %2\n"
                           "CONNECT_TO_STARS 1\nWRITE_LOG_FILE 0\nDATA_LINK_CH_IP 127.0.0.1\nDATA_LINK_CH_PORT 0\n"
                           "VEXDA dsp1 127.0.24.2 1 1 1 1\nVEXDA dsp2 127.0.24.3 1 1 0 0 B\nVEXHV hv1 127.0.24.4\n"
                           "HV_READ_TYPE 0\nSIMPLE_TRANS 0\n")
                .arg(bus.port())
                .arg(demoFile(QStringLiteral("keys/Marlo.key")))
                .toUtf8());
    f.close();
    CfgFile cfg(QStringList{QStringLiteral("marlo")});
    QVERIFY(cfg.readFile(cfgPath));
    CfgFile::setInstance(&cfg);
    auto body = std::make_unique<Body>();
    for (VexDA *v : body->dspSet().units) {
        v->tcpPort = sims.unit(v->name())->tcpPort();
        v->openTcp();
    }
    for (VexDA *v : body->dspSet().units)
        QTRY_VERIFY(v->tcpHasConnected());
    QTRY_VERIFY(body->starsClient()->isConnected());

    const QString out = dir.filePath(QStringLiteral("out"));
    QProcess peer;
    peer.start(qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/tools/peer/marlo-peer"),
               {QStringLiteral("--port"), QString::number(bus.port()), QStringLiteral("--key"),
                demoFile(QStringLiteral("keys/Ravel.key")), QStringLiteral("--config"), cfgPath,
                QStringLiteral("--roi"), QStringLiteral("marlo"), QStringLiteral("--get-mcas"), out,
                QStringLiteral("--script"), demoFile(QStringLiteral("measure.peer"))});
    QVERIFY(peer.waitForStarted());
    // Marlo works in this thread: keep its event loop running meanwhile.
    QVERIFY(QTest::qWaitFor([&peer] { return peer.state() == QProcess::NotRunning; }, 120000));
    const QString log = QString::fromLocal8Bit(peer.readAllStandardOutput());
    QVERIFY2(peer.exitCode() == 0, qPrintable(log + QString::fromLocal8Bit(peer.readAllStandardError())));
    const auto answer = [&log](const QString &cmd) {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<< Marlo>Ravel @%1 (.*)$").arg(cmd), QRegularExpression::MultilineOption)
                .match(log);
        return m.hasMatch() ? m.captured(1) : QString();
    };
    QCOMPARE(answer(QStringLiteral("GetRealTimes")), QStringLiteral("2 2"));
    QCOMPARE(answer(QStringLiteral("HVStat2")), QStringLiteral("2"));
    QVERIFY(log.contains(QLatin1String("-- data link: 6 records, 98592 bytes, sent Ack")));

    // The spectra written hold what "GetValues" counted.
    const QStringList values = answer(QStringLiteral("GetValues")).split(QLatin1Char(' '));
    const QStringList files = QDir(out).entryList({QStringLiteral("mca_e*.csv")}, QDir::Files);
    QCOMPARE(files.size(), 6);
    QCOMPARE(values.size(), 1 + 4 * 6);
    for (int k = 0; k < 6; ++k) {
        QFile csv(QDir(out).filePath(files.at(k)));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QVERIFY2(csv.readAll().contains(QStringLiteral("# bins 4096, counts %1\n").arg(values.at(1 + k)).toUtf8()),
                 qPrintable(files.at(k)));
    }
    QVERIFY(!QImage(QDir(out).filePath(QStringLiteral("mcas.png"))).isNull());

    logSink = nullptr;
    body.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CfgFile::setInstance(nullptr);
}

QTEST_MAIN(TstPeerDemo)
#include "tst_peerdemo.moc"
