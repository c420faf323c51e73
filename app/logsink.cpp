// Sends log lines from anywhere to the log area.
#include "logsink.h"

#include "logarea.h"

LogArea *logSink = nullptr;

void sinkLog(const QString &msg, const QColor &c)
{
    if (logSink)
        logSink->log(msg, c);
}

void sinkVlog(const QString &msg, const QColor &c)
{
    if (logSink)
        logSink->vlog(msg, c);
}

bool sinkVerbose()
{
    return logSink && logSink->isVerbose();
}
