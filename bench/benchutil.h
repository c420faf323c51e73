#pragma once

// Small helpers shared by the benchmark programs (POSIX; loopback only).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace bench {

// The benchmarks draw off screen unless the caller chose a platform.
inline void offscreenUnlessChosen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline sockaddr_in sockAddr(const QHostAddress &addr, quint16 port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(addr.toIPv4Address());
    return sa;
}

// A plain blocking UDP request/answer: send, then wait (poll) for one
// datagram of the device. Returns false on time-out.
class PlainUdp
{
public:
    PlainUdp(const QHostAddress &addr, quint16 port)
        : m_fd(::socket(AF_INET, SOCK_DGRAM, 0))
        , m_to(sockAddr(addr, port))
    {
    }
    ~PlainUdp() { ::close(m_fd); }
    bool exchange(const QByteArray &request, char *answer, int size, int timeoutMs = 500)
    {
        ::sendto(m_fd, request.constData(), size_t(request.size()), 0,
                 reinterpret_cast<const sockaddr *>(&m_to), sizeof m_to);
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        return ::recv(m_fd, answer, size_t(size), 0) > 0;
    }

private:
    int m_fd;
    sockaddr_in m_to;
};

// A plain blocking TCP client.
class PlainTcp
{
public:
    PlainTcp(const QHostAddress &addr, quint16 port)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        const sockaddr_in sa = sockAddr(addr, port);
        m_ok = ::connect(m_fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) == 0;
    }
    ~PlainTcp() { ::close(m_fd); }
    bool ok() const { return m_ok; }
    // Reads exactly n bytes (blocking).
    bool readExactly(char *buf, qint64 n)
    {
        qint64 got = 0;
        while (got < n) {
            const ssize_t r = ::recv(m_fd, buf + got, size_t(n - got), 0);
            if (r <= 0)
                return false;
            got += r;
        }
        return true;
    }

private:
    int m_fd;
    bool m_ok = false;
};

// Microseconds per call of f, the median of `rounds` rounds of n calls.
inline double usPerCall(int rounds, int n, const std::function<void()> &f)
{
    QList<double> r;
    for (int k = 0; k < rounds; ++k) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < n; ++i)
            f();
        r << double(t.nsecsElapsed()) / 1000.0 / n;
    }
    std::sort(r.begin(), r.end());
    return r.at(r.size() / 2);
}

// Medians of per-call microseconds of floor and value, measured in
// alternating rounds of n calls so that both see the same machine load.
struct Pair {
    double floor;
    double value;
};

inline Pair compare(int rounds, int n, const std::function<void()> &floorFn, const std::function<void()> &valueFn)
{
    QList<double> f, v;
    for (int k = 0; k < rounds; ++k) {
        f << usPerCall(1, n, floorFn);
        v << usPerCall(1, n, valueFn);
    }
    std::sort(f.begin(), f.end());
    std::sort(v.begin(), v.end());
    return {f.at(f.size() / 2), v.at(v.size() / 2)};
}

// Minimum, median and maximum of a set of timings. The minimum is the run
// least disturbed by the rest of the machine; comparing minima keeps a
// ratio steady where medians swing with the load of a shared machine.
struct Stats {
    double min = 0.0;
    double median = 0.0;
    double max = 0.0;
    int n = 0;
};

inline Stats stats(QList<double> v)
{
    Stats s;
    if (v.isEmpty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.first();
    s.median = v.at(v.size() / 2);
    s.max = v.last();
    s.n = int(v.size());
    return s;
}

// Floor and value measured in interleaved rounds (floor, value, floor, ...)
// after `warmup` unrecorded pairs, so both see the same state of the machine.
struct Interleaved {
    Stats floor;
    Stats value;
};

inline Interleaved interleave(int rounds, int warmup, const std::function<double()> &floorFn,
                              const std::function<double()> &valueFn)
{
    for (int i = 0; i < warmup; ++i) {
        floorFn();
        valueFn();
    }
    QList<double> f, v;
    for (int k = 0; k < rounds; ++k) {
        f << floorFn();
        v << valueFn();
    }
    return {stats(f), stats(v)};
}

// A table row from interleaved rounds: value and floor as minimum (with the
// median), the ratio of the minima; then a line with the spread of both.
inline void minLine(const char *figure, const Interleaved &r, double scale, const char *unit, double target)
{
    const Stats &v = r.value;
    const Stats &f = r.floor;
    std::printf("%s | %.2f %s (median %.2f) | %.2f %s (median %.2f) | %.2f | <= %.2f\n", figure, v.min * scale, unit,
                v.median * scale, f.min * scale, unit, f.median * scale, f.min > 0 ? v.min / f.min : 0.0, target);
    std::printf("  spread over %d rounds: value %.2f..%.2f %s, floor %.2f..%.2f %s; ratio of medians %.2f\n", v.n,
                v.min * scale, v.max * scale, unit, f.min * scale, f.max * scale, unit,
                f.median > 0 ? v.median / f.median : 0.0);
    std::fflush(stdout);
}

// Minima of per-call microseconds of floor and value over `rounds`
// interleaved rounds; each function runs one round and returns its
// microseconds per call.
inline Pair compareMinima(int rounds, const std::function<double()> &floorRound,
                          const std::function<double()> &valueRound)
{
    const Interleaved r = interleave(rounds, 0, floorRound, valueRound);
    return {r.floor.min, r.value.min};
}

inline void header()
{
    std::printf("figure | value | floor | ratio | target\n");
}

inline void line(const char *figure, double value, double floor, double target)
{
    std::printf("%s | %.1f us | %.1f us | %.2f | <= %.1f\n", figure, value, floor, value / floor, target);
    std::fflush(stdout);
}

} // namespace bench
