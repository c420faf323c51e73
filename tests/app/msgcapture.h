#pragma once

#include <QStringList>
#include <QtGlobal>

// Collects every message written through qDebug/qWarning/... while it lives.
class MsgCapture
{
public:
    MsgCapture()
    {
        current = this;
        previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &msg) {
            if (current)
                current->messages << msg;
        });
    }
    ~MsgCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList messages;

private:
    static inline MsgCapture *current = nullptr;
    QtMessageHandler previous = nullptr;
};
