// The STARS key handshake: reads the keys, picks one for a challenge and checks the reply.
#include "starskeys.h"

QStringList StarsKeys::keysOf(const QByteArray &contents)
{
    QStringList keys;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype lf = contents.indexOf('\n', pos);
        if (lf < 0)
            break;
        keys << QString::fromUtf8(contents.constData() + pos, lf - pos).simplified();
        pos = lf + 1;
    }
    return keys;
}

qint64 StarsKeys::challengeOf(const QString &line)
{
    bool ok = false;
    const qint64 n = line.trimmed().toLongLong(&ok, 10);
    return ok ? n : 0;
}

int StarsKeys::keyIndex(qint64 n, int count)
{
    if (count <= 0)
        return 0;
    return int(((n % count) + count) % count);
}

QString StarsKeys::keyLine(const QString &name, const QString &key)
{
    return QStringLiteral("%1 %2").arg(name, key);
}

bool StarsKeys::isAuthOk(const QString &line, const QString &name)
{
    return line.startsWith(QStringLiteral("System>%1 Ok:").arg(name));
}
