// End to end: the Stars panel logs into starsbus (running in its own
// thread) and another node talks to it through the bus.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "buskeys.h"
#include "stars.h"
#include "starsbusrunner.h"
#include "starsnode.h"

class TstStarsOnBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void answersThroughTheBus();
    void requestsReachTheProgram();
    void eventsReachSubscribers();
    void wrongKeyAndNameInUse();
    void busRestart();

private:
    bool writeKey(const QString &name, const QByteArray &contents);
    void aim(Stars &stars, const QString &name = QStringLiteral("Marlo"));

    QTemporaryDir dir;
    StarsBusRunner *bus = nullptr;
    Stars *stars = nullptr;
    StarsNode *ravel = nullptr;
};

bool TstStarsOnBus::writeKey(const QString &name, const QByteArray &contents)
{
    QFile f(BusKeys::keyFilePath(dir.path(), name));
    return f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size();
}

void TstStarsOnBus::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));
    // Several keys, a blank one among them, so that the challenge matters.
    QVERIFY(writeKey("Marlo", "m0\nm1\n\nm3 with blanks\nm4\n"));
    QVERIFY(writeKey("Ravel", "r0\nr1\n"));
}

void TstStarsOnBus::aim(Stars &s, const QString &name)
{
    s.setHost(QStringLiteral("127.0.0.1"));
    s.setPort(QString::number(bus->port()));
    s.setNodeName(name);
    s.setKeyFile(BusKeys::keyFilePath(dir.path(), name));
}

void TstStarsOnBus::init()
{
    bus = new StarsBusRunner(dir.path());
    QVERIFY(bus->start());
    stars = new Stars;
    aim(*stars);
    stars->connectToStars();
    QTRY_VERIFY(stars->isConnected());
    QTRY_COMPARE(bus->nodeNames(), QStringList{"Marlo"});
    ravel = new StarsNode;
    QVERIFY2(ravel->connectToBus(QHostAddress::LocalHost, bus->port(), "Ravel",
                                 BusKeys::keyFilePath(dir.path(), "Ravel")),
             qPrintable(ravel->errorString()));
}

void TstStarsOnBus::cleanup()
{
    delete ravel;
    ravel = nullptr;
    delete stars;
    stars = nullptr;
    delete bus;
    bus = nullptr;
}

void TstStarsOnBus::answersThroughTheBus()
{
    const auto ask = [this](const QString &line) {
        return ravel->send(line) ? ravel->waitForLine().value_or(QStringLiteral("(none)")) : QString();
    };
    QCOMPARE(ask("Marlo Hello"), QStringLiteral("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!"));
    QCOMPARE(ask("Marlo Help"),
             QStringLiteral("Marlo>Ravel @Help Commands : Hello Help IsBusy GetMCALength GetPeakingTime RunStart "
                            "Resume RunStop Clear Start Stop GetMCAs SetNormalizeType GetNormalizeType "
                            "SetPresetType GetPresetType SetPresetValue GetPresetValue SetROI SetROIs GetROI "
                            "GetROIs GetValue GetValueInROI GetValues GetValuesInROI GetRealTime GetLiveTime "
                            "GetRealTimes GetLiveTimes GetDeadTimes HVStart HVStop HVStat2 HVVol GetThreshold "
                            "GetCalibration GetDynamicRange GetPreAMPGain GetDataLinkCh Status SetConfig "
                            "GetHistgram GetMeasTimeInSec SetMeasTimeInSec"));
    QCOMPARE(ask("Marlo Help GetValue"),
             QStringLiteral("Marlo>Ravel @Help : Get Value of a Ch in ROI (same as GetValueInROI)"));
    QCOMPARE(ask("Marlo IsBusy"), QStringLiteral("Marlo>Ravel @IsBusy 0"));
    stars->setBusy(true);
    QCOMPARE(ask("Marlo IsBusy"), QStringLiteral("Marlo>Ravel @IsBusy 1"));
    QCOMPARE(ask("Ravel.c1>Marlo.ch2 Hello"),
             QStringLiteral("Marlo.ch2>Ravel.c1 @Hello Hello! I am Marlo. Nice to meet you!"));
    QCOMPARE(ask("Marlo Help hello"), QStringLiteral("Marlo>Ravel @Help Er: Command [hello] not found."));
}

void TstStarsOnBus::requestsReachTheProgram()
{
    QSignalSpy asks(stars, &Stars::anyAsk);
    QSignalSpy answers(stars, &Stars::anyAns);
    // The program answers what it is asked, as the main window will.
    connect(stars, &Stars::anyAsk, stars, [this](const AMsg &m) {
        if (m.cmdId == 46)
            stars->sendAns(m, "Er: Unknown Command");
        else
            stars->sendAns(m, m.paramStr.trimmed());
    });
    QVERIFY(ravel->send("Marlo GetValue 3"));
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel @GetValue 3"));
    QVERIFY(ravel->send("Marlo getvalue 1"));
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel @getvalue Er: Unknown Command"));
    QCOMPARE(asks.count(), 2);
    QCOMPARE(asks.at(0).at(0).value<AMsg>().cmdId, 25);
    QCOMPARE(asks.at(1).at(0).value<AMsg>().cmdId, 46);

    // Marlo asks Ravel; Ravel's answer comes back as an answer.
    stars->sendCmdV("", "Ravel", "GetThing", "7");
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel GetThing 7"));
    QVERIFY(ravel->send("Marlo @GetValue 5"));
    QTRY_COMPARE(answers.count(), 1);
    QCOMPARE(answers.at(0).at(0).value<AMsg>().cmdId, 25);
    QCOMPARE(answers.at(0).at(0).value<AMsg>().from, QStringLiteral("Ravel"));

    // Asking a node that is not there gets the bus's answer.
    stars->sendCmd("", "Nobody", "GetThing");
    QTRY_COMPARE(answers.count(), 2);
    QCOMPARE(answers.at(1).at(0).value<AMsg>().line, QStringLiteral("System>Marlo @GetThing Er: Nobody is down."));
}

void TstStarsOnBus::eventsReachSubscribers()
{
    QVERIFY(ravel->send("System flgon Marlo"));
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("System>Ravel @flgon Ok:"));
    stars->setBusy(true);
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel _ChangedIsBusy 1"));
    stars->setBusy(false);
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel _ChangedIsBusy 0"));
    stars->sendEvent("ch1", "ChangedHVStat 2");
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo.ch1>Ravel _ChangedHVStat 2"));

    // Disconnecting and connecting again is announced.
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(notReady.count(), 1);
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel _Disconnected"));
    QSignalSpy ready(stars, &Stars::starsIsReady);
    QTest::mouseClick(stars->connectButton(), Qt::LeftButton);
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel _Connected"));
    QTRY_COMPARE(ready.count(), 1);
}

void TstStarsOnBus::wrongKeyAndNameInUse()
{
    // The same name again: refused, back to state 0, and Connect works again.
    Stars twin;
    QSignalSpy notReady(&twin, &Stars::starsIsNotReady);
    QSignalSpy ready(&twin, &Stars::starsIsReady);
    aim(twin);
    twin.connectToStars();
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(ready.count(), 0);
    QCOMPARE(twin.linkState(), 0);

    // Wrong keys: refused the same way.
    QVERIFY(writeKey("Other", "right\n"));
    QVERIFY(writeKey("OtherWrong", "wrong\n"));
    Stars other;
    other.setHost("127.0.0.1");
    other.setPort(QString::number(bus->port()));
    other.setNodeName("Other");
    other.setKeyFile(BusKeys::keyFilePath(dir.path(), "OtherWrong"));
    QSignalSpy otherNotReady(&other, &Stars::starsIsNotReady);
    other.connectToStars();
    QTRY_COMPARE(otherNotReady.count(), 1);
    QCOMPARE(other.linkState(), 0);
    other.setKeyFile(BusKeys::keyFilePath(dir.path(), "Other"));
    other.connectToStars();
    QTRY_VERIFY(other.isConnected());
    QTRY_COMPARE(bus->nodeNames(), QStringList({"Marlo", "Other", "Ravel"}));

    // The first Marlo is untouched.
    QVERIFY(ravel->send("Marlo Hello"));
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!"));
}

void TstStarsOnBus::busRestart()
{
    const quint16 port = bus->port();
    QSignalSpy notReady(stars, &Stars::starsIsNotReady);
    bus->stop();
    QTRY_COMPARE(notReady.count(), 1);
    QCOMPARE(stars->linkState(), 0);
    QVERIFY(bus->start(QHostAddress::LocalHost, port));
    stars->connectToStars();
    QTRY_VERIFY(stars->isConnected());
    QVERIFY(ravel->connectToBus(QHostAddress::LocalHost, port, "Ravel", BusKeys::keyFilePath(dir.path(), "Ravel")));
    QVERIFY(ravel->send("Marlo IsBusy"));
    QCOMPARE(ravel->waitForLine().value_or("(none)"), QStringLiteral("Marlo>Ravel @IsBusy 0"));
}

QTEST_MAIN(TstStarsOnBus)
#include "tst_starsonbus.moc"
