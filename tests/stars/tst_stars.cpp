// The Stars panel: its form, the lines it writes, the busy events, the
// dispatch of received lines and the host/port journal.
#include <functional>

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTest>

#include "starstestutil.h"

class TstStars : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void initialState();
    void settingsAreReadAtUse();
    void notReady_data();
    void notReady();
    void lines_data();
    void lines();
    void logSending();
    void setBusy();
    void dispatchAnswers_data();
    void dispatchAnswers();
    void dispatchSignals_data();
    void dispatchSignals();
    void helloUsesCurrentName();
    void journal();
    void commandTable();
    void translation();

private:
    QTemporaryDir dir;
    QString keyFile;
    FakeServer *server = nullptr;
    Stars *stars = nullptr;
};

void TstStars::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir::setCurrent(dir.path()));   // the journal is written to the working directory
    keyFile = writeKeyFile(dir.filePath("Marlo.key"), "k0\nk1\nk2\n");
    QVERIFY(!keyFile.isEmpty());
}

void TstStars::init()
{
    server = new FakeServer;
    QVERIFY(server->listen());
    stars = new Stars;
    aimAt(*stars, *server, keyFile);
}

void TstStars::cleanup()
{
    delete stars;
    stars = nullptr;
    delete server;
    server = nullptr;
}

void TstStars::form()
{
    Stars s;
    QCOMPARE(s.windowTitle(), QStringLiteral("Stars Settings"));
    auto *grid = s.findChild<QGridLayout *>("gridLayout");
    QVERIFY(grid);
    const struct { const char *name; int row, col; const char *text; } cells[] = {
        {"L01", 0, 1, "Name on Stares"}, {"L02", 0, 2, "Key File Name"}, {"L03", 0, 3, "Host"},
        {"L04", 0, 4, "Port"}, {"L05", 0, 5, "Action"}, {"L06", 0, 6, "Status"}, {"L11", 1, 0, "Stars:"},
        {"nameOnStarsLE", 1, 1, "Lumen"}, {"keyFileLE", 1, 2, "Lumen.key"}, {"hostLE", 1, 3, "localhost"},
        {"portLE", 1, 4, "6057"}, {"connectB", 1, 5, "Connect"}, {"statusL", 1, 6, "Disconnected"},
    };
    for (const auto &e : cells) {
        QWidget *w = grid->itemAtPosition(e.row, e.col)->widget();
        QCOMPARE(w->objectName(), QString::fromLatin1(e.name));
        const QString text = qobject_cast<QLabel *>(w)      ? qobject_cast<QLabel *>(w)->text()
                             : qobject_cast<QLineEdit *>(w) ? qobject_cast<QLineEdit *>(w)->text()
                                                            : qobject_cast<QPushButton *>(w)->text();
        QCOMPARE(text, QString::fromLatin1(e.text));
    }
    QCOMPARE(s.keyFileEdit(), s.findChild<QLineEdit *>("keyFileLE"));
}

void TstStars::initialState()
{
    Stars s;
    // The pink style of the form has been replaced by state 0.
    QCOMPARE(s.statusLabel()->styleSheet(), QStringLiteral("background-color: rgb(176, 192, 192);"));
    QCOMPARE(s.connectButton()->styleSheet(), QStringLiteral("background-color: rgb(96, 255, 181);"));
    QCOMPARE(s.linkState(), 0);
    QVERIFY(!s.isConnected());
    QVERIFY(!s.busy());
    QVERIFY(!s.logSendingMsg());
}

void TstStars::settingsAreReadAtUse()
{
    Stars s;
    s.setHost("h");
    s.setPort("6060");
    s.setNodeName("N");
    s.setKeyFile("k.key");
    QCOMPARE(s.port(), quint16(6060));
    s.portEdit()->setText("abc");
    QCOMPARE(s.port(), quint16(0));
    s.portEdit()->setText("70000");
    QCOMPARE(s.port(), quint16(0));
    s.nodeNameEdit()->setText("Other");
    QSignalSpy ev(&s, &Stars::sendingEventToStars);
    s.sendEvent("", "x");
    QCOMPARE(ev.at(0).at(0).toString(), QStringLiteral("Stars is not ready (Other>System _x)"));
}

// What each sender writes, as a function of the panel, and the line.
using SendFn = std::function<void(Stars &)>;
Q_DECLARE_METATYPE(SendFn)

static AMsg parsed(const QString &line)
{
    AMsg m;
    m.parse(line);
    return m;
}

void TstStars::notReady_data()
{
    lines_data();
}

// Before the link is up each line goes to its signal only, marked as not sent.
void TstStars::notReady()
{
    QFETCH(SendFn, fn);
    QFETCH(QByteArray, line);
    QFETCH(QString, kind);
    if (line.contains('?'))
        QSKIP("the text carries the line as composed");
    const QString text = QStringLiteral("Stars is not ready (%1)").arg(QString::fromLatin1(line.chopped(1)));

    // Not connected at all, then with the TCP link open but the key not yet accepted.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            stars->connectToStars();
            QVERIFY(server->waitForClient());
        }
        QSignalSpy ans(stars, &Stars::sendingAnsToStars);
        QSignalSpy ev(stars, &Stars::sendingEventToStars);
        QSignalSpy ask(stars, &Stars::sendingAskToStars);
        fn(*stars);
        QSignalSpy &spy = kind == "ans" ? ans : kind == "event" ? ev : ask;
        QCOMPARE(ans.count() + ev.count() + ask.count(), 1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), text);
    }
    // Nothing reached the server: the next thing it sees is the key line.
    server->send("0\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo k0\n"));
}

void TstStars::lines_data()
{
    QTest::addColumn<SendFn>("fn");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("kind");

    QTest::newRow("answer from the channel addressed")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo.ch2 GetValue 1"), "12"); })
        << QByteArray("Marlo.ch2>Ravel @GetValue 12\n") << "ans";
    QTest::newRow("answer to the sender as written")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel.c9>Marlo GetValue"), "1 2"); })
        << QByteArray("Marlo>Ravel.c9 @GetValue 1 2\n") << "ans";
    QTest::newRow("answer keeps the receiver's own name")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo2 Hello"), "x"); })
        << QByteArray("Marlo2>Ravel @Hello x\n") << "ans";
    QTest::newRow("empty answer keeps the blank")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo X"), ""); })
        << QByteArray("Marlo>Ravel @X \n") << "ans";
    QTest::newRow("answer with percent signs")
        << SendFn([](Stars &s) { s.sendAns(parsed("Ravel>Marlo X"), "%1 %2 100%"); })
        << QByteArray("Marlo>Ravel @X %1 %2 100%\n") << "ans";
    QTest::newRow("ok")
        << SendFn([](Stars &s) { s.sendOk(parsed("Ravel>Marlo RunStop")); })
        << QByteArray("Marlo>Ravel @RunStop Ok:\n") << "ans";
    QTest::newRow("event without channel")
        << SendFn([](Stars &s) { s.sendEvent("", QStringLiteral("ChangedIsBusy %1").arg(1)); })
        << QByteArray("Marlo>System _ChangedIsBusy 1\n") << "event";
    QTest::newRow("event with channel")
        << SendFn([](Stars &s) { s.sendEvent("ch1", "x"); })
        << QByteArray("Marlo.ch1>System _x\n") << "event";
    QTest::newRow("ask without value: no trailing blank")
        << SendFn([](Stars &s) { s.sendCmdV("", "Ravel", "SetValue", ""); })
        << QByteArray("Marlo>Ravel SetValue\n") << "ask";
    QTest::newRow("ask with value")
        << SendFn([](Stars &s) { s.sendCmdV("c", "Ravel.x", "SetValue", "5 6"); })
        << QByteArray("Marlo.c>Ravel.x SetValue 5 6\n") << "ask";
    QTest::newRow("sendCmd")
        << SendFn([](Stars &s) { s.sendCmd("", "Ravel", "Go"); })
        << QByteArray("Marlo>Ravel Go\n") << "ask";
    QTest::newRow("Latin-1 kept, others lost")
        << SendFn([](Stars &s) { s.sendEvent("", QString::fromUtf8("\xc3\xa9\xe2\x82\xac")); })
        << QByteArray("Marlo>System _\xe9?\n") << "event";
}

void TstStars::lines()
{
    QFETCH(SendFn, fn);
    QFETCH(QByteArray, line);
    QFETCH(QString, kind);

    QVERIFY(bringUp(*stars, *server));
    QSignalSpy ans(stars, &Stars::sendingAnsToStars);
    QSignalSpy ev(stars, &Stars::sendingEventToStars);
    QSignalSpy ask(stars, &Stars::sendingAskToStars);
    fn(*stars);
    QCOMPARE(server->nextLine(), line);
    QSignalSpy &spy = kind == "ans" ? ans : kind == "event" ? ev : ask;
    QCOMPARE(ans.count() + ev.count() + ask.count(), 1);
    QCOMPARE(spy.count(), 1);
    // The signal carries the line as composed (before the Latin-1 conversion).
    QCOMPARE(spy.at(0).at(0).toString().toLatin1() + '\n', line);
}

void TstStars::logSending()
{
    QVERIFY(bringUp(*stars, *server));
    QSignalSpy log(stars, &Stars::log);
    stars->sendEvent("", "a");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _a\n"));
    QCOMPARE(log.count(), 0);

    stars->setLogSendingMsg(true);
    QVERIFY(stars->logSendingMsg());
    stars->sendCmd("", "Ravel", "Go");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel Go\n"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.at(0).at(0).toString(), QStringLiteral("---- Snd Marlo>Ravel Go"));
    QCOMPARE(log.at(0).at(1).value<QColor>(), QColor(0, 200, 120));

    // Not written, not logged.
    stars->setLogSendingMsg(true);
    stars->connectToStars();   // state 2: closes
    QTRY_COMPARE(stars->linkState(), 0);
    log.clear();
    stars->sendCmd("", "Ravel", "Go");
    QCOMPARE(log.count(), 0);
}

void TstStars::setBusy()
{
    QSignalSpy ev(stars, &Stars::sendingEventToStars);
    // Construction sent nothing.
    QCOMPARE(ev.count(), 0);
    stars->setBusy(false);
    QCOMPARE(ev.count(), 0);
    stars->setBusy(true);
    stars->setBusy(true);
    QCOMPARE(ev.count(), 1);
    QCOMPARE(ev.at(0).at(0).toString(), QStringLiteral("Stars is not ready (Marlo>System _ChangedIsBusy 1)"));
    QVERIFY(stars->busy());   // stored although nothing could be sent

    // "IsBusy" answers the flag.
    QVERIFY(bringUp(*stars, *server));
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 1\n"));
    stars->setBusy(false);
    stars->setBusy(false);
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _ChangedIsBusy 0\n"));
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    stars->setBusy(true);
    QCOMPARE(server->nextLine(), QByteArray("Marlo>System _ChangedIsBusy 1\n"));
    QCOMPARE(ev.count(), 3);
    QVERIFY(server->unread().isEmpty());
}

void TstStars::dispatchAnswers_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("answer");

    const QByteArray hello = " @Hello Hello! I am Marlo. Nice to meet you!\n";
    QTest::newRow("Hello") << QByteArray("Ravel>Marlo Hello\n") << "Marlo>Ravel" + hello;
    QTest::newRow("Hello CR LF") << QByteArray("Ravel>Marlo Hello\r\n") << "Marlo>Ravel" + hello;
    QTest::newRow("Hello as event") << QByteArray("Ravel>Marlo _Hello\n") << "Marlo>Ravel" + hello;
    QTest::newRow("Hello as answer") << QByteArray("Ravel>Marlo @Hello\n") << "Marlo>Ravel" + hello;
    QTest::newRow("Hello with channels and parameters")
        << QByteArray("Ravel.ch3>Marlo.c1 Hello x y\n") << "Marlo.c1>Ravel.ch3" + hello;
    QTest::newRow("Hello to another name") << QByteArray("Ravel>Other Hello\n")
        << QByteArray("Other>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n");
    QTest::newRow("Help")
        << QByteArray("Ravel>Marlo Help\n")
        << QByteArray("Marlo>Ravel @Help Commands : Hello Help IsBusy GetMCALength GetPeakingTime RunStart Resume "
                      "RunStop Clear Start Stop GetMCAs SetNormalizeType GetNormalizeType SetPresetType "
                      "GetPresetType SetPresetValue GetPresetValue SetROI SetROIs GetROI GetROIs GetValue "
                      "GetValueInROI GetValues GetValuesInROI GetRealTime GetLiveTime GetRealTimes GetLiveTimes "
                      "GetDeadTimes HVStart HVStop HVStat2 HVVol GetThreshold GetCalibration GetDynamicRange "
                      "GetPreAMPGain GetDataLinkCh Status SetConfig GetHistgram GetMeasTimeInSec "
                      "SetMeasTimeInSec\n");
    QTest::newRow("Help GetValue")
        << QByteArray("Ravel>Marlo Help GetValue\n")
        << QByteArray("Marlo>Ravel @Help : Get Value of a Ch in ROI (same as GetValueInROI)\n");
    QTest::newRow("Help looks at the first parameter only")
        << QByteArray("Ravel>Marlo Help GetThreshold Hello\n")
        << QByteArray("Marlo>Ravel @Help : Get Thresold of a ch  (returns dummy value)\n");
    QTest::newRow("Help as event") << QByteArray("Ravel>Marlo _Help Hello\n")
                                   << QByteArray("Marlo>Ravel @Help : Answer greeting message\n");
    QTest::newRow("Help is case-sensitive") << QByteArray("Ravel>Marlo Help hello\n")
                                            << QByteArray("Marlo>Ravel @Help Er: Command [hello] not found.\n");
    QTest::newRow("Help trailing blank: empty name")
        << QByteArray("Ravel>Marlo Help \n") << QByteArray("Marlo>Ravel @Help Er: Command [] not found.\n");
    QTest::newRow("Help quoted name")
        << QByteArray("Ravel>Marlo Help \"GetValue\"\n")
        << QByteArray("Marlo>Ravel @Help : Get Value of a Ch in ROI (same as GetValueInROI)\n");
    QTest::newRow("IsBusy") << QByteArray("Ravel>Marlo IsBusy\n") << QByteArray("Marlo>Ravel @IsBusy 0\n");
    QTest::newRow("IsBusy as event") << QByteArray("Ravel>Marlo _IsBusy\n") << QByteArray("Marlo>Ravel @IsBusy 0\n");
    QTest::newRow("IsBusy as answer") << QByteArray("Ravel>Marlo @IsBusy 1\n") << QByteArray("Marlo>Ravel @IsBusy 0\n");
    // Bad input: an empty answer means the line is dropped.
    QTest::newRow("CR inside")
        << QByteArray("Ravel>Marlo Hel\rlo\n")
        << QByteArray("Marlo>Ravel @Hello Hello! I am Marlo. Nice to meet you!\n");
    QTest::newRow("invalid UTF-8 in the sender")
        << QByteArray("Rav\xff\xfe" "el>Marlo Help nope\n")
        << QByteArray("Marlo>Rav??el @Help Er: Command [nope] not found.\n");
    QTest::newRow("invalid UTF-8 in a parameter")
        << QByteArray("Ravel>Marlo Help \xc3\n")
        << QByteArray("Marlo>Ravel @Help Er: Command [?] not found.\n");
    QTest::newRow("NUL in the receiver")
        << QByteArray("Ravel>Mar\0lo IsBusy\n", 20)
        << QByteArray("Mar\0lo>Ravel @IsBusy 0\n", 23);
    QTest::newRow("NUL alone") << QByteArray("\0\n", 2) << QByteArray();
    QTest::newRow("only blanks") << QByteArray(" \t \n") << QByteArray();
    QTest::newRow("lone CR") << QByteArray("\r\n") << QByteArray();
    QTest::newRow("UTF-8 text is decoded")
        << QByteArray("Ravel>Marlo Help \xc3\xa9\n")
        << QByteArray("Marlo>Ravel @Help Er: Command [\xe9] not found.\n");
}

// Lines answered by the panel itself (or dropped), none passed on.
void TstStars::dispatchAnswers()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, answer);

    QVERIFY(bringUp(*stars, *server));
    QSignalSpy ask(stars, &Stars::anyAsk);
    QSignalSpy ev(stars, &Stars::anyEvent);
    QSignalSpy ans(stars, &Stars::anyAns);
    QSignalSpy vlog(stars, &Stars::vlog);
    server->send(received);
    server->send("Ravel>Marlo IsBusy\n");
    if (!answer.isEmpty())
        QCOMPARE(server->nextLine(), answer);
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    QCOMPARE(ask.count() + ev.count() + ans.count(), 0);
    QCOMPARE(vlog.count(), 2);   // every received line is logged, also a dropped one
    QVERIFY(vlog.at(0).at(0).toString().startsWith("msg from stars["));
    QCOMPARE(stars->linkState(), 2);
}

void TstStars::dispatchSignals_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<int>("cmdId");
    QTest::addColumn<QString>("cmd");

    QTest::newRow("request") << QByteArray("Ravel>Marlo GetValue 1\n") << "ask" << 25 << "GetValue";
    QTest::newRow("request RunStart") << QByteArray("Ravel>Marlo RunStart\n") << "ask" << 6 << "RunStart";
    QTest::newRow("request with id 3 late in the table")
        << QByteArray("Ravel>Marlo GetDataLinkCh\n") << "ask" << 3 << "GetDataLinkCh";
    QTest::newRow("unknown request") << QByteArray("Ravel>Marlo getvalue 1\n") << "ask" << 46 << "getvalue";
    QTest::newRow("empty command") << QByteArray("Ravel>Marlo \n") << "ask" << 46 << "";
    QTest::newRow("answer") << QByteArray("Ravel>Marlo @GetValue 5\n") << "ans" << 25 << "GetValue";
    QTest::newRow("unknown answer") << QByteArray("Ravel>Marlo @Foo\n") << "ans" << 46 << "Foo";
    QTest::newRow("event") << QByteArray("Ravel>Marlo _ChangedIsBusy 1\n") << "event" << 46 << "ChangedIsBusy";
    QTest::newRow("event with a known name") << QByteArray("Ravel>Marlo _Status\n") << "event" << 40 << "Status";
    QTest::newRow("nothing after the head") << QByteArray("Ravel>Marlo\n") << "" << 0 << "";
    QTest::newRow("no >") << QByteArray("RavelMarlo Hello\n") << "" << 0 << "";
    QTest::newRow("empty line") << QByteArray("\n") << "" << 0 << "";
    QTest::newRow("CR only") << QByteArray("\r\n") << "" << 0 << "";
}

void TstStars::dispatchSignals()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, signal);
    QFETCH(int, cmdId);
    QFETCH(QString, cmd);

    QVERIFY(bringUp(*stars, *server));
    QSignalSpy ask(stars, &Stars::anyAsk);
    QSignalSpy ev(stars, &Stars::anyEvent);
    QSignalSpy ans(stars, &Stars::anyAns);
    QSignalSpy sent(stars, &Stars::sendingAnsToStars);
    server->send(received);
    // A request that is answered at once marks the end of the line under test.
    server->send("Ravel>Marlo IsBusy\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @IsBusy 0\n"));
    QCOMPARE(sent.count(), 1);   // only the marker was answered

    QSignalSpy *spy = signal == "ask" ? &ask : signal == "event" ? &ev : signal == "ans" ? &ans : nullptr;
    QCOMPARE(ask.count() + ev.count() + ans.count(), spy ? 1 : 0);
    if (spy) {
        const AMsg m = spy->at(0).at(0).value<AMsg>();
        QVERIFY(m.ok);
        QCOMPARE(m.cmdId, cmdId);
        QCOMPARE(m.cmd, cmd);
        QCOMPARE(m.from, QStringLiteral("Ravel"));
        // The handler can answer with the message it got.
        stars->sendAns(m, "r");
        QCOMPARE(server->nextLine(), "Marlo>Ravel @" + cmd.toLatin1() + " r\n");
    }
}

void TstStars::helloUsesCurrentName()
{
    QVERIFY(bringUp(*stars, *server));
    stars->setNodeName("Renamed");
    server->send("Ravel>Marlo Hello\n");
    QCOMPARE(server->nextLine(), QByteArray("Marlo>Ravel @Hello Hello! I am Renamed. Nice to meet you!\n"));
}

void TstStars::journal()
{
    QFile::remove("SSVHistory.dat");
    // Filling the fields from the program records nothing.
    stars->setHost("h0");
    QVERIFY(!QFile::exists("SSVHistory.dat"));

    const auto edit = [](QLineEdit *e, const QString &text) {
        e->setText(text);
        emit e->editingFinished();
    };
    edit(stars->hostEdit(), "myhost");
    edit(stars->hostEdit(), "myhost");
    edit(stars->portEdit(), "6057");
    edit(stars->portEdit(), "6057");
    edit(stars->hostEdit(), "other");
    {
        QFile f("SSVHistory.dat");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("A: myhost\nP: 6057\nA: other\n"));
    }
    // A lower-case tag written by hand counts as a host entry.
    {
        QFile f("SSVHistory.dat");
        QVERIFY(f.open(QIODevice::Append));
        f.write("a: typed\n");
    }
    edit(stars->hostEdit(), "typed");
    QFile f("SSVHistory.dat");
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("A: myhost\nP: 6057\nA: other\na: typed\n"));
}

void TstStars::commandTable()
{
    QCOMPARE(stars->cmdTable().size(), 45);
    QCOMPARE(stars->cmdIdOf("GetValue"), 25);
    QCOMPARE(stars->cmdIdOf("getvalue"), 46);
    QCOMPARE(stars->cmdHelpOf("Hello"), QStringLiteral("Answer greeting message"));
    QCOMPARE(stars->cmdHelpOf("nope"), QString());
    QVERIFY(stars->cmdNames().startsWith("Hello Help IsBusy "));
    QVERIFY(stars->cmdNames().endsWith(" SetMeasTimeInSec"));
}

void TstStars::translation()
{
    QTranslator ja;
    if (!ja.load(":Marlo_ja_JP"))
        QSKIP("the Japanese catalogue is not embedded");
    QCoreApplication::installTranslator(&ja);
    {
        Stars s;
        QCOMPARE(s.findChild<QLabel *>("L01")->text(), QString::fromUtf8("Starsでの名前"));
        QCOMPARE(s.findChild<QLabel *>("L11")->text(), QStringLiteral("Stars:"));
        QCOMPARE(s.windowTitle(), QString::fromUtf8("未接続"));
        // The link state texts come from the ConnectStat context.
        QCOMPARE(s.statusLabel()->text(), QString::fromUtf8("未接続状態"));
        QCOMPARE(s.connectButton()->text(), QString::fromUtf8("接続"));
    }
    QCoreApplication::removeTranslator(&ja);
}

QTEST_MAIN(TstStars)
#include "tst_stars.moc"
