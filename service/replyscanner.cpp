// Scans the peer's bytes on the data link for its replies.
#include "replyscanner.h"

ReplyScanner::ReplyScanner()
{
    finder.setWords({QByteArrayLiteral("Ack"), QByteArrayLiteral("NAck")});
}

QByteArray ReplyScanner::tokenText(Token t)
{
    return t == Ack ? QByteArrayLiteral("Ack") : QByteArrayLiteral("NAck");
}

QList<ReplyScanner::Token> ReplyScanner::feed(const QByteArray &bytes)
{
    buf.append(bytes);
    QList<Token> found;
    qsizetype from = 0;
    for (;;) {
        int which = -1;
        const qsizetype p = finder.find(buf, which, from);
        if (p < 0)
            break;
        found << Token(which);
        from = p + finder.words().at(which).size();
    }
    buf.remove(0, from);
    if (buf.size() > keepBytes)
        buf.remove(0, buf.size() - keepBytes);
    return found;
}

ReplyScanner::Reply ReplyScanner::classify(const QByteArray &reply)
{
    if (reply.startsWith("Ack"))
        return AckReply;
    if (reply.startsWith("NAck"))
        return NAckReply;
    if (!reply.isEmpty() && (QByteArrayLiteral("Ack").startsWith(reply) || QByteArrayLiteral("NAck").startsWith(reply)))
        return PartialReply;
    return UnknownReply;
}
