#include <QtTest>

#include <QLabel>
#include <QLineEdit>

#include "configline.h"

class TstConfigLine : public QObject
{
    Q_OBJECT

private slots:
    void fields();
    void freshRowColours_data();
    void freshRowColours();
    void editNew();
    void editRestored();
    void setters();
    void fieldValue_data();
    void fieldValue();
};

static QLineEdit *edit(ConfigLine &l, const char *name)
{
    return l.findChild<QLineEdit *>(QLatin1String(name));
}

static void type(QLineEdit *e, const QString &text)
{
    e->selectAll();
    QTest::keyClicks(e, text);
    QTest::keyClick(e, Qt::Key_Return);
}

void TstConfigLine::fields()
{
    ConfigLine l(7, QStringLiteral("DSP1"), QStringLiteral("Ch2"), QStringLiteral("Mode"), 0xB4000010, 31);
    QCOMPARE(l.num(), 7);
    QCOMPARE(l.findChild<QLabel *>(QStringLiteral("No"))->text(), QStringLiteral("7"));
    QCOMPARE(edit(l, "Dsp")->text(), QStringLiteral("DSP1"));
    QCOMPARE(edit(l, "Ch")->text(), QStringLiteral("Ch2"));
    QCOMPARE(edit(l, "AddrDesc")->text(), QStringLiteral("Mode"));
    QCOMPARE(edit(l, "Addr")->text(), QStringLiteral("b4000010"));
    QCOMPARE(edit(l, "ValNow")->text(), QStringLiteral("31"));
    QCOMPARE(edit(l, "ValNew")->text(), QStringLiteral("31"));
    QCOMPARE(edit(l, "HexNow")->text(), QStringLiteral("001f"));
    QCOMPARE(edit(l, "HexNew")->text(), QStringLiteral("001f"));
    QCOMPARE(edit(l, "ValRestored")->text(), QString());
    QCOMPARE(edit(l, "HexRestored")->text(), QString());
    QCOMPARE(l.valNow(), quint16(31));
    QCOMPARE(l.valNew(), quint16(31));
    QCOMPARE(l.valRestored(), quint16(0));

    for (const char *n : {"Dsp", "Ch", "AddrDesc", "Addr", "ValNow", "HexNow", "HexNew", "HexRestored"})
        QVERIFY2(edit(l, n)->isReadOnly(), n);
    QVERIFY(!edit(l, "ValNew")->isReadOnly());
    QVERIFY(!edit(l, "ValRestored")->isReadOnly());
    QVERIFY(edit(l, "Addr")->alignment() & Qt::AlignRight);
    QVERIFY(!(edit(l, "AddrDesc")->alignment() & Qt::AlignRight));

    ConfigLine small(1, QStringLiteral("DSP0"), QString(), QStringLiteral("x"), 8, 0);
    QCOMPARE(edit(small, "Addr")->text(), QStringLiteral("00000008"));
    QCOMPARE(edit(small, "HexNow")->text(), QStringLiteral("0000"));
}

void TstConfigLine::freshRowColours_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("restoredPink");
    QTest::newRow("value 0") << 0 << false;
    QTest::newRow("value 5") << 5 << true;
    QTest::newRow("value 0xffff") << 0xFFFF << true;
}

void TstConfigLine::freshRowColours()
{
    QFETCH(int, value);
    QFETCH(bool, restoredPink);
    ConfigLine l(1, QStringLiteral("DSP0"), QString(), QStringLiteral("Mode"), 0xB4000010, quint16(value));
    QCOMPARE(edit(l, "ValNew")->styleSheet(), QString());
    QCOMPARE(edit(l, "ValRestored")->styleSheet(), restoredPink ? ConfigLine::changedStyle : QString());
}

void TstConfigLine::editNew()
{
    ConfigLine l(1, QStringLiteral("DSP0"), QString(), QStringLiteral("Mode"), 0xB4000010, 10);
    QSignalSpy spy(&l, &ConfigLine::updated);
    type(edit(l, "ValNew"), QStringLiteral("12"));
    QCOMPARE(l.valNew(), quint16(12));
    QCOMPARE(edit(l, "ValNew")->styleSheet(), ConfigLine::changedStyle);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 1);
    // The hexadecimal field of an edited column is not refreshed by the edit.
    QCOMPARE(edit(l, "HexNew")->text(), QStringLiteral("000a"));

    type(edit(l, "ValNew"), QStringLiteral("10"));
    QCOMPARE(l.valNew(), quint16(10));
    QCOMPARE(edit(l, "ValNew")->styleSheet(), QString());
    QCOMPARE(spy.count(), 2);

    type(edit(l, "ValNew"), QStringLiteral("70000"));   // cut to 16 bits
    QCOMPARE(l.valNew(), quint16(70000 & 0xFFFF));
    type(edit(l, "ValNew"), QStringLiteral("abc"));
    QCOMPARE(l.valNew(), quint16(0));
    QCOMPARE(l.valNow(), quint16(10));
}

void TstConfigLine::editRestored()
{
    ConfigLine l(1, QStringLiteral("DSP0"), QString(), QStringLiteral("Mode"), 0xB4000010, 10);
    QSignalSpy spy(&l, &ConfigLine::updated);
    type(edit(l, "ValRestored"), QStringLiteral("10"));
    QCOMPARE(l.valRestored(), quint16(10));
    QCOMPARE(edit(l, "ValRestored")->styleSheet(), QString());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 2);
    type(edit(l, "ValRestored"), QStringLiteral("11"));
    QCOMPARE(edit(l, "ValRestored")->styleSheet(), ConfigLine::changedStyle);
}

void TstConfigLine::setters()
{
    ConfigLine l(1, QStringLiteral("DSP0"), QString(), QStringLiteral("Mode"), 0xB4000010, 10);
    QSignalSpy spy(&l, &ConfigLine::updated);
    l.setRestored(0xABCD);
    QCOMPARE(edit(l, "ValRestored")->text(), QStringLiteral("43981"));
    QCOMPARE(edit(l, "HexRestored")->text(), QStringLiteral("abcd"));
    QCOMPARE(edit(l, "ValRestored")->styleSheet(), ConfigLine::changedStyle);
    l.setNow(0xABCD);
    QCOMPARE(edit(l, "ValRestored")->styleSheet(), QString());
    QCOMPARE(edit(l, "ValNew")->styleSheet(), ConfigLine::changedStyle);   // new is still 10
    l.setNew(0xABCD);
    QCOMPARE(edit(l, "ValNew")->styleSheet(), QString());
    QCOMPARE(edit(l, "HexNew")->text(), QStringLiteral("abcd"));
    QCOMPARE(l.val(ConfigLine::Now), quint16(0xABCD));
    QCOMPARE(l.val(7), quint16(0));
    QCOMPARE(spy.count(), 0);   // setters do not signal
}

void TstConfigLine::fieldValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "12" << 12;
    QTest::newRow("largest") << "65535" << 65535;
    QTest::newRow("cut to 16 bits") << "70000" << (70000 & 0xFFFF);
    QTest::newRow("negative") << "-1" << 0xFFFF;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blanks around") << " 42 " << 42;
    QTest::newRow("hex is not decimal") << "0x10" << 0;
    QTest::newRow("beyond 64 bits") << "99999999999999999999" << 0;
    QTest::newRow("fraction") << "1.5" << 0;
}

void TstConfigLine::fieldValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(ConfigLine::fieldValue(text), quint16(value));
}

QTEST_MAIN(TstConfigLine)
#include "tst_configline.moc"
