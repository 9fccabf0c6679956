// SPDX-License-Identifier: GPL-3.0-or-later
// The sky in the viewer's window offscreen: without a position nothing is drawn and the
// status bar says how to give one; with station.conf the title gives the Moon's phase,
// the panels are shaded and the Moon's curve is drawn; View > Magnitude shows the zero
// point's magnitudes, each at the zero point of its date.
#include "DayFiles.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearChart.h"

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

// Two zero points, the second from the night of 19 January: the Week and the Year views
// plot every magnitude with the zero point of its own date.
TEST(SkyWindow, MagnitudesTakeTheZeroPointOfTheirDate) {
    Folder folder;
    QFile conf(folder.dir.filePath(QStringLiteral("station.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("latitude = 48.2\nlongitude = 16.4\ntimezone = Europe/Vienna\n"
               "zero_point = 20.0 from 2026-01-01\nzero_point = 21.0 from 2026-01-19\n");
    conf.close();
    ViewerOptions options = folder.Options();
    options.span = TimeSpan::Of(SpanKind::Week, DaysFromCivil(2026, 1, 19));
    ViewerWindow window(options, DaysFromCivil(2026, 1, 20));
    Action(window, QStringLiteral("Magnitude"))->trigger();
    SpanChart& chart = window.Chart();
    ASSERT_TRUE(chart.Magnitude());
    const WallSeconds change = StartOfDay(DaysFromCivil(2026, 1, 19)) + kSecondsPerDay / 2;
    const auto data = chart.Graph(SpanChart::Counts)->data();
    int before = 0, after = 0;
    for (std::size_t i = 0; i < chart.Series().DrawnCount(); ++i) {
        const DayRecord& r = chart.Series().Drawn(i);
        if (r.Failed() || r.mean <= 0) continue;
        const auto point = data->findBegin(double(r.time), false);
        ASSERT_NE(point, data->constEnd());
        ASSERT_EQ(point->key, double(r.time));
        const double zero = r.time < change ? 20.0 : 21.0;
        EXPECT_NEAR(point->value, zero - 2.5 * std::log10(double(r.mean)), 1e-9);
        ++(r.time < change ? before : after);
    }
    EXPECT_GT(before, 80000);
    EXPECT_GT(after, 40000);

    window.ShowYear(DaysFromCivil(2026, 1, 19));
    const YearMinutes& year = window.Year().Year();
    const auto* map = qobject_cast<QCPColorMap*>(window.Year().plottable(0));
    ASSERT_TRUE(map);
    int cells = 0;
    for (const std::int64_t night : {DaysFromCivil(2026, 1, 18), DaysFromCivil(2026, 1, 19)}) {
        const int n = int(night - year.firstNight);
        for (int row = 0; row < YearMinutes::kRows; row += 60) {
            const double median = year.At(n, row).median;
            if (!(median > 0)) continue;
            const double zero = night < DaysFromCivil(2026, 1, 19) ? 20.0 : 21.0;
            EXPECT_NEAR(map->data()->cell(n, row), zero - 2.5 * std::log10(median), 1e-9);
            ++cells;
        }
    }
    EXPECT_GT(cells, 20);
}
