// Body: single registers by name ("Status", "SetConfig") on the unit that the
// receiver channel names, one histogram as text ("GetHistgram") and the
// data-link address ("GetDataLinkCh").

#include "body.h"

#include <algorithm>

#include "paramrules.h"
#include "reglookup.h"
#include "vexda.h"

namespace {

// "%1 %2 0x%3" without a channel, "%1 %2 %3 0x%4" with one.
QString registerAnswer(const QString &name, bool hasCh, int ch, quint64 value)
{
    if (hasCh)
        return QStringLiteral("%1 %2 %3 0x%4").arg(name).arg(ch).arg(value).arg(ParamRules::hexText(value));
    return QStringLiteral("%1 %2 0x%3").arg(name).arg(value).arg(ParamRules::hexText(value));
}

} // namespace

// The channel of "Status" and "SetConfig": their second parameter when
// they have one.
int Body::channelOf(const AMsg &msg, bool hasCh)
{
    if (!hasCh)
        return 0;
    bool read = true;
    const int ch = RegLookup::channel(msg.params.at(1), &read);
    if (!read)
        logUnread(msg, msg.params.at(1), QStringLiteral("channel"), QStringLiteral("0 is used"));
    return ch;
}

void Body::askStatus(AMsg msg)
{
    VexDA *u = addressedUnit(msg);
    if (!u)
        return;
    const bool hasCh = msg.params.size() >= 2;
    const int ch = channelOf(msg, hasCh);
    const QString name = msg.params.value(0);
    const quint32 addr = RegLookup::address(name, ch);
    if (!addr) {
        stars->sendAns(msg, QStringLiteral("Er: No Status [%1]").arg(name));
        return;
    }
    if (!u->readReg(addr, true, 2))
        emit log(QStringLiteral("Er: asking status to answer a request from stars %1").arg(msg.rest));
    stars->sendAns(msg, registerAnswer(name, hasCh, ch, u->ansValue()));
}

void Body::askSetConfig(AMsg msg)
{
    VexDA *u = addressedUnit(msg);
    if (!u)
        return;
    const qsizetype n = msg.params.size();
    const bool hasCh = n >= 3;
    const int ch = channelOf(msg, hasCh);
    const QString valueText = n >= 3 ? msg.params.at(2) : n == 2 ? msg.params.at(1) : QString();
    const QString name = msg.params.value(0);
    const quint32 addr = RegLookup::address(name, ch);
    if (!addr) {
        stars->sendAns(msg, QStringLiteral("Er: No Status [%1]").arg(name));
        return;
    }
    bool read = true;
    const quint32 value = ParamRules::configValue(valueText, &read) & 0xFFFF;
    if (!read)
        logUnread(msg, valueText, QStringLiteral("register value"), QStringLiteral("0 is set"));
    if (!u->writeReg(addr, value, true, 2))
        emit log(QStringLiteral("Er: setting config on a request from stars %1").arg(msg.rest));
    stars->sendAns(msg, registerAnswer(name, hasCh, ch, u->ansValue()));
}

void Body::askGetHistgram(AMsg msg)
{
    const int n = getElmNo(msg, 1);
    if (n < 0)
        return;
    const Element &e = units.elements.at(n);
    // The buffer is shared by the unit's channels: after a failed read it
    // holds another channel's or an older measurement's histogram.
    if (!readHistogram(msg, e))
        return;
    const int bins = std::clamp(e.unit->mcaLength, 0, VexDA::hgCapacity);
    QString text;
    text.reserve(bins * 6);
    for (int i = 0; i < bins; ++i) {
        if (i)
            text += QLatin1Char(' ');
        text += QString::number(e.unit->hg[i]);
    }
    stars->sendAns(msg, text);
}

void Body::askGetDataLinkCh(AMsg msg)
{
    // The port the server listens on: the configured one, or the one the
    // system chose when the configuration asks for any (0).
    const int port = dataLinkServerPort() ? int(dataLinkServerPort()) : dataLinkPort;
    const QString text = QStringLiteral("%1 %2").arg(dataLinkIp).arg(port);
    emit log(QStringLiteral("Ans to Get Data Link Ch as [%1]").arg(text));
    stars->sendAns(msg, text);
}
