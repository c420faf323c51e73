// Shows the STARS link state on a status label and the connect button.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>

// Shows the STARS link state on a status label and the connect button, and
// turns button clicks into connect or disconnect requests.
class ConnectStat : public QObject
{
    Q_OBJECT

public:
    enum State { Disconnected = 0, Connecting = 1, Connected = 2 };

    explicit ConnectStat(QObject *parent = nullptr);

    // Hands over the two widgets (not owned) and connects the button's
    // clicked() to connectBClicked().
    void setWidgets(QLabel *label, QPushButton *button);
    // Stores s as the state and paints the widgets; a value other than 0, 1
    // and 2 is stored and paints nothing.
    void setStat(int s);
    // While the link heals itself (a lost link or a failed attempt is being
    // retried), states 0 and 1 show "Reconnecting" and the button offers
    // "Disconnect", which stops the retrying.
    void setRetrying(bool on);
    bool isRetrying() const { return retrying; }

    int state = Disconnected;

signals:
    void askConnect();
    void askDisconnect();

private slots:
    void connectBClicked();

private:
    QPointer<QLabel> statusL;
    QPointer<QPushButton> connectB;
    bool retrying = false;
};
