#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QtTest>

#include "logarea.h"
#include "logsink.h"
#include "msgcapture.h"

namespace {

QStringList fileLines(const QString &name)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

// The message part of a log line ("yy/MM/dd hh:mm:ss.zzz:" is 22 characters).
QString msgOf(const QString &line)
{
    return line.mid(22);
}

QStringList shownLines(LogArea &area)
{
    QString text = area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText();
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList msgs(const QStringList &lines)
{
    QStringList out;
    for (const QString &l : lines)
        out << msgOf(l);
    return out;
}

QColor colourOfBlock(LogArea &area, int n)
{
    QTextCursor c(area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->document()->findBlockByNumber(n));
    c.movePosition(QTextCursor::Right);
    return c.charFormat().foreground().color();
}

} // namespace

class TestLogArea : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QString oldCwd;

    static QCheckBox *box(LogArea &a, const char *name) { return a.findChild<QCheckBox *>(QLatin1String(name)); }
    static QLineEdit *nameField(LogArea &a) { return a.findChild<QLineEdit *>(QStringLiteral("LogFileName")); }

private slots:
    void init()
    {
        oldCwd = QDir::currentPath();
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
    }
    void cleanup()
    {
        logSink = nullptr;
        QDir::setCurrent(oldCwd);
        delete dir;
        dir = nullptr;
    }

    void format_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("msg");
        QTest::addColumn<QString>("line");
        QTest::newRow("example") << QDateTime(QDate(2024, 3, 5), QTime(9, 7, 2, 345)) << "Starting !!"
                                 << "24/03/05 09:07:02.345:Starting !!";
        QTest::newRow("midnight") << QDateTime(QDate(2000, 1, 1), QTime(0, 0, 0, 0)) << "x" << "00/01/01 00:00:00.000:x";
        QTest::newRow("end of year, 24 h clock") << QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59, 999)) << " a "
                                                 << "99/12/31 23:59:59.999: a ";
        QTest::newRow("Japanese") << QDateTime(QDate(2024, 3, 5), QTime(1, 2, 3, 4)) << QString::fromUtf8("\u7d42\u4e86")
                                  << QString::fromUtf8("24/03/05 01:02:03.004:\u7d42\u4e86");
    }
    void format()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, msg);
        QFETCH(QString, line);
        QCOMPARE(LogArea::formatLine(when, msg), line);
    }

    void initialState()
    {
        const QDateTime before = QDateTime::currentDateTime();
        LogArea area(nullptr, 2000);
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(!area.isWriteToFile());
        QVERIFY(!area.isVerbose());
        QVERIFY(box(area, "KeepAtEnd")->isChecked());
        QCOMPARE(area.windowTitle(), QStringLiteral("Log Area"));
        QCOMPARE(area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->document()->maximumBlockCount(), 2000);

        const QFileInfo fi(area.logFileName());
        QVERIFY(fi.isAbsolute());
        QCOMPARE(fi.absolutePath(), QDir::currentPath());
        const QRegularExpression re(QStringLiteral("^log-(\\d{6}-\\d{6})\\.dat$"));
        const auto m = re.match(fi.fileName());
        QVERIFY2(m.hasMatch(), qPrintable(fi.fileName()));
        const QDateTime stamp = QDateTime::fromString(QStringLiteral("20") + m.captured(1), QStringLiteral("yyyyMMdd-hhmmss"));
        QVERIFY(stamp.isValid());
        QVERIFY(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after);
        QVERIFY(!fi.exists());   // created by the first stored line only
    }

    void lineShownAndStored()
    {
        LogArea area;
        area.setWriteToFile(true);
        const QDateTime before = QDateTime::currentDateTime();
        area.log(QStringLiteral("Starting !!"));
        const QDateTime after = QDateTime::currentDateTime();

        const QStringList shown = shownLines(area);
        QCOMPARE(msgs(shown), QStringList{"Starting !!"});
        const QDateTime stamp = QDateTime::fromString(QStringLiteral("20") + shown.first().left(21), QStringLiteral("yyyy/MM/dd hh:mm:ss.zzz"));
        QVERIFY(stamp.isValid());
        QVERIFY(stamp >= before && stamp <= after);
        QCOMPARE(fileLines(area.logFileName()), shown);
    }

    void colours_data()
    {
        QTest::addColumn<QColor>("colour");   // invalid: none given
        QTest::addColumn<QColor>("shown");
        QTest::newRow("black") << QColor(0, 0, 0) << QColor(0, 0, 0);
        QTest::newRow("red") << QColor(255, 0, 0) << QColor(255, 0, 0);
        QTest::newRow("received") << QColor(200, 120, 0) << QColor(200, 120, 0);
        QTest::newRow("default is black") << QColor() << QColor(0, 0, 0);
    }
    void colours()
    {
        QFETCH(QColor, colour);
        QFETCH(QColor, shown);
        LogArea area;
        area.log(QStringLiteral("first"), QColor(0, 0, 255));
        if (colour.isValid())
            area.log(QStringLiteral("second"), colour);
        else
            area.log(QStringLiteral("second"));
        QVERIFY(shownLines(area).value(1).endsWith(QStringLiteral("second")));
        QCOMPARE(colourOfBlock(area, 1), shown);
        QCOMPARE(colourOfBlock(area, 0), QColor(0, 0, 255));
    }

    void gating_data()
    {
        QTest::addColumn<bool>("writeTo");
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("plain") << false << false << QStringList{"log"} << QStringList{};
        QTest::newRow("verbose") << false << true << QStringList{"log", "vlog"} << QStringList{};
        QTest::newRow("write") << true << false << QStringList{"log"} << QStringList{"log"};
        QTest::newRow("write verbose") << true << true << QStringList{"log", "vlog"} << QStringList{"log", "vlog"};
    }
    void gating()
    {
        QFETCH(bool, writeTo);
        QFETCH(bool, verbose);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, stored);
        LogArea area;
        area.setWriteToFile(writeTo);
        area.setVerbose(verbose);
        area.log(QStringLiteral("log"));
        area.vlog(QStringLiteral("vlog"));
        QCOMPARE(msgs(shownLines(area)), shown);
        QCOMPARE(msgs(fileLines(area.logFileName())), stored);
        QCOMPARE(QFile::exists(area.logFileName()), writeTo);
    }

    void boxesTakeEffectFromTheNextLine()
    {
        LogArea area;
        area.vlog(QStringLiteral("v1"));
        box(area, "Verbose")->click();
        area.vlog(QStringLiteral("v2"));
        box(area, "IsWriteTo")->click();
        area.log(QStringLiteral("l3"));
        box(area, "Verbose")->click();
        area.vlog(QStringLiteral("v4"));
        QCOMPARE(msgs(shownLines(area)), (QStringList{"v2", "l3"}));
        QCOMPARE(fileLines(area.logFileName()).size(), 1);
    }

    void displayCap_data()
    {
        QTest::addColumn<int>("cap");
        QTest::addColumn<int>("total");
        QTest::newRow("2000") << 2000 << 2600;
        QTest::newRow("5") << 5 << 20;
    }
    void displayCap()
    {
        QFETCH(int, cap);
        QFETCH(int, total);
        LogArea area(nullptr, cap);
        area.setWriteToFile(true);
        for (int i = 0; i < total; ++i)
            area.log(QStringLiteral("line %1").arg(i));
        QVERIFY(area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->document()->blockCount() <= cap);
        const QStringList shown = msgs(shownLines(area));
        QVERIFY(shown.size() >= cap - 1);
        QCOMPARE(shown.last(), QStringLiteral("line %1").arg(total - 1));
        QCOMPARE(shown.first(), QStringLiteral("line %1").arg(total - shown.size()));
        const QStringList stored = msgs(fileLines(area.logFileName()));
        QCOMPARE(stored.size(), total);
        for (int i = 0; i < total; ++i)
            QCOMPARE(stored.at(i), QStringLiteral("line %1").arg(i));
    }

    void fileNameChangedMidRun()
    {
        LogArea area;
        area.setWriteToFile(true);
        const QString first = area.logFileName();
        const QString second = QDir::current().absoluteFilePath(QStringLiteral("other.dat"));
        MsgCapture cap;
        area.log(QStringLiteral("a"));
        nameField(area)->setText(second);
        area.log(QStringLiteral("b"));
        nameField(area)->clear();
        area.log(QStringLiteral("c"));
        nameField(area)->setText(QStringLiteral("relative.dat"));
        area.log(QStringLiteral("d"));
        nameField(area)->setText(first);
        area.log(QStringLiteral("e"));
        QCOMPARE(msgs(fileLines(first)), (QStringList{"a", "e"}));
        QCOMPARE(msgs(fileLines(second)), QStringList{"b"});
        QCOMPARE(msgs(fileLines(QStringLiteral("relative.dat"))), QStringList{"d"});
        QCOMPARE(msgs(shownLines(area)), (QStringList{"a", "b", "c", "d", "e"}));
        QCOMPARE(cap.messages, QStringList());
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
        nameField(area)->setText(name);
        MsgCapture cap;
        area.log(QStringLiteral("kept on screen"));
        QCOMPARE(cap.messages, QStringList());
        QCOMPARE(msgs(shownLines(area)), QStringList{"kept on screen"});
        QCOMPARE(QDir::current().entryList(QDir::Files), QStringList());
    }

    void fileIsUtf8AndAppended()
    {
        {
            QFile f(QStringLiteral("x.dat"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old\n");
        }
        LogArea area;
        area.setWriteToFile(true);
        nameField(area)->setText(QStringLiteral("x.dat"));
        area.log(QString::fromUtf8("\u8a18\u9332"));
        const QStringList lines = fileLines(QStringLiteral("x.dat"));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.first(), QStringLiteral("old"));
        QCOMPARE(msgOf(lines.last()), QString::fromUtf8("\u8a18\u9332"));
    }

    void keepAtEnd()
    {
        LogArea area;
        QTextEdit *disp = area.findChild<QTextEdit *>(QStringLiteral("LogDisp"));
        area.log(QStringLiteral("1"));
        area.log(QStringLiteral("2"));
        disp->moveCursor(QTextCursor::Start);
        area.log(QStringLiteral("3"));   // at the operator's cursor, which then goes to the end
        area.log(QStringLiteral("4"));
        box(area, "KeepAtEnd")->setChecked(false);
        disp->moveCursor(QTextCursor::Start);
        area.log(QStringLiteral("5"));   // the cursor stays where the operator left it
        area.log(QStringLiteral("6"));
        QCOMPARE(msgs(shownLines(area)), (QStringList{"5", "6", "3", "1", "2", "4"}));
    }

    void sink()
    {
        LogArea area;
        area.setWriteToFile(true);
        logSink = nullptr;
        sinkLog(QStringLiteral("dropped"));
        sinkVlog(QStringLiteral("dropped too"));
        QCOMPARE(shownLines(area), QStringList());

        logSink = &area;
        sinkLog(QStringLiteral("reached"), QColor(255, 0, 0));
        sinkVlog(QStringLiteral("quiet"));
        area.setVerbose(true);
        sinkVlog(QStringLiteral("detail"));
        QCOMPARE(msgs(shownLines(area)), (QStringList{"reached", "detail"}));
        QCOMPARE(fileLines(area.logFileName()).size(), 2);
        logSink = nullptr;
    }
};

QTEST_MAIN(TestLogArea)
#include "tst_logarea.moc"
