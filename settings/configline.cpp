// One row of the DSP setting window.
#include "configline.h"

#include <QLineEdit>
#include <QStyle>

const QString ConfigLine::changedStyle = QStringLiteral("background-color: rgb(255, 192, 192);");

static QString hex4(quint16 v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

ConfigLine::ConfigLine(QWidget *parent)
    : QFrame(parent)
{
    setupUi(this);
    fitColumnsToHeader();
}

ConfigLine::ConfigLine(int num, const QString &dsp, const QString &ch, const QString &name, quint32 addr,
                       quint16 value, QWidget *parent)
    : QFrame(parent), rowNum(num)
{
    setupUi(this);
    fitColumnsToHeader();
    No->setText(QString::number(num));
    Dsp->setText(dsp);
    Ch->setText(ch);
    AddrDesc->setText(name);
    Addr->setText(QStringLiteral("%1").arg(addr, 8, 16, QLatin1Char('0')));
    setNow(value);
    setNew(value);
    ValRestored->clear();
    HexRestored->clear();
    // Address 0: the unit did not answer, so the row holds no value of it
    // (and a write-back skips it).
    if (addr == 0) {
        Addr->setText(tr("no answer"));
        for (QLineEdit *e : {ValNow, ValNew, HexNow, HexNew})
            e->clear();
        ValNew->setReadOnly(true);
    }
    connect(ValNew, &QLineEdit::editingFinished, this, &ConfigLine::newValNew);
    connect(ValRestored, &QLineEdit::editingFinished, this, &ConfigLine::newValRestored);
}

// Every row, the header included, makes each column at least as wide as the
// header's text in it (the form's texts, translated), so the header shows
// whole and the columns of all rows line up.
void ConfigLine::fitColumnsToHeader()
{
    const int pad = 2 * style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 8;
    const QFontMetrics fm = No->fontMetrics();
    No->setMinimumWidth(qMax(fm.horizontalAdvance(No->text()), fm.horizontalAdvance(QStringLiteral("0000"))) + 4);
    for (QLineEdit *e : {Dsp, Ch, AddrDesc, Addr, ValNow, ValNew, ValRestored, HexNow, HexNew, HexRestored})
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(e->text()) + pad);
}

quint16 ConfigLine::val(int column) const
{
    switch (column) {
    case Now:
        return now;
    case New:
        return newVal;
    case Restored:
        return restored;
    default:
        return 0;
    }
}

void ConfigLine::setNow(quint16 v)
{
    ValNow->setText(QString::number(v));
    HexNow->setText(hex4(v));
    now = v;
    paintDiffs();
}

void ConfigLine::setNew(quint16 v)
{
    ValNew->setText(QString::number(v));
    HexNew->setText(hex4(v));
    newVal = v;
    paintDiffs();
}

void ConfigLine::setRestored(quint16 v)
{
    ValRestored->setText(QString::number(v));
    HexRestored->setText(hex4(v));
    restored = v;
    paintDiffs();
}

quint16 ConfigLine::fieldValue(const QString &text)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    return ok ? quint16(quint64(v) & 0xFFFF) : 0;
}

void ConfigLine::newValNew()
{
    newVal = fieldValue(ValNew->text());
    paintDiffs();
    emit updated(New);
}

void ConfigLine::newValRestored()
{
    restored = fieldValue(ValRestored->text());
    paintDiffs();
    emit updated(Restored);
}

void ConfigLine::paintDiffs()
{
    ValNew->setStyleSheet(newVal != now ? changedStyle : QString());
    ValRestored->setStyleSheet(restored != now ? changedStyle : QString());
}
