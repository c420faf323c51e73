// Scans the bytes the peer sends on the data link for its replies.
#pragma once

#include <QByteArray>
#include <QList>

#include "wordfinder.h"

// Scans the bytes that the peer sends on the data link for its replies "Ack"
// and "NAck".
//
// Asynchronous mode: feed() appends what arrived and yields the tokens found,
// in order of their position, each consumed with everything before it. What is
// left holds no token; of it at most the last keepBytes bytes are kept (enough
// to complete a token split across arrivals), so junk cannot grow the buffer.
//
// Blocking mode: classify() looks at the start of the reply gathered so far;
// a reply that is still a proper beginning of "Ack" or "NAck" is Partial and
// waits for the rest.
class ReplyScanner
{
public:
    enum Token { Ack = 0, NAck = 1 };
    enum Reply { AckReply, NAckReply, UnknownReply, PartialReply };

    ReplyScanner();

    QList<Token> feed(const QByteArray &bytes);
    QByteArray buffer() const { return buf; }
    void clear() { buf.clear(); }
    static QByteArray tokenText(Token t);

    static constexpr int keepBytes = 3;

    static Reply classify(const QByteArray &reply);

private:
    WordFinder finder;
    QByteArray buf;
};
