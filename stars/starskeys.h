// The rules of the STARS key handshake, without any socket.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The rules of the STARS key handshake, without any socket: reading a key
// file, reading the server's challenge, choosing the key and recognising the
// server's acceptance line.
class StarsKeys
{
public:
    // The keys of a key file's contents: every line ended by LF, blank lines
    // included, each decoded as UTF-8 and simplified. Text after the last LF
    // is no line (the server counts lines the same way).
    static QStringList keysOf(const QByteArray &contents);

    // The challenge line read as a decimal integer; surrounding white space
    // and the line end are ignored, anything else that is not an integer
    // reads as 0.
    static qint64 challengeOf(const QString &line);

    // The index of the key for challenge n among count keys: n modulo count,
    // brought into 0..count-1 also for a negative n. count must be positive.
    static int keyIndex(qint64 n, int count);

    // The line sent in answer to the challenge, without its LF.
    static QString keyLine(const QString &name, const QString &key);

    // Whether a line from the server accepts the node `name`: it begins with
    // "System>name Ok:" (exact, case-sensitive).
    static bool isAuthOk(const QString &line, const QString &name);
};
