// Parses one received STARS line into sender, receiver, command and parameters.
#include "amsg.h"

#include "cfgfile.h"

namespace {

// Splits an address at its first "." into name and channel.
void splitAddress(const QString &addr, QString &name, QString &ch)
{
    const int dot = addr.indexOf(QLatin1Char('.'));
    if (dot < 0) {
        name = addr;
        ch.clear();
    } else {
        name = addr.left(dot);
        ch = addr.mid(dot + 1);
    }
}

QString fullAddress(const QString &name, const QString &ch)
{
    return ch.isEmpty() ? name : name + QLatin1Char('.') + ch;
}

} // namespace

bool AMsg::parse(const QString &text)
{
    ok = false;
    line = text;
    line.remove(QLatin1Char('\n'));
    line.remove(QLatin1Char('\r'));

    rest = splitFirstItem(line, head);
    const int gt = head.indexOf(QLatin1Char('>'));
    if (!rest.isEmpty() && gt >= 0) {
        from = head.left(gt);
        to = head.mid(gt + 1);
        splitAddress(from, fromName, fromCh);
        splitAddress(to, toName, toCh);

        QString word;
        paramStr = splitFirstItem(rest, word);
        QString remaining = paramStr;
        while (!remaining.isEmpty()) {
            QString item;
            remaining = splitFirstItem(remaining, item);
            params.append(item);
        }
        if (!params.isEmpty())
            param0 = params.first();

        if (word.startsWith(QLatin1Char('@'))) {
            cmd = word.mid(1);
            kind = Ans;
        } else if (word.startsWith(QLatin1Char('_'))) {
            cmd = word.mid(1);
            kind = Event;
        } else {
            cmd = word;
            kind = Ask;
        }
        ok = true;
    }

    fromFull = fullAddress(fromName, fromCh);
    toFull = fullAddress(toName, toCh);
    return ok;
}

void AMsg::registerMetaType()
{
    qRegisterMetaType<AMsg>("AMsg");
}
