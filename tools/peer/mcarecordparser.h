#pragma once

#include <QByteArray>
#include <QString>

#include "peerrecord.h"

// Cuts the byte stream of the data link into records. Bytes are appended as
// they arrive; next() takes one complete record off the front.
//
// A header is judged as soon as its 48 bytes are there, so a broken length
// field is caught before its bins are awaited: the record is malformed when
// its length is 0 or above the maximum, its channel above 3, its measuring
// flag neither 0 nor 1, a time negative or not finite, or its count rate not
// finite. After a malformed record the parser keeps its bytes (the caller
// drains the link and clears it); it never guesses where the next record is.
// Kept apart from Marlo's service/mcarecord.cpp on purpose: the peer checks its records.
class McaRecordParser
{
public:
    enum class Result { NeedMore, Record, Malformed };

    static constexpr quint64 defaultMaxBins = 65536;

    explicit McaRecordParser(quint64 maxBins = defaultMaxBins);

    void append(const QByteArray &bytes);
    Result next(PeerRecord &record);
    void clear();

    // Why the last next() answered Malformed.
    QString error() const { return why; }
    qsizetype buffered() const { return buf.size() - pos; }
    // Expected bins per record; 0: any up to the maximum.
    void setExpectedBins(quint64 n) { expectedBins = n; }

    // The header fields of the first 48 bytes of `block` (no checks).
    static PeerRecord readHeader(const char *block);
    // Why a header is not acceptable; empty when it is.
    static QString headerProblem(const PeerRecord &header, quint64 maxBins, quint64 expectedBins = 0);

private:
    QByteArray buf;
    qsizetype pos = 0;
    quint64 maxBins;
    quint64 expectedBins = 0;
    QString why;
};
