#pragma once

// Helpers of the benchmarks that read Marlo's data link (POSIX; loopback
// only): a reader thread for the peer's end, a connection, and an event loop
// that runs until a condition holds.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "benchutil.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// Reads one transfer of transferBytes per go() from a connected socket,
// notes when its first and last bytes came, and answers "Ack".
class Reader
{
public:
    Reader(int fd, qint64 transferBytes)
        : fd(fd), transferBytes(transferBytes), buf(size_t(transferBytes)), th([this] { loop(); })
    {
    }
    ~Reader()
    {
        {
            std::lock_guard<std::mutex> l(m);
            stop = true;
        }
        cv.notify_all();
        ::shutdown(fd, SHUT_RDWR);
        th.join();
        ::close(fd);
    }
    void go()
    {
        std::lock_guard<std::mutex> l(m);
        ++wanted;
        cv.notify_all();
    }
    bool done()
    {
        std::lock_guard<std::mutex> l(m);
        return got == wanted;
    }
    Clock::time_point lastByte()
    {
        std::lock_guard<std::mutex> l(m);
        return last;
    }
    Clock::time_point firstByte()
    {
        std::lock_guard<std::mutex> l(m);
        return first;
    }
    std::atomic<int> failures{0};

private:
    void loop()
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> l(m);
                cv.wait(l, [this] { return stop || got < wanted; });
                if (stop)
                    return;
            }
            qint64 n = 0;
            Clock::time_point f;
            while (n < transferBytes) {
                const ssize_t r = ::recv(fd, buf.data() + n, size_t(transferBytes - n), 0);
                if (r <= 0) {
                    ++failures;
                    break;
                }
                if (n == 0)
                    f = Clock::now();
                n += r;
            }
            const Clock::time_point t = Clock::now();
            ::send(fd, "Ack", 3, MSG_NOSIGNAL);
            std::lock_guard<std::mutex> l(m);
            last = t;
            first = f;
            ++got;
        }
    }

    int fd;
    qint64 transferBytes;
    std::vector<char> buf;
    std::mutex m;
    std::condition_variable cv;
    int wanted = 0;
    int got = 0;
    bool stop = false;
    Clock::time_point last;
    Clock::time_point first;
    std::thread th;
};

inline int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in sa = sockAddr(QHostAddress(QHostAddress::LocalHost), port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs the event loop until pred holds (a 1 ms timer keeps it waking up).
template <typename Pred>
inline bool spin(Pred pred, int timeoutMs = 20000)
{
    QTimer tick;
    tick.start(1);
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench
