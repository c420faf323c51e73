#pragma once

#include <QColor>
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

    QString logFileName() const;

public slots:
    void log(const QString &msg, const QColor c = QColor(0, 0, 0));
    void vlog(const QString &msg, const QColor c = QColor(0, 0, 0));
};
