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

// Minima of per-call microseconds of floor and value over `rounds`
// interleaved rounds; each function runs one round and returns its
// microseconds per call.
inline Pair compareMinima(int rounds, const std::function<double()> &floorRound,
                          const std::function<double()> &valueRound)
{
    Pair best{1e300, 1e300};
    for (int k = 0; k < rounds; ++k) {
        best.floor = std::min(best.floor, floorRound());
        best.value = std::min(best.value, valueRound());
    }
    return best;
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
