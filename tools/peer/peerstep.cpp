#include "peerstep.h"

#include <QRegularExpression>

namespace {

PeerStep invalid(const QString &why)
{
    PeerStep s;
    s.kind = PeerStep::Invalid;
    s.error = why;
    return s;
}

bool readMs(const QString &text, int &ms)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 0)
        return false;
    ms = v;
    return true;
}

} // namespace

PeerStep PeerStep::parse(const QString &line)
{
    PeerStep s;
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char('#')))
        return s;
    const QStringList words = t.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const QString first = words.first();

    if (first == QLatin1String("wait")) {
        if (words.size() < 2)
            return invalid(QStringLiteral("\"wait\" needs an event name"));
        s.kind = Wait;
        s.event = words.at(1);
        s.args = words.mid(2);
        return s;
    }
    if (first == QLatin1String("wait-timeout") || first == QLatin1String("sleep")) {
        if (words.size() != 2 || !readMs(words.at(1), s.ms))
            return invalid(QStringLiteral("\"%1\" needs one number of milliseconds").arg(first));
        s.kind = first == QLatin1String("sleep") ? Sleep : WaitTimeout;
        return s;
    }

    QString request = t;
    if (first.startsWith(QLatin1Char('>'))) {
        s.to = first.mid(1);
        if (s.to.isEmpty() || s.to.contains(QLatin1Char('>')))
            return invalid(QStringLiteral("bad receiver \"%1\"").arg(first));
        request = t.mid(first.size()).trimmed();
        if (request.isEmpty())
            return invalid(QStringLiteral("no request after \"%1\"").arg(first));
    }
    s.kind = Request;
    s.request = request;
    s.cmd = request.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).value(0);
    return s;
}

QList<PeerStep> PeerStep::parseScript(const QString &text, QString *error)
{
    QList<PeerStep> steps;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines.at(i);
        line.remove(QLatin1Char('\r'));
        const PeerStep s = parse(line);
        if (s.kind == Invalid) {
            if (error)
                *error = QStringLiteral("line %1: %2").arg(i + 1).arg(s.error);
            return {};
        }
        if (s.kind != Nothing)
            steps << s;
    }
    if (error)
        error->clear();
    return steps;
}
