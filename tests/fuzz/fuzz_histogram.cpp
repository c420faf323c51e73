// Fuzzes the assembly of a histogram from the TCP stream: sizes and piece
// lengths from the input (pieces may be empty, negative counts are refused),
// resets in the middle of a stream, and the conversion into a target buffer
// of a given capacity, which must never be overrun.

#include <QBuffer>
#include <QtEndian>

#include <vector>

#include "fuzzsupport.h"
#include "histogramassembler.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzQuiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    // Up to 4 KiB of histogram so that a run completes several times; the
    // sizes may disagree with each other (and may be 0 or "negative").
    const int hgBytes = int(in.word() % 4200) - 8;
    const int mcaLength = int(in.word() % 1100) - 4;
    const int capacity = in.byte() * 4;
    HistogramAssembler h(hgBytes, mcaLength);
    FUZZ_CHECK(h.hgBytes() >= 0 && h.mcaLength() >= 0);

    QByteArray collected;
    while (!in.empty()) {
        const uint8_t op = in.byte();
        const int len = int(in.byte()) * ((op & 0x30) + 1);
        const QByteArray piece = in.take(size_t(len));
        switch (op & 3) {
        case 0: {   // plain feed
            const int before = h.size();
            const int k = h.feed(piece);
            FUZZ_CHECK(k >= 0 && k <= piece.size() && h.size() == before + k);
            collected += piece.left(k);
            break;
        }
        case 1: {   // straight from a device, bounded
            QByteArray bytes = piece;
            QBuffer dev(&bytes);
            dev.open(QIODevice::ReadOnly);
            const int before = h.size();
            const int k = h.feedFrom(&dev, qint64(op >> 2) * 16);
            FUZZ_CHECK(k >= 0 && h.size() == before + k);
            collected += piece.left(k);
            break;
        }
        case 2:     // the stream was reset: start again
            h.reset();
            collected.clear();
            FUZZ_CHECK(h.size() == 0);
            break;
        case 3:     // a refused call
            FUZZ_CHECK(h.feed(piece.constData(), -int(piece.size()) - 1) == 0);
            FUZZ_CHECK(h.feed(nullptr, int(piece.size())) == 0);
            break;
        }
        FUZZ_CHECK(h.size() <= h.hgBytes());
        FUZZ_CHECK(h.missing() == h.hgBytes() - h.size());

        // The target buffer with a guard word behind it.
        std::vector<quint32> dst(size_t(capacity) + 1, 0xA5A5A5A5u);
        const int bins = h.convertTo(dst.data(), capacity);
        FUZZ_CHECK(dst[size_t(capacity)] == 0xA5A5A5A5u);
        if (!h.isComplete()) {
            FUZZ_CHECK(bins == 0);
            continue;
        }
        FUZZ_CHECK(bins == qMin(qMin(h.mcaLength(), h.hgBytes() / 4), capacity));
        for (int i = 0; i < bins; ++i)
            FUZZ_CHECK(dst[size_t(i)] == qFromBigEndian<quint32>(collected.constData() + 4 * i));
        h.reset();
        collected.clear();
    }
    return 0;
}
