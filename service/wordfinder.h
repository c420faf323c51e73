// Keeps a list of byte strings and finds the earliest in a byte buffer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

// Keeps a list of byte strings and finds, in a byte buffer, the earliest
// occurrence of any of them; at equal positions the earlier list entry wins.
class WordFinder : public QObject
{
    Q_OBJECT

public:
    explicit WordFinder(QObject *parent = nullptr);

    void setWords(const QList<QByteArray> &words);
    void addWord(const QByteArray &word);
    QList<QByteArray> words() const { return list; }
    int longestWord() const;

    // Position of the earliest occurrence at or after `from`, -1 when none;
    // `which` is the index of the word found (-1 when none).
    qsizetype find(const QByteArray &buf, int &which, qsizetype from = 0) const;

private:
    QList<QByteArray> list;
};
