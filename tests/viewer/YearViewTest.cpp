// SPDX-License-Identifier: GPL-3.0-or-later
// The Year view offscreen, as a user sees it: a few synthetic nights in a year's heat map,
// the known dark hour the darkest rows, a gap left blank, a column clicked to open its
// night, and the year exported from the window.
#include "DayFiles.h"
#include "QtPrinters.h"
#include "viewer/SpanChart.h"
#include "viewer/ViewerWindow.h"
#include "viewer/YearChart.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kHour = 3600;

std::int64_t Night(int day) {
    return DaysFromCivil(2026, 3, day);
}

// The clear-day curve with 2 counts from 02:00 to 03:00; on the 11th nothing from 22:00
// to 22:30.
struct Station {
    QTemporaryDir dir;
    QTemporaryDir cache;
    Station() {
        const auto sky = [](int s) {
            dayfiles::Values v = dayfiles::Daylight(s);
            if (s >= 2 * kHour && s < 3 * kHour) v.mean = 2;
            return v;
        };
        for (int day = 10; day <= 13; ++day) {
            std::string text = dayfiles::LinesWith(2026, 3, day, 0, 22 * kHour, sky);
            text += dayfiles::LinesWith(2026, 3, day, day == 11 ? 22 * kHour + 1800 : 22 * kHour,
                                        24 * kHour, sky);
            EXPECT_TRUE(
                dayfiles::Write(dir.filePath(QStringLiteral("202603%1.txt").arg(day)), text));
        }
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    }
};

double Luminance(QRgb c) {
    return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
}

TEST(YearView, DarkHourIsTheDarkestRowsAndAGapStaysBlank) {
    Station station;
    ViewerOptions options;
    options.folder = station.dir.path();
    options.year = Night(12);
    ViewerWindow window(options, Night(20));
    window.resize(1400, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.YearShown());
    YearChart& chart = window.Year();
    chart.replot(QCustomPlot::rpImmediateRefresh);
    const YearMinutes& year = chart.Year();
    EXPECT_EQ(year.nights, 365);
    EXPECT_EQ(year.LastNight(), Night(12));
    EXPECT_EQ(year.filesRead, 4);

    const QImage image = chart.toPixmap().toImage();
    const QRect map = chart.MapRect()->rect();
    for (int day = 10; day <= 12; ++day) {
        const int x = int(chart.xAxis->coordToPixel(double(Night(day)) + 0.5));
        double darkest = 255, otherDarkest = 255;
        int blank = 0;
        for (int y = map.top() + 1; y < map.bottom(); ++y) {
            // Pixels wholly within one kind of minute only.
            const double top = chart.yAxis->pixelToCoord(y - 0.5);
            const double bottom = chart.yAxis->pixelToCoord(y + 0.5);
            const auto within = [&](int fromRow, int toRow) {
                return std::min(top, bottom) >= fromRow && std::max(top, bottom) <= toRow;
            };
            const auto outside = [&](int fromRow, int toRow) {
                return std::max(top, bottom) <= fromRow || std::min(top, bottom) >= toRow;
            };
            const QRgb pixel = image.pixel(x, y);
            const int dark = 14 * 60; // 02:00, 14 hours after 12:00
            const int gap = 10 * 60;  // 22:00
            if (day == 11 && within(gap, gap + 30)) {
                EXPECT_EQ(pixel, qRgb(255, 255, 255)) << day << " " << y;
                ++blank;
            } else if (within(dark, dark + 60)) {
                darkest = std::min(darkest, Luminance(pixel));
                EXPECT_LT(Luminance(pixel), 20) << day << " " << y;
            } else if (outside(dark, dark + 60) && (day != 11 || outside(gap, gap + 30))) {
                otherDarkest = std::min(otherDarkest, Luminance(pixel));
                EXPECT_NE(pixel, qRgb(255, 255, 255)) << day << " " << y;
            }
        }
        EXPECT_LT(darkest, otherDarkest) << day;
        EXPECT_EQ(blank > 0, day == 11);
    }
    // Nights without files are blank.
    const int empty = int(chart.xAxis->coordToPixel(double(Night(1)) + 0.5));
    EXPECT_EQ(image.pixel(empty, map.center().y()), qRgb(255, 255, 255));

    // The pointer over a cell says what it holds; a click opens that night.
    const QPoint cell(int(chart.xAxis->coordToPixel(double(Night(11)) + 0.5)),
                      int(chart.yAxis->coordToPixel(14 * 60 + 30.5)));
    QTest::mouseMove(&chart, cell);
    EXPECT_TRUE(
        window.ReadoutText().startsWith(QStringLiteral("Night 2026-03-11 to 2026-03-12, 02")))
        << window.ReadoutText().toStdString();
    EXPECT_TRUE(window.ReadoutText().contains(QStringLiteral("median 2 counts")));
    QTest::mouseClick(&chart, Qt::LeftButton, {}, cell);
    EXPECT_FALSE(window.YearShown());
    EXPECT_EQ(window.Lines().span, TimeSpan::Of(SpanKind::Night, Night(11)));
    EXPECT_EQ(window.Records().size(), 86400U - 1800U);

    // Back to the year (from the cache now), a year back, and exported from the window.
    window.ShowYear(Night(12));
    EXPECT_EQ(window.Year().Year().filesFromCache, 4);
    const QString png = station.dir.filePath(QStringLiteral("year.png"));
    QString why;
    EXPECT_TRUE(window.ExportTo(png, &why)) << why.toStdString();
    EXPECT_EQ(QImage(png).size(), chart.size());
    const QString csv = station.dir.filePath(QStringLiteral("year.csv"));
    EXPECT_TRUE(window.ExportTo(csv, &why)) << why.toStdString();
    EXPECT_GT(QFileInfo(csv).size(), 4 * 1440 * 30);
    window.Step(-1);
    EXPECT_EQ(window.Year().Year().LastNight(), DaysFromCivil(2025, 3, 12));
    EXPECT_EQ(window.Year().Year().lines, 0);
}

// With the station's position in station.conf, astronomical twilight and the Moon are drawn
// over the map: for Vienna in March, darkness from about 19:30 to 04:45 (CET); without one,
// the status bar says how to give it.
TEST(YearView, TwilightAndTheMoonWhereThePositionIsKnown) {
    Station station;
    ViewerOptions options;
    options.folder = station.dir.path();
    options.year = Night(12);
    {
        ViewerWindow window(options, Night(20));
        EXPECT_FALSE(window.Year().SkyShown());
        EXPECT_TRUE(window.SkyStatusText().contains(QStringLiteral("station.conf")))
            << window.SkyStatusText().toStdString();
    }
    ASSERT_TRUE(dayfiles::Write(station.dir.filePath(QStringLiteral("station.conf")),
                                "latitude = 48.2\nlongitude = 16.4\nelevation = 180\n"
                                "timezone = Europe/Vienna\n"));
    ViewerWindow window(options, Night(20));
    YearChart& chart = window.Year();
    ASSERT_TRUE(chart.SkyShown());
    const auto rowOn = [&](astro::YearSky::Line line, std::int64_t night) {
        const auto data = chart.SkyLine(line)->data();
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            if (it->key == double(night) + 0.5) return it->value;
        return -1.0;
    };
    const double dusk = rowOn(astro::YearSky::Dusk, Night(10));
    const double dawn = rowOn(astro::YearSky::Dawn, Night(10));
    EXPECT_GT(dusk, 7 * 60 + 15) << dusk;  // 19:15
    EXPECT_LT(dusk, 7 * 60 + 45) << dusk;  // 19:45
    EXPECT_GT(dawn, 16 * 60 + 30) << dawn; // 04:30
    EXPECT_LT(dawn, 17 * 60) << dawn;      // 05:00
    // The Moon rises and sets about once a night, a year long.
    for (auto line : {astro::YearSky::Moonrise, astro::YearSky::Moonset}) {
        int moments = 0;
        const auto data = chart.SkyLine(line)->data();
        for (auto it = data->constBegin(); it != data->constEnd(); ++it)
            moments += !std::isnan(it->value);
        EXPECT_GT(moments, 330);
        EXPECT_LT(moments, 366);
    }
}

} // namespace
