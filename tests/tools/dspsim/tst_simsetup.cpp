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
    void executableServes();
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
    QTest::newRow("no units") << QStringList{p} << false << "" << 0 << 0;
    QTest::newRow("not loopback") << QStringList{p, "--dsp", "d1", "192.168.10.1"} << false << "" << 0 << 0;
    QTest::newRow("same name twice") << QStringList{p, "--dsp", "d", "127.0.0.2", "--hv", "d", "127.0.0.3"} << false << "" << 0 << 0;
    QTest::newRow("bad port") << QStringList{p, "--udp-port", "70000", "--dsp", "d", "127.0.0.2"} << false << "" << 0 << 0;
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
    p.terminate();   // SIGTERM
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
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
