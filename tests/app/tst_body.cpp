// The main window: the log settings it takes from the configuration, the
// quit box and closing, and the log sink's lifetime.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include "body.h"
#include "cfgfile.h"
#include "logarea.h"
#include "logsink.h"
#include "msgcapture.h"

static QStringList shownMessages(Body &body)
{
    QStringList out;
    const QString text = body.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    for (const QString &l : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out << l.mid(22);
    return out;
}

class TestBody : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CfgFile> cfg;
    const QString oldCwd = QDir::currentPath();

    void useConfig(const QByteArray &content)
    {
        QFile f(QStringLiteral("config.cfg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content + "\nDATA_LINK_CH_PORT 0\n");   // an ephemeral port for the data link
        f.close();
        cfg = std::make_unique<CfgFile>(QStringList{"marlo"});
        cfg->readFile(QStringLiteral("config.cfg"));
        CfgFile::setInstance(cfg.get());
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
        useConfig(QByteArray());
    }
    void cleanup()
    {
        CfgFile::setInstance(nullptr);
        logSink = nullptr;
        QDir::setCurrent(oldCwd);
    }

    void logSettings_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("writeTo");
        QTest::addColumn<bool>("verbose");
        QTest::newRow("defaults") << QByteArray() << true << false;
        QTest::newRow("both switched") << QByteArray("WRITE_LOG_FILE 0\nVERBOSE 1\n") << false << true;
        QTest::newRow("words are off") << QByteArray("write_log_file yes\nVERBOSE on\n") << false << false;
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
        emit body.log(QStringLiteral("hello"), QColor(255, 0, 0));
        QCOMPARE(shownMessages(body), (QStringList{"Starting !!", "Reading out DSP Settings", "hello"}));
        QCOMPARE(QFile::exists(body.logArea()->logFileName()), writeTo);
    }

    // "Quit" asks first: No keeps the window, Yes finishes. Closing finishes without asking.
    void quitAndClose()
    {
        Body body;
        body.show();
        QSignalSpy finishing(&body, &Body::finishing);
        QMessageBox *box = body.quitDialog();
        QPushButton *quit = body.findChild<QPushButton *>(QStringLiteral("Quit"));
        quit->click();
        QVERIFY(box->isVisible());
        box->button(QMessageBox::No)->click();
        QVERIFY(!box->isVisible());
        QCOMPARE(finishing.count(), 0);
        QVERIFY(body.isVisible());

        quit->click();
        MsgCapture cap;
        box->button(QMessageBox::Yes)->click();
        QCOMPARE(finishing.count(), 1);
        QVERIFY(cap.messages.contains(QStringLiteral("ok quit")));

        Body other;
        other.show();
        QSignalSpy closing(&other, &Body::finishing);
        QVERIFY(other.close());
        QCOMPARE(closing.count(), 1);
        QVERIFY(!other.quitDialog()->isVisible());
    }

    // A window going away clears the sink only when the sink is its own log area.
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
    }
};

QTEST_MAIN(TestBody)
#include "tst_body.moc"
