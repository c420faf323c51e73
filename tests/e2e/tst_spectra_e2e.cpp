// The Spectra window end to end: after a measurement its own read-out equals,
// bin for bin, what "GetMCAs" then sends over the data link, and the CSV
// files it saves equal byte for byte those marlo-peer writes for the same
// records.
#include <QtTest>

#include <QPushButton>

#include "body.h"
#include "datalinkpeer.h"
#include "dspreg.h"
#include "mcacsv.h"
#include "peersession.h"
#include "servicerig.h"
#include "simunit.h"
#include "spectrawindow.h"

class TstSpectraE2e : public QObject
{
    Q_OBJECT

private slots:
    void windowMatchesDataLink();
};

void TstSpectraE2e::windowMatchesDataLink()
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
    SpectraWindow *w = body->spectraWindow();
    QVERIFY(w && w->isVisible());
    // The refresh reads both histograms itself.
    const qsizetype asked = ServiceRig::writesTo(sim, DspAddr::Histgram).size();
    QSignalSpy refreshed(w, &SpectraWindow::refreshed);
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
        const McaSpectrum &s = w->spectra().at(k);
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

QTEST_MAIN(TstSpectraE2e)
#include "tst_spectra_e2e.moc"
