// How the data link reads its listening address and replies.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// How the data link reads its texts: the listening address from
// DATA_LINK_CH_IP, the peers allowed by DATA_LINK_ALLOW and the delay of the
// debug discard from its field.
class DataLinkRules
{
public:
    // The address the data-link server listens on: an IPv4 or IPv6 literal as
    // written, "localhost" (any letter case) as the IPv4 loopback address. No
    // name is looked up; any other text gives a null address, on which the
    // server cannot listen.
    static QHostAddress listenAddress(const QString &text);

    // The delay field of the debug discard in milliseconds: a number,
    // truncated; no number (or NaN) and negative values give 0, values beyond
    // the range of int its largest value.
    static int delayMs(const QString &text);

    // The addresses of DATA_LINK_ALLOW, separated by white space, each read as
    // listenAddress() reads its text; the words that are no address go to
    // `bad`.
    static QList<QHostAddress> allowList(const QString &text, QStringList &bad);
    // Whether `peer` is one of `list`, an IPv4-mapped IPv6 address counting
    // as its IPv4 address.
    static bool allowed(const QList<QHostAddress> &list, const QHostAddress &peer);
};
