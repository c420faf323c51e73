#include "logarea.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

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

// Opens, appends and closes for every line, so the operator may change the
// name at any time. A file that cannot be opened (an empty name included)
// loses the line without any message.
void LogArea::appendToFile(const QString &line)
{
    const QString name = LogFileName->text();
    if (name.isEmpty())
        return;
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    if (file.size() == 0)   // a new file first says which build writes it
        out << formatLine(QDateTime::currentDateTime(), QStringLiteral("marlo ") + QLatin1String(marloVersion())) << '\n';
    out << line << '\n';
}
