// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the window's plot page after a few minutes of scripted readings: at start,
// on the Temperature tab and zoomed. Not a test: run it to look at the page.
//   plot_screenshots <directory>
#include "PlotRig.h"
#include "app/plot/PlotChart.h"
#include "app/plot/PlotPage.h"

#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTest>

#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    PlotRig rig({2024, 3, 1, 21, 14, 0, 200});
    rig.form->resize(632, 426);
    rig.form->show();
    for (int s = 0; s < 300; ++s) { // five minutes of dusk: counts fall, the sensor cools
        const double t = s / 300.0;
        rig.SetLight(static_cast<int>(40000 * std::exp(-6 * t) + 50 * std::sin(s / 7.0) + 60),
                     s < 120 ? 1 : 2);
        rig.SetTemperature(3.0 - 4.5 * t);
        if (s == 200) rig.SetLight(0, 2);
        rig.Second();
    }
    PlotPage& page = rig.form->Plot();
    const auto shot = [&](const char* name) {
        QApplication::processEvents();
        page.Chart().replot();
        const QString path = dir + QLatin1Char('/') + QLatin1String(name);
        rig.form->grab().save(path);
        std::printf("%s\n", qPrintable(path));
    };
    shot("plot-start.png");
    QTabBar& tabs = page.TabSet();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(1).center());
    shot("plot-temperature.png");
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(2).center());
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(0).center());
    PlotChart& chart = page.Chart();
    const QRect area = chart.axisRect()->rect();
    const QPoint from = area.topLeft() + QPoint(area.width() / 4, area.height() / 3);
    const QPoint to = area.topLeft() + QPoint(area.width() / 2, area.height() * 9 / 10);
    QTest::mousePress(&chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(&chart, to);
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, to);
    shot("plot-counts-zoomed.png");
    return 0;
}
