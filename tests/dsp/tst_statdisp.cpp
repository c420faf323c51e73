#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "statdisp.h"
#include "unitstat.h"

Q_DECLARE_METATYPE(StatDisp::RunStat)

namespace {

const QString ok = QStringLiteral("background-color: rgb(211, 255, 241);");
const QString ng = QStringLiteral("background-color: rgb(255, 192, 192);");
const QString stay = QStringLiteral("background-color: rgb(176, 192, 192);");
const QString trans = QStringLiteral("background-color: rgb(255, 243, 162);");
const QString initial = QStringLiteral("background-color: rgb(85, 85, 255);");

using Action = std::function<void(StatDisp &)>;

// The colour painted in the middle of the indicator.
QColor painted(StatDisp &d)
{
    d.resize(60, 24);
    const QImage img = d.grab().toImage();
    return img.pixelColor(img.width() / 2, img.height() / 2);
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TstStatDisp : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void setters_data();
    void setters();
    void painting_data();
    void painting();
    void unitStatForm();
    void unitStatNames();
    void unitStatStates_data();
    void unitStatStates();
};

void TstStatDisp::form()
{
    StatDisp d;
    QCOMPARE(d.text(), QStringLiteral("Status"));
    QCOMPARE(d.styleSheetOfLabel(), initial);
    QCOMPARE(d.windowTitle(), QStringLiteral("Frame"));
    QCOMPARE(d.frameShape(), QFrame::NoFrame);
    auto *label = d.findChild<QLabel *>(QStringLiteral("Stat"));
    QVERIFY(label);
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(d.id.isEmpty());
}

void TstStatDisp::setters_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("style");
    const QStringList names{QStringLiteral("On"), QStringLiteral("Off"), QStringLiteral("Trans")};
    QTest::newRow("running msg") << Action([](StatDisp &d) { d.setRunning("R"); }) << "R" << ok;
    QTest::newRow("running") << Action([](StatDisp &d) { d.setRunning(); }) << "" << ok;
    QTest::newRow("stay msg") << Action([](StatDisp &d) { d.setStay("S"); }) << "S" << stay;
    QTest::newRow("stay") << Action([](StatDisp &d) { d.setStay(); }) << "" << stay;
    QTest::newRow("transition msg") << Action([](StatDisp &d) { d.setInTransition("T"); }) << "T" << trans;
    QTest::newRow("transition") << Action([](StatDisp &d) { d.setInTransition(); }) << "" << trans;
    QTest::newRow("ok msg") << Action([](StatDisp &d) { d.setOk("fine"); }) << "fine" << ok;
    QTest::newRow("ng msg") << Action([](StatDisp &d) { d.setNG("bad"); }) << "bad" << ng;
    QTest::newRow("okng true 3") << Action([](StatDisp &d) { d.setOkNG(true, "A", "B"); }) << "A" << ok;
    QTest::newRow("okng false 3") << Action([](StatDisp &d) { d.setOkNG(false, "A", "B"); }) << "B" << ng;
    QTest::newRow("okng true 2") << Action([](StatDisp &d) { d.setOkNG(true, "A"); }) << "A" << ok;
    QTest::newRow("okng false 2: empty pink") << Action([](StatDisp &d) { d.setOkNG(false, "A"); }) << "" << ng;
    QTest::newRow("okng true") << Action([](StatDisp &d) { d.setOkNG(true); }) << "" << ok;
    QTest::newRow("okng false") << Action([](StatDisp &d) { d.setOkNG(false); }) << "" << ng;
    QTest::newRow("runstat 0 names") << Action([names](StatDisp &d) { d.setRunStat(StatDisp::Running, names); })
                                     << "On" << ok;
    QTest::newRow("runstat 1 names") << Action([names](StatDisp &d) { d.setRunStat(StatDisp::Stay, names); })
                                     << "Off" << stay;
    QTest::newRow("runstat 2 names")
        << Action([names](StatDisp &d) { d.setRunStat(StatDisp::InTransition, names); }) << "Trans" << trans;
    QTest::newRow("runstat 3 changes nothing")
        << Action([names](StatDisp &d) { d.setRunStat(StatDisp::RunStat(3), names); }) << "Status" << initial;
    QTest::newRow("runstat -1 changes nothing")
        << Action([](StatDisp &d) { d.setRunStat(StatDisp::RunStat(-1)); }) << "Status" << initial;
    QTest::newRow("runstat no names") << Action([](StatDisp &d) { d.setRunStat(StatDisp::InTransition); }) << ""
                                      << trans;
    QTest::newRow("runstat short name list")
        << Action([](StatDisp &d) { d.setRunStat(StatDisp::InTransition, {QStringLiteral("x")}); }) << "" << trans;
    QTest::newRow("text only") << Action([](StatDisp &d) { d.setText("t"); }) << "t" << initial;
    QTest::newRow("style only") << Action([](StatDisp &d) { d.setStyleSheet(ng); }) << "Status" << ng;
    QTest::newRow("last setter wins") << Action([](StatDisp &d) {
        d.setNG("x");
        d.setOk();
    }) << "" << ok;
}

void TstStatDisp::setters()
{
    QFETCH(Action, action);
    StatDisp d;
    action(d);
    QTEST(d.text(), "text");
    QTEST(d.styleSheetOfLabel(), "style");
}

void TstStatDisp::painting_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("ok") << Action([](StatDisp &d) { d.setOk(); }) << QColor(211, 255, 241);
    QTest::newRow("ng") << Action([](StatDisp &d) { d.setNG(); }) << QColor(255, 192, 192);
    QTest::newRow("stay") << Action([](StatDisp &d) { d.setStay(); }) << QColor(176, 192, 192);
    QTest::newRow("transition") << Action([](StatDisp &d) { d.setInTransition(); }) << QColor(255, 243, 162);
    QTest::newRow("ng then ok") << Action([](StatDisp &d) {
        d.setNG();
        painted(d);
        d.setOk();
    }) << QColor(211, 255, 241);
}

void TstStatDisp::painting()
{
    QFETCH(Action, action);
    QFETCH(QColor, colour);
    StatDisp d;
    action(d);
    QCOMPARE(painted(d).rgb(), colour.rgb());
}

void TstStatDisp::unitStatForm()
{
    UnitStat u;
    QCOMPARE(u.windowTitle(), QStringLiteral("DSP Status"));
    auto *id = u.findChild<QLineEdit *>(QStringLiteral("ID"));
    auto *ip = u.findChild<QLineEdit *>(QStringLiteral("IP"));
    QVERIFY(id && ip);
    QCOMPARE(id->text(), QStringLiteral("dspN"));
    QCOMPARE(ip->text(), QStringLiteral("192.168.10.1"));
    QCOMPARE(id->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 212);"));
    QCOMPARE(u.findChild<QLabel *>(QStringLiteral("label"))->text(), QStringLiteral("TCP Connected"));
    QCOMPARE(u.findChild<QLabel *>(QStringLiteral("label_2"))->text(), QStringLiteral("Timeout"));
    QCOMPARE(u.findChild<QLabel *>(QStringLiteral("label_3"))->text(), QStringLiteral("UDP Timeout"));
    auto *tcp = u.findChild<StatDisp *>(QStringLiteral("TCPStat"));
    auto *tcpTo = u.findChild<StatDisp *>(QStringLiteral("TCPTimeout"));
    auto *udpTo = u.findChild<StatDisp *>(QStringLiteral("UDPTimeout"));
    QVERIFY(tcp && tcpTo && udpTo);
    for (StatDisp *s : {tcp, tcpTo, udpTo}) {
        QCOMPARE(s->frameShape(), QFrame::StyledPanel);
        QCOMPARE(s->text(), QString());
    }
    QCOMPARE(tcp->styleSheetOfLabel(), stay);
    QCOMPARE(tcpTo->styleSheetOfLabel(), ok);
    QCOMPARE(udpTo->styleSheetOfLabel(), ok);
}

void TstStatDisp::unitStatNames()
{
    UnitStat u;
    u.setName(QStringLiteral("dsp1"));
    u.setIp(QStringLiteral("127.0.3.9"));
    QCOMPARE(u.findChild<QLineEdit *>(QStringLiteral("ID"))->text(), QStringLiteral("dsp1"));
    QCOMPARE(u.findChild<QLineEdit *>(QStringLiteral("IP"))->text(), QStringLiteral("127.0.3.9"));
    QCOMPARE(u.findChild<StatDisp *>(QStringLiteral("TCPStat"))->id, QStringLiteral("dsp1-TCPConnected"));
    QCOMPARE(u.findChild<StatDisp *>(QStringLiteral("TCPTimeout"))->id, QStringLiteral("dsp1-TCPTimeout"));
    QCOMPARE(u.findChild<StatDisp *>(QStringLiteral("UDPTimeout"))->id, QStringLiteral("dsp1-UDPTimeout"));
}

void TstStatDisp::unitStatStates_data()
{
    QTest::addColumn<int>("tcpStat");
    QTest::addColumn<QString>("tcpStyle");
    QTest::addColumn<bool>("tcpTimeout");
    QTest::addColumn<bool>("udpTimeout");
    QTest::newRow("connected") << 0 << ok << false << false;
    QTest::newRow("disconnected") << 1 << stay << true << false;
    QTest::newRow("connecting") << 2 << trans << false << true;
    QTest::newRow("other value keeps connected") << 7 << ok << true << true;
    QTest::newRow("negative keeps connected") << -1 << ok << false << false;
}

void TstStatDisp::unitStatStates()
{
    QFETCH(int, tcpStat);
    QFETCH(bool, tcpTimeout);
    QFETCH(bool, udpTimeout);
    UnitStat u;
    u.setTcpStat(0);   // the state an unknown value must keep
    u.setTcpStat(tcpStat);
    u.setTcpTimeout(tcpTimeout);
    u.setUdpTimeout(udpTimeout);
    auto *tcp = u.findChild<StatDisp *>(QStringLiteral("TCPStat"));
    QTEST(tcp->styleSheetOfLabel(), "tcpStyle");
    QCOMPARE(tcp->text(), QString());
    QCOMPARE(u.findChild<StatDisp *>(QStringLiteral("TCPTimeout"))->styleSheetOfLabel(), tcpTimeout ? ng : ok);
    QCOMPARE(u.findChild<StatDisp *>(QStringLiteral("UDPTimeout"))->styleSheetOfLabel(), udpTimeout ? ng : ok);
}

QTEST_MAIN(TstStatDisp)
#include "tst_statdisp.moc"
