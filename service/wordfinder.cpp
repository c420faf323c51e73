// Finds the earliest of a list of byte strings in a buffer.
#include "wordfinder.h"

WordFinder::WordFinder(QObject *parent)
    : QObject(parent)
{
}

void WordFinder::setWords(const QList<QByteArray> &words)
{
    list = words;
}

void WordFinder::addWord(const QByteArray &word)
{
    list << word;
}

int WordFinder::longestWord() const
{
    qsizetype n = 0;
    for (const QByteArray &w : list)
        n = std::max(n, w.size());
    return int(n);
}

qsizetype WordFinder::find(const QByteArray &buf, int &which, qsizetype from) const
{
    which = -1;
    qsizetype best = -1;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).isEmpty())
            continue;     // an empty word would match everywhere
        const qsizetype p = buf.indexOf(list.at(i), from);
        if (p >= 0 && (best < 0 || p < best)) {
            best = p;
            which = i;
        }
    }
    return best;
}
