// VexDA: histogram read-out over TCP and the per-measurement data set.
#include "vexda.h"

#include <QDeadlineTimer>
#include <QLocale>

#include "dspreg.h"
#include "logsink.h"
#include "unitstat.h"

namespace {

QString shortest(double v)
{
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

constexpr int tcpGapWaitMs = 500;
constexpr int tcpTotalWaitMs = 2000;   // a whole histogram, whatever the gaps

} // namespace

void VexDA::askHistogram(int ch, bool inLine, quint32 *dst)
{
    QTcpSocket *tcp = tcpSocket();
    if (inLine) {
        // A connection renewed after a read given up may still be coming up.
        awaitTcp(tcpGapWaitMs);
        disconnectTcpSignals();
        discardTcp();
    }
    expectTcpData();
    const bool asked = writeReg(DspAddr::Histgram, quint64(ch), inLine, 2);
    sinkVlog(QStringLiteral("%1 %2 *** asking Histgram").arg(name()).arg(ch));
    if (!inLine)
        return;
    if (!asked && notAnswering()) {
        // A unit that does not answer sends no histogram either.
        hgReady = false;
        connectTcpSignals();
        return;
    }

    sinkVlog(QStringLiteral("%1 %2 InLine:: wait Histgram Data in line").arg(name()).arg(ch));
    m_hgData.setSizes(hgBytes, mcaLength);
    hgReady = false;
    quint32 *target = dst ? dst : hg;
    const int maxBins = dst ? mcaLength : hgCapacity;

    const QDeadlineTimer total(tcpTotalWaitMs);
    bool done = hgBytes <= 0;
    while (!done) {
        // Each gap may last 500 ms, the whole histogram 2 s.
        const qint64 left = total.remainingTime();
        bool arrived = left > 0 && tcp->bytesAvailable() > 0;
        if (!arrived && left > 0)
            arrived = tcp->waitForReadyRead(int(qMin<qint64>(left, tcpGapWaitMs)));
        if (!arrived) {
            histogramWaitFailed(ch, total.hasExpired());
            break;
        }
        showTcpTimeout(false);
        done = takeHistogramBytes(tcp, target, maxBins);
    }
    connectTcpSignals();
    // Whatever the unit still sends of a stream given up on (after a long
    // gap, or too late in all) would be taken as the start of the next
    // histogram: a new connection starts clean.
    if (!done)
        renewTcp();
}

void VexDA::histogramWaitFailed(int ch, bool totalExpired)
{
    showTcpTimeout(true);
    if (totalExpired) {
        emit log(QStringLiteral("Err. Histgram of %1 Ch%2 not complete after %3 ms (%4 of %5 bytes)")
                     .arg(name())
                     .arg(ch)
                     .arg(tcpTotalWaitMs)
                     .arg(m_hgData.size())
                     .arg(hgBytes),
                 QColor(255, 0, 0));
    } else {
        emit log(QStringLiteral("Err. Timeout waiting ans from TCP for Histgram"), QColor(0, 0, 0));
    }
    m_hgData.reset();
}

bool VexDA::takeHistogramBytes(QTcpSocket *tcp, quint32 *target, int maxBins)
{
    qint64 n;
    while ((n = tcp->bytesAvailable()) > 0) {
        const bool verbose = sinkVerbose();
        if (verbose)
            sinkVlog(QStringLiteral("%1 InLine:: tcp bytes available : %2, hgBytes : %3")
                         .arg(name())
                         .arg(n)
                         .arg(m_hgData.size()));
        const int k = m_hgData.feedFrom(tcp, n);
        if (verbose)
            sinkVlog(QStringLiteral("%1 InLine:: tcp reading %1").arg(k));
        if (m_hgData.isComplete()) {
            histogramComplete(target, maxBins);
            sinkVlog(QStringLiteral("%1 InLine:: histgram ready").arg(name()));
            return true;
        }
        if (k <= 0)
            break;   // read error: wait again (or time out)
    }
    return false;
}

void VexDA::histogramComplete(quint32 *dst, int maxBins)
{
    m_hgData.convertTo(dst, maxBins);
    hgReady = true;
    m_hgData.reset();
    emit hgDataReady();
}

void VexDA::tcpDataReady()
{
    QTcpSocket *tcp = tcpSocket();
    if (m_hgData.hgBytes() != hgBytes || m_hgData.mcaLength() != mcaLength)
        m_hgData.setSizes(hgBytes, mcaLength);
    sinkVlog(QStringLiteral("%1 Signal:: tcpDataReady").arg(name()));
    if (hgBytes <= 0)
        return;
    qint64 n;
    while ((n = tcp->bytesAvailable()) > 0) {
        sinkVlog(QStringLiteral("%1 Signal:: tcp bytes available : %2, hgBytes : %3")
                     .arg(name())
                     .arg(n)
                     .arg(m_hgData.size()));
        const int k = m_hgData.feedFrom(tcp, n);
        sinkVlog(QStringLiteral("%1 Signal:: tcp reading %1").arg(k));
        if (m_hgData.isComplete()) {
            histogramComplete(hg, hgCapacity);
            sinkVlog(QStringLiteral("%1 Signal:: histgram ready").arg(name()));
        } else if (k <= 0) {
            break;
        }
    }
}

void VexDA::initMcaSet()
{
    delete mcaSet;
    mcaSet = new MCADataSet(chCount(), mcaLength, 0, 0);
}

MCADataSet *VexDA::makeMcaSet(int measNum)
{
    if (mcaSet && measNum != 0 && mcaSet->measNum == measNum)
        return mcaSet;
    delete mcaSet;
    mcaSet = new MCADataSet(chCount(), mcaLength, measNum, measCount);
    // A set with a read that went unanswered holds zeros, not data: it is
    // marked so and its histograms (each a further wait) are not asked.
    if (!m_timesFresh)
        mcaSet->whole = readTimes();
    for (int c = 0; c < chCount(); ++c) {
        MCAData *block = mcaSet->chs.at(c);
        block->setCh(c);
        block->setInMeas(inMeas);
        block->setLen(block->length);
        block->setRealTimeSec(realTime);
        const double live = c < liveTimes.size() ? liveTimes.at(c) : 0.0;
        block->setLiveTimeSec(live);
        block->setIcr(c < icrs.size() ? icrs.at(c) : 0.0);
        sinkVlog(QStringLiteral("Setting Times of DSP %1 : Ch %2 : RealTimeSec %3 : LiveTimeSec %4")
                     .arg(name())
                     .arg(c)
                     .arg(shortest(realTime), shortest(live)));
        if (!mcaSet->whole)
            continue;
        askHistogram(c, true, block->data);
        mcaSet->whole = hgReady || hgBytes <= 0;
        if (emulateSignal) {
            for (qint64 i = 0; i < block->length; ++i)
                block->data[i] = quint32(i * (c + 1));
        }
    }
    return mcaSet;
}

bool VexDA::retakeMcaSet()
{
    if (!mcaSet || mcaSet->whole)
        return true;
    const auto notRead = [this](const char *why) {
        emit log(QStringLiteral("Err. %1 %2: its data set of measurement %3 is not read")
                     .arg(name(), QLatin1String(why))
                     .arg(mcaSet->measNum),
                 QColor(255, 0, 0));
        return false;
    };
    if (!readReg(DspAddr::RealTime1, true, 6))
        return notRead("still does not answer");
    // The watch ends a measurement whose unit fell silent; back again, the
    // unit may still be counting (its real time still runs), and what it
    // holds then is not the measurement's result.
    const quint64 realBefore = ansValue();
    if (readReg(DspAddr::RealTime1, true, 6) && ansValue() != realBefore)
        return notRead("is still measuring");
    const int measNum = mcaSet->measNum;
    delete mcaSet;
    mcaSet = nullptr;
    emit log(QStringLiteral("%1 answers again: its data set of measurement %2 is read again").arg(name()).arg(measNum),
             QColor(0, 0, 0));
    return makeMcaSet(measNum)->whole;
}
