// The one-line status strip of a device unit: identifier, address and link lamps.
#pragma once

#include <QFrame>
#include <QString>

#include "ui_unitstat.h"

// The one-line status strip of a device unit: identifier, address, TCP
// state, TCP time-out and UDP time-out.
class UnitStat : public QFrame, private Ui_UnitStat
{
    Q_OBJECT

public:
    explicit UnitStat(QWidget *parent = nullptr);

    void setName(const QString &name);
    void setIp(const QString &ip);
    void setTcpStat(int st);          // 0 connected, 1 disconnected, 2 connecting
    void setTcpTimeout(bool f);
    void setUdpTimeout(bool f);
    // A unit that does not answer shows it on its UDP indicator until an
    // access is answered again.
    void setAnswering(bool answering);
};
