// Cuts a byte stream into LF-terminated lines, with a length limit.
#pragma once

#include <QByteArray>
#include <QList>

// Cuts a byte stream into LF-terminated lines. Bytes are appended as they
// arrive; complete lines (with their LF) are taken out in order. A line
// longer than the limit (not counting its LF) is dropped as a whole, also
// before its LF has arrived, so the buffer never grows much beyond the
// limit; reading goes on after the next LF.
class LineSplitter
{
public:
    static constexpr qsizetype defaultMaxLine = qsizetype(1) << 20;

    explicit LineSplitter(qsizetype maxLineBytes = defaultMaxLine);

    void append(const QByteArray &bytes);
    bool hasLine() const { return !lines.isEmpty(); }
    // The oldest complete line, LF included; empty when there is none.
    QByteArray takeLine();
    // The number of over-long lines dropped since the last call.
    int takeDropped();
    // Forgets all buffered bytes, lines and the dropping state.
    void clear();

    qsizetype maxLine() const { return limit; }
    qsizetype partialSize() const { return partial.size(); }
    bool isSkipping() const { return skipping; }

private:
    qsizetype limit;
    QByteArray partial;     // bytes of the line not yet ended by LF
    QList<QByteArray> lines;
    bool skipping = false;  // inside a dropped line, waiting for its LF
    int dropped = 0;
};
