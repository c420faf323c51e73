#pragma once

#include <QColor>
#include <QDateTime>
#include <QFrame>
#include <QString>

#include "ui_logarea.h"

// The time-stamped, coloured log display of the main window, which also
// appends every line to the dated log file while "Write To" is checked.
class LogArea : public QFrame, private Ui_LogArea
{
    Q_OBJECT

public:
    explicit LogArea(QWidget *parent = nullptr, int maxBlocks = 2000);

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
    void appendToFile(const QString &line);
};
