// Body: "GetMCAs" and the spectrum transfer. Units that are measuring take a
// fresh data set, and sets that a unit did not answer for are read again;
// then the request is answered "Ok:" (flushed to STARS, so a peer may wait for
// it before it reads the data link), or refused when a set still cannot be
// read, and the records of all elements are written to the data link in
// element order by the transfer mode in force. In asynchronous
// mode the link's write buffer holds at most two transfers: a request that
// finds more than one still unwritten drops the link instead.

#include "body.h"

#include <QHash>
#include <QTcpSocket>

#include "logsink.h"
#include "mcadataset.h"
#include "mcatransfer.h"
#include "vexda.h"

void Body::askGetMCAs(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;

    // Every unit's data set is whole before the answer: a set that a unit
    // did not answer for is read again now; one that still cannot be read
    // refuses the request, and nothing is sent (zeros are not spectra).
    QStringList unread;
    for (int i = 0; i < units.units.size(); ++i) {
        VexDA *u = units.units.at(i);
        sinkLog(QStringLiteral("DSP ch %1 inMeas %2").arg(i).arg(u->inMeas ? 1 : 0), QColor(0, 0, 0));
        if (u->inMeas)
            u->makeMcaSet(0);
        if (!u->retakeMcaSet())
            unread << u->name();
    }
    if (!unread.isEmpty()) {
        const QString why = QStringLiteral("Er: Data of %1 not read").arg(unread.join(QLatin1Char(' ')));
        emit log(QStringLiteral("GetMCAs refused, nothing sent: %1").arg(why), QColor(255, 0, 0));
        stars->sendAns(msg, why);
        return;
    }
    stars->sendOk(msg);

    if (simpleTrans) {
        sendMCAsAndWaitAck();
    } else if (dataLinkUp() && dataLink->bytesToWrite() > lastTransferBytes) {
        // More than one transfer still unwritten: the peer does not read,
        // and another transfer would only grow the buffer. The link is
        // dropped; the next one receives the latest transfer.
        giveUpDataTrans(QStringLiteral("1: TimeOut Data Transfer"));
    } else {
        startDataTrans();
    }
}

void Body::sendMCAsViaDataLink()
{
    emit log(QStringLiteral("In sendMCAsViaDataLink"));

    QList<McaTransfer::Unit> setUnits;
    QHash<const VexDA *, int> index;
    for (VexDA *u : std::as_const(units.units)) {
        McaTransfer::Unit t;
        t.name = u->name();
        if (const MCADataSet *set = u->mcaSet) {
            t.measNum = set->measNum;
            t.count = set->count;
            for (MCAData *block : set->chs)
                t.chs << McaTransfer::Record{block->buf, block->length};
        }
        index.insert(u, int(setUnits.size()));
        setUnits << t;
    }
    QList<McaTransfer::Element> elements;
    for (const Element &e : std::as_const(units.elements))
        elements << McaTransfer::Element{index.value(e.unit, -1), e.ch};

    const McaTransfer::Plan plan = McaTransfer::prepare(setUnits, elements);
    for (const QString &line : plan.mismatches)
        emit log(line, QColor(255, 0, 0));
    emit log(QStringLiteral("Start Data Trans Via Data Link"));

    const bool up = dataLinkUp();
    qint64 written = 0;
    for (const McaTransfer::Piece &p : plan.pieces) {
        sinkLog(p.log, QColor(0, 0, 0));
        if (up)
            written += dataLinkStream->writeRawData(p.block, p.bytes);
    }
    if (up)
        lastTransferBytes = written;
    if (up)
        dataLink->flush();
    else if (!plan.pieces.isEmpty())
        emit log(QStringLiteral("No Data-Link connected: nothing sent"), QColor(255, 0, 0));
}
