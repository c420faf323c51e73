#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Runs the built program as the operator would and checks what it leaves in
// its working directory.
class TestMarloRun : public QObject
{
    Q_OBJECT

private:
    static QString program()
    {
        return qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/app/marlo");
    }

    static QString logContent(const QString &dir)
    {
        const QStringList logs = QDir(dir).entryList({QStringLiteral("log-*.dat")}, QDir::Files);
        if (logs.size() != 1)
            return QString();
        QFile f(QDir(dir).filePath(logs.first()));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("MARLO_BUILD_DIR"))
            QSKIP("MARLO_BUILD_DIR is not set");
        QVERIFY2(QFile::exists(program()), qPrintable(program()));
    }

    void startsAndLogs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("config");      // written as config.cfg when not empty
        QTest::addColumn<QString>("diagnostic");     // expected on the diagnostic output

        QTest::newRow("English, no config") << QStringList{"-e"} << QByteArray() << "Can't open config file : \"config.cfg\"";
        QTest::newRow("Japanese, config in working dir") << QStringList{} << QByteArray("VERBOSE 1\nINCLUDE config.cfg\n")
                                                        << "Config file includes itself";
        QTest::newRow("lone -config") << QStringList{"-e", "-config"} << QByteArray() << "Can't open config file : \"\"";
        QTest::newRow("-c and -config") << QStringList{"-c", "a.cfg", "-config", "b.cfg", "-j"} << QByteArray()
                                        << "Can't open config file : \"b.cfg\"";
    }
    void startsAndLogs()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, config);
        QFETCH(QString, diagnostic);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (!config.isEmpty()) {
            QFile f(dir.filePath(QStringLiteral("config.cfg")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(config);
        }
        QProcess marlo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        marlo.setProcessEnvironment(env);
        marlo.setWorkingDirectory(dir.path());
        marlo.setProcessChannelMode(QProcess::SeparateChannels);
        marlo.start(program(), args);
        QVERIFY(marlo.waitForStarted(30000));

        QTRY_VERIFY_WITH_TIMEOUT(logContent(dir.path()).contains(QStringLiteral(":Starting !!\n")), 60000);
        QCOMPARE(marlo.state(), QProcess::Running);
        const QString log = logContent(dir.path());
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d:Starting !!\n"))
                     .match(log).hasMatch(), qPrintable(log));

        marlo.terminate();
        if (!marlo.waitForFinished(30000)) {
            marlo.kill();
            marlo.waitForFinished(30000);
        }
        const QString err = QString::fromUtf8(marlo.readAllStandardError());
        QVERIFY2(err.contains(diagnostic), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestMarloRun)
#include "tst_marlorun.moc"
