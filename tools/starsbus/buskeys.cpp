#include "buskeys.h"

#include <QDir>
#include <QFile>

QList<QByteArray> BusKeys::linesOf(const QByteArray &contents)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lf = contents.indexOf('\n', pos);
        if (lf < 0)
            break;
        QByteArray line = contents.mid(pos, lf - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        pos = lf + 1;
    }
    return lines;
}

QString BusKeys::keyFilePath(const QString &dir, const QString &name)
{
    return QDir(dir).filePath(name + QStringLiteral(".key"));
}

bool BusKeys::readKeyFile(const QString &path, QList<QByteArray> &keys)
{
    keys.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    keys = linesOf(f.readAll());
    return true;
}

int BusKeys::keyIndex(qint64 n, int count)
{
    if (count <= 0)
        return 0;
    return int(((n % count) + count) % count);
}
