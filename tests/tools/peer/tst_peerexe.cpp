// The marlo-peer executable: its exit codes and output, against an
// in-process STARS bus and a fake Marlo (the test keeps its event loop
// running while the program runs).
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "fakemarlo.h"
#include "peerexit.h"
#include "peerrecord.h"
#include "starsbus.h"

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

QString peerPath()
{
    return qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/tools/peer/marlo-peer");
}

} // namespace

class TstPeerExe : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void run_data();
    void run();

private:
    QTemporaryDir dir;
};

void TstPeerExe::initTestCase()
{
    QVERIFY2(QFile::exists(peerPath()), qPrintable(peerPath()));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Marlo.key")), "m\n"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("Ravel.key")), "r0\nr1\n"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("steps.txt")), "# a script\nHello\nRunStart 1\nwait ChangedIsBusy 0\n"));
}

void TstPeerExe::run_data()
{
    QTest::addColumn<QStringList>("args");      // @ is the temporary folder, PORT the bus port
    QTest::addColumn<QByteArray>("input");      // standard input
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");

    const QStringList base{"--port", "PORT", "--key", "@/Ravel.key"};
    QTest::newRow("help") << QStringList{"--help"} << QByteArray() << int(PeerExit::Ok) << "Exit codes: 0 done" << "";
    QTest::newRow("unknown option") << QStringList{"--nope"} << QByteArray() << int(PeerExit::Usage) << ""
                                    << "marlo-peer: unknown option --nope";
    QTest::newRow("error answer") << (base + QStringList{"Bad"}) << QByteArray() << int(PeerExit::ErrorAnswer)
                                  << "<< Marlo>Ravel @Bad Er: Unknown Command" << "exit code 7";
    QTest::newRow("script on stdin") << (base + QStringList{"--script", "-"}) << QByteArray("Hello\nwait-timeout 100\nwait X\n")
                                     << int(PeerExit::TimedOut) << "@Hello" << "no event X from Marlo within 100 ms";
    QTest::newRow("spectra") << (base + QStringList{"--get-mcas", "@/out", "--log"}) << QByteArray() << int(PeerExit::Ok)
                             << "-- plot -> " << "";
}

void TstPeerExe::run()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);

    StarsBus bus(dir.path());
    QVERIFY(bus.listen(QHostAddress::LocalHost, 0));
    FakeMarlo marlo;
    marlo.transfers = {PeerRecord::make(0, {1, 2, 3}, 1.0, 1.0, 1.0, 1).encode()
                       + PeerRecord::make(1, {4, 5, 6}, 1.0, 1.0, 1.0, 1).encode()};
    QVERIFY(marlo.start(bus.port(), dir.filePath(QStringLiteral("Marlo.key"))));
    QVERIFY(marlo.waitLoggedIn());

    for (QString &a : args) {
        a.replace(QLatin1String("PORT"), QString::number(bus.port()));
        if (a.startsWith(QLatin1Char('@')))
            a = dir.path() + a.mid(1);
    }
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(peerPath(), args);
    QVERIFY(p.waitForStarted());
    if (!input.isNull())
        p.write(input);
    p.closeWriteChannel();
    QVERIFY(QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, 20000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == code, qPrintable(QStringLiteral("code %1\n%2\n%3").arg(p.exitCode()).arg(out, err)));
    if (!stdoutHas.isEmpty())
        QVERIFY2(out.contains(stdoutHas), qPrintable(out));
    if (!stderrHas.isEmpty())
        QVERIFY2(err.contains(stderrHas), qPrintable(err));
    QVERIFY2(!err.contains(QLatin1String("XDG_RUNTIME_DIR")), qPrintable(err));
    if (code == PeerExit::Ok && args.contains(QStringLiteral("--get-mcas"))) {
        QTRY_COMPARE(marlo.replies, QList<QByteArray>{"Ack"});
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/mcas.png"))));
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out/mca_e01_u0_ch1.csv"))));
    }
}

QTEST_MAIN(TstPeerExe)
#include "tst_peerexe.moc"
