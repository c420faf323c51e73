// The log area of the main window, which also writes the log file.
#pragma once

#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QFrame>
#include <QString>
#include <QTimer>

#include "ui_logarea.h"

// The time-stamped, coloured log display of the main window, which also
// appends every line to the dated log file while "Write To" is checked. The
// file stays open (it is reopened when its name changes) and is flushed line
// by line. A run of identical lines is shown and stored once, followed by
// one line that counts the repeats, written when a different line comes or
// repeatFlushMs after the first repeat.
class LogArea : public QFrame, private Ui_LogArea
{
    Q_OBJECT

public:
    explicit LogArea(QWidget *parent = nullptr, int maxBlocks = 2000);
    ~LogArea() override;

    // 10 s; tests shorten it.
    void setRepeatFlushMs(int ms) { repeatTimer.setInterval(ms); }

    // The log file the next line goes to (the "LogFileName" field).
    QString logFileName() const;

    // The "Write To" and "Verbose" boxes, set from the configuration.
    void setWriteToFile(bool on);
    bool isWriteToFile() const;
    void setVerbose(bool on);
    bool isVerbose() const;

    // A log line as shown and stored: "yy/MM/dd hh:mm:ss.zzz:" and the message.
    static QString formatLine(const QDateTime &when, const QString &msg);

public slots:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    void vlog(const QString &msg, const QColor c = QColor(0, 0, 0));

private:
    void display(const QString &msg, const QColor &c);
    void appendToFile(const QString &line);
    void flushRepeats();

    QFile file;
    QString lastMsg;
    QColor lastColor;
    int repeats = 0;   // identical lines after lastMsg, not yet counted in the log
    QTimer repeatTimer;
};
