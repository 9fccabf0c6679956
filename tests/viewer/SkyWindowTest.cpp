// SPDX-License-Identifier: GPL-3.0-or-later
// The sky in the viewer's window offscreen: without a position nothing is drawn and the
// status bar says how to give one; with station.conf the title gives the Moon's phase,
// the panels are shaded and the Moon's curve is drawn; View > Magnitude shows the zero
// point's magnitudes.
#include "DayFiles.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Folder {
    QTemporaryDir dir;
    Folder() {
        for (int day : {18, 19})
            dayfiles::Write(dir.filePath(QStringLiteral("202601%1.txt").arg(day)),
                            dayfiles::Lines(2026, 1, day, 0, 86400));
    }
    ViewerOptions Options() const {
        ViewerOptions options;
        options.folder = dir.path();
        options.span = TimeSpan::Of(SpanKind::Night, DaysFromCivil(2026, 1, 18));
        return options;
    }
};

QAction* Action(QMainWindow& window, const QString& text) {
    for (QAction* menu : window.menuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->text().remove(u'&') == text) return action;
    return nullptr;
}

} // namespace

TEST(SkyWindow, WithoutAPositionNothingChanges) {
    Folder folder;
    ViewerWindow window(folder.Options(), DaysFromCivil(2026, 1, 20));
    EXPECT_TRUE(window.SkyStatusText().contains(QStringLiteral("--location")));
    EXPECT_EQ(window.Chart().itemCount(), 3); // the pointer's lines only
    EXPECT_FALSE(window.Chart().PanelRect(SpanChart::Counts)->axis(QCPAxis::atRight)->visible());
    EXPECT_FALSE(Action(window, QStringLiteral("Magnitude"))->isEnabled());
}

TEST(SkyWindow, StationDescriptionBringsTwilightMoonAndMagnitude) {
    Folder folder;
    QFile conf(folder.dir.filePath(QStringLiteral("station.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\nzero_point = 20.5\n");
    conf.close();
    ViewerWindow window(folder.Options(), DaysFromCivil(2026, 1, 20));
    EXPECT_TRUE(window.SkyStatusText().startsWith(QStringLiteral("Sky at 48.20")));
    SpanChart& chart = window.Chart();
    // Three twilights before the night, the night, three after: shaded in three panels.
    EXPECT_EQ(chart.itemCount(), 3 + 7 * 3);
    EXPECT_TRUE(chart.PanelRect(SpanChart::Counts)->axis(QCPAxis::atRight)->visible());
    auto* title = qobject_cast<QCPTextElement*>(chart.plotLayout()->element(0, 0));
    ASSERT_TRUE(title);
    // New moon of 18 January 2026.
    EXPECT_EQ(title->text(),
              QStringLiteral("Night 2026-01-18 to 2026-01-19 \u00B7 Moon 0% illuminated"));

    QAction* magnitude = Action(window, QStringLiteral("Magnitude"));
    ASSERT_TRUE(magnitude && magnitude->isEnabled());
    magnitude->trigger();
    ASSERT_TRUE(chart.Magnitude());
    const auto data = chart.Graph(SpanChart::Counts)->data();
    ASSERT_GT(data->size(), 1000);
    const DayRecord& first = chart.Series().Drawn(0);
    EXPECT_NEAR(data->at(0)->value, 20.5 - 2.5 * std::log10(double(first.mean)), 1e-9);
    EXPECT_EQ(chart.ValueAxis(SpanChart::Counts)->scaleType(), QCPAxis::stLinear);
    magnitude->trigger();
    EXPECT_FALSE(chart.Magnitude());
    EXPECT_EQ(chart.ValueAxis(SpanChart::Counts)->scaleType(), QCPAxis::stLogarithmic);
}
