#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "cfgfile.h"
#include "msgcapture.h"

using Files = QList<QPair<QString, QByteArray>>;
Q_DECLARE_METATYPE(Files)

class TestCfgFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QString oldCwd;

    void write(const QString &name, const QByteArray &content)
    {
        QFile f(name);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(name));
        f.write(content);
    }

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
        QDir::setCurrent(oldCwd);
        delete dir;
        dir = nullptr;
    }

    // ---- splitFirstItem ----
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<QString>("diag");

        const QString open = QStringLiteral("In a line [%1] item is started from quote but not ended by quote");
        const QString close = QStringLiteral("In a line [%1] item is started from not quote but ended by quote");

        QTest::newRow("empty") << "" << "" << "" << "";
        QTest::newRow("blanks only") << " \t  " << "" << "" << "";
        QTest::newRow("one word") << "abc" << "abc" << "" << "";
        QTest::newRow("leading blanks, rest keeps its white space") << "  abc def " << "abc" << " def " << "";
        QTest::newRow("tabs") << "\t\tx\ty z" << "x" << "\ty z" << "";
        QTest::newRow("line ends are white") << "\r\n x\r\n" << "x" << "\r\n" << "";
        QTest::newRow("vertical tab and form feed") << "\va\fb" << "a" << "\fb" << "";
        QTest::newRow("quoted with blanks") << "\"a b\" c" << "a b" << " c" << "";
        QTest::newRow("quoted, rest follows at once") << "\"a\"b c" << "a" << "b c" << "";
        QTest::newRow("empty quotes") << "\"\" c" << "" << " c" << "";
        QTest::newRow("quoted hash") << " \"Mar#lo\"" << "Mar#lo" << "" << "";
        QTest::newRow("quote in the middle is ordinary") << "a\"b c" << "a\"b" << " c" << "";
        QTest::newRow("apostrophe is ordinary") << "it's # note" << "it's" << " # note" << "";
        QTest::newRow("unterminated quote") << "  \"a b" << "a b" << "" << open.arg("  \"a b");
        QTest::newRow("lone quote") << "\"" << "" << "" << open.arg("\"");
        QTest::newRow("unquoted ending in quote, more follows") << "abc\" d" << "abc\"" << " d" << close.arg("abc\" d");
        QTest::newRow("unquoted ending in quote at end") << "x abc\"" << "x" << " abc\"" << "";
        QTest::newRow("last item ending in quote") << " abc\"" << "abc\"" << "" << close.arg(" abc\"");
        QTest::newRow("no-break space is not white") << QString::fromUtf8("a\u00a0b c") << QString::fromUtf8("a\u00a0b") << " c" << "";
        QTest::newRow("ideographic space is not white") << QString::fromUtf8("\u8a18\u3000\u9332 x") << QString::fromUtf8("\u8a18\u3000\u9332") << " x" << "";
        QTest::newRow("NUL is not white") << QString::fromLatin1("a\0b c", 5) << QString::fromLatin1("a\0b", 3) << " c" << "";
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QString, item);
        QFETCH(QString, rest);
        QFETCH(QString, diag);
        MsgCapture cap;
        QString got = QStringLiteral("stale");
        const QString left = splitFirstItem(text, got);
        QCOMPARE(got, item);
        QCOMPARE(left, rest);
        if (diag.isEmpty())
            QCOMPARE(cap.messages, QStringList());
        else
            QCOMPARE(cap.messages, QStringList{diag});
    }

    void splitLongLine()
    {
        const QString big(1 << 20, QLatin1Char('x'));
        QString item;
        QCOMPARE(splitFirstItem(QStringLiteral("  ") + big + QStringLiteral(" tail"), item), QStringLiteral(" tail"));
        QCOMPARE(item.size(), big.size());
        MsgCapture cap;
        QCOMPARE(splitFirstItem(QLatin1Char('"') + big, item), QString());
        QCOMPARE(item, big);
        QCOMPARE(cap.messages.size(), 1);
    }

    // ---- command line ----
    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("rest");

        const QStringList cfgE{"marlo", "-config", "my.cfg", "-e"};
        QTest::newRow("-config value") << cfgE << "-config" << true << "my.cfg" << "my.cfg";
        QTest::newRow("-e flag") << cfgE << "-e" << true << "" << "";
        QTest::newRow("program path is no key") << cfgE << "marlo" << false << "" << "";
        QTest::newRow("value is not a key") << cfgE << "my.cfg" << false << "" << "";
        QTest::newRow("options are case-sensitive") << cfgE << "-E" << false << "" << "";
        const QStringList many{"marlo", "-x", "a", "b", "c", "-y", "d"};
        QTest::newRow("further arguments joined") << many << "-x" << true << "a" << "a b c";
        QTest::newRow("next option") << many << "-y" << true << "d" << "d";
        QTest::newRow("lone -config at the end") << QStringList{"marlo", "-e", "-config"} << "-config" << true << "" << "";
        QTest::newRow("option followed by option") << QStringList{"marlo", "-c", "-e"} << "-c" << true << "" << "";
        QTest::newRow("repeated option, last wins") << QStringList{"marlo", "-c", "a", "-c", "b"} << "-c" << true << "b" << "b";
        QTest::newRow("index 0 counts") << QStringList{"-p", "x"} << "-p" << true << "x" << "x";
        QTest::newRow("empty argument as value") << QStringList{"m", "-c", "", "-e"} << "-c" << true << "" << "";
        QTest::newRow("words before any option") << QStringList{"m", "w1", "w2", "-j"} << "-j" << true << "" << "";
        QTest::newRow("no arguments") << QStringList{} << "-e" << false << "" << "";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, key);
        QFETCH(bool, present);
        QFETCH(QString, value);
        QFETCH(QString, rest);
        const CfgFile cfg(args);
        QCOMPARE(cfg.hasKey(key), present);
        QCOMPARE(cfg.option(key, QStringLiteral("<def>")), present ? value : QStringLiteral("<def>"));
        if (present)
            QCOMPARE(cfg.restOf(key), rest);
    }

    void argvConstructorDecodesUtf8()
    {
        QByteArray a0("marlo"), a1("-config"), a2("\xe8\xa8\xad\xe5\xae\x9a.cfg");
        char *argv[] = {a0.data(), a1.data(), a2.data()};
        const CfgFile cfg(3, argv);
        QCOMPARE(cfg.option(QStringLiteral("-config")), QString::fromUtf8("\u8a2d\u5b9a.cfg"));
    }

    // ---- one file: value / restOf / option / hasKey ----
    void lookup_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");   // "<def>" when absent
        QTest::addColumn<QString>("rest");

        QTest::newRow("comment dropped") << QByteArray("STARS_IP 10.0.0.5 # server\n") << "STARS_IP" << "10.0.0.5" << " 10.0.0.5 ";
        QTest::newRow("lower-case lookup") << QByteArray("STARS_IP 10.0.0.5 # server\n") << "stars_ip" << "10.0.0.5" << " 10.0.0.5 ";
        QTest::newRow("mixed-case key in file") << QByteArray("Stars_Ip h\n") << "STARS_IP" << "h" << " h";
        QTest::newRow("quotes guard #") << QByteArray("NAME_ON_STARS \"Mar#lo x\"\n") << "NAME_ON_STARS" << "Mar#lo x" << " \"Mar#lo x\"";
        QTest::newRow("apostrophe guards #") << QByteArray("KEY it's # note\n") << "KEY" << "it's" << " it's # note";
        QTest::newRow("paired apostrophes") << QByteArray("KEY 'a' # c\n") << "KEY" << "'a'" << " 'a' ";
        QTest::newRow("quote kinds share one flag") << QByteArray("KEY \"it's\" # c\n") << "KEY" << "it's" << " \"it's\" # c";
        QTest::newRow("# at line start") << QByteArray("#KEY 1\n") << "KEY" << "<def>" << "<def>";
        QTest::newRow("# right after value") << QByteArray("KEY 1#2\n") << "KEY" << "1" << " 1";
        QTest::newRow("key without value") << QByteArray("LONELY\n") << "LONELY" << "" << "";
        QTest::newRow("key without value, blanks") << QByteArray("LONELY   # c\n") << "LONELY" << "" << "   ";
        QTest::newRow("missing key") << QByteArray("A 1\n") << "B" << "<def>" << "<def>";
        QTest::newRow("last line wins") << QByteArray("A 1\nA 2\na 3 x\n") << "A" << "3" << " 3 x";
        QTest::newRow("CR LF") << QByteArray("A 1\r\nB 2 3\r\n") << "B" << "2" << " 2 3";
        QTest::newRow("no final line end") << QByteArray("A 1\nB 2") << "B" << "2" << " 2";
        QTest::newRow("tabs") << QByteArray("A\t1\t2\n") << "A" << "1" << "\t1\t2";
        QTest::newRow("blank and comment lines") << QByteArray("\n   \n\t\n# only\n  # c\nA 1\n") << "A" << "1" << " 1";
        QTest::newRow("unterminated quote") << QByteArray("A \"abc def\n") << "A" << "abc def" << " \"abc def";
        QTest::newRow("unquoted value ending in quote") << QByteArray("A abc\"\n") << "A" << "abc\"" << " abc\"";
        QTest::newRow("quoted key") << QByteArray("\"my key\" v\n") << "MY KEY" << "v" << " v";
        QTest::newRow("UTF-8 value") << QByteArray("NAME \xe8\xa8\x98\xe9\x8c\xb2\n") << "NAME" << QString::fromUtf8("\u8a18\u9332") << QString::fromUtf8(" \u8a18\u9332");
        QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xef\xbb\xbf" "A 1\n") << "A" << "1" << " 1";
        QTest::newRow("garbage line between") << QByteArray("A 1\n\xff\xfe\x80 \x81\xc3\nB 2\n") << "B" << "2" << " 2";
        QTest::newRow("garbage at start") << QByteArray("\xff\xfe\xff\xfe" "x\nB 2\n") << "B" << "2" << " 2";
        QTest::newRow("garbage value") << QByteArray("B \x80\x81\n") << "B" << QString::fromUtf8("\ufffd\ufffd") << QString::fromUtf8(" \ufffd\ufffd");
        QTest::newRow("NUL bytes") << QByteArray("A 1\0 2\nB 3\n", 12) << "B" << "3" << " 3";
        QTest::newRow("option-like key in file") << QByteArray("-e\n") << "-E" << "" << "";
    }
    void lookup()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, rest);
        write(QStringLiteral("t.cfg"), content);
        CfgFile cfg(QStringList{});
        QVERIFY(cfg.readFile(QStringLiteral("t.cfg")));
        QCOMPARE(cfg.value(key, QStringLiteral("<def>")), value);
        QCOMPARE(cfg.restOf(key, QStringLiteral("<def>")), rest);
    }

    void exactViewIsCaseSensitive()
    {
        write(QStringLiteral("t.cfg"), "Foo 1\nFOO 2\nFoo 3\n");
        CfgFile cfg(QStringList{});
        cfg.readFile(QStringLiteral("t.cfg"));
        QCOMPARE(cfg.option(QStringLiteral("Foo")), QStringLiteral("3"));
        QCOMPARE(cfg.option(QStringLiteral("FOO")), QStringLiteral("2"));
        QCOMPARE(cfg.option(QStringLiteral("foo"), QStringLiteral("d")), QStringLiteral("d"));
        QVERIFY(cfg.hasKey(QStringLiteral("Foo")));
        QVERIFY(!cfg.hasKey(QStringLiteral("foo")));
        QCOMPARE(cfg.value(QStringLiteral("foo")), QStringLiteral("3"));
        QCOMPARE(cfg.restsOf(QStringLiteral("foo")), (QStringList{" 1", " 2", " 3"}));
    }

    void optionsAndFileShareTheViews()
    {
        write(QStringLiteral("t.cfg"), "VERBOSE 1\n");
        CfgFile cfg(QStringList{"marlo", "-e", "-dump"});
        cfg.readFile(QStringLiteral("t.cfg"));
        QVERIFY(cfg.hasKey(QStringLiteral("-e")));
        QVERIFY(cfg.hasKey(QStringLiteral("-dump")));
        QVERIFY(cfg.hasKey(QStringLiteral("VERBOSE")));
        QVERIFY(!cfg.hasKey(QStringLiteral("DUMP")));
        QCOMPARE(cfg.value(QStringLiteral("verbose")), QStringLiteral("1"));
    }

    void restsOfOrder()
    {
        write(QStringLiteral("t.cfg"),
              "VEXDA dsp1 192.168.10.1 1 0 1 0 b\n"
              "X 1\n"
              "vexda dsp2 192.168.10.2 1 1\n"
              "VexDa  dsp3 \"a b\" # c\n"
              "VEXDAX no\n");
        CfgFile cfg(QStringList{});
        cfg.readFile(QStringLiteral("t.cfg"));
        QCOMPARE(cfg.restsOf(QStringLiteral("VEXDA")),
                 (QStringList{" dsp1 192.168.10.1 1 0 1 0 b", " dsp2 192.168.10.2 1 1", "  dsp3 \"a b\" "}));
        QCOMPARE(cfg.restsOf(QStringLiteral("vexda")).size(), 3);
        QCOMPARE(cfg.value(QStringLiteral("VEXDA")), QStringLiteral("dsp3"));
        QCOMPARE(cfg.restsOf(QStringLiteral("NOTHING")), QStringList());
    }

    void flags_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("def");
        QTest::addColumn<bool>("on");
        QTest::newRow("1") << QByteArray("F 1\n") << "0" << true;
        QTest::newRow("01") << QByteArray("F 01\n") << "0" << true;
        QTest::newRow("2") << QByteArray("F 2\n") << "1" << false;
        QTest::newRow("word") << QByteArray("F yes\n") << "1" << false;
        QTest::newRow("empty value") << QByteArray("F\n") << "1" << false;
        QTest::newRow("default on") << QByteArray("G 1\n") << "1" << true;
        QTest::newRow("default off") << QByteArray("G 1\n") << "0" << false;
    }
    void flags()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, def);
        QFETCH(bool, on);
        write(QStringLiteral("t.cfg"), content);
        CfgFile cfg(QStringList{});
        cfg.readFile(QStringLiteral("t.cfg"));
        QCOMPARE(cfg.flag(QStringLiteral("f"), def), on);
    }

    void longLine()
    {
        const QByteArray big(1 << 20, 'v');
        write(QStringLiteral("t.cfg"), "BIG " + big + " tail # c\nQ \"" + big + "\nAFTER 1\n");
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(QStringLiteral("t.cfg")));
        QCOMPARE(cfg.value(QStringLiteral("BIG")), QString::fromLatin1(big));
        QCOMPARE(cfg.restOf(QStringLiteral("BIG")), " " + QString::fromLatin1(big) + " tail ");
        QCOMPARE(cfg.value(QStringLiteral("Q")), QString::fromLatin1(big));
        QCOMPARE(cfg.value(QStringLiteral("AFTER")), QStringLiteral("1"));
        QCOMPARE(cap.count(QStringLiteral("item is started from quote but not ended by quote")), 1);
    }

    void missingFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("absent") << "nothing.cfg";
        QTest::newRow("empty name") << "";
        QTest::newRow("a directory") << ".";
    }
    void missingFile()
    {
        QFETCH(QString, name);
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        if (name == QLatin1String(".")) {
            // Opening a directory for reading succeeds on some systems and reads nothing.
            cfg.readFile(name);
        } else {
            QVERIFY(!cfg.readFile(name));
            QCOMPARE(cap.messages, QStringList{QStringLiteral("Can't open config file : \"%1\"").arg(name)});
        }
        QCOMPARE(cfg.value(QStringLiteral("STARS_IP"), QStringLiteral("localhost")), QStringLiteral("localhost"));
    }

    // ---- includes ----
    void includesInPlace()
    {
        write(QStringLiteral("main.cfg"),
              "VEXDA m1\nA main1\ninclude sub.cfg\nVEXDA m2\nB main\n");
        write(QStringLiteral("sub.cfg"), "VEXDA s1\nA sub\nB sub\nC sub\n");
        CfgFile cfg(QStringList{});
        QVERIFY(cfg.readFile(QStringLiteral("main.cfg")));
        QCOMPARE(cfg.restsOf(QStringLiteral("VEXDA")), (QStringList{" m1", " s1", " m2"}));
        QCOMPARE(cfg.value(QStringLiteral("A")), QStringLiteral("sub"));
        QCOMPARE(cfg.value(QStringLiteral("B")), QStringLiteral("main"));
        QCOMPARE(cfg.value(QStringLiteral("C")), QStringLiteral("sub"));
        QVERIFY(!cfg.hasKey(QStringLiteral("include")));
        QVERIFY(cfg.restsOf(QStringLiteral("INCLUDE")).isEmpty());
    }

    void includeRelativeToWorkingDirectory()
    {
        QVERIFY(QDir().mkdir(QStringLiteral("d")));
        write(QStringLiteral("d/main.cfg"), "INCLUDE sub.cfg\n");
        write(QStringLiteral("d/sub.cfg"), "WHERE inner\n");
        write(QStringLiteral("sub.cfg"), "WHERE cwd\n");
        CfgFile cfg(QStringList{});
        cfg.readFile(QStringLiteral("d/main.cfg"));
        QCOMPARE(cfg.value(QStringLiteral("WHERE")), QStringLiteral("cwd"));
    }

    void includeQuotedName()
    {
        write(QStringLiteral("my sub.cfg"), "K v\n");
        write(QStringLiteral("main.cfg"), "INCLUDE \"my sub.cfg\" # with a blank\n");
        CfgFile cfg(QStringList{});
        cfg.readFile(QStringLiteral("main.cfg"));
        QCOMPARE(cfg.value(QStringLiteral("K")), QStringLiteral("v"));
    }

    void includeMissingGoesOn()
    {
        write(QStringLiteral("main.cfg"), "A 1\nINCLUDE gone.cfg\nINCLUDE\nB 2\n");
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(QStringLiteral("main.cfg")));
        QCOMPARE(cfg.value(QStringLiteral("B")), QStringLiteral("2"));
        QCOMPARE(cap.messages, (QStringList{"Can't open config file : \"gone.cfg\"", "Can't open config file : \"\""}));
    }

    void includeTwiceIsNoLoop()
    {
        write(QStringLiteral("main.cfg"), "INCLUDE sub.cfg\nINCLUDE sub.cfg\n");
        write(QStringLiteral("sub.cfg"), "VEXDA s\n");
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        cfg.readFile(QStringLiteral("main.cfg"));
        QCOMPARE(cfg.restsOf(QStringLiteral("VEXDA")), (QStringList{" s", " s"}));
        QCOMPARE(cap.messages, QStringList());
    }

    void includeLoop_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("order");   // restsOf("K")
        QTest::addColumn<QString>("named");       // file named by the diagnostic

        QTest::newRow("self") << Files{{"a.cfg", "K a1\nINCLUDE a.cfg\nK a2\n"}}
                              << QStringList{" a1", " a2"} << "a.cfg";
        QTest::newRow("two files") << Files{{"a.cfg", "K a1\nINCLUDE b.cfg\nK a2\n"}, {"b.cfg", "K b1\ninclude a.cfg\nK b2\n"}}
                                   << QStringList{" a1", " b1", " b2", " a2"} << "a.cfg";
        QTest::newRow("other spelling of the same file") << Files{{"a.cfg", "K a1\nINCLUDE ./sub/../a.cfg\n"}, {"sub/x", ""}}
                                                         << QStringList{" a1"} << "./sub/../a.cfg";
    }
    void includeLoop()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, order);
        QFETCH(QString, named);
        QDir().mkdir(QStringLiteral("sub"));
        for (const auto &f : files)
            write(f.first, f.second);
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(files.first().first));
        QCOMPARE(cfg.restsOf(QStringLiteral("K")), order);
        QCOMPARE(cap.messages.size(), 1);
        QVERIFY2(cap.messages.first().contains(QLatin1Char('"') + named + QLatin1Char('"')), qPrintable(cap.messages.first()));
    }

    void includeDepthGuard()
    {
        const int files = 40;
        for (int i = 0; i < files; ++i)
            write(QStringLiteral("f%1.cfg").arg(i), QStringLiteral("K%1 1\nINCLUDE f%2.cfg\nAFTER%1 1\n").arg(i).arg(i + 1).toUtf8());
        CfgFile cfg(QStringList{});
        MsgCapture cap;
        QVERIFY(cfg.readFile(QStringLiteral("f0.cfg")));
        for (int i = 0; i < files; ++i) {
            const bool read = i < CfgFile::maxIncludeDepth;
            QCOMPARE(cfg.hasKey(QStringLiteral("K%1").arg(i)), read);
            QCOMPARE(cfg.hasKey(QStringLiteral("AFTER%1").arg(i)), read);
        }
        QCOMPARE(cap.messages.size(), 1);
        QVERIFY(cap.messages.first().contains(QStringLiteral("\"f%1.cfg\"").arg(CfgFile::maxIncludeDepth)));
    }

    void instance()
    {
        QCOMPARE(CfgFile::instance(), nullptr);
        CfgFile cfg(QStringList{"m", "-e"});
        CfgFile::setInstance(&cfg);
        QCOMPARE(CfgFile::instance(), &cfg);
        CfgFile::setInstance(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestCfgFile)
#include "tst_cfgfile.moc"
