// The log area that free functions write to, and the function that does it.
#pragma once

#include <QColor>
#include <QString>

class LogArea;

// The log area that the free log functions reach; null until main sets it
// and again once the main window is being destroyed.
extern LogArea *logSink;

void sinkLog(const QString &msg, const QColor &c = QColor(0, 0, 0));
void sinkVlog(const QString &msg, const QColor &c = QColor(0, 0, 0));

// Whether verbose lines are shown now; lets hot paths skip building them.
bool sinkVerbose();
