// The Spectra window end to end: after a measurement its own read-out equals,
// bin for bin, what "GetMCAs" then sends over the data link, and the CSV
// files it saves equal byte for byte those marlo-peer writes for the same
// records. Its refresh never waits for a transfer that has no link to go
// over, and a unit that does not answer costs a try every 10 s, not every
// refresh.
#include <QtTest>

#include <QPushButton>

#include "body.h"
#include "datalinkpeer.h"
#include "dspreg.h"
#include "mcacsv.h"
#include "mcawindow.h"
#include "peersession.h"
#include "servicerig.h"
#include "simfaults.h"
#include "simunit.h"

class TstMcaWindowE2e : public QObject
{
    Q_OBJECT

private slots:
    void windowMatchesDataLink();
    void refreshAfterTransferTimeOut();
    void silentUnitLeftOut();
};

void TstMcaWindowE2e::windowMatchesDataLink()
{
    ServiceRig rig;
    QVERIFY2(rig.start({ServiceRig::Unit{QStringLiteral("dsp1"), QStringLiteral("127.0.31.1"), QStringLiteral("1 1 0 0")}}),
             qPrintable(rig.error()));
    Body *body = rig.body();
    SimUnit *sim = rig.sim(QStringLiteral("dsp1"));
    sim->setCountRate(0);
    sim->setFrozenRealTime(true);
    QCOMPARE(rig.ask(QStringLiteral("SetROI 1 100 300")), QStringLiteral("Ok:"));
    QCOMPARE(rig.ask(QStringLiteral("Resume 5")), QStringLiteral("Ok:"));
    // Known spectra and times; the unit stops counting, Marlo still measures.
    sim->setReg(DspAddr::Start, 0);
    sim->setReg(DspAddr::RealTime1 + 2, 0x1234);
    for (int ch = 0; ch < 2; ++ch) {
        sim->setReg(DspAddr::LiveTime1 + 0x200 * ch + 2, quint16(0x0100 * (ch + 1)));
        sim->setReg(DspAddr::ICR1 + 0x200 * ch + 2, quint16(700 + ch));
        QVector<quint32> bins(4096);
        for (int i = 0; i < bins.size(); ++i)
            bins[i] = quint32((i * (ch + 3)) % 977);
        sim->setHistogram(ch, bins);
    }
    QCOMPARE(rig.ask(QStringLiteral("RunStop")), QStringLiteral("Ok:"));

    auto *button = body->findChild<QPushButton *>(QStringLiteral("ShowSpectra"));
    QVERIFY(button);
    button->click();
    McaWindow *w = body->spectraWindow();
    QVERIFY(w && w->isVisible());
    // The refresh reads both histograms itself.
    const qsizetype asked = ServiceRig::writesTo(sim, DspAddr::Histgram).size();
    QSignalSpy refreshed(w, &McaWindow::refreshed);
    w->refreshNow();
    QVERIFY(refreshed.wait(10000));
    QCOMPARE(ServiceRig::writesTo(sim, DspAddr::Histgram).size(), asked + 2);

    DataLinkPeer peer;
    QList<DataLinkPeer::Record> recs;
    bool ok = false;
    const quint16 port = body->dataLinkServerPort();
    peer.run([&](DataLinkPeer::Context &c) {
        ok = c.connectLink(port) && c.readRecords(2, recs) && c.send("Ack");
    });
    QTRY_VERIFY(body->dataLinkConnected());
    QCOMPARE(rig.ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QVERIFY(peer.wait());
    QVERIFY(ok);

    QList<PeerRecord> records;
    for (int k = 0; k < 2; ++k) {
        const McaHistogram &s = w->spectra().at(k);
        const McaRecordHeader &h = recs.at(k).header;
        QCOMPARE(s.bins, recs.at(k).bins);
        QCOMPARE(s.bins.value(1), quint32(k + 3));
        QCOMPARE(s.realTime, h.realTime);
        QCOMPARE(s.liveTime, h.liveTime);
        QCOMPARE(s.icr, h.icr);
        records << PeerRecord::make(h.ch, recs.at(k).bins, h.realTime, h.liveTime, h.icr, h.marker, h.inMeas);
    }

    QTemporaryDir dir;
    QString why;
    QVERIFY2(w->saveTo(dir.filePath(QStringLiteral("window")), &why), qPrintable(why));
    PeerOptions opts;
    opts.mcaDir = dir.filePath(QStringLiteral("peer"));
    PeerSession session(opts, [](const QString &) {}, [](const QString &) {});
    const QList<ElementInfo> elements{{0, QStringLiteral("dsp1"), 0}, {0, QStringLiteral("dsp1"), 1}};
    QCOMPARE(session.writeFiles(records, elements, {{100, 300}}), 0);
    for (const QString &name : {QStringLiteral("mca_e00_dsp1_ch0.csv"), QStringLiteral("mca_e01_dsp1_ch1.csv")}) {
        QFile a(dir.filePath(QStringLiteral("window/") + name)), b(dir.filePath(QStringLiteral("peer/") + name));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), b.readAll());
    }
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("window/mcas.png"))).size() > 0);
}

// Asynchronous mode: a "GetMCAs" with no peer times out and waits for a
// reconnection; Refresh then reads at once.
void TstMcaWindowE2e::refreshAfterTransferTimeOut()
{
    ServiceRig rig;
    QVERIFY2(rig.start({ServiceRig::Unit{QStringLiteral("dsp1"), QStringLiteral("127.0.31.2"), QStringLiteral("1 0 0 0")}},
                       {QStringLiteral("SIMPLE_TRANS 0")}),
             qPrintable(rig.error()));
    Body *body = rig.body();
    body->setDataTransWaitMs(200);
    body->findChild<QPushButton *>(QStringLiteral("ShowSpectra"))->click();
    QCOMPARE(rig.ask(QStringLiteral("GetMCAs")), QStringLiteral("Ok:"));
    QTRY_COMPARE(rig.logCount(QStringLiteral("2: in data trans : TimeOut ==> Disconnect from DSP")), 1);
    QVERIFY(body->inDataTransfer());
    QSignalSpy refreshed(body->spectraWindow(), &McaWindow::refreshed);
    body->spectraWindow()->refreshNow();
    QVERIFY(refreshed.wait(5000));
}

// A unit that does not answer, with the window refreshing every 0.2 s (on
// the window's clock): one try and one line about it in 10 s, the next try
// after 10 s, one line when it answers again.
void TstMcaWindowE2e::silentUnitLeftOut()
{
    ServiceRig rig;
    QVERIFY2(rig.start({{QStringLiteral("dsp1"), QStringLiteral("127.0.31.3"), QStringLiteral("1 1 0 0")},
                        {QStringLiteral("dsp2"), QStringLiteral("127.0.31.4"), QStringLiteral("1 0 0 0")}}),
             qPrintable(rig.error()));
    SimUnit *sim = rig.sim(QStringLiteral("dsp2"));
    SimFaults off;
    off.silent = true;
    off.noTcpData = true;
    sim->setFaults(off);
    rig.body()->findChild<QPushButton *>(QStringLiteral("ShowSpectra"))->click();
    McaWindow *w = rig.body()->spectraWindow();
    qint64 now = 0;
    w->setClock([&now] { return now; });
    QSignalSpy refreshed(w, &McaWindow::refreshed);
    rig.clearLog();
    auto refresh = [&](qint64 ms) {
        now += ms;
        w->refreshNow();
        return refreshed.wait(10000);
    };
    const qsizetype asked = ServiceRig::writesTo(sim, DspAddr::Histgram).size();
    QVERIFY(refresh(200));
    const qsizetype tried = ServiceRig::writesTo(sim, DspAddr::Histgram).size();
    QVERIFY(tried > asked);
    for (int i = 0; i < 48; ++i)
        QVERIFY(refresh(200));
    QCOMPARE(ServiceRig::writesTo(sim, DspAddr::Histgram).size(), tried);
    const QStringList lines = rig.logLines(true);
    QVERIFY2(lines.size() <= 3, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(lines.filter(QStringLiteral("dsp2 does not answer")).size(), 1);

    QVERIFY(refresh(400));
    QVERIFY(ServiceRig::writesTo(sim, DspAddr::Histgram).size() > tried);
    sim->setFaults(SimFaults());
    QVERIFY(refresh(200));
    QVERIFY(refresh(10000));
    QCOMPARE(rig.logCount(QStringLiteral("dsp2 answers the Spectra window again")), 1);
    QCOMPARE(rig.logCount(QStringLiteral("dsp2 does not answer: the Spectra window tries it again every 10 s")), 1);
}

QTEST_MAIN(TstMcaWindowE2e)
#include "tst_mcawindow_e2e.moc"
