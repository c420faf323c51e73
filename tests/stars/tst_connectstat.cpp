#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "connectstat.h"

class TstConnectStat : public QObject
{
    Q_OBJECT

private slots:
    void paint_data();
    void paint();
    void otherValueStoredNotPainted();
    void missingWidgets();
    void clicks_data();
    void clicks();
};

void TstConnectStat::paint_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("labelText");
    QTest::addColumn<QString>("labelStyle");
    QTest::addColumn<QString>("buttonText");
    QTest::addColumn<QString>("buttonStyle");

    QTest::newRow("0") << 0 << "Disconnected" << "background-color: rgb(176, 192, 192);"
                       << "Connect" << "background-color: rgb(96, 255, 181);";
    QTest::newRow("1") << 1 << "Connecting" << "background-color: rgb(255, 243, 162);"
                       << "Connecting" << "background-color: rgb(240, 240, 240);";
    QTest::newRow("2") << 2 << "Connected" << "background-color: rgb(211, 255, 241);"
                       << "Disconnect" << "background-color: rgb(255, 255, 128);";
}

void TstConnectStat::paint()
{
    QFETCH(int, state);
    QFETCH(QString, labelText);
    QFETCH(QString, labelStyle);
    QFETCH(QString, buttonText);
    QFETCH(QString, buttonStyle);

    QLabel label("before");
    QPushButton button("before");
    ConnectStat cs;
    QCOMPARE(cs.state, 0);
    cs.setWidgets(&label, &button);
    // From every other state, so that nothing is left over.
    for (int from : {0, 1, 2}) {
        cs.setStat(from);
        cs.setStat(state);
        QCOMPARE(cs.state, state);
        QCOMPARE(label.text(), labelText);
        QCOMPARE(label.styleSheet(), labelStyle);
        QCOMPARE(button.text(), buttonText);
        QCOMPARE(button.styleSheet(), buttonStyle);
    }
}

void TstConnectStat::otherValueStoredNotPainted()
{
    QLabel label;
    QPushButton button;
    ConnectStat cs;
    cs.setWidgets(&label, &button);
    cs.setStat(2);
    cs.setStat(7);
    QCOMPARE(cs.state, 7);
    QCOMPARE(label.text(), QStringLiteral("Connected"));
    QCOMPARE(button.text(), QStringLiteral("Disconnect"));
    cs.setStat(-1);
    QCOMPARE(cs.state, -1);
    QCOMPARE(label.text(), QStringLiteral("Connected"));

    QSignalSpy disc(&cs, &ConnectStat::askDisconnect);
    button.click();   // any state but 0 asks to disconnect
    QCOMPARE(disc.count(), 1);
}

void TstConnectStat::missingWidgets()
{
    ConnectStat none;
    none.setStat(2);   // no widgets: nothing to paint, no crash
    QCOMPARE(none.state, 2);

    QLabel label;
    ConnectStat labelOnly;
    labelOnly.setWidgets(&label, nullptr);
    labelOnly.setStat(1);
    QCOMPARE(label.text(), QStringLiteral("Connecting"));

    QPushButton button;
    ConnectStat buttonOnly;
    buttonOnly.setWidgets(nullptr, &button);
    buttonOnly.setStat(2);
    QCOMPARE(button.text(), QStringLiteral("Disconnect"));

    // A widget destroyed before the ConnectStat is skipped.
    ConnectStat cs;
    auto *gone = new QLabel;
    QPushButton stays;
    cs.setWidgets(gone, &stays);
    delete gone;
    cs.setStat(0);
    QCOMPARE(stays.text(), QStringLiteral("Connect"));
}

void TstConnectStat::clicks_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("connects");
    QTest::addColumn<int>("disconnects");
    QTest::newRow("0 connects") << 0 << 1 << 0;
    QTest::newRow("1 asks to disconnect") << 1 << 0 << 1;
    QTest::newRow("2 asks to disconnect") << 2 << 0 << 1;
}

void TstConnectStat::clicks()
{
    QFETCH(int, state);
    QFETCH(int, connects);
    QFETCH(int, disconnects);
    QLabel label;
    QPushButton button;
    ConnectStat cs;
    cs.setWidgets(&label, &button);
    cs.setStat(state);
    QSignalSpy con(&cs, &ConnectStat::askConnect);
    QSignalSpy dis(&cs, &ConnectStat::askDisconnect);
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(con.count(), connects);
    QCOMPARE(dis.count(), disconnects);

    // Handing the widgets over again must not double the click connection.
    cs.setWidgets(&label, &button);
    button.click();
    QCOMPARE(con.count() + dis.count(), 2);
}

QTEST_MAIN(TstConnectStat)
#include "tst_connectstat.moc"
