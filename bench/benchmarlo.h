#pragma once

// Helpers of the benchmarks that run the marlo program itself (POSIX):
// where it is, its configuration (that of the end-to-end rig), its resident
// size.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "servicerig.h"
#include "starsbus.h"

namespace bench {

// The marlo executable of the same build: <build>/app/marlo.
inline QString marloPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/marlo");
}

inline bool isRoot()
{
    return ::geteuid() == 0;
}

inline bool writeText(const QString &path, const QByteArray &text)
{
    return ServiceRig::writeFile(path, text);
}

// The configuration of the end-to-end rig for marlo on `busPort` with the key
// file in `dir`, and the given VEXDA lines.
inline QByteArray marloConfig(const QTemporaryDir &dir, quint16 busPort, const QStringList &vexda)
{
    QStringList lines = ServiceRig::configLines(busPort, dir.filePath(QStringLiteral("Marlo.key")));
    for (const QString &l : vexda)
        lines << QStringLiteral("VEXDA ") + l;
    return lines.join(QLatin1Char('\n')).toUtf8() + '\n';
}

// Starts marlo with the configuration (English, offscreen, in `dir`).
inline void startMarlo(QProcess &p, const QTemporaryDir &dir, const QString &cfgPath)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(marloPath(), {QStringLiteral("-e"), QStringLiteral("-c"), cfgPath});
}

// Ends marlo by SIGTERM (SIGKILL after 5 s) and waits for the bus to see it go.
inline void stopMarlo(QProcess &p, StarsBus &bus)
{
    if (p.state() != QProcess::NotRunning) {
        p.terminate();
        if (!QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, 5000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
    (void)QTest::qWaitFor([&bus] { return !bus.hasNode(QStringLiteral("Marlo")); }, 5000);
}

// Resident set size of a process in KiB (VmRSS), 0 when unknown.
inline qint64 residentKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &l : f.readAll().split('\n')) {
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// One row of the benchmark table with the value's own unit.
inline void row(const char *figure, double value, double floor, const char *unit, double target)
{
    std::printf("%s | %.1f %s | %.1f %s | %.2f | <= %.2f\n", figure, value, unit, floor, unit,
                floor > 0 ? value / floor : 0.0, target);
    std::fflush(stdout);
}

// A row with an absolute target and no floor.
inline void absoluteRow(const char *figure, double value, const char *unit, double target)
{
    std::printf("%s | %.1f %s | - | - | <= %.0f %s\n", figure, value, unit, target, unit);
    std::fflush(stdout);
}

inline void skipRow(const char *figure, const char *why)
{
    std::printf("%s | %s | - | - | -\n", figure, why);
    std::fflush(stdout);
}

} // namespace bench
