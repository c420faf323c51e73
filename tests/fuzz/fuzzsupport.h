#pragma once

// Helpers shared by the fuzz targets: a quiet message handler (the parsers
// report malformed input on the debug output, which would only slow the runs
// down) and a check that aborts, so that libFuzzer records the input.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline void fuzzQuiet()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "fatal: %s\n", qPrintable(msg));
            std::abort();
        }
    });
}

#define FUZZ_CHECK(cond)                                                                    \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)

// Reads the input front to back: small numbers for chunk sizes and options,
// then the rest as data.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : p(data), n(size) {}

    bool empty() const { return n == 0; }
    size_t left() const { return n; }
    const char *ptr() const { return reinterpret_cast<const char *>(p); }

    uint8_t byte()
    {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    uint16_t word() { return uint16_t(byte() << 8 | byte()); }

    // Up to k bytes (fewer at the end).
    QByteArray take(size_t k)
    {
        if (k > n)
            k = n;
        QByteArray b(reinterpret_cast<const char *>(p), qsizetype(k));
        p += k;
        n -= k;
        return b;
    }
    QByteArray rest() { return take(n); }

private:
    const uint8_t *p;
    size_t n;
};
