// marlo-peer's session against an in-process STARS bus and a fake Marlo:
// requests, answers and events, the exit codes, and the data-link fetch with
// its checks, "NAck" retries and files.
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "fakemarlo.h"
#include "peerexit.h"
#include "peeroptions.h"
#include "peerrecord.h"
#include "peersession.h"
#include "peerstep.h"
#include "starsbus.h"

namespace {

bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(contents) == contents.size();
}

QVector<quint32> spectrum(int n, int peak)
{
    QVector<quint32> b(n);
    for (int i = 0; i < n; ++i)
        b[i] = quint32(50 + 1000.0 * std::exp(-0.5 * std::pow((i - peak) / 20.0, 2)));
    return b;
}

// Two units: unit 0 channels 0 and 1, unit 1 channel 0; measurement count 5,
// measurement number 3.
QList<PeerRecord> goodRecords(int bins = 512)
{
    return {
        PeerRecord::make(0, spectrum(bins, 100), 2.0, 1.9, 1500.0, 5),
        PeerRecord::make(1, spectrum(bins, 200), 2.0, 1.8, 1600.0, 3),
        PeerRecord::make(0, spectrum(bins, 300), 2.1, 2.0, 1700.0, 0),
    };
}

QByteArray transferOf(const QList<PeerRecord> &records)
{
    QByteArray t;
    for (const PeerRecord &r : records)
        t += r.encode();
    return t;
}

} // namespace

class TstPeerSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestsEventsAndSpectra();
    void malformedFirstTransfer_data();
    void malformedFirstTransfer();
    void malformedEveryTime();
    void errorAnswers_data();
    void errorAnswers();
    void answerTimedOut();
    void waitTimedOut();
    void loginFailures_data();
    void loginFailures();
    void noServer();
    void connectionLost();
    void dataLinkProblems_data();
    void dataLinkProblems();

private:
    int runPeer(const QStringList &args, const QStringList &steps = {});

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<StarsBus> bus;
    std::unique_ptr<FakeMarlo> marlo;
    QStringList outLines;
    QStringList errLines;
    PeerSession::Fetched fetched;
};

void TstPeerSession::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(writeFile(dir->filePath(QStringLiteral("Marlo.key")), "m0\nm1\n"));
    QVERIFY(writeFile(dir->filePath(QStringLiteral("Ravel.key")), "r0\nr1\nr2\n"));
    bus = std::make_unique<StarsBus>(dir->path());
    QVERIFY(bus->listen(QHostAddress::LocalHost, 0));
    marlo = std::make_unique<FakeMarlo>();
    marlo->transfers = {transferOf(goodRecords())};
    marlo->roisAnswer = QStringLiteral("100 200 100 200 300 400");
    QVERIFY(marlo->start(bus->port(), dir->filePath(QStringLiteral("Marlo.key"))));
    QVERIFY(marlo->waitLoggedIn());
    outLines.clear();
    errLines.clear();
}

void TstPeerSession::cleanup()
{
    marlo.reset();
    bus.reset();
    dir.reset();
}

int TstPeerSession::runPeer(const QStringList &args, const QStringList &steps)
{
    PeerOptions o;
    const QStringList base{QStringLiteral("marlo-peer"), QStringLiteral("--port"), QString::number(bus->port()),
                           QStringLiteral("--key"), dir->filePath(QStringLiteral("Ravel.key")),
                           QStringLiteral("--timeout"), QStringLiteral("1500")};
    if (!o.parse(base + args + QStringList{QStringLiteral("--")} + steps)) {
        errLines << o.error;
        return PeerExit::Usage;
    }
    QList<PeerStep> list;
    QString why;
    if (!PeerSession::stepsOf(o, list, &why)) {
        errLines << why;
        return PeerExit::Usage;
    }
    PeerSession s(o, [this](const QString &l) { outLines << l; }, [this](const QString &l) { errLines << l; });
    const int rc = s.run(list);
    fetched = s.lastFetch();
    return rc;
}

void TstPeerSession::requestsEventsAndSpectra()
{
    const QString out = dir->filePath(QStringLiteral("out"));
    const int rc = runPeer({QStringLiteral("--get-mcas"), out},
                           {QStringLiteral("Hello"), QStringLiteral("SetPresetType Real"), QStringLiteral("RunStart 1"),
                            QStringLiteral("wait ChangedIsBusy 0"), QStringLiteral("GetMCAs"), QStringLiteral("HVStart")});
    QVERIFY2(rc == PeerExit::Ok, qPrintable(errLines.join(QLatin1Char('\n'))));
    QVERIFY(errLines.isEmpty());

    // Every line with its time stamp and tag, in order.
    const QString all = outLines.join(QLatin1Char('\n'));
    QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d (>>|<<|\\*\\*|--|<-) "));
    for (const QString &l : outLines)
        QVERIFY2(stamp.match(l).hasMatch(), qPrintable(l));
    QVERIFY(all.contains(QLatin1String(">> Ravel>System flgon Marlo")));
    QVERIFY(all.contains(QLatin1String("<< Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!")));
    QVERIFY(all.contains(QLatin1String("** Marlo>Ravel _ChangedIsBusy 1")));
    QVERIFY(all.contains(QLatin1String("** Marlo>Ravel _ChangedIsBusy 0")));
    QVERIFY(all.indexOf(QLatin1String("_ChangedIsBusy 0")) < all.indexOf(QLatin1String(">> Ravel>Marlo GetDataLinkCh")));
    QVERIFY(all.indexOf(QLatin1String("sent Ack")) < all.indexOf(QLatin1String(">> Ravel>Marlo HVStart")));

    QCOMPARE(marlo->requests,
             (QStringList{"Ravel>Marlo Hello", "Ravel>Marlo SetPresetType Real", "Ravel>Marlo RunStart 1",
                          "Ravel>Marlo GetDataLinkCh", "Ravel>Marlo GetROIs", "Ravel>Marlo GetMCAs",
                          "Ravel>Marlo HVStart"}));
    QTRY_COMPARE(marlo->replies, QList<QByteArray>{"Ack"});

    // Records, units inferred, files.
    QCOMPARE(fetched.records.size(), 3);
    QCOMPARE(fetched.elements.at(0).unit, 0);
    QCOMPARE(fetched.elements.at(1).unit, 0);
    QCOMPARE(fetched.elements.at(2).unit, 1);
    QCOMPARE(fetched.nacks, 0);
    QCOMPARE(QDir(out).entryList({QStringLiteral("*.csv")}, QDir::Files),
             (QStringList{"mca_e00_u0_ch0.csv", "mca_e01_u0_ch1.csv", "mca_e02_u1_ch0.csv"}));
    QFile csv(QDir(out).filePath(QStringLiteral("mca_e01_u0_ch1.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(csv.readAll());
    QVERIFY(text.startsWith(QLatin1String("# element 1\n# unit 0\n# channel 1\n# real time 2 s\n# live time 1.8 s\n")));
    QVERIFY(text.contains(QLatin1String("# measurement count 5\n# measurement number 3\n")));
    QVERIFY(text.contains(QLatin1String("bin,counts\n0,50\n")));
    QCOMPARE(text.count(QLatin1Char('\n')), 11 + 512);
    const QImage png(QDir(out).filePath(QStringLiteral("mcas.png")));
    QCOMPARE(png.size(), QSize(1200, 700));
    QVERIFY(all.contains(QStringLiteral("-- element 2: unit 1 ch 0: counts %1, real 2.1 s, live 2 s, ICR 1700 -> ")
                             .arg(goodRecords().at(2).sum())));
    QVERIFY(all.contains(QLatin1String("-- measurement count 5, measurement number 3")));
}

void TstPeerSession::malformedFirstTransfer_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QString>("reason");

    const QList<PeerRecord> good = goodRecords();
    const QByteArray t = transferOf(good);
    QList<PeerRecord> r;

    QTest::newRow("truncated") << t.left(t.size() - 10) << "transfer stopped after 2 complete records";
    r = good;
    r[1].length = 0;
    QTest::newRow("length field 0") << transferOf(r) << "record 1: length field 0";
    r = good;
    r[2].channel = 7;
    QTest::newRow("channel 7") << transferOf(r) << "record 2: channel 7";
    QTest::newRow("one record too many") << t + good.at(0).encode() << "2096 bytes after the last of 3 records";
}

void TstPeerSession::malformedFirstTransfer()
{
    QFETCH(QByteArray, first);
    QFETCH(QString, reason);
    marlo->transfers = {first, transferOf(goodRecords())};
    const int rc = runPeer({QStringLiteral("--get-mcas"), dir->filePath(QStringLiteral("out")),
                            QStringLiteral("--timeout"), QStringLiteral("400")});
    QVERIFY2(rc == PeerExit::Ok, qPrintable(errLines.join(QLatin1Char('\n'))));
    QTRY_COMPARE(marlo->replies, (QList<QByteArray>{"NAck", "Ack"}));
    QCOMPARE(fetched.nacks, 1);
    QCOMPARE(fetched.records.size(), 3);
    QCOMPARE(fetched.records.at(2).bins, goodRecords().at(2).bins);
    QCOMPARE(errLines.size(), 1);
    QVERIFY2(errLines.first().contains(QStringLiteral("malformed transfer: ") + reason), qPrintable(errLines.first()));
}

void TstPeerSession::malformedEveryTime()
{
    QList<PeerRecord> r = goodRecords();
    r[0].channel = 4;
    marlo->transfers = {transferOf(r)};
    const QString out = dir->filePath(QStringLiteral("out"));
    const int rc = runPeer({QStringLiteral("--get-mcas"), out, QStringLiteral("--retries"), QStringLiteral("2")},
                           {QStringLiteral("Hello")});
    QCOMPARE(rc, int(PeerExit::DataLink));
    QTRY_COMPARE(marlo->replies, (QList<QByteArray>{"NAck", "NAck"}));
    QVERIFY(errLines.last().contains(QLatin1String("giving up after 2 \"NAck\"")));
    QVERIFY(!QDir(out).exists(QStringLiteral("mcas.png")));
}

void TstPeerSession::errorAnswers_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Er: first") << "Bad" << "\"Bad\" answered: Er: Unknown Command";
}

void TstPeerSession::errorAnswers()
{
    QFETCH(QString, request);
    QFETCH(QString, shown);
    const int rc = runPeer({}, {request, QStringLiteral("Hello")});
    QCOMPARE(rc, int(PeerExit::ErrorAnswer));
    QCOMPARE(errLines.size(), 1);
    QVERIFY2(errLines.first().contains(shown), qPrintable(errLines.first()));
    QVERIFY(!marlo->requests.contains(QStringLiteral("Ravel>Marlo Hello")));
}

void TstPeerSession::answerTimedOut()
{
    marlo->silent << QStringLiteral("Slow");
    const int rc = runPeer({QStringLiteral("--timeout"), QStringLiteral("300")}, {QStringLiteral("Slow 1"), QStringLiteral("Hello")});
    QCOMPARE(rc, int(PeerExit::TimedOut));
    QVERIFY2(errLines.first().contains(QLatin1String("no answer to \"Slow 1\" from Marlo within 300 ms")),
             qPrintable(errLines.first()));
    QVERIFY(!marlo->requests.contains(QStringLiteral("Ravel>Marlo Hello")));
}

void TstPeerSession::waitTimedOut()
{
    const int rc = runPeer({}, {QStringLiteral("wait-timeout 200"), QStringLiteral("wait ChangedIsBusy 0")});
    QCOMPARE(rc, int(PeerExit::TimedOut));
    QVERIFY(errLines.first().contains(QLatin1String("no event ChangedIsBusy 0 from Marlo within 200 ms")));

}

void TstPeerSession::loginFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("keyContents");   // written to Other.key unless null
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing key file") << QStringList{"--key", "nowhere/Ravel.key"} << QByteArray() << int(PeerExit::KeyFile)
                                      << "cannot read key file";
    QTest::newRow("wrong key") << QStringList{"--key", "@Other.key"} << QByteArray("x\ny\nz\n") << int(PeerExit::LoginRefused)
                               << "log-in as Ravel refused: System> Er: Bad node name or key";
}

void TstPeerSession::loginFailures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, keyContents);
    QFETCH(int, code);
    QFETCH(QString, message);
    if (!keyContents.isNull())
        QVERIFY(writeFile(dir->filePath(QStringLiteral("Other.key")), keyContents));
    for (QString &a : args) {
        if (a.startsWith(QLatin1Char('@')))
            a = dir->filePath(a.mid(1));
    }
    QCOMPARE(runPeer(args, {QStringLiteral("Hello")}), code);
    QVERIFY2(errLines.join(QLatin1Char('\n')).contains(message), qPrintable(errLines.join(QLatin1Char('\n'))));
    QVERIFY(marlo->requests.isEmpty());
}

void TstPeerSession::noServer()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const int rc = runPeer({QStringLiteral("--port"), QString::number(port)}, {QStringLiteral("Hello")});
    QCOMPARE(rc, int(PeerExit::NoServer));
    QVERIFY(errLines.first().contains(QStringLiteral("cannot reach the STARS server at 127.0.0.1:%1").arg(port)));
}

void TstPeerSession::connectionLost()
{
    QTimer::singleShot(200, bus.get(), [this] { bus->disconnectNode(QStringLiteral("Ravel")); });
    const int rc = runPeer({}, {QStringLiteral("wait-timeout 5000"), QStringLiteral("wait Never")});
    QCOMPARE(rc, int(PeerExit::Lost));
    QVERIFY(errLines.first().contains(QLatin1String("lost while waiting for Never")));
}

void TstPeerSession::dataLinkProblems_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("noTransfer");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << "127.0.0.1" << false << int(PeerExit::DataLink) << "is not HOST PORT";
    QTest::newRow("nobody listens") << "127.0.0.1 1" << false << int(PeerExit::DataLink) << "cannot connect the data link 127.0.0.1:1";
    QTest::newRow("no data") << "" << true << int(PeerExit::DataLink) << "no spectrum data within 300 ms";
}

void TstPeerSession::dataLinkProblems()
{
    QFETCH(QString, answer);
    QFETCH(bool, noTransfer);
    QFETCH(int, code);
    QFETCH(QString, message);
    marlo->dataLinkAnswer = answer;
    if (noTransfer)
        marlo->transfers.clear();
    const int rc = runPeer({QStringLiteral("--get-mcas"), dir->filePath(QStringLiteral("out")), QStringLiteral("--timeout"),
                            QStringLiteral("300")});
    QCOMPARE(rc, code);
    QVERIFY2(errLines.join(QLatin1Char('\n')).contains(message), qPrintable(errLines.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TstPeerSession)
#include "tst_peersession.moc"
