// Shows the STARS link state on the status label and the connect button.
#include "connectstat.h"

ConnectStat::ConnectStat(QObject *parent)
    : QObject(parent)
{
}

void ConnectStat::setWidgets(QLabel *label, QPushButton *button)
{
    if (connectB)
        disconnect(connectB, &QPushButton::clicked, this, &ConnectStat::connectBClicked);
    statusL = label;
    connectB = button;
    if (connectB)
        connect(connectB, &QPushButton::clicked, this, &ConnectStat::connectBClicked);
}

void ConnectStat::setStat(int s)
{
    state = s;
    QString labelText, labelStyle, buttonText, buttonStyle;
    switch (s) {
    case Disconnected:
        labelText = tr("Disconnected");
        labelStyle = QStringLiteral("background-color: rgb(176, 192, 192);");
        buttonText = tr("Connect");
        buttonStyle = QStringLiteral("background-color: rgb(96, 255, 181);");
        break;
    case Connecting:
        labelText = tr("Connecting");
        labelStyle = QStringLiteral("background-color: rgb(255, 243, 162);");
        buttonText = tr("Connecting");
        buttonStyle = QStringLiteral("background-color: rgb(240, 240, 240);");
        break;
    case Connected:
        labelText = tr("Connected");
        labelStyle = QStringLiteral("background-color: rgb(211, 255, 241);");
        buttonText = tr("Disconnect");
        buttonStyle = QStringLiteral("background-color: rgb(255, 255, 128);");
        break;
    default:
        return;
    }
    if (retrying && s != Connected) {
        labelText = tr("Reconnecting");
        labelStyle = QStringLiteral("background-color: rgb(255, 214, 160);");
        buttonText = tr("Disconnect");
        buttonStyle = QStringLiteral("background-color: rgb(255, 255, 128);");
    }
    if (statusL) {
        statusL->setText(labelText);
        statusL->setStyleSheet(labelStyle);
    }
    if (connectB) {
        connectB->setText(buttonText);
        connectB->setStyleSheet(buttonStyle);
    }
}

void ConnectStat::setRetrying(bool on)
{
    retrying = on;
    setStat(state);
}

void ConnectStat::connectBClicked()
{
    if (state == Disconnected && !retrying)
        emit askConnect();
    else
        emit askDisconnect();
}
