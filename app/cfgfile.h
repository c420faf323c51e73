// The configuration file: its keys and values, and the splitting of value texts.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Splits off the first whitespace-separated item of `text` (or the text between
// a pair of double quotes) into `item` and returns the text after it.
QString splitFirstItem(const QString &text, QString &item);

// The process-wide store of command-line options and configuration keys.
// Filled once at start-up (options, then one readFile call), then only read.
class CfgFile
{
public:
    CfgFile(int argc, char **argv);
    CfgFile(const QStringList &args);

    bool readFile(const QString &fileName);

    QString value(const QString &key, const QString &def = QString()) const;
    QString restOf(const QString &key, const QString &def = QString()) const;
    QStringList restsOf(const QString &key) const;
    QString option(const QString &key, const QString &def = QString()) const;
    bool hasKey(const QString &key) const;

    // A flag key: on exactly when its value (or `def`) converts to the integer 1.
    bool flag(const QString &key, const QString &def) const;

    // A number key: its value as a decimal integer from `min` to `max`, or
    // `def` when the key is missing. A value that is no such number also gives
    // `def`, and `complaint` (when given) receives a line telling so, for the
    // log; it is left empty otherwise.
    int number(const QString &key, int def, int min, int max, QString *complaint = nullptr) const;

    // The one store of the process, or null before main has made it.
    static CfgFile *instance();
    static void setInstance(CfgFile *cfg);

    // Every key Marlo reads from a configuration file, upper case.
    static const QStringList &knownKeys();

    // Where a file line stands: its key as written, the file as named (by
    // the caller or by INCLUDE) and its number there, counting from 1.
    struct Place {
        QString key;
        QString file;
        int line = 0;
    };
    // The file lines whose key is none of knownKeys(), in reading order.
    QList<Place> unknownKeys() const;

    // Deepest INCLUDE nesting that is followed.
    static constexpr int maxIncludeDepth = 32;

private:
    struct Slot {
        QString key;
        QString value;
        QString rest;
    };

    void parseArgs(const QStringList &args);
    void addEntry(const QString &key, const QString &value, const QString &rest, const Place &place);
    bool readFileAt(const QString &fileName, QStringList &openFiles);
    static void putSlot(QList<Slot> &list, QHash<QString, int> &index, const Slot &slot);

    QList<Slot> exact;                 // keys as written, first-appearance order
    QHash<QString, int> exactIndex;
    QList<Slot> upper;                 // upper-cased keys
    QHash<QString, int> upperIndex;
    struct Line {
        QString key;   // upper-cased
        QString rest;
        Place place;   // empty file for an option
    };
    QList<Line> lines;
};
