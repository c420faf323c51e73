#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "logarea.h"
#include "logsink.h"
#include "msgcapture.h"
#include "startup.h"

namespace {

QString textOf(QWidget *w)
{
    if (auto m = qobject_cast<QMessageBox *>(w))
        return m->text();
    if (auto b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto e = qobject_cast<QLineEdit *>(w))
        return e->text();
    return w->windowTitle();
}

QMessageBox *quitBox()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("quitBox"))
            return qobject_cast<QMessageBox *>(w);
    }
    return nullptr;
}

QStringList shownMessages(Body &body)
{
    QStringList out;
    const QString text = body.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    for (const QString &l : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out << l.mid(22);
    return out;
}

} // namespace

class TestBody : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QString oldCwd;
    std::unique_ptr<CfgFile> cfg;

    void useConfig(const QByteArray &content)
    {
        QFile f(QStringLiteral("config.cfg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content + "\nDATA_LINK_CH_PORT 0\n");
        f.close();
        cfg = std::make_unique<CfgFile>(QStringList{"marlo"});
        cfg->readFile(QStringLiteral("config.cfg"));
        CfgFile::setInstance(cfg.get());
    }

    void textRows()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("japanese");
        const auto row = [](const char *obj, const char *en, const char *ja) {
            QTest::newRow(obj) << QString::fromLatin1(obj) << QString::fromUtf8(en) << QString::fromUtf8(ja);
        };
        row("Body", "Marlo", "Marlo (Korvane DSP driver for Stars)");
        row("Quit", "Quit", "終了");
        row("label", "Log: ", "記録");
        row("LogMsgToStars", "Msg to Stars", "Starsへのメッセージ");
        row("LogMsgFromStars", "Msg from Stars", "Starsからのメッセージ");
        row("EmulateSignal", "Emulate", "疑似スペクトル発生");
        row("ShowSettings", "Show Settings", "DSP設定");
        row("label_4", "DeBug Function ! : Discard Data Link", "検証用: データリンクを切る");
        row("DiscardDLinBody", "in Body", "無条件");
        row("DiscardDLinVexDA", "in a VexDA", "DSP読出時");
        row("label_3", "Delay", "遅延");
        row("DiscardDLDelay", "1000", "1000");
        row("label_2", "[ms]", "[ms]");
        row("Log", "Log Area", "記録表示領域");
        row("IsWriteTo", "Write To", "書出");
        row("Verbose", "Verbose", "詳細情報");
        row("KeepAtEnd", "Keep at End", "Keep at End");
        row("quitBox", "Quit", "終了");
    }

    void checkTexts(bool translated)
    {
        QFETCH(QString, object);
        QFETCH(QString, english);
        QFETCH(QString, japanese);
        Body body;
        QWidget *w = object == QLatin1String("Body")      ? &body
                     : object == QLatin1String("quitBox") ? quitBox()
                                                          : body.findChild<QWidget *>(object);
        QVERIFY2(w, qPrintable(object));
        QCOMPARE(textOf(w), translated ? japanese : english);
    }

private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
    }
    void init()
    {
        oldCwd = QDir::currentPath();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
        // Every window of a test serves its data link on an ephemeral port.
        useConfig(QByteArray());
    }
    void cleanup()
    {
        CfgFile::setInstance(nullptr);
        cfg.reset();
        logSink = nullptr;
        QDir::setCurrent(oldCwd);
        delete dir;
        dir = nullptr;
    }

    void englishTexts_data() { textRows(); }
    void englishTexts() { checkTexts(false); }

    void japaneseTexts_data() { textRows(); }
    void japaneseTexts()
    {
        QTranslator t;
        QVERIFY(loadCatalogue(t));
        QVERIFY(QCoreApplication::installTranslator(&t));
        checkTexts(true);
        QCoreApplication::removeTranslator(&t);
    }

    // The embedded catalogue answers every message of the translation source.
    void catalogueMatchesSource()
    {
        QFile ts(QStringLiteral(MARLO_SOURCE_DIR "/resources/Marlo_ja_JP.ts"));
        QVERIFY(ts.open(QIODevice::ReadOnly));
        QTranslator t;
        QVERIFY(loadCatalogue(t));
        QXmlStreamReader xml(&ts);
        QString context, source, translation;
        bool unfinished = false;
        QSet<QString> contexts;
        int messages = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("name")) {
                context = xml.readElementText();
                contexts.insert(context);
            } else if (xml.name() == QLatin1String("source")) {
                source = xml.readElementText();
            } else if (xml.name() == QLatin1String("translation")) {
                unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
                translation = xml.readElementText();
                const QString expected = unfinished || translation.isEmpty() ? QString() : translation;
                QCOMPARE(t.translate(context.toLatin1().constData(), source.toUtf8().constData()), expected);
                ++messages;
            }
        }
        QVERIFY(!xml.hasError());
        QCOMPARE(contexts, (QSet<QString>{"Body", "LogArea", "Stars", "ConnectStat", "UnitStat", "StatDisp", "QObject",
                                          "DspSettingCtrl", "ConfigLine", "VexHv", "SpectraWindow", "SpectrumPlot"}));
        QVERIFY(messages >= 80);
    }

    void formRows_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        const auto row = [](const char *obj, const char *layout, int r, int c) {
            QTest::newRow(obj) << QString::fromLatin1(obj) << QString::fromLatin1(layout) << r << c;
        };
        row("frame_4", "", 0, 0);
        row("frame", "", 3, 0);
        row("frame_5", "", 4, 0);
        row("Log", "", 5, 0);
        row("Quit", "gridLayout_5", 0, 1);
        row("StarsUi", "gridLayout_3", 0, 0);
        row("LogMsgToStars", "gridLayout_2", 0, 1);
        row("LogMsgFromStars", "gridLayout_2", 0, 2);
        row("EmulateSignal", "gridLayout_2", 0, 4);
        row("ShowSettings", "gridLayout_2", 0, 5);
        row("DiscardDLinBody", "gridLayout_6", 0, 2);
        row("DiscardDLinVexDA", "gridLayout_6", 0, 3);
        row("DiscardDLDelay", "gridLayout_6", 0, 5);
    }
    void formRows()
    {
        QFETCH(QString, object);
        QFETCH(QString, layout);
        QFETCH(int, row);
        QFETCH(int, column);
        Body body;
        QGridLayout *grid = layout.isEmpty() ? qobject_cast<QGridLayout *>(body.layout())
                                             : body.findChild<QGridLayout *>(layout);
        QVERIFY(grid);
        QWidget *w = body.findChild<QWidget *>(object);
        QVERIFY(w);
        const int index = grid->indexOf(w);
        QVERIFY(index >= 0);
        int r, c, rs, cs;
        grid->getItemPosition(index, &r, &c, &rs, &cs);
        QCOMPARE(r, row);
        QCOMPARE(c, column);
    }

    void formDetails()
    {
        Body body;
        QCOMPARE(body.size(), QSize(555, 419));
        QCOMPARE(qobject_cast<QGridLayout *>(body.layout())->objectName(), QStringLiteral("gridLayout"));
        QGridLayout *stats = body.findChild<QGridLayout *>(QStringLiteral("DspStats"));
        QVERIFY(stats);
        QCOMPARE(stats->count(), 0);
        auto *delay = body.findChild<QLineEdit *>(QStringLiteral("DiscardDLDelay"));
        QCOMPARE(delay->maximumWidth(), 50);
        QCOMPARE(delay->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        for (const char *name : {"LogMsgToStars", "LogMsgFromStars", "EmulateSignal"})
            QVERIFY(!body.findChild<QCheckBox *>(QLatin1String(name))->isChecked());
        QCOMPARE(body.logArea(), body.findChild<LogArea *>(QStringLiteral("Log")));
        QCOMPARE(body.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->document()->maximumBlockCount(), 2000);
        QVERIFY(body.findChild<QWidget *>(QStringLiteral("StarsUi")));
    }

    void logSettings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("writeTo");
        QTest::addColumn<bool>("verbose");
        QTest::newRow("defaults") << QByteArray() << true << false;
        QTest::newRow("both switched") << QByteArray("WRITE_LOG_FILE 0\nVERBOSE 1\n") << false << true;
        QTest::newRow("lower case, 01 and 2") << QByteArray("write_log_file 01\nverbose 2\n") << true << false;
        QTest::newRow("words are off") << QByteArray("WRITE_LOG_FILE yes\nVERBOSE on\n") << false << false;
        QTest::newRow("empty values are off") << QByteArray("WRITE_LOG_FILE\nVERBOSE\n") << false << false;
    }
    void logSettings()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, writeTo);
        QFETCH(bool, verbose);
        useConfig(content);
        Body body;
        QCOMPARE(body.logArea()->isWriteToFile(), writeTo);
        QCOMPARE(body.logArea()->isVerbose(), verbose);
        // The settings editor's start-up read-out follows the first line.
        const QStringList startUp{"Starting !!", "Reading out DSP Settings"};
        QCOMPARE(shownMessages(body), startUp);
        QCOMPARE(QFile::exists(body.logArea()->logFileName()), writeTo);
        if (writeTo) {
            QFile f(body.logArea()->logFileName());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = f.readAll().split('\n');
            QVERIFY(lines.value(0).endsWith(":Starting !!"));
            QVERIFY(lines.value(1).endsWith(":Reading out DSP Settings"));
            QCOMPARE(QFileInfo(f).absolutePath(), QDir::currentPath());
        }
    }

    void logSignalReachesLogArea()
    {
        Body body;
        emit body.log(QStringLiteral("hello"), QColor(255, 0, 0));
        emit body.log(QStringLiteral("plain"));
        QCOMPARE(shownMessages(body), (QStringList{"Starting !!", "Reading out DSP Settings", "hello", "plain"}));
    }

    void quitNoThenOk()
    {
        Body body;
        body.show();
        QSignalSpy finishing(&body, &Body::finishing);
        QMessageBox *box = quitBox();
        QCOMPARE(box->standardButtons(), QMessageBox::No | QMessageBox::Ok);

        body.findChild<QPushButton *>(QStringLiteral("Quit"))->click();
        QVERIFY(box->isVisible());
        box->button(QMessageBox::No)->click();
        QVERIFY(!box->isVisible());
        QCOMPARE(finishing.count(), 0);
        QVERIFY(body.isVisible());

        body.findChild<QPushButton *>(QStringLiteral("Quit"))->click();
        QVERIFY(box->isVisible());
        MsgCapture cap;
        box->button(QMessageBox::Ok)->click();
        QCOMPARE(finishing.count(), 1);
        QCOMPARE(cap.count(QStringLiteral("ok quit")), 1);
    }

    void okEndsTheLoop()
    {
        Body body;
        body.show();
        QEventLoop loop;
        connect(&body, &Body::finishing, &loop, [&loop] { loop.exit(0); });
        QTimer::singleShot(0, &body, [&body] {
            body.findChild<QPushButton *>(QStringLiteral("Quit"))->click();
            QTimer::singleShot(0, [] { quitBox()->button(QMessageBox::Ok)->click(); });
        });
        QTimer watchdog;   // a hang fails the test instead of blocking it
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
        watchdog.start(60000);
        QCOMPARE(loop.exec(), 0);
    }

    void closeEmitsFinishing()
    {
        Body body;
        body.show();
        QSignalSpy finishing(&body, &Body::finishing);
        QVERIFY(body.close());
        QCOMPARE(finishing.count(), 1);
        QVERIFY(!body.isVisible());
        QVERIFY(!quitBox()->isVisible());
    }

    void destructionClearsSink()
    {
        auto body = std::make_unique<Body>();
        logSink = body->logArea();
        sinkLog(QStringLiteral("through the sink"));
        QCOMPARE(shownMessages(*body).last(), QStringLiteral("through the sink"));
        body.reset();
        QCOMPARE(logSink, nullptr);
        sinkLog(QStringLiteral("dropped"));

        LogArea other;
        logSink = &other;
        body = std::make_unique<Body>();
        body.reset();
        QCOMPARE(logSink, &other);
        logSink = nullptr;
    }
};

QTEST_MAIN(TestBody)
#include "tst_body.moc"
