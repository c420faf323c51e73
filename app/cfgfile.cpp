// Reads the configuration file and the command line into keys and values.
#include "cfgfile.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

Q_LOGGING_CATEGORY(lcCfg, "marlo.cfg")

namespace {

CfgFile *theStore = nullptr;

// White space as the pattern "\s" of QRegularExpression knows it: the ASCII
// blank, tab, line feed, vertical tab, form feed and carriage return only, so a
// no-break or ideographic space is part of an item.
bool isWhite(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// Cuts the comment off a configuration line: the first '#' outside quotes.
// Apostrophes and double quotes toggle one shared in-quote flag.
QString stripComment(const QString &line)
{
    bool inQuote = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            inQuote = !inQuote;
        else if (c == QLatin1Char('#') && !inQuote)
            return line.left(i);
    }
    return line;
}

bool isBlankLine(const QString &line)
{
    return line.simplified().isEmpty();
}

} // namespace

QString splitFirstItem(const QString &text, QString &item)
{
    item.clear();
    int i = 0;
    while (i < text.size() && isWhite(text.at(i)))
        ++i;
    if (i >= text.size())
        return QString();

    if (text.at(i) == QLatin1Char('"')) {
        const int j = text.indexOf(QLatin1Char('"'), i + 1);
        if (j < 0) {
            qDebug().noquote() << QStringLiteral("In a line [%1] item is started from quote but not ended by quote").arg(text);
            item = text.mid(i + 1);
            return QString();
        }
        item = text.mid(i + 1, j - i - 1);
        return text.mid(j + 1);
    }

    int k = i;
    while (k < text.size() && !isWhite(text.at(k)))
        ++k;
    item = text.mid(i, k - i);
    if (item.endsWith(QLatin1Char('"')))
        qDebug().noquote() << QStringLiteral("In a line [%1] item is started from not quote but ended by quote").arg(text);
    return k < text.size() ? text.mid(k) : QString();
}

CfgFile::CfgFile(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromUtf8(argv[i]);
    parseArgs(args);
}

CfgFile::CfgFile(const QStringList &args)
{
    parseArgs(args);
}

CfgFile *CfgFile::instance()
{
    return theStore;
}

void CfgFile::setInstance(CfgFile *cfg)
{
    theStore = cfg;
}

void CfgFile::parseArgs(const QStringList &args)
{
    int i = 0;
    while (i < args.size()) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1Char('-'))) {
            ++i;
            continue;
        }
        int j = i + 1;
        QStringList further;
        while (j < args.size() && !args.at(j).startsWith(QLatin1Char('-')))
            further << args.at(j++);
        addEntry(arg, further.isEmpty() ? QString() : further.first(), further.join(QLatin1Char(' ')), Place());
        i = j;
    }
}

void CfgFile::putSlot(QList<Slot> &list, QHash<QString, int> &index, const Slot &slot)
{
    const auto it = index.constFind(slot.key);
    if (it == index.cend()) {
        index.insert(slot.key, int(list.size()));
        list.append(slot);
    } else {
        list[*it] = slot;
    }
}

void CfgFile::addEntry(const QString &key, const QString &value, const QString &rest, const Place &place)
{
    putSlot(exact, exactIndex, {key, value, rest});
    const QString up = key.toUpper();
    putSlot(upper, upperIndex, {up, value, rest});
    lines.append({up, rest, place});
}

bool CfgFile::readFile(const QString &fileName)
{
    QStringList openFiles;
    return readFileAt(fileName, openFiles);
}

bool CfgFile::readFileAt(const QString &fileName, QStringList &openFiles)
{
    QFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // The main file's failure is main's red line; an include's is told here.
        if (!openFiles.isEmpty())
            qDebug().nospace() << "Can't open config file : " << fileName;
        return false;
    }
    const QString canonical = QFileInfo(file).canonicalFilePath();
    openFiles.append(canonical);

    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    in.setAutoDetectUnicode(false);   // always UTF-8, whatever the first bytes are
    QString line;
    int lineNo = 0;
    while (in.readLineInto(&line)) {
        ++lineNo;
        const QString text = stripComment(line);
        if (isBlankLine(text))
            continue;
        QString key, value;
        const QString rest = splitFirstItem(text, key);
        splitFirstItem(rest, value);
        if (key.toUpper() == QLatin1String("INCLUDE")) {
            const QString target = QFileInfo(value).canonicalFilePath();
            if (!target.isEmpty() && openFiles.contains(target)) {
                qCWarning(lcCfg).nospace() << "Config file includes itself, not followed : " << value;
                continue;
            }
            if (openFiles.size() >= maxIncludeDepth) {
                qCWarning(lcCfg).nospace() << "Config includes nested too deep, not followed : " << value;
                continue;
            }
            readFileAt(value, openFiles);
            continue;
        }
        addEntry(key, value, rest, {key, fileName, lineNo});
    }
    openFiles.removeLast();
    return true;
}

QString CfgFile::value(const QString &key, const QString &def) const
{
    const auto it = upperIndex.constFind(key.toUpper());
    return it == upperIndex.cend() ? def : upper.at(*it).value;
}

QString CfgFile::restOf(const QString &key, const QString &def) const
{
    const auto it = upperIndex.constFind(key.toUpper());
    return it == upperIndex.cend() ? def : upper.at(*it).rest;
}

QStringList CfgFile::restsOf(const QString &key) const
{
    const QString up = key.toUpper();
    QStringList out;
    for (const auto &l : lines) {
        if (l.key == up)
            out << l.rest;
    }
    return out;
}

const QStringList &CfgFile::knownKeys()
{
    static const QStringList keys{
        QStringLiteral("STARS_IP"), QStringLiteral("STARS_PORT"), QStringLiteral("NAME_ON_STARS"),
        QStringLiteral("KEY_ON_STARS"), QStringLiteral("CONNECT_TO_STARS"), QStringLiteral("STARS_RECONNECT"),
        QStringLiteral("RECORD_MSG_TO_STARS"), QStringLiteral("RECORD_MSG_FROM_STARS"),
        QStringLiteral("DATA_LINK_CH_IP"), QStringLiteral("DATA_LINK_CH_PORT"), QStringLiteral("DATA_LINK_ALLOW"),
        QStringLiteral("DISCARD_DATA_LINK"), QStringLiteral("SIMPLE_TRANS"), QStringLiteral("WRITE_LOG_FILE"),
        QStringLiteral("VERBOSE"), QStringLiteral("VEXDA"), QStringLiteral("EMULATE_DSP_SIGNAL"),
        QStringLiteral("WATCH_INTERVAL_MS"), QStringLiteral("QUICK_PRESET_END"), QStringLiteral("VEXHV"), QStringLiteral("HV_READ_PARAMS"),
        QStringLiteral("HV_READ_TYPE"), QStringLiteral("DUMP"), QStringLiteral("RECOVER"),
        QStringLiteral("RECOVER_FILE"),
    };
    return keys;
}

QList<CfgFile::Place> CfgFile::unknownKeys() const
{
    QList<Place> out;
    for (const auto &l : lines) {
        if (!l.place.file.isEmpty() && !knownKeys().contains(l.key))
            out << l.place;
    }
    return out;
}

QString CfgFile::option(const QString &key, const QString &def) const
{
    const auto it = exactIndex.constFind(key);
    return it == exactIndex.cend() ? def : exact.at(*it).value;
}

bool CfgFile::hasKey(const QString &key) const
{
    return exactIndex.contains(key);
}

bool CfgFile::flag(const QString &key, const QString &def) const
{
    return value(key, def).toInt() == 1;
}

int CfgFile::number(const QString &key, int def, int min, int max, QString *complaint) const
{
    if (complaint)
        complaint->clear();
    const auto it = upperIndex.constFind(key.toUpper());
    if (it == upperIndex.cend())
        return def;
    const QString text = upper.at(*it).value;
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (ok && n >= min && n <= max)
        return n;
    if (complaint)
        *complaint = QStringLiteral("Config key %1 : \"%2\" is not a number from %3 to %4, using the default (%5)")
                         .arg(key, text, QString::number(min), QString::number(max),
                              def >= min && def <= max ? QString::number(def) : QStringLiteral("none"));
    return def;
}
