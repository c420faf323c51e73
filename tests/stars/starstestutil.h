#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include "fakeserver.h"
#include "stars.h"

// Writes a key file and returns its path.
inline QString writeKeyFile(const QString &path, const QByteArray &contents)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write(contents);
    return path;
}

// Points the panel at the fake server with the node name "Marlo".
inline void aimAt(Stars &stars, const FakeServer &server, const QString &keyFile)
{
    stars.setHost(QStringLiteral("127.0.0.1"));
    stars.setPort(QString::number(server.port()));
    stars.setNodeName(QStringLiteral("Marlo"));
    stars.setKeyFile(keyFile);
}

// Connects, answers the handshake as a server would and waits for state 2.
// The key line is checked against `keyLine` when it is given.
inline bool bringUp(Stars &stars, FakeServer &server, const QByteArray &keyLine = QByteArray())
{
    stars.connectToStars();
    if (!server.waitForClient())
        return false;
    server.send("1\n");
    const QByteArray key = server.nextLine();
    if (key.isEmpty() || (!keyLine.isEmpty() && key != keyLine))
        return false;
    server.send("System>" + stars.nodeName().toLatin1() + " Ok:\n");
    return QTest::qWaitFor([&stars] { return stars.linkState() == 2; }, 5000);
}
