// The log area: time-stamped, coloured lines on screen and in the log file.
#include "logarea.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>

#include "marloversion.h"

LogArea::LogArea(QWidget *parent, int maxBlocks)
    : QFrame(parent)
{
    setupUi(this);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyMMdd-hhmmss"));
    LogFileName->setText(QDir(QDir::currentPath()).absoluteFilePath(QStringLiteral("log-%1.dat").arg(stamp)));
    LogDisp->document()->setMaximumBlockCount(maxBlocks);

    // At least ten lines show; the text display scrolls, its scroll area
    // (which fits it to its size) never does.
    const int margin = int(LogDisp->document()->documentMargin());
    LogDisp->setMinimumHeight(10 * LogDisp->fontMetrics().lineSpacing() + 2 * (margin + LogDisp->frameWidth()));
    scrollArea->setMinimumHeight(scrollAreaWidgetContents->minimumSizeHint().height() + 2 * scrollArea->frameWidth());

    repeatTimer.setSingleShot(true);
    repeatTimer.setInterval(10000);
    connect(&repeatTimer, &QTimer::timeout, this, [this] {
        flushRepeats();
        // The next identical line is written in full again.
        lastMsg.clear();
    });
}

LogArea::~LogArea()
{
    flushRepeats();
}

QString LogArea::logFileName() const
{
    return LogFileName->text();
}

void LogArea::setWriteToFile(bool on)
{
    IsWriteTo->setChecked(on);
}

bool LogArea::isWriteToFile() const
{
    return IsWriteTo->isChecked();
}

void LogArea::setVerbose(bool on)
{
    Verbose->setChecked(on);
}

bool LogArea::isVerbose() const
{
    return Verbose->isChecked();
}

QString LogArea::formatLine(const QDateTime &when, const QString &msg)
{
    return when.toString(QStringLiteral("yy/MM/dd hh:mm:ss.zzz:")) + msg;
}

void LogArea::log(const QString &msg, const QColor c)
{
    if (!lastMsg.isNull() && msg == lastMsg && c == lastColor) {
        if (repeats++ == 0)
            repeatTimer.start();
        return;
    }
    flushRepeats();
    lastMsg = msg;
    lastColor = c;
    display(msg, c);
}

void LogArea::flushRepeats()
{
    repeatTimer.stop();
    if (repeats == 0)
        return;
    const int n = repeats;
    repeats = 0;
    display(tr("(the line above repeated %1 times)").arg(n), lastColor);
}

void LogArea::display(const QString &msg, const QColor &c)
{
    const QString line = formatLine(QDateTime::currentDateTime(), msg);
    LogDisp->setTextColor(c);
    LogDisp->insertPlainText(line + QLatin1Char('\n'));
    if (KeepAtEnd->isChecked())
        LogDisp->moveCursor(QTextCursor::End);
    if (IsWriteTo->isChecked())
        appendToFile(line);
}

void LogArea::vlog(const QString &msg, const QColor c)
{
    if (Verbose->isChecked())
        log(msg, c);
}

// The file stays open while its name stays; a new name in "LogFileName"
// takes effect with the next line. A file that cannot be opened (an empty
// name included) loses the line without any message.
void LogArea::appendToFile(const QString &line)
{
    const QString name = LogFileName->text();
    if (name.isEmpty()) {
        file.close();
        return;
    }
    if (!file.isOpen() || file.fileName() != name) {
        file.close();
        file.setFileName(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            return;
        if (file.size() == 0)   // a new file first says which build writes it
            file.write((formatLine(QDateTime::currentDateTime(), QStringLiteral("marlo ") + QLatin1String(marloVersion()))
                        + QLatin1Char('\n')).toUtf8());
    }
    file.write((line + QLatin1Char('\n')).toUtf8());
    file.flush();
}
