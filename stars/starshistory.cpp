// Reads and writes the journal of STARS host and port values.
#include "starshistory.h"

#include <QFile>
#include <QStringList>
#include <QTextStream>

StarsHistory::StarsHistory(const QString &fileName)
    : file(fileName)
{
}

void StarsHistory::read(QString &host, QString &port) const
{
    host.clear();
    port.clear();
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&f);
    QString line;
    while (in.readLineInto(&line)) {
        const QStringList parts = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 2)
            continue;
        const QString tag = parts.at(0).toUpper();
        if (tag == QLatin1String("A:"))
            host = parts.at(1);
        else if (tag == QLatin1String("P:"))
            port = parts.at(1);
    }
}

void StarsHistory::append(const QString &text) const
{
    QFile f(file);
    if (!f.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&f);
    out << text;
}

void StarsHistory::recordHost(const QString &host) const
{
    QString lastHost, lastPort;
    read(lastHost, lastPort);
    if (host != lastHost)
        append(QStringLiteral("A: %1\n").arg(host));
}

void StarsHistory::recordPort(const QString &port) const
{
    QString lastHost, lastPort;
    read(lastHost, lastPort);
    if (port != lastPort)
        append(QStringLiteral("P: %1\n").arg(port));
}
