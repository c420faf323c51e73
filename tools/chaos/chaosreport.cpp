#include "chaosreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Chaos {

QString table(const Figures &f, const Options &o)
{
    QString t;
    auto row = [&t](const QString &name, const QString &value) {
        t += QStringLiteral("  %1 %2\n").arg(name, -34).arg(value);
    };
    t += QStringLiteral("Chaos scan: %1 points, preset %2 s, a fault every %3 points, seed %4, %5 s\n")
             .arg(f.points).arg(o.preset).arg(o.faultEvery).arg(o.seed).arg(f.seconds, 0, 'f', 1);
    row(QStringLiteral("points right at the first try"), QString::number(f.rightFirstTry));
    row(QStringLiteral("points right after a retry"), QString::number(f.rightAfterRetry));
    row(QStringLiteral("points failed after all retries"), QString::number(f.failed));
    row(QStringLiteral("wrong spectra accepted"), QString::number(f.wrongSpectra));
    row(QStringLiteral("events lost"), QString::number(f.eventsLost));
    row(QStringLiteral("requests never answered"), QString::number(f.unanswered));
    row(QStringLiteral("hangs (30 s without progress)"), QString::number(f.hangs));
    row(QStringLiteral("Marlo's resident memory"), QStringLiteral("%1 KiB at the start, %2 KiB at the end (%3 %)")
                                                       .arg(f.rssStartKiB).arg(f.rssEndKiB)
                                                       .arg(f.memoryGrowth() * 100.0, 0, 'f', 1)
                                                   + (f.maxMemoryGrowth < 0 ? QStringLiteral(", not checked") : QString()));
    if (!f.aborted.isEmpty())
        row(QStringLiteral("stopped early"), f.aborted);
    t += QStringLiteral("Faults injected:\n");
    for (const FaultRecord &r : f.faults)
        t += QStringLiteral("  point %1 %2 (dsp%3): %4\n").arg(r.planned.point, 5)
                 .arg(faultName(r.planned.fault), -12).arg(r.planned.unit + 1).arg(r.effect);
    if (!f.problems.isEmpty()) {
        t += QStringLiteral("Problems (the first %1):\n").arg(f.problems.size());
        for (const QString &p : f.problems)
            t += QStringLiteral("  %1\n").arg(p);
    }
    t += f.passed() ? QStringLiteral("PASSED\n") : QStringLiteral("FAILED\n");
    return t;
}

QByteArray json(const Figures &f, const Options &o)
{
    QJsonArray faults;
    for (const FaultRecord &r : f.faults)
        faults.append(QJsonObject{{QStringLiteral("point"), r.planned.point},
                                  {QStringLiteral("fault"), faultName(r.planned.fault)},
                                  {QStringLiteral("unit"), QStringLiteral("dsp%1").arg(r.planned.unit + 1)},
                                  {QStringLiteral("effect"), r.effect}});
    const QJsonObject top{
        {QStringLiteral("points"), f.points},
        {QStringLiteral("preset"), o.preset},
        {QStringLiteral("faultEvery"), o.faultEvery},
        {QStringLiteral("seed"), qint64(o.seed)},
        {QStringLiteral("seconds"), f.seconds},
        {QStringLiteral("rightFirstTry"), f.rightFirstTry},
        {QStringLiteral("rightAfterRetry"), f.rightAfterRetry},
        {QStringLiteral("failed"), f.failed},
        {QStringLiteral("wrongSpectraAccepted"), f.wrongSpectra},
        {QStringLiteral("eventsLost"), f.eventsLost},
        {QStringLiteral("requestsNeverAnswered"), f.unanswered},
        {QStringLiteral("hangs"), f.hangs},
        {QStringLiteral("rssStartKiB"), qint64(f.rssStartKiB)},
        {QStringLiteral("rssEndKiB"), qint64(f.rssEndKiB)},
        {QStringLiteral("aborted"), f.aborted},
        {QStringLiteral("passed"), f.passed()},
        {QStringLiteral("faults"), faults},
        {QStringLiteral("problems"), QJsonArray::fromStringList(f.problems)},
    };
    return QJsonDocument(top).toJson();
}

} // namespace Chaos
