// A coloured status indicator: one label whose text and colour show a state.
#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>

#include "ui_statdisp.h"

// A coloured status indicator: one centred label whose text and background
// colour show a state (running/OK green, NG pink, stay grey, in transition
// yellow).
class StatDisp : public QFrame, private Ui_StatDisp
{
    Q_OBJECT

public:
    enum RunStat { Running = 0, Stay = 1, InTransition = 2 };
    Q_ENUM(RunStat)

    explicit StatDisp(QWidget *parent = nullptr);

    // Never smaller than 18 x 18 pixels, so that the colour shows without text.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    // Identifier that the owner may set (e.g. "dsp1-TCPConnected").
    QString id;

    QString text() const;
    QString styleSheetOfLabel() const;

    static const QString okStyle;            // running, OK
    static const QString ngStyle;
    static const QString stayStyle;
    static const QString inTransitionStyle;

public slots:
    void setText(const QString &stat);
    void setStyleSheet(const QString &style);   // the label's style sheet
    void setRunStat(StatDisp::RunStat stat, const QStringList &statName);
    void setRunStat(StatDisp::RunStat stat);
    void setRunning(const QString &msg);
    void setRunning();
    void setStay(const QString &msg);
    void setStay();
    void setInTransition(const QString &msg);
    void setInTransition();
    void setOkNG(bool f, const QString &ok, const QString &ng);
    void setOkNG(bool f, const QString &ok);
    void setOkNG(bool f);
    void setOk(const QString &ok);
    void setOk();
    void setNG(const QString &ng);
    void setNG();
};
