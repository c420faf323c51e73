#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects every message written through qDebug/qWarning/... while it lives.
class MsgCapture
{
public:
    MsgCapture() { current() = this; previous = qInstallMessageHandler(&MsgCapture::handler); }
    ~MsgCapture() { qInstallMessageHandler(previous); current() = nullptr; }
    MsgCapture(const MsgCapture &) = delete;
    MsgCapture &operator=(const MsgCapture &) = delete;

    QStringList messages;

    int count(const QString &part) const
    {
        int n = 0;
        for (const QString &m : messages)
            n += m.contains(part) ? 1 : 0;
        return n;
    }

private:
    static MsgCapture *&current()
    {
        static MsgCapture *c = nullptr;
        return c;
    }
    static void handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        if (current())
            current()->messages << msg;
    }
    QtMessageHandler previous = nullptr;
};
