// Fuzzes the decoding of register answers (any datagram may arrive on the
// unit's UDP port) and the value readers used on them, and checks that every
// request the program builds decodes back to its address and value.

#include "fuzzsupport.h"
#include "hvstat.h"
#include "rbcp.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char *>(data), qsizetype(size));
    const Rbcp::Answer a = Rbcp::decodeAnswer(datagram);
    FUZZ_CHECK(a.datagram == datagram);
    FUZZ_CHECK(a.hasAddr == (datagram.size() >= Rbcp::headerBytes));
    if (a.hasAddr) {
        FUZZ_CHECK(a.data == datagram.mid(Rbcp::headerBytes));
        const int n = int(qMin<qsizetype>(a.data.size(), 8));
        FUZZ_CHECK(a.value == Rbcp::beValue(a.data, n));
    } else {
        FUZZ_CHECK(a.data.isEmpty() && a.value == 0 && a.addr == 0);
    }
    // The readers of times, counters and words take 2, 4 or 6 bytes; a short
    // answer reads as 0.
    for (int bytes : {-1, 0, 2, 4, 6, 8, 9}) {
        const quint64 v = Rbcp::beValue(a.data, bytes);
        if (bytes <= 0 || a.data.size() < bytes)
            FUZZ_CHECK(v == 0);
        else if (bytes < 8)
            FUZZ_CHECK(v < (quint64(1) << (8 * bytes)));
    }
    HvStat::decode(quint16(a.value));

    // A request built from the input decodes back.
    FuzzInput in(data, size);
    const quint32 addr = quint32(in.word()) << 16 | in.word();
    quint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | in.byte();
    const int sz = in.byte() % 10;
    const Rbcp::Answer w = Rbcp::decodeAnswer(Rbcp::writeRequest(addr, value, sz));
    FUZZ_CHECK(w.addr == addr && w.data.size() == sz);
    // At most 8 bytes carry the value, most significant first; a ninth (and
    // first) byte is 0, so the first eight bytes read as the value shifted.
    const quint64 expected = sz == 9 ? value >> 8 : sz == 8 ? value : value & ((quint64(1) << (8 * sz)) - 1);
    FUZZ_CHECK(w.value == expected);
    const Rbcp::Answer r = Rbcp::decodeAnswer(Rbcp::readRequest(addr, sz));
    FUZZ_CHECK(r.addr == addr && r.data.isEmpty() && (r.header & 0xFF) == quint32(sz));
    return 0;
}
