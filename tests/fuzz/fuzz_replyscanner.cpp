// Fuzzes the scanner of the peer's "Ack"/"NAck" replies on the data link.
// The same bytes are fed in pieces whose sizes come from the input; the
// tokens found must be those of a plain left-to-right scan of the whole
// stream, whatever the cut, and the kept buffer must stay small.

#include <QList>

#include "fuzzsupport.h"
#include "replyscanner.h"

namespace {

QList<ReplyScanner::Token> plainScan(const QByteArray &s)
{
    QList<ReplyScanner::Token> out;
    qsizetype i = 0;
    while (i < s.size()) {
        if (s.mid(i, 4) == "NAck") {
            out << ReplyScanner::NAck;
            i += 4;
        } else if (s.mid(i, 3) == "Ack") {
            out << ReplyScanner::Ack;
            i += 3;
        } else {
            ++i;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // Piece sizes, cycled.
    QList<int> cuts;
    const int nCuts = 1 + in.byte() % 8;
    for (int i = 0; i < nCuts; ++i)
        cuts << 1 + in.byte() % 16;
    const QByteArray stream = in.rest();

    ReplyScanner scanner;
    QList<ReplyScanner::Token> found;
    qsizetype pos = 0;
    for (int i = 0; pos < stream.size(); ++i) {
        const QByteArray piece = stream.mid(pos, cuts.at(i % cuts.size()));
        pos += piece.size();
        found << scanner.feed(piece);
        FUZZ_CHECK(scanner.buffer().size() <= ReplyScanner::keepBytes);
    }
    FUZZ_CHECK(found == plainScan(stream));

    // The blocking mode looks at the start of the reply gathered so far.
    const ReplyScanner::Reply r = ReplyScanner::classify(stream);
    FUZZ_CHECK((r == ReplyScanner::AckReply) == stream.startsWith("Ack"));
    FUZZ_CHECK((r == ReplyScanner::NAckReply) == stream.startsWith("NAck"));
    return 0;
}
