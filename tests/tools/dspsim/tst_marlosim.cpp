// One run of marlo-sim: it serves the units of its configuration file on the
// ports it prints, answers a read, refuses a bad address and stops on SIGTERM.
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

class TstMarloSim : public QObject
{
    Q_OBJECT
private slots:
    void run();
};

void TstMarloSim::run()
{
    const QString exe = qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/tools/dspsim/marlo-sim");
    QProcess bad;
    bad.start(exe, {"--dsp", "x", "10.1.2.3"});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(bad.readAllStandardError()).contains(QStringLiteral("not a loopback address")));

    QTemporaryDir dir;
    QFile cfg(dir.filePath(QStringLiteral("sim.cfg")));
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write("VEXDA simA 127.0.4.60 1 1 1 1 b\nVEXHV simH 127.0.4.61\n");
    cfg.close();
    QProcess p;
    p.start(exe, {"--config", cfg.fileName(), "--udp-port", "0", "--tcp-port", "0", "--deterministic",
                  "--answer-delay-us", "200", "--stream-mbps", "1000"});
    QVERIFY2(p.waitForStarted(10000), qPrintable(p.errorString()));
    QStringList lines;
    while (lines.size() < 2 && p.waitForReadyRead(10000))
        while (p.canReadLine())
            lines << QString::fromLocal8Bit(p.readLine()).trimmed();
    QCOMPARE(lines.size(), 2);
    const auto m = QRegularExpression(QStringLiteral("^DSP simA 127\\.0\\.4\\.60 udp (\\d+) tcp (\\d+) B$")).match(lines.at(0));
    QVERIFY2(m.hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("HV simH 127.0.4.61 udp ")), qPrintable(lines.at(1)));

    QUdpSocket u;
    QVERIFY(u.bind(QHostAddress::LocalHost, 0));
    const QHostAddress unit(QStringLiteral("127.0.4.60"));
    u.writeDatagram(QByteArray::fromHex("FFC00606B4000016"), unit, quint16(m.captured(1).toUInt()));
    QVERIFY(u.waitForReadyRead(10000));
    const QNetworkDatagram d = u.receiveDatagram();
    QCOMPARE(d.data().toHex(), QByteArray("ffc80606b40000160fffffffffff"));
    QCOMPARE(d.senderAddress(), unit);
    p.terminate();   // SIGTERM
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstMarloSim)
#include "tst_marlosim.moc"
