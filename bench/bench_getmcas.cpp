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
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "benchlink.h"
#include "benchrig.h"
#include "benchutil.h"
#include "body.h"
#include "dspreg.h"
#include "logsink.h"
#include "rbcp.h"
#include "servicerig.h"
#include "simunit.h"
#include "vexda.h"

namespace {

constexpr int unitCount = 8;
constexpr int chCount = 4;
constexpr int hgBytes = 16384;
constexpr qint64 recordBytes = 48 + 4 * 4096;
constexpr qint64 transferBytes = recordBytes * unitCount * chCount;
// A connected loopback TCP pair: first the writing end, second the reading end.
std::pair<int, int> loopbackPair()
{
    const int ls = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = bench::sockAddr(QHostAddress(QHostAddress::LocalHost), 0);
    ::bind(ls, reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
    ::listen(ls, 1);
    socklen_t len = sizeof sa;
    ::getsockname(ls, reinterpret_cast<sockaddr *>(&sa), &len);
    const int reader = bench::connectTo(ntohs(sa.sin_port));
    const int writer = ::accept(ls, nullptr, nullptr);
    ::close(ls);
    const int one = 1;
    ::setsockopt(writer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return {writer, reader};
}

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("marlo.*.debug=false"));

    bench::header();
    for (const bool blocking : {true, false}) {
        const QList<ServiceRig::Unit> units = bench::rigUnits(unitCount, blocking ? 101 : 111);
        ServiceRig rig;
        if (!bench::startRig(rig, units, {QStringLiteral("SIMPLE_TRANS %1").arg(blocking ? 1 : 0)}))
            return 1;
        Body *body = rig.body();
        logSink = body->logArea();   // the log lines of a transfer are part of its cost

        // The floor's own simulated units, served by the same simulator thread.
        std::vector<bench::PlainUnit> plain = bench::plainUnits(rig, unitCount, blocking ? 121 : 131);
        if (plain.empty())
            return 1;

        // Measuring as far as Marlo knows; the simulated units stand still.
        if (rig.ask(QStringLiteral("Resume 1")) != QLatin1String("Ok:")) {
            std::fprintf(stderr, "Resume failed\n");
            return 1;
        }
        for (const ServiceRig::Unit &u : units)
            rig.sim(u.name)->setReg(DspAddr::Start, 0);

        const int linkFd = bench::connectTo(body->dataLinkServerPort());
        if (linkFd < 0 || !bench::spin([body] { return body->dataLinkConnected(); })) {
            std::fprintf(stderr, "no data link\n");
            return 1;
        }
        bench::Reader linkReader(linkFd, transferBytes);

        const std::pair<int, int> copyPair = loopbackPair();
        const int copyWriter = copyPair.first;
        bench::Reader copyReader(copyPair.second, transferBytes);
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
            for (bench::PlainUnit &u : plain) {
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
            const bench::Clock::time_point t0 = bench::Clock::now();
            const QString a = rig.ask(QStringLiteral("GetMCAs"));
            if (a != QLatin1String("Ok:"))
                ++failures;
            if (!bench::spin([&] { return linkReader.done() && !body->inDataTransfer(); }))
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
        std::printf("  (of which first to last byte at the peer: %.1f us)\n", bench::stats(tails).median);
        failures += linkReader.failures + copyReader.failures;
        if (failures)
            std::printf("failed exchanges: %d\n", failures);
        ::close(copyWriter);
        logSink = nullptr;
    }
    return 0;
}
