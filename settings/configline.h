// One row of the DSP setting window: a register of one unit and channel.
#pragma once

#include <QFrame>
#include <QString>
#include <QtGlobal>

#include "ui_configline.h"

// One row of the DSP setting window: a register of one unit (and channel)
// with its value read out ("Now"), the value to write ("New") and the value
// of a loaded setting file ("Loaded"), each in decimal and hexadecimal.
class ConfigLine : public QFrame, private Ui_ConfigLine
{
    Q_OBJECT

public:
    enum Column { Now = 0, New = 1, Restored = 2 };

    // A row that keeps the form's texts: the header of the window.
    explicit ConfigLine(QWidget *parent = nullptr);
    // A row of one record; "Now" and "New" start at `value`. A record of
    // address 0 (its unit did not answer) shows "no answer" and no values.
    ConfigLine(int num, const QString &dsp, const QString &ch, const QString &name, quint32 addr,
               quint16 value, QWidget *parent = nullptr);

    int num() const { return rowNum; }
    quint16 valNow() const { return now; }
    quint16 valNew() const { return newVal; }
    quint16 valRestored() const { return restored; }
    // The value of a column: 0 now, 1 new, 2 restored (any other: 0).
    quint16 val(int column) const;

    void setNow(quint16 v);
    void setNew(quint16 v);
    void setRestored(quint16 v);

    // The edited text of a value field as a 16-bit value: decimal, 0 when
    // not a number, cut to the low 16 bits.
    static quint16 fieldValue(const QString &text);

    static const QString changedStyle;   // a value that differs from "Now"

signals:
    void updated(int num);

private slots:
    void newValNew();
    void newValRestored();

private:
    void fitColumnsToHeader();
    void paintDiffs();

    int rowNum = 0;
    quint16 now = 0;
    quint16 newVal = 0;
    quint16 restored = 0;
};
