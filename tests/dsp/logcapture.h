#pragma once

#include <QTextEdit>

#include "logarea.h"
#include "logsink.h"

// Points the process-wide log sink at a log area (verbose on, no file) for
// the lifetime of the object, so that tests can read the lines logged.
class LogCapture
{
public:
    LogCapture()
    {
        m_area.setWriteToFile(false);
        m_area.setVerbose(true);
        logSink = &m_area;
    }
    ~LogCapture() { logSink = nullptr; }

    QString text() const { return m_area.findChild<QTextEdit *>(QStringLiteral("LogDisp"))->toPlainText(); }
    bool contains(const QString &s) const { return text().contains(s); }
    int count(const QString &s) const { return int(text().count(s)); }

private:
    LogArea m_area;
};
