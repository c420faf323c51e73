// The log area: time-stamped lines on screen (at most its block cap) and in
// the log file (every line), gated by Verbose and Write To.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

#include "logarea.h"
#include "logsink.h"
#include "marloversion.h"
#include "msgcapture.h"

namespace {

// The messages of a log file's lines or of the lines shown, without their
// time stamps ("yy/MM/dd hh:mm:ss.zzz:" is 22 characters).
QStringList msgs(const QString &text)
{
    QStringList out;
    for (const QString &l : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out << l.mid(22);
    return out;
}

QStringList stored(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? msgs(QString::fromUtf8(f.readAll())) : QStringList();
}

QStringList shown(LogArea &area)
{
    return msgs(area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText());
}

} // namespace

class TestLogArea : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    const QString oldCwd = QDir::currentPath();

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(dir->path()));
    }
    void cleanup()
    {
        logSink = nullptr;
        QDir::setCurrent(oldCwd);
    }

    void gating_data()
    {
        QTest::addColumn<bool>("writeTo");
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<QStringList>("onScreen");
        QTest::addColumn<QStringList>("inFile");
        // A new file starts with the version of the build that writes it.
        const QString v = QStringLiteral("marlo ") + QLatin1String(marloVersion());
        QTest::newRow("plain") << false << false << QStringList{"log", "sink"} << QStringList{};
        QTest::newRow("verbose") << false << true << QStringList{"log", "vlog", "sink", "vsink"} << QStringList{};
        QTest::newRow("write") << true << false << QStringList{"log", "sink"} << QStringList{v, "log", "sink"};
        QTest::newRow("write verbose") << true << true << QStringList{"log", "vlog", "sink", "vsink"}
                                       << QStringList{v, "log", "vlog", "sink", "vsink"};
    }
    void gating()
    {
        QFETCH(bool, writeTo);
        QFETCH(bool, verbose);
        LogArea area;
        area.setWriteToFile(writeTo);
        area.setVerbose(verbose);
        area.log(QStringLiteral("log"));
        area.vlog(QStringLiteral("vlog"));
        sinkLog(QStringLiteral("no sink: dropped"));
        logSink = &area;
        sinkLog(QStringLiteral("sink"), QColor(255, 0, 0));
        sinkVlog(QStringLiteral("vsink"));
        QTEST(shown(area), "onScreen");
        QTEST(stored(area.logFileName()), "inFile");
        QCOMPARE(QFile::exists(area.logFileName()), writeTo);
    }

    void displayCap()
    {
        LogArea area(nullptr, 2000);
        area.setWriteToFile(true);
        const int total = 2600;
        for (int i = 0; i < total; ++i)
            area.log(QStringLiteral("line %1").arg(i));
        QVERIFY(area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->document()->blockCount() <= 2000);
        const QStringList onScreen = shown(area);
        QVERIFY(onScreen.size() >= 1999);
        QCOMPARE(onScreen.first(), QStringLiteral("line %1").arg(total - onScreen.size()));
        QCOMPARE(onScreen.last(), QStringLiteral("line %1").arg(total - 1));
        const QStringList inFile = stored(area.logFileName());
        QCOMPARE(inFile.size(), total + 1);   // the version line first
        for (int i = 0; i < total; ++i)
            QCOMPARE(inFile.at(i + 1), QStringLiteral("line %1").arg(i));
    }

    // A run of identical lines: the first line, then one count of the
    // repeats when another line comes ("~": when the run has lasted long
    // enough); on screen and in the file alike.
    void repeatsCollapse_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("logged");
        const QString twice = QStringLiteral("(the line above repeated 2 times)");
        QTest::newRow("no repeat") << QStringList{"a", "b", "a"} << QStringList{"a", "b", "a"};
        QTest::newRow("ended by another line")
            << QStringList{"a", "a", "a", "b", "b"} << QStringList{"a", twice, "b", "(the line above repeated 1 times)"};
        QTest::newRow("ended by time") << QStringList{"a", "a", "a", "~", "a", "a"}
                                       << QStringList{"a", twice, "a", "(the line above repeated 1 times)"};
        QTest::newRow("time without repeat") << QStringList{"a", "~", "a"} << QStringList{"a", "(the line above repeated 1 times)"};
    }
    void repeatsCollapse()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, logged);
        {
            LogArea area;
            area.setWriteToFile(true);
            area.setRepeatFlushMs(50);
            for (const QString &l : lines) {
                if (l == QLatin1String("~"))
                    QTest::qWait(150);
                else
                    area.log(l);
            }
            QCOMPARE(shown(area), stored(area.logFileName()).mid(1));   // after the version line
        }
        // The count of a run still open is written when the area goes.
        const QStringList files = QDir::current().entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QCOMPARE(stored(files.first()).mid(1), logged);
    }

    void unwritableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing folder") << "no/such/folder/log.dat";
        QTest::newRow("a folder") << ".";
        QTest::newRow("empty") << "";
    }
    void unwritableFile()
    {
        QFETCH(QString, name);
        LogArea area;
        area.setWriteToFile(true);
        area.findChild<QLineEdit *>(QStringLiteral("LogFileName"))->setText(name);
        MsgCapture cap;
        area.log(QStringLiteral("kept on screen"));
        QCOMPARE(cap.messages, QStringList());
        QCOMPARE(shown(area), QStringList{"kept on screen"});
        QCOMPARE(QDir::current().entryList(QDir::Files), QStringList());
    }
};

QTEST_MAIN(TestLogArea)
#include "tst_logarea.moc"
