// Splits the STARS byte stream into lines, with a length limit.
#include "linesplitter.h"

LineSplitter::LineSplitter(qsizetype maxLineBytes)
    : limit(maxLineBytes)
{
}

void LineSplitter::append(const QByteArray &bytes)
{
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    while (pos < size) {
        const qsizetype lf = bytes.indexOf('\n', pos);
        if (skipping) {
            if (lf < 0)
                return;
            skipping = false;
            pos = lf + 1;
            continue;
        }
        if (lf < 0) {
            if (partial.size() + (size - pos) > limit) {
                partial.clear();
                skipping = true;
                ++dropped;
                return;
            }
            partial.append(bytes.constData() + pos, size - pos);
            return;
        }
        const qsizetype len = lf - pos;   // bytes before the LF
        if (partial.size() + len > limit) {
            ++dropped;
        } else {
            partial.append(bytes.constData() + pos, len + 1);
            lines.append(partial);
        }
        partial.clear();
        pos = lf + 1;
    }
}

QByteArray LineSplitter::takeLine()
{
    return lines.isEmpty() ? QByteArray() : lines.takeFirst();
}

int LineSplitter::takeDropped()
{
    const int n = dropped;
    dropped = 0;
    return n;
}

void LineSplitter::clear()
{
    partial.clear();
    lines.clear();
    skipping = false;
    dropped = 0;
}
