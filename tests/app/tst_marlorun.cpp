#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// Runs the built program as the operator would: it tells its version with no
// display, reads its configuration, starts its log file with that version and
// "Starting !!", logs a mistyped key there and ends on SIGTERM.
class TestMarloRun : public QObject
{
    Q_OBJECT

private slots:
    void startsAndLogs()
    {
        QTemporaryDir dir;
        QFile cfg(dir.filePath(QStringLiteral("config.cfg")));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write("VERBOSE 1\nINCLUDE config.cfg\nCONECT_TO_STARS 1\n");
        cfg.close();
        QProcess marlo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        marlo.setProcessEnvironment(env);
        marlo.start(qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/app/marlo"), {QStringLiteral("--version")});
        QVERIFY(marlo.waitForFinished(30000));
        const QString version = QString::fromUtf8(marlo.readAllStandardOutput()).trimmed();
        QVERIFY2(marlo.exitCode() == 0 && version.startsWith(QLatin1String("marlo ")), qPrintable(version));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        marlo.setProcessEnvironment(env);
        marlo.setWorkingDirectory(dir.path());
        marlo.start(qEnvironmentVariable("MARLO_BUILD_DIR") + QStringLiteral("/app/marlo"), QStringList());
        QVERIFY2(marlo.waitForStarted(30000), qPrintable(marlo.errorString()));

        const auto log = [&dir] {
            const QStringList logs = QDir(dir.path()).entryList({QStringLiteral("log-*.dat")}, QDir::Files);
            QFile f(dir.filePath(logs.value(0)));
            return logs.size() == 1 && f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral(":Starting !!\n")), 60000);
        // What main learnt before the log area existed reaches its file too.
        QTRY_VERIFY(log().contains(QStringLiteral("CONECT_TO_STARS")));
        QCOMPARE(marlo.state(), QProcess::Running);
        const QString stamp = QStringLiteral("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d:");
        QVERIFY2(QRegularExpression(QStringLiteral("^%1%2\n%1Starting !!\n").arg(stamp, QRegularExpression::escape(version)))
                     .match(log()).hasMatch(), qPrintable(log()));
        marlo.terminate();
        if (!marlo.waitForFinished(30000)) {
            marlo.kill();
            marlo.waitForFinished(30000);
        }
        const QString err = QString::fromUtf8(marlo.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("Config file includes itself")), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestMarloRun)
#include "tst_marlorun.moc"
