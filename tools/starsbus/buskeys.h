#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Key files as a STARS server reads them: one key per line, every line ended
// by LF counts (blank lines included), text after the last LF is no line, a
// CR before the LF is not part of the key.
class BusKeys
{
public:
    static QList<QByteArray> linesOf(const QByteArray &contents);
    // The key file of a node: "<dir>/<name>.key".
    static QString keyFilePath(const QString &dir, const QString &name);
    // Reads a key file; false when it cannot be read.
    static bool readKeyFile(const QString &path, QList<QByteArray> &keys);
    // n modulo count, brought into 0..count-1 also for a negative n; count > 0.
    static int keyIndex(qint64 n, int count);
};
