#include <QtTest>

#include "startup.h"

// Marlo's command line as main checks it before building anything: the help,
// the version and the options it does not know.
class TestMainOpts : public QObject
{
    Q_OBJECT

private slots:
    void check_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("version");
        QTest::addColumn<QStringList>("unknown");
        const QStringList none;
        QTest::newRow("no options") << QStringList{"marlo"} << false << false << none;
        QTest::newRow("-h") << QStringList{"marlo", "-h"} << true << false << none;
        QTest::newRow("--help") << QStringList{"marlo", "-c", "a.cfg", "--help"} << true << false << none;
        QTest::newRow("-help") << QStringList{"marlo", "-help"} << true << false << none;
        QTest::newRow("--version") << QStringList{"marlo", "-e", "--version"} << false << true << none;
        QTest::newRow("-version") << QStringList{"marlo", "-version"} << false << true << none;
        QTest::newRow("all of Marlo's options")
            << QStringList{"marlo", "-c", "a.cfg", "-config", "b.cfg", "-e", "-j", "-dump", "-recover"} << false << false << none;
        QTest::newRow("lone -config") << QStringList{"marlo", "-config"} << false << false << none;
        QTest::newRow("stray words") << QStringList{"marlo", "x.cfg", "y"} << false << false << none;
        QTest::newRow("unknown, Marlo goes on")
            << QStringList{"marlo", "-e", "-x", "--bogus", "-c", "a.cfg"} << false << false << QStringList{"x", "bogus"};
        QTest::newRow("-C is not -c") << QStringList{"marlo", "-C", "a.cfg"} << false << false << QStringList{"C"};
    }
    void check()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, help);
        QFETCH(bool, version);
        QFETCH(QStringList, unknown);
        const CommandLineCheck c = checkCommandLine(args);
        QCOMPARE(c.helpAsked, help);
        QCOMPARE(c.versionAsked, version);
        QCOMPARE(c.unknown, unknown);
    }

    // The help names every option in the spelling Marlo reads.
    void helpText()
    {
        const QString text = commandLineHelp();
        for (const char *opt : {"-h, --help", "--version", "-c <FILE>", "-config <FILE>", "-e ", "-j ", "-dump ", "-recover "})
            QVERIFY2(text.contains(QLatin1String(opt)), opt);
        QVERIFY2(!text.contains(QLatin1String("--config")), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestMainOpts)
#include "tst_mainopts.moc"
