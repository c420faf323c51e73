// The status strip of one device unit.
#include "unitstat.h"

UnitStat::UnitStat(QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
    TCPStat->setStay();
    TCPTimeout->setOk();
    UDPTimeout->setOk();
}

void UnitStat::setName(const QString &name)
{
    ID->setText(name);
    TCPStat->id = QStringLiteral("%1-%2").arg(name, QStringLiteral("TCPConnected"));
    TCPTimeout->id = QStringLiteral("%1-%2").arg(name, QStringLiteral("TCPTimeout"));
    UDPTimeout->id = QStringLiteral("%1-%2").arg(name, QStringLiteral("UDPTimeout"));
}

void UnitStat::setIp(const QString &ip)
{
    IP->setText(ip);
}

void UnitStat::setTcpStat(int st)
{
    switch (st) {
    case 0:
        TCPStat->setRunning();
        break;
    case 1:
        TCPStat->setStay();
        break;
    case 2:
        TCPStat->setInTransition();
        break;
    default:
        break;
    }
}

void UnitStat::setTcpTimeout(bool f)
{
    TCPTimeout->setOkNG(!f);
}

void UnitStat::setUdpTimeout(bool f)
{
    UDPTimeout->setOkNG(!f);
}

void UnitStat::setAnswering(bool answering)
{
    if (answering)
        UDPTimeout->setOk();
    else
        UDPTimeout->setNG(tr("no answer"));
}
