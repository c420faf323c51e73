// A coloured status indicator label.
#include "statdisp.h"

const QString StatDisp::okStyle = QStringLiteral("background-color: rgb(211, 255, 241);");
const QString StatDisp::ngStyle = QStringLiteral("background-color: rgb(255, 192, 192);");
const QString StatDisp::stayStyle = QStringLiteral("background-color: rgb(176, 192, 192);");
const QString StatDisp::inTransitionStyle = QStringLiteral("background-color: rgb(255, 243, 162);");

StatDisp::StatDisp(QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
}

QString StatDisp::text() const
{
    return Stat->text();
}

QString StatDisp::styleSheetOfLabel() const
{
    return Stat->styleSheet();
}

void StatDisp::setText(const QString &stat)
{
    Stat->setText(stat);
}

void StatDisp::setStyleSheet(const QString &style)
{
    // Re-polishing is costly and the indicators are set on every register
    // answer: only apply a change.
    if (Stat->styleSheet() != style)
        Stat->setStyleSheet(style);
}

void StatDisp::setRunStat(StatDisp::RunStat stat, const QStringList &statName)
{
    const auto name = [&statName](int i) { return i < statName.size() ? statName.at(i) : QString(); };
    switch (stat) {
    case Running:
        setRunning(name(0));
        break;
    case Stay:
        setStay(name(1));
        break;
    case InTransition:
        setInTransition(name(2));
        break;
    }
}

void StatDisp::setRunStat(StatDisp::RunStat stat)
{
    setRunStat(stat, QStringList());
}

void StatDisp::setRunning(const QString &msg)
{
    setText(msg);
    setStyleSheet(okStyle);
}

void StatDisp::setRunning()
{
    setRunning(QString());
}

void StatDisp::setStay(const QString &msg)
{
    setText(msg);
    setStyleSheet(stayStyle);
}

void StatDisp::setStay()
{
    setStay(QString());
}

void StatDisp::setInTransition(const QString &msg)
{
    setText(msg);
    setStyleSheet(inTransitionStyle);
}

void StatDisp::setInTransition()
{
    setInTransition(QString());
}

void StatDisp::setOkNG(bool f, const QString &ok, const QString &ng)
{
    if (f)
        setOk(ok);
    else
        setNG(ng);
}

void StatDisp::setOkNG(bool f, const QString &ok)
{
    if (f)
        setOk(ok);
    else
        setNG();
}

void StatDisp::setOkNG(bool f)
{
    if (f)
        setOk();
    else
        setNG();
}

void StatDisp::setOk(const QString &ok)
{
    setText(ok);
    setStyleSheet(okStyle);
}

void StatDisp::setOk()
{
    setOk(QString());
}

void StatDisp::setNG(const QString &ng)
{
    setText(ng);
    setStyleSheet(ngStyle);
}

void StatDisp::setNG()
{
    setNG(QString());
}

QSize StatDisp::minimumSizeHint() const
{
    return QFrame::minimumSizeHint().expandedTo(QSize(18, 18));
}

QSize StatDisp::sizeHint() const
{
    return QFrame::sizeHint().expandedTo(QSize(18, 18));
}
