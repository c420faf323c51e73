// "GetMCAs" with 8 simulated units of 4 channels on loopback (32 records of
// 16432 bytes), asked by a peer over the STARS bus: the time from the request
// to the last byte at the peer's data-link socket. Its floor, measured in the
// same run and in alternating rounds: the histogram reads the request needs
// (each unit's 13 time registers, then per channel the histogram request and
// the 16384-byte stream, with blocking sockets against simulated units of
// their own, served by the same simulator thread as Marlo's) plus a plain
// loopback TCP copy of the same bytes to a reader thread that answers "Ack".
//
// The units are taken as measuring (so every request builds fresh data sets)
// while the simulated ones stand still. Both transfer modes are measured.
// Floor and value alternate over 21 rounds; the row gives the minima (the
// least disturbed runs on a shared machine) with the medians beside them,
// the ratio of the minima, and a line with the spread.
#include <QApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "benchutil.h"
#include "body.h"
#include "dspreg.h"
#include "logsink.h"
#include "rbcp.h"
#include "servicerig.h"
#include "simhost.h"
#include "simunit.h"
#include "vexda.h"

namespace {

constexpr int unitCount = 8;
constexpr int chCount = 4;
constexpr int hgBytes = 16384;
constexpr qint64 recordBytes = 48 + 4 * 4096;
constexpr qint64 transferBytes = recordBytes * unitCount * chCount;
using Clock = std::chrono::steady_clock;

// Reads one transfer per go() from a connected socket, notes when its last
// byte came, and answers "Ack".
class Reader
{
public:
    explicit Reader(int fd)
        : fd(fd), buf(size_t(transferBytes)), th([this] { loop(); })
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

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in sa = bench::sockAddr(QHostAddress(QHostAddress::LocalHost), port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A connected loopback TCP pair: first the writing end, second the reading end.
std::pair<int, int> loopbackPair()
{
    const int ls = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = bench::sockAddr(QHostAddress(QHostAddress::LocalHost), 0);
    ::bind(ls, reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    ::listen(ls, 1);
    socklen_t len = sizeof sa;
    ::getsockname(ls, reinterpret_cast<sockaddr *>(&sa), &len);
    const int reader = connectTo(ntohs(sa.sin_port));
    const int writer = ::accept(ls, nullptr, nullptr);
    ::close(ls);
    const int one = 1;
    ::setsockopt(writer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return {writer, reader};
}

struct PlainUnit {
    std::unique_ptr<bench::PlainUdp> udp;
    std::unique_ptr<bench::PlainTcp> tcp;
};

// Runs the event loop until pred holds (a 1 ms timer keeps it waking up).
template <typename Pred>
bool spin(Pred pred, int timeoutMs = 20000)
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

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0.0 : v.at(v.size() / 2);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("marlo.*.debug=false"));

    bench::header();
    for (const bool blocking : {true, false}) {
        QList<ServiceRig::Unit> units;
        for (int i = 0; i < unitCount; ++i)
            units << ServiceRig::Unit{QStringLiteral("dsp%1").arg(i + 1),
                                      QStringLiteral("127.0.6.%1").arg(blocking ? 101 + i : 111 + i),
                                      QStringLiteral("1 1 1 1")};
        ServiceRig rig;
        if (!rig.start(units, {QStringLiteral("SIMPLE_TRANS %1").arg(blocking ? 1 : 0)})) {
            std::fprintf(stderr, "set-up failed: %s\n", qPrintable(rig.error()));
            return 1;
        }
        Body *body = rig.body();
        logSink = body->logArea();   // the log lines of a transfer are part of its cost

        // The floor's own simulated units, served by the same simulator thread.
        SimHost &host = *rig.simulator();
        QList<SimUnit *> floorSims;
        for (int i = 0; i < unitCount; ++i)
            floorSims << host.addDsp(QStringLiteral("p%1").arg(i + 1),
                                     QHostAddress(QStringLiteral("127.0.6.%1").arg(blocking ? 121 + i : 131 + i)), 0, 0);
        if (!host.start()) {
            std::fprintf(stderr, "simulator did not start\n");
            return 1;
        }
        std::vector<PlainUnit> plain(unitCount);
        for (int i = 0; i < unitCount; ++i) {
            floorSims.at(i)->setDeterministic(true);
            plain[i].udp = std::make_unique<bench::PlainUdp>(floorSims.at(i)->address(), floorSims.at(i)->udpPort());
            plain[i].tcp = std::make_unique<bench::PlainTcp>(floorSims.at(i)->address(), floorSims.at(i)->tcpPort());
            if (!plain[i].tcp->ok()) {
                std::fprintf(stderr, "no plain TCP connection\n");
                return 1;
            }
        }
        QThread::msleep(100);   // let the simulator take the connections

        // Measuring as far as Marlo knows; the simulated units stand still.
        if (rig.ask(QStringLiteral("Resume 1")) != QLatin1String("Ok:")) {
            std::fprintf(stderr, "Resume failed\n");
            return 1;
        }
        for (const ServiceRig::Unit &u : units)
            rig.sim(u.name)->setReg(DspAddr::Start, 0);

        const int linkFd = connectTo(body->dataLinkServerPort());
        if (linkFd < 0 || !spin([body] { return body->dataLinkConnected(); })) {
            std::fprintf(stderr, "no data link\n");
            return 1;
        }
        Reader linkReader(linkFd);

        const std::pair<int, int> copyPair = loopbackPair();
        const int copyWriter = copyPair.first;
        Reader copyReader(copyPair.second);
        const QByteArray copyBytes(int(transferBytes), '\x5a');

        QList<QByteArray> timeReads{Rbcp::readRequest(DspAddr::RealTime1, 6)};
        QList<QByteArray> hgAsks;
        for (int ch = 0; ch < chCount; ++ch) {
            const quint32 o = quint32(chOffsets.value(ch, ch * 0x200));
            timeReads << Rbcp::readRequest(DspAddr::LiveTime1 + o, 6) << Rbcp::readRequest(DspAddr::DeadTime1 + o, 6)
                      << Rbcp::readRequest(DspAddr::ICR1 + o, 4);
            hgAsks << Rbcp::writeRequest(DspAddr::Histgram, quint64(ch), 2);
        }

        std::vector<char> hg(hgBytes);
        char answer[64];
        int failures = 0;
        auto floorUs = [&] {
            QElapsedTimer t;
            t.start();
            for (PlainUnit &u : plain) {
                for (const QByteArray &r : timeReads)
                    failures += !u.udp->exchange(r, answer, sizeof answer);
                for (int ch = 0; ch < chCount; ++ch) {
                    failures += !u.udp->exchange(hgAsks.at(ch), answer, sizeof answer);
                    failures += !u.tcp->readExactly(hg.data(), hgBytes);
                }
            }
            copyReader.go();
            qint64 sent = 0;
            while (sent < transferBytes) {
                const ssize_t w = ::send(copyWriter, copyBytes.constData() + sent, size_t(transferBytes - sent), 0);
                if (w <= 0) {
                    ++failures;
                    break;
                }
                sent += w;
            }
            char ack[3];
            qint64 n = 0;
            while (n < 3) {
                const ssize_t r = ::recv(copyWriter, ack + n, size_t(3 - n), 0);
                if (r <= 0) {
                    ++failures;
                    break;
                }
                n += r;
            }
            return double(t.nsecsElapsed()) / 1000.0;
        };
        auto valueUs = [&] {
            linkReader.go();
            const Clock::time_point t0 = Clock::now();
            const QString a = rig.ask(QStringLiteral("GetMCAs"));
            if (a != QLatin1String("Ok:"))
                ++failures;
            if (!spin([&] { return linkReader.done() && !body->inDataTransfer(); }))
                ++failures;
            return double(std::chrono::duration_cast<std::chrono::nanoseconds>(linkReader.lastByte() - t0).count())
                / 1000.0;
        };

        QList<double> tails;
        auto valueWithTail = [&] {
            const double us = valueUs();
            tails << double(std::chrono::duration_cast<std::chrono::nanoseconds>(linkReader.lastByte()
                                                                                 - linkReader.firstByte())
                                .count())
                    / 1000.0;
            return us;
        };
        const bench::Interleaved r = bench::interleave(21, 3, floorUs, valueWithTail);
        bench::minLine(blocking ? "GetMCAs 8 units x 4 channels, blocking (SIMPLE_TRANS 1)"
                                : "GetMCAs 8 units x 4 channels, acknowledged (SIMPLE_TRANS 0)",
                       r, 0.001, "ms", 2.0);
        tails = tails.mid(3);   // without the warm-up
        std::printf("  (of which first to last byte at the peer: %.1f us)\n", median(tails));
        failures += linkReader.failures + copyReader.failures;
        if (failures)
            std::printf("failed exchanges: %d\n", failures);
        ::close(copyWriter);
        logSink = nullptr;
    }
    return 0;
}
