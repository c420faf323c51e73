// Body: ROI and value commands — set and read ROIs, the counts in them, and
// the four fixed-value commands' siblings that need the histograms.

#include "body.h"

#include "dspreg.h"
#include "paramrules.h"
#include "roibounds.h"
#include "roisum.h"
#include "valuesanswer.h"
#include "vexda.h"

#include <algorithm>
#include <utility>

namespace {

bool hasRoi(const Element &e)
{
    return e.ch >= 0 && e.ch < e.unit->roiStart.size() && e.ch < e.unit->roiEnd.size();
}

// The element's ROI as start and end bin; 0 and 0 when it has none.
std::pair<int, int> roiOf(const Element &e)
{
    if (!hasRoi(e))
        return {0, 0};
    return {e.unit->roiStart.at(e.ch), e.unit->roiEnd.at(e.ch)};
}

// A value for a 2-byte ROI register: the ROI held in the program may lie
// outside it (negative or huge numbers), the register gets the nearest value.
quint64 regValue(int v)
{
    return quint64(std::clamp(v, 0, 0xFFFF));
}

// Bins of the unit's own histogram buffer that hold data.
int binsOf(const VexDA *u)
{
    return std::clamp(u->mcaLength, 0, VexDA::hgCapacity);
}

} // namespace

void Body::storeRoi(const Element &e, int start, int end)
{
    if (!hasRoi(e))
        return;
    e.unit->roiStart[e.ch] = start;
    e.unit->roiEnd[e.ch] = end;
}

void Body::writeRoiRegs(const Element &e)
{
    if (!hasRoi(e))
        return;
    const quint32 ch = quint32(e.ch);
    e.unit->writeReg(DspAddr::ROI1Start + 4 * ch, regValue(e.unit->roiStart.at(e.ch)));
    e.unit->writeReg(DspAddr::ROI1End + 4 * ch, regValue(e.unit->roiEnd.at(e.ch)));
    e.unit->writeReg(DspAddr::FSCA_ROI1Ch + 2 * ch, ch + 1);
}

void Body::logUnreadBounds(const AMsg &msg, const RoiBounds &b)
{
    for (const QString &t : b.unread)
        logUnread(msg, t, QStringLiteral("number"), QStringLiteral("0 is set"));
}

void Body::askSetROI(AMsg msg)
{
    const int n = getElmNo(msg, 3);
    if (n < 0)
        return;
    const RoiBounds b = RoiBounds::fromTexts(msg.params.at(1), msg.params.at(2));
    logUnreadBounds(msg, b);
    storeRoi(units.elements.at(n), b.start, b.end);
    stars->sendOk(msg);
}

void Body::askSetROIs(AMsg msg)
{
    const int count = int(msg.params.size());
    const int elms = int(units.elements.size());
    emit log(QStringLiteral("Setting rois : msg.count = %1   slms.count = %2").arg(count).arg(2 * elms));
    if (count == 2) {
        const RoiBounds b = RoiBounds::fromTexts(msg.params.at(0), msg.params.at(1));
        logUnreadBounds(msg, b);
        for (const Element &e : std::as_const(units.elements)) {
            storeRoi(e, b.start, b.end);
            writeRoiRegs(e);
        }
    } else if (count != 2 * elms) {
        stars->sendAns(msg, QStringLiteral("Er: num of params"));
        return;
    } else {
        for (int i = 0; i < elms; ++i) {
            const Element &e = units.elements.at(i);
            const RoiBounds b = RoiBounds::fromTexts(msg.params.at(2 * i), msg.params.at(2 * i + 1));
            logUnreadBounds(msg, b);
            emit log(QStringLiteral("Setting roi of DSP %1 and ElmNo %2 : from %3 to %4")
                         .arg(e.unit->name(), QString::number(e.ch), ParamRules::gText(b.from),
                              ParamRules::gText(b.to)));
            storeRoi(e, b.start, b.end);
            writeRoiRegs(e);
        }
    }
    stars->sendOk(msg);
}

void Body::askGetROI(AMsg msg)
{
    const int n = getElmNo(msg, 1);
    if (n < 0)
        return;
    const auto [start, end] = roiOf(units.elements.at(n));
    stars->sendAns(msg, QStringLiteral("%1 %2").arg(start).arg(end));
}

void Body::askGetROIs(AMsg msg)
{
    if (!checkNumOfParams(msg, 0))
        return;
    QStringList texts;
    for (const Element &e : std::as_const(units.elements)) {
        const auto [start, end] = roiOf(e);
        texts << QString::number(start) << QString::number(end);
    }
    stars->sendAns(msg, texts.join(QLatin1Char(' ')));
}

void Body::askGetValue(AMsg msg)
{
    const int n = getElmNo(msg, 1);
    if (n < 0)
        return;
    const Element &e = units.elements.at(n);
    VexDA *u = e.unit;
    if (!readHistogram(msg, e))
        return;
    // The summed range: the ROI with its end bin left out, clipped to the
    // bins of the histogram.
    const int bins = binsOf(u);
    const auto [start, end] = roiOf(e);
    const int from = std::clamp(start, 0, bins);
    const int to = std::clamp(end, 0, bins);
    emit log(QStringLiteral("sum in [%1 %2] of elm %3").arg(from).arg(to).arg(e.ch));
    stars->sendAns(msg, QString::number(RoiSum::exclusive(u->hg, bins, from, to)));
}

void Body::askGetValues(AMsg msg)
{
    for (VexDA *u : std::as_const(units.units))
        u->readTimes();
    ValuesAnswer answer;
    for (const Element &e : std::as_const(units.elements)) {
        VexDA *u = e.unit;
        if (!readHistogram(msg, e))
            return;
        const int bins = binsOf(u);
        const quint64 total = RoiSum::total(u->hg, bins);
        const auto [start, end] = roiOf(e);
        const quint64 roi = RoiSum::inclusive(u->hg, bins, start, end);
        const quint32 offset = quint32(chOffsets.value(e.ch, 0));
        u->readReg(DspAddr::FTotalCount1 + offset, true, 4);
        const quint64 fastTotal = u->ansValue() & 0xFFFFFFFFULL;
        u->readReg(DspAddr::ICR1 + offset, true, 4);
        const quint64 inputCount = u->ansValue() & 0xFFFFFFFFULL;
        answer.add(total, roi, fastTotal, inputCount);
    }
    stars->sendAns(msg, answer.text());
}
