// The DSP units in configuration order and their element list.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "element.h"
#include "vexda.h"

// The DSP units in configuration order, their element list and their
// combined busy flag. Schedules its units for deletion when destroyed; a unit
// listed in several sets is deleted exactly once.
class VexDAs : public QObject
{
    Q_OBJECT

public:
    explicit VexDAs(QObject *parent = nullptr);
    ~VexDAs() override;

    bool isBusy = false;
    QList<VexDA *> units;
    QList<Element> elements;

    // Appends u and connects its changedIsBusy() to changedOneBusy().
    void addUnit(VexDA *u);

signals:
    void changedIsBusy();

private slots:
    void changedOneBusy();

private:
    QList<QPointer<VexDA>> m_guards;
};
