// The plot's axes: they fit the data at each new set of traces until the
// user zooms or pans, and follow again after "Reset view".
#include <QtTest>

#include "histogramplot.h"

class TstHistogramPlot : public QObject
{
    Q_OBJECT

private slots:
    void follow_data();
    void follow();
};

void TstHistogramPlot::follow_data()
{
    QTest::addColumn<QString>("user");   // what the user does between the refreshes
    QTest::addColumn<bool>("follows");
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("wheel zoom") << "wheel" << false;
    QTest::newRow("drag") << "drag" << false;
    QTest::newRow("zoom, then reset view") << "wheel reset" << true;
    QTest::newRow("log scale") << "log" << true;
}

void TstHistogramPlot::follow()
{
    QFETCH(QString, user);
    QFETCH(bool, follows);
    HistogramPlot plot;
    plot.resize(600, 400);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    auto traces = [](int bins, quint32 peak) {
        QVector<quint32> b(bins, 1);
        b[bins / 2] = peak;
        return QList<HistogramPlot::Trace>{{b, QStringLiteral("e0"), 0}};
    };
    plot.setTraces(traces(1024, 20));
    plot.replot();
    const QPoint centre = plot.axisRect()->rect().center();
    if (user.contains(QLatin1String("wheel"))) {
        QWheelEvent wheel(centre, plot.mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&plot, &wheel);
    }
    if (user.contains(QLatin1String("drag"))) {
        QTest::mousePress(&plot, Qt::LeftButton, Qt::NoModifier, centre);
        QMouseEvent move(QEvent::MouseMove, centre + QPoint(40, 30), plot.mapToGlobal(centre + QPoint(40, 30)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&plot, &move);
        QTest::mouseRelease(&plot, Qt::LeftButton, Qt::NoModifier, centre + QPoint(40, 30));
    }
    if (user.contains(QLatin1String("reset")))
        plot.resetView();
    if (user.contains(QLatin1String("log")))
        plot.setLogScale(true);
    const QCPRange moved = plot.yAxis->range();
    QCOMPARE(plot.xAxis->range() == QCPRange(-0.5, 1023.5), follows);

    plot.setTraces(traces(2048, 1000));   // the next refresh
    if (follows) {
        QCOMPARE(plot.xAxis->range(), QCPRange(-0.5, 2047.5));
        QVERIFY(plot.yAxis->range().contains(1000));
    } else {
        QCOMPARE(plot.yAxis->range(), moved);
    }
}

QTEST_MAIN(TstHistogramPlot)
#include "tst_histogramplot.moc"
