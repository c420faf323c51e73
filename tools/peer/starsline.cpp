#include "starsline.h"

namespace {

// The item starting at `pos` (after skipping whitespace) and the position
// after it.
QString nextItem(const QString &s, qsizetype &pos)
{
    while (pos < s.size() && s.at(pos).isSpace())
        ++pos;
    const qsizetype start = pos;
    while (pos < s.size() && !s.at(pos).isSpace())
        ++pos;
    return s.mid(start, pos - start);
}

QString nameOf(const QString &address)
{
    const qsizetype dot = address.indexOf(QLatin1Char('.'));
    return dot < 0 ? address : address.left(dot);
}

} // namespace

StarsLine StarsLine::parse(const QString &line)
{
    StarsLine l;
    QString s = line;
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    qsizetype pos = 0;
    const QString head = nextItem(s, pos);
    const qsizetype gt = head.indexOf(QLatin1Char('>'));
    if (gt < 0)
        return l;
    l.from = head.left(gt);
    l.to = head.mid(gt + 1);
    l.fromName = nameOf(l.from);
    l.toName = nameOf(l.to);
    const QString word = nextItem(s, pos);
    if (word.isEmpty())
        return l;
    if (word.startsWith(QLatin1Char('@'))) {
        l.kind = Answer;
        l.cmd = word.mid(1);
    } else if (word.startsWith(QLatin1Char('_'))) {
        l.kind = Event;
        l.cmd = word.mid(1);
    } else {
        l.cmd = word;
    }
    // One separating blank belongs to the line's syntax; the rest is text.
    if (pos < s.size())
        ++pos;
    l.text = s.mid(pos);
    l.ok = true;
    return l;
}

bool StarsLine::isErrorText(const QString &text)
{
    return text.startsWith(QLatin1String("Er:")) || text.contains(QLatin1String(" Er:"));
}
