#include <QCoreApplication>
#include <QTranslator>
#include <QtTest>

#include "cfgfile.h"
#include "startup.h"

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void configName_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name");
        QTest::newRow("default") << QStringList{"marlo"} << "config.cfg";
        QTest::newRow("-c") << QStringList{"marlo", "-c", "a.cfg"} << "a.cfg";
        QTest::newRow("-config") << QStringList{"marlo", "-config", "b.cfg"} << "b.cfg";
        QTest::newRow("-config wins after -c") << QStringList{"marlo", "-c", "a.cfg", "-config", "b.cfg"} << "b.cfg";
        QTest::newRow("-config wins before -c") << QStringList{"marlo", "-config", "b.cfg", "-c", "a.cfg"} << "b.cfg";
        QTest::newRow("lone -config at the end") << QStringList{"marlo", "-c", "a.cfg", "-config"} << "";
        QTest::newRow("lone -config") << QStringList{"marlo", "-config"} << "";
        QTest::newRow("lone -c") << QStringList{"marlo", "-c"} << "";
        QTest::newRow("-c followed by an option") << QStringList{"marlo", "-c", "-e"} << "";
        QTest::newRow("-j changes nothing") << QStringList{"marlo", "-j"} << "config.cfg";
        QTest::newRow("-e anywhere") << QStringList{"marlo", "-e", "-c", "x.cfg", "-j"} << "x.cfg";
        QTest::newRow("stray words") << QStringList{"marlo", "x.cfg", "y"} << "config.cfg";
        QTest::newRow("-C is another option") << QStringList{"marlo", "-C", "x.cfg"} << "config.cfg";
        QTest::newRow("-c with further words") << QStringList{"marlo", "-c", "a.cfg", "b.cfg"} << "a.cfg";
    }
    void configName()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, name);
        QCOMPARE(configFileName(CfgFile(args)), name);
    }

    void catalogueLoads()
    {
        QTranslator t;
        QVERIFY(loadCatalogue(t));
        QVERIFY(!t.isEmpty());
        QCOMPARE(t.translate("Body", "Marlo"), QStringLiteral("Marlo (Korvane DSP driver for Stars)"));
        QCOMPARE(t.translate("Body", "Quit"), QString::fromUtf8("\u7d42\u4e86"));
        QVERIFY(QFile::exists(QStringLiteral(":/Marlo_ja_JP.qm")));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
