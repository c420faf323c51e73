// marlo-sim's command line and configuration-file reading, and the
// executable itself (started on ephemeral ports, stopped with SIGTERM).

#include "simsetup.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

// "dsp:NAME@ADDR[:B]" or "hv:NAME@ADDR", joined by blanks.
QString summary(const SimSetup &s)
{
    QStringList out;
    for (const SimSetup::Unit &u : s.units)
        out << QStringLiteral("%1:%2@%3%4").arg(u.hv ? QStringLiteral("hv") : QStringLiteral("dsp"), u.name, u.address,
                                              u.bMode ? QStringLiteral(":B") : QString());
    return out.join(QLatin1Char(' '));
}

QString simPath()
{
    return qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/tools/dspsim/marlo-sim");
}

} // namespace

class TstSimSetup : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void args_data();
    void args();
    void config_data();
    void config();
    void configAndArgs();
    void missingConfig();
    void executableServes();
    void executableBindError();
    void executableBadArgs();

private:
    QString writeFile(const QString &name, const QString &text);
    QTemporaryDir dir;
};

void TstSimSetup::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString TstSimSetup::writeFile(const QString &name, const QString &text)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(text.toUtf8());
    return path;
}

void TstSimSetup::args_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("units");
    QTest::addColumn<int>("udpPort");
    QTest::addColumn<int>("tcpPort");

    const QString p = QStringLiteral("marlo-sim");
    QTest::newRow("one dsp") << QStringList{p, "--dsp", "d1", "127.0.0.2"} << true << "dsp:d1@127.0.0.2" << 4660 << 24;
    QTest::newRow("dsp B and hv")
        << QStringList{p, "--dsp", "d1", "127.0.0.2", "b", "--dsp", "d2", "127.0.0.3", "B", "--hv", "h", "127.0.0.4"}
        << true << "dsp:d1@127.0.0.2:B dsp:d2@127.0.0.3:B hv:h@127.0.0.4" << 4660 << 24;
    QTest::newRow("ports") << QStringList{p, "--udp-port", "0", "--tcp-port", "2424", "--hv", "h", "127.1.2.3"}
                           << true << "hv:h@127.1.2.3" << 0 << 2424;
    QTest::newRow("options") << QStringList{p, "--rate", "1e4", "--dead-fraction", "0.5", "--deterministic",
                                            "--log-requests", "--dsp", "d", "127.0.0.9"}
                             << true << "dsp:d@127.0.0.9" << 4660 << 24;
    QTest::newRow("no units") << QStringList{p} << false << "" << 0 << 0;
    QTest::newRow("dsp without address") << QStringList{p, "--dsp", "d1"} << false << "" << 0 << 0;
    QTest::newRow("dsp address is an option") << QStringList{p, "--dsp", "d1", "--hv", "h", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("not an address") << QStringList{p, "--dsp", "d1", "localhost"} << false << "" << 0 << 0;
    QTest::newRow("not loopback") << QStringList{p, "--dsp", "d1", "192.168.10.1"} << false << "" << 0 << 0;
    QTest::newRow("ipv6") << QStringList{p, "--dsp", "d1", "::1"} << false << "" << 0 << 0;
    QTest::newRow("same name twice") << QStringList{p, "--dsp", "d", "127.0.0.2", "--hv", "d", "127.0.0.3"} << false << "" << 0 << 0;
    QTest::newRow("same address twice") << QStringList{p, "--dsp", "a", "127.0.0.2", "--hv", "b", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("bad port") << QStringList{p, "--udp-port", "70000", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("port not a number") << QStringList{p, "--tcp-port", "x", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("port missing") << QStringList{p, "--dsp", "d", "127.0.0.2", "--tcp-port"} << false << "" << 0 << 0;
    QTest::newRow("negative rate") << QStringList{p, "--rate", "-1", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("dead fraction above 1") << QStringList{p, "--dead-fraction", "2", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
    QTest::newRow("unknown option") << QStringList{p, "--frobnicate", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
}

void TstSimSetup::args()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    SimSetup s;
    QCOMPARE(s.parseArgs(args), ok);
    QCOMPARE(s.error.isEmpty(), ok);
    if (!ok)
        return;
    QTEST(summary(s), "units");
    QTEST(s.udpPort, "udpPort");
    QTEST(s.tcpPort, "tcpPort");
}

void TstSimSetup::config_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("units");

    QTest::newRow("demo") << QStringLiteral(
        "STARS_IP 127.0.0.1\n"
        "VEXDA dsp1 127.0.0.2 1 1 0 0\n"
        "VEXDA dsp2 127.0.0.3 1 0 1 0 b   # long histograms\n"
        "VEXHV hv1 127.0.0.5\n")
        << true << "dsp:dsp1@127.0.0.2 dsp:dsp2@127.0.0.3:B hv:hv1@127.0.0.5";
    QTest::newRow("capital B, lower-case key") << QStringLiteral("vexda d 127.0.0.2 1 1 1 1 B\n") << true << "dsp:d@127.0.0.2:B";
    QTest::newRow("seventh word other") << QStringLiteral("VEXDA d 127.0.0.2 1 1 1 1 x\n") << true << "dsp:d@127.0.0.2";
    QTest::newRow("B in the wrong place") << QStringLiteral("VEXDA d 127.0.0.2 1 1 b\n") << true << "dsp:d@127.0.0.2";
    QTest::newRow("quoted name") << QStringLiteral("VEXDA \"unit one\" 127.0.0.2\n") << true << "dsp:unit one@127.0.0.2";
    QTest::newRow("tabs and comment") << QStringLiteral("VEXDA\td\t127.0.0.2\t1\t0\t0\t0\tb # c\n# VEXDA x 127.0.0.9\n")
                                      << true << "dsp:d@127.0.0.2:B";
    QTest::newRow("last VEXHV wins") << QStringLiteral("VEXHV a 127.0.0.5\nVEXHV b 127.0.0.6\n") << true << "hv:b@127.0.0.6";
    QTest::newRow("empty VEXHV") << QStringLiteral("VEXHV\nVEXDA d 127.0.0.2\n") << true << "dsp:d@127.0.0.2";
    QTest::newRow("no units at all") << QStringLiteral("STARS_IP 127.0.0.1\n") << true << "";
    QTest::newRow("VEXDA without address") << QStringLiteral("VEXDA d\n") << false << "";
    QTest::newRow("empty VEXDA") << QStringLiteral("VEXDA\n") << false << "";
    QTest::newRow("real network address") << QStringLiteral("VEXDA dsp1 192.168.10.1 1 1 0 0\n") << false << "";
    QTest::newRow("VEXHV without address") << QStringLiteral("VEXHV hv\n") << false << "";
    QTest::newRow("two units one address") << QStringLiteral("VEXDA a 127.0.0.2\nVEXHV b 127.0.0.2\n") << false << "";
}

void TstSimSetup::config()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    const QString path = writeFile(QStringLiteral("sim.cfg"), text);
    QVERIFY(!path.isEmpty());
    SimSetup s;
    QCOMPARE(s.readConfig(path), ok);
    QCOMPARE(s.error.isEmpty(), ok);
    if (ok)
        QTEST(summary(s), "units");
}

void TstSimSetup::configAndArgs()
{
    writeFile(QStringLiteral("inc.cfg"), QStringLiteral("VEXDA d2 127.0.0.3 0 0 0 1 b\n"));
    const QString path = writeFile(QStringLiteral("main.cfg"),
                                   QStringLiteral("VEXDA d1 127.0.0.2\nINCLUDE %1\nVEXHV hv 127.0.0.4\n")
                                       .arg(dir.filePath(QStringLiteral("inc.cfg"))));
    SimSetup s;
    QVERIFY(s.parseArgs({"marlo-sim", "--dsp", "d0", "127.0.0.9", "--config", path, "--udp-port", "0"}));
    QCOMPARE(summary(s), QStringLiteral("dsp:d0@127.0.0.9 dsp:d1@127.0.0.2 dsp:d2@127.0.0.3:B hv:hv@127.0.0.4"));
    QCOMPARE(s.udpPort, 0);

    SimSetup clash;
    QVERIFY(!clash.parseArgs({"marlo-sim", "--config", path, "--dsp", "d1", "127.0.0.8"}));
    QVERIFY(clash.error.contains(QStringLiteral("d1")));
}

void TstSimSetup::missingConfig()
{
    SimSetup s;
    QVERIFY(!s.parseArgs({"marlo-sim", "--config", dir.filePath(QStringLiteral("nope.cfg"))}));
    QVERIFY(s.error.contains(QStringLiteral("nope.cfg")));
}

void TstSimSetup::executableServes()
{
    const QString cfg = writeFile(QStringLiteral("exe.cfg"),
                                  QStringLiteral("VEXDA simA 127.0.4.60 1 1 1 1 b\nVEXHV simH 127.0.4.61\n"));
    QProcess p;
    p.start(simPath(), {"--config", cfg, "--udp-port", "0", "--tcp-port", "0", "--log-requests", "--deterministic"});
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));

    QStringList lines;
    while (lines.size() < 2 && p.waitForReadyRead(10000))
        while (p.canReadLine())
            lines << QString::fromLocal8Bit(p.readLine()).trimmed();
    QCOMPARE(lines.size(), 2);
    const QRegularExpression dspLine(QStringLiteral("^DSP simA 127\\.0\\.4\\.60 udp (\\d+) tcp (\\d+) B$"));
    const QRegularExpression hvLine(QStringLiteral("^HV simH 127\\.0\\.4\\.61 udp (\\d+)$"));
    const auto m1 = dspLine.match(lines.at(0));
    const auto m2 = hvLine.match(lines.at(1));
    QVERIFY2(m1.hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(m2.hasMatch(), qPrintable(lines.at(1)));
    const quint16 udpPort = quint16(m1.captured(1).toUInt());
    QVERIFY(udpPort != 0);
    QVERIFY(m1.captured(2).toUInt() != 0);

    QUdpSocket u;
    QVERIFY(u.bind(QHostAddress::LocalHost, 0));
    u.writeDatagram(QByteArray::fromHex("FFC0060600000016"), QHostAddress(QStringLiteral("127.0.4.60")), udpPort);
    u.writeDatagram(QByteArray::fromHex("FFC00606B4000016"), QHostAddress(QStringLiteral("127.0.4.60")), udpPort);
    QVERIFY(u.waitForReadyRead(10000));
    const QNetworkDatagram d = u.receiveDatagram();
    QCOMPARE(d.data().toHex(), QByteArray("ffc80606000000160000000000000000").left(28));
    QCOMPARE(d.senderAddress(), QHostAddress(QStringLiteral("127.0.4.60")));
    if (!u.hasPendingDatagrams())
        QVERIFY(u.waitForReadyRead(10000));
    QCOMPARE(u.receiveDatagram().data().toHex(), QByteArray("ffc80606b40000160fffffffffff"));

    QString log;
    while (!log.contains(QStringLiteral("read 6 bytes at 0xb4000016")) && p.waitForReadyRead(10000))
        log += QString::fromLocal8Bit(p.readAll());
    QVERIFY2(log.contains(QStringLiteral("simA <- 127.")), qPrintable(log));
    QVERIFY2(log.contains(QStringLiteral("read 6 bytes at 0xb4000016")), qPrintable(log));

    p.terminate();   // SIGTERM
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(p.readAll().contains("marlo-sim: stopped"));
}

void TstSimSetup::executableBindError()
{
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress(QStringLiteral("127.0.4.62")), 0));
    QProcess p;
    p.start(simPath(), {"--dsp", "busy", "127.0.4.62", "--udp-port", QString::number(taken.localPort()),
                        "--tcp-port", "0"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("cannot serve busy at 127.0.4.62")), qPrintable(err));
}

void TstSimSetup::executableBadArgs()
{
    QProcess p;
    p.start(simPath(), {"--dsp", "x", "10.1.2.3"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("not a loopback address")), qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("Usage: marlo-sim")));
}

QTEST_GUILESS_MAIN(TstSimSetup)
#include "tst_simsetup.moc"
