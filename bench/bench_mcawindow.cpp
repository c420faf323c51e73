// The STARS round trip of "GetROI 0" while the Spectra window refreshes every
// second during a measurement of 8 units x 4 channels (32 histograms a
// cycle), against the floor measured in the same run: the same round trip
// with the window closed. Rounds of a few seconds each, interleaved; the
// ratio is that of the minima of the rounds' mean times.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>

#include "benchrig.h"
#include "benchutil.h"
#include "body.h"
#include "mcawindow.h"
#include "servicerig.h"
#include "simunit.h"

int main(int argc, char **argv)
{
    bench::offscreenUnlessChosen();
    QApplication app(argc, argv);

    const QList<ServiceRig::Unit> list = bench::rigUnits(8, 1, QStringLiteral("127.0.32"));
    ServiceRig rig;
    if (!bench::startRig(rig, list))
        return 1;
    for (int u = 1; u <= 8; ++u)
        rig.sim(QStringLiteral("dsp%1").arg(u))->setCountRate(20000);
    if (rig.ask(QStringLiteral("RunStart")) != QLatin1String("Ok:")) {
        std::fprintf(stderr, "the measurement did not start\n");
        return 1;
    }
    auto *button = rig.body()->findChild<QPushButton *>(QStringLiteral("ShowSpectra"));
    button->click();
    McaWindow *w = rig.body()->spectraWindow();
    w->setIntervalSec(1.0);
    int cycles = 0;
    QObject::connect(w, &McaWindow::refreshed, [&cycles] { ++cycles; });

    int failures = 0;
    auto round = [&](bool open, int ms) {
        w->setVisible(open);
        QElapsedTimer t;
        t.start();
        int n = 0;
        while (t.elapsed() < ms) {
            if (rig.ask(QStringLiteral("GetROI 0"), QStringLiteral("Marlo"), 5000) != QLatin1String("0 2047"))
                ++failures;
            ++n;
        }
        return double(t.nsecsElapsed()) / 1000.0 / n;
    };
    round(false, 500);
    round(true, 1500);
    cycles = 0;
    bench::header();
    const bench::Pair r = bench::compareMinima(
        5, [&] { return round(false, 3000); }, [&] { return round(true, 3000); });
    bench::line("STARS GetROI round trip, Spectra window refreshing 8 x 4", r.value, r.floor, 1.2);
    std::printf("refresh cycles during the open rounds: %d\n", cycles);
    if (failures)
        std::printf("wrong or missing answers: %d\n", failures);
    w->hide();
    rig.ask(QStringLiteral("RunStop"));
    return 0;
}
