// A STARS request that touches no unit ("GetROI 0"), asked by a peer through
// starsbus and answered by Marlo, against the floor measured in the same
// run: a trivial node on the same bus that answers the same line at once.
// Both answers travel the same way (peer -> bus -> node -> bus -> peer).
#include <QApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTest>

#include "benchrig.h"
#include "benchutil.h"
#include "buskeys.h"
#include "servicerig.h"
#include "starsbusrunner.h"

namespace {

// Logs into the bus and answers every request "From>Echo Cmd ..." with
// "Echo>From @Cmd 0 2047" as soon as it arrives.
class EchoNode : public QObject
{
public:
    EchoNode(const QString &keyFile, quint16 port)
        : keyFile(keyFile)
    {
        connect(&sock, &QTcpSocket::readyRead, this, [this] { read(); });
        // As Marlo's STARS client: no Nagle delay on the answers.
        connect(&sock, &QTcpSocket::connected, this,
                [this] { sock.setSocketOption(QAbstractSocket::LowDelayOption, 1); });
        sock.connectToHost(QHostAddress::LocalHost, port);
    }
    bool loggedIn = false;

private:
    void read()
    {
        buf += sock.readAll();
        for (;;) {
            const qsizetype lf = buf.indexOf('\n');
            if (lf < 0)
                break;
            const QByteArray line = buf.left(lf);
            buf.remove(0, lf + 1);
            if (state == 0) {
                QList<QByteArray> keys;
                BusKeys::readKeyFile(keyFile, keys);
                sock.write("Echo " + keys.value(BusKeys::keyIndex(line.trimmed().toLongLong(), int(keys.size()))) + '\n');
                sock.flush();
                state = 1;
            } else if (state == 1) {
                loggedIn = line.startsWith("System>Echo Ok:");
                state = 2;
            } else {
                const QList<QByteArray> w = line.split(' ');
                if (w.size() < 2 || w.at(1).startsWith('@') || w.at(1).startsWith('_'))
                    continue;
                const QByteArray from = w.at(0).left(w.at(0).indexOf('>'));
                sock.write("Echo>" + from + " @" + w.at(1) + " 0 2047\n");
                sock.flush();
            }
        }
    }

    QString keyFile;
    QTcpSocket sock;
    QByteArray buf;
    int state = 0;
};

} // namespace

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    ServiceRig rig;
    if (!bench::startRig(rig, bench::rigUnits(1, 91)))
        return 1;
    const QString key = rig.dirPath() + QStringLiteral("/Echo.key");
    QFile f(key);
    if (!f.open(QIODevice::WriteOnly) || f.write("e0\ne1\n") != 6) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(key));
        return 1;
    }
    f.close();
    // The rig's bus port, from the configuration it wrote.
    quint16 port = 0;
    QFile cfg(rig.dirPath() + QStringLiteral("/config.cfg"));
    if (cfg.open(QIODevice::ReadOnly)) {
        for (const QByteArray &l : cfg.readAll().split('\n')) {
            if (l.startsWith("STARS_PORT "))
                port = quint16(l.mid(11).trimmed().toUInt());
        }
    }
    EchoNode echo(key, port);
    if (!QTest::qWaitFor([&echo] { return echo.loggedIn; }, 5000)) {
        std::fprintf(stderr, "the trivial node did not log in\n");
        return 1;
    }

    int failures = 0;
    auto ask = [&](const QString &to) {
        const QString a = rig.ask(QStringLiteral("GetROI 0"), to, 5000);
        if (a != QLatin1String("0 2047"))
            ++failures;
    };
    auto floorFn = [&] { ask(QStringLiteral("Echo")); };
    auto valueFn = [&] { ask(QStringLiteral("Marlo")); };
    for (int i = 0; i < 200; ++i) {
        floorFn();
        valueFn();
    }
    bench::header();
    const bench::Pair r = bench::compare(21, 200, floorFn, valueFn);
    bench::line("STARS GetROI round trip via starsbus", r.value, r.floor, 1.2);
    if (failures)
        std::printf("wrong or missing answers: %d\n", failures);
    return 0;
}
