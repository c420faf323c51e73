// The configuration store: command-line options, the configuration file's
// lines (quotes, comments, strict UTF-8), INCLUDE, and the choice of the file.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "cfgfile.h"
#include "msgcapture.h"
#include "startup.h"

using Files = QList<QPair<QString, QByteArray>>;
Q_DECLARE_METATYPE(Files)

static bool write(const QString &name, const QByteArray &content)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

class TestCfgFile : public QObject
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
    void cleanup() { QDir::setCurrent(oldCwd); }

    // Options on the command line; -config wins over -c whatever the order.
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");   // "<none>": absent
        QTest::addColumn<QString>("config");  // the configuration file chosen

        const QStringList many{"marlo", "-x", "a", "b", "-e"};
        QTest::newRow("value of an option") << many << "-x" << "a" << "config.cfg";
        QTest::newRow("flag") << many << "-e" << "" << "config.cfg";
        QTest::newRow("repeated, last wins") << QStringList{"m", "-c", "a.cfg", "-c", "b.cfg"} << "-c" << "b.cfg" << "b.cfg";
        QTest::newRow("-config wins after -c") << QStringList{"m", "-c", "a.cfg", "-config", "b.cfg"} << "-c" << "a.cfg" << "b.cfg";
        QTest::newRow("-config wins before -c") << QStringList{"m", "-config", "b.cfg", "-c", "a.cfg"} << "-c" << "a.cfg" << "b.cfg";
        QTest::newRow("lone -config at the end") << QStringList{"m", "-c", "a.cfg", "-config"} << "-config" << "" << "";
        QTest::newRow("-c followed by an option") << QStringList{"m", "-c", "-e"} << "-c" << "" << "";
        QTest::newRow("-C is another option") << QStringList{"m", "-C", "x.cfg"} << "-C" << "x.cfg" << "config.cfg";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, config);
        const CfgFile cfg(args);
        QCOMPARE(cfg.hasKey(key), value != QLatin1String("<none>"));
        QCOMPARE(cfg.option(key, QStringLiteral("<none>")), value);
        QCOMPARE(configFileName(cfg), config);
    }

    void lookup_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");   // "<def>" when absent
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("diag");    // a diagnostic expected, or none

        const QString open = QStringLiteral("item is started from quote but not ended by quote");
        const auto row = [](const char *tag, const QByteArray &content, const char *key, const QString &value,
                            const QString &rest, const QString &diag = QString()) {
            QTest::newRow(tag) << content << QString::fromLatin1(key) << value << rest << diag;
        };
        row("comment dropped, lower-case lookup", "STARS_IP 10.0.0.5 # server\n", "stars_ip", "10.0.0.5", " 10.0.0.5 ");
        row("quotes guard #", "NAME_ON_STARS \"Mar#lo x\"\n", "NAME_ON_STARS", "Mar#lo x", " \"Mar#lo x\"");
        row("apostrophe guards #", "KEY it's # note\n", "KEY", "it's", " it's # note");
        row("quote kinds share one flag", "KEY \"it's\" # c\n", "KEY", "it's", " \"it's\" # c");
        row("# at line start", "#KEY 1\n", "KEY", "<def>", "<def>");
        row("# right after value", "KEY 1#2\n", "KEY", "1", " 1");
        row("key without value", "LONELY   # c\n", "LONELY", "", "   ");
        row("last line wins", "A 1\nA 2\na 3 x\n", "A", "3", " 3 x");
        row("CR LF, tabs", "A 1\r\nB\t2 3\r\n", "B", "2", "\t2 3");
        row("unterminated quote", "A \"abc def\n", "A", "abc def", " \"abc def", open);
        row("unquoted value ending in quote", "A abc\" d\n", "A", "abc\"", " abc\" d",
            QStringLiteral("item is started from not quote but ended by quote"));
        row("quoted key", "\"my key\" v\n", "MY KEY", "v", " v");
        row("UTF-8 value", "NAME \xe8\xa8\x98\xe9\x8c\xb2\n", "NAME", QString::fromUtf8("\u8a18\u9332"),
            QString::fromUtf8(" \u8a18\u9332"));
        row("UTF-8 byte-order mark", "\xef\xbb\xbf" "A 1\n", "A", "1", " 1");
        row("UTF-16 mark is no UTF-16", "\xff\xfe\xff\xfe" "x\nB 2\n", "B", "2", " 2");
        row("garbage line between", "A 1\n\xff\xfe\x80 \x81\xc3\nB 2\n", "B", "2", " 2");
        row("garbage value", "B \x80\x81\n", "B", QString::fromUtf8("\ufffd\ufffd"), QString::fromUtf8(" \ufffd\ufffd"));
        row("NUL bytes", QByteArray("A 1\0 2\nB 3\n", 12), "B", "3", " 3");
    }
    void lookup()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, diag);
        QVERIFY(write(QStringLiteral("t.cfg"), content));
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(QStringLiteral("t.cfg")));
        QTEST(cfg.value(key, QStringLiteral("<def>")), "value");
        QTEST(cfg.restOf(key, QStringLiteral("<def>")), "rest");
        QCOMPARE(cap.messages.size(), diag.isEmpty() ? 0 : 1);
        if (!diag.isEmpty())
            QVERIFY2(cap.messages.first().contains(diag), qPrintable(cap.messages.first()));
    }

    // INCLUDE reads a file in place (names relative to the working directory);
    // a missing one is reported and skipped, a loop is reported and broken.
    void includes_data()
    {
        QTest::addColumn<Files>("files");         // the first one is read
        QTest::addColumn<QStringList>("order");   // restsOf("K")
        QTest::addColumn<QString>("diag");        // a part of the one diagnostic, or none

        QTest::newRow("in place") << Files{{"main.cfg", "K m1\ninclude sub.cfg\nK m2\n"}, {"sub.cfg", "K s1\n"}}
                                  << QStringList{" m1", " s1", " m2"} << "";
        QTest::newRow("twice is no loop") << Files{{"main.cfg", "INCLUDE sub.cfg\nINCLUDE sub.cfg\n"}, {"sub.cfg", "K s\n"}}
                                          << QStringList{" s", " s"} << "";
        QTest::newRow("relative to the working directory")
            << Files{{"d/main.cfg", "INCLUDE sub.cfg\n"}, {"d/sub.cfg", "K inner\n"}, {"sub.cfg", "K cwd\n"}}
            << QStringList{" cwd"} << "";
        QTest::newRow("quoted name") << Files{{"main.cfg", "INCLUDE \"my sub.cfg\" # c\n"}, {"my sub.cfg", "K v\n"}}
                                     << QStringList{" v"} << "";
        QTest::newRow("missing goes on") << Files{{"main.cfg", "K 1\nINCLUDE gone.cfg\nK 2\n"}} << QStringList{" 1", " 2"}
                                         << "Can't open config file : \"gone.cfg\"";
        QTest::newRow("self") << Files{{"a.cfg", "K a1\nINCLUDE a.cfg\nK a2\n"}} << QStringList{" a1", " a2"} << "\"a.cfg\"";
        QTest::newRow("two files") << Files{{"a.cfg", "K a1\nINCLUDE b.cfg\nK a2\n"}, {"b.cfg", "K b1\ninclude a.cfg\nK b2\n"}}
                                   << QStringList{" a1", " b1", " b2", " a2"} << "\"a.cfg\"";
        QTest::newRow("other spelling of the same file") << Files{{"a.cfg", "K a1\nINCLUDE ./d/../a.cfg\n"}, {"d/x", ""}}
                                                         << QStringList{" a1"} << "\"./d/../a.cfg\"";
        Files chain;
        QStringList read;
        for (int i = 0; i < 40; ++i) {
            chain << qMakePair(QStringLiteral("f%1.cfg").arg(i), QStringLiteral("K %1\nINCLUDE f%2.cfg\n").arg(i).arg(i + 1).toUtf8());
            if (i < CfgFile::maxIncludeDepth)
                read << QStringLiteral(" %1").arg(i);
        }
        QTest::newRow("depth guard") << chain << read << QStringLiteral("\"f%1.cfg\"").arg(CfgFile::maxIncludeDepth);
    }
    void includes()
    {
        QFETCH(Files, files);
        QFETCH(QString, diag);
        QDir().mkdir(QStringLiteral("d"));
        for (const auto &f : files)
            QVERIFY(write(f.first, f.second));
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(files.first().first));
        QTEST(cfg.restsOf(QStringLiteral("K")), "order");
        QVERIFY(!cfg.hasKey(QStringLiteral("INCLUDE")));
        QCOMPARE(cap.messages.size(), diag.isEmpty() ? 0 : 1);
        if (!diag.isEmpty())
            QVERIFY2(cap.messages.first().contains(diag), qPrintable(cap.messages.first()));
    }

    // The red lines main holds for the log area: a main file that does not
    // open, and one line for the keys Marlo does not know, with their places.
    void complaints_data()
    {
        QTest::addColumn<Files>("files");   // the first one is read; null content: none
        QTest::addColumn<QStringList>("lines");   // %cwd: the working directory

        QTest::newRow("typo and an included unknown key")
            << Files{{"m.cfg", "STARS_IP x\n\nCONECT_TO_STARS 1\nvexda d 127.0.0.1\nINCLUDE s.cfg\nDump 1\n"},
                     {"s.cfg", "# comment\nFoo 2 # two\n"}}
            << QStringList{"Unknown keys in m.cfg: CONECT_TO_STARS (line 3), Foo (s.cfg line 2)"};
        QTest::newRow("one unknown key") << Files{{"m.cfg", "DATA_LINK_ALLOW 127.0.0.1\nSTARS_RECONECT 0\n"}}
                                         << QStringList{"Unknown key in m.cfg: STARS_RECONECT (line 2)"};
        QTest::newRow("all known") << Files{{"m.cfg", "STARS_RECONNECT 0\nwatch_interval_ms d 50\n"}} << QStringList{};
        QTest::newRow("missing") << Files{{"gone.cfg", QByteArray()}}
                                 << QStringList{"Can't open config file [gone.cfg] in %cwd: running without units"};
        QTest::newRow("no name after -c") << Files{{"", QByteArray()}}
                                          << QStringList{"No config file name after -c or -config: running without units"};
    }
    void complaints()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, lines);
        for (const auto &f : files)
            QVERIFY(f.second.isNull() || write(f.first, f.second));
        CfgFile cfg(QStringList{"marlo", "-dump", "-x", "y"});
        MsgCapture cap;
        const bool opened = cfg.readFile(files.first().first);
        lines.replaceInStrings(QStringLiteral("%cwd"), QDir::currentPath());
        QCOMPARE(configComplaints(cfg, files.first().first, opened), lines);
    }
};

QTEST_GUILESS_MAIN(TestCfgFile)
#include "tst_cfgfile.moc"
