// SPDX-License-Identifier: GPL-3.0-or-later
// The limiting magnitude and the Bortle class of a sky brightness against published
// values, and the jellyfish picture's grid from a run of nights whose minutes are known.
#include "core/sky/SkyQuality.h"
#include "core/sky/Jellyfish.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SkyQuality, LimitingMagnitudeAsPublished) {
    // The conversion's published table (to 0.01 mag): the darkest natural sky about 22,
    // a good rural sky 21.5, a suburb 20, a town 18.
    const struct {
        double msas, nelm;
    } table[] = {{22.0, 6.62}, {21.5, 6.38}, {21.0, 6.12}, {20.0, 5.49},
                 {19.0, 4.77}, {18.0, 3.97}, {17.0, 3.10}};
    for (const auto& row : table)
        EXPECT_NEAR(sky::LimitingMagnitude(row.msas), row.nelm, 0.006) << row.msas;
    // A darker sky shows fainter stars, never beyond the eye's limit of 7.93.
    for (double s = 15; s < 25; s += 0.1) {
        EXPECT_LT(sky::LimitingMagnitude(s), sky::LimitingMagnitude(s + 0.1));
        EXPECT_LT(sky::LimitingMagnitude(s), 7.93);
    }
    EXPECT_NEAR(sky::LimitingMagnitude(40.0), 7.93, 1e-3);
    EXPECT_FALSE(sky::LimitingMagnitude(std::optional<double>()).has_value());
}

TEST(SkyQuality, BortleClassByTheUsualLimits) {
    const struct {
        double msas;
        int bortle;
    } table[] = {{22.0, 1}, {21.99, 1}, {21.95, 2}, {21.89, 2}, {21.8, 3}, {21.69, 3},
                 {21.3, 4}, {20.49, 4}, {20.0, 5},  {19.5, 5},  {19.2, 6}, {18.94, 6},
                 {18.6, 7}, {18.38, 7}, {18.2, 8},  {18.0, 8},  {17.9, 9}, {15.0, 9}};
    for (const auto& row : table)
        EXPECT_EQ(sky::BortleClass(row.msas), row.bortle) << row.msas;
    EXPECT_FALSE(sky::BortleClass(std::optional<double>()).has_value());
}

namespace {

// Three nights whose minutes all read `count` counts, clear from 22:00 to 02:00 (rows
// 600 to 839), cloudy from 02:00 to 03:00, astronomical twilight before and after.
struct Nights {
    YearMinutes year;
    sky::YearConditions conditions;
    Nights(double count) {
        year.firstNight = DaysFromCivil(2026, 3, 1);
        year.nights = 3;
        year.cells.assign(std::size_t(3) * YearMinutes::kRows, YearCell{count, 60, 0});
        conditions.firstNight = year.firstNight;
        conditions.nights = 3;
        conditions.cells.assign(year.cells.size(), sky::Condition::Day);
        for (int n = 0; n < 3; ++n)
            for (int row = 540; row < 960; ++row) {
                sky::Condition c = sky::Condition::AstronomicalTwilight;
                if (row >= 600 && row < 840) c = sky::Condition::Clear;
                if (row >= 840 && row < 900) c = sky::Condition::Cloudy;
                conditions.cells[std::size_t(n) * YearMinutes::kRows + std::size_t(row)] = c;
            }
    }
};

} // namespace

TEST(Jellyfish, CountsEveryMinuteItTakesOnceInItsCell) {
    Nights nights(100); // 20.0 - 2.5 log10(100) = 15.0 mag/arcsec²
    const sky::ZeroPoints zeroPoints(20.0);
    const sky::Jellyfish clear =
        sky::BuildJellyfish(nights.year, nights.conditions, zeroPoints, true);
    EXPECT_EQ(clear.counted, 3 * 240);
    EXPECT_EQ(clear.firstColumn, -120); // 22:00
    EXPECT_EQ(clear.columns, 4 * 60 / 5);
    EXPECT_DOUBLE_EQ(clear.firstRow, 15.0);
    EXPECT_EQ(clear.rows, 10); // 15.0 to 15.5
    int sum = 0;
    for (int c = 0; c < clear.columns; ++c)
        for (int r = 0; r < clear.rows; ++r)
            sum += clear.At(c, r);
    EXPECT_EQ(sum, clear.counted);
    EXPECT_EQ(clear.At(0, 0), 3 * 5); // five minutes of three nights, in the row of 15.00
    // The CSV: one line per cell that holds minutes, summing to the same.
    const QList<QByteArray> lines = sky::JellyfishCsv(clear).split('\n');
    EXPECT_EQ(lines[0], "minutes_from_midnight,msas,minutes\r");
    EXPECT_EQ(lines[1], "-120,15.00,15\r");
    int csvSum = 0;
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].isEmpty()) csvSum += lines[i].split(',')[2].trimmed().toInt();
    EXPECT_EQ(csvSum, clear.counted);

    // All night: the twilight and the cloudy hour too, the day left out.
    const sky::Jellyfish all =
        sky::BuildJellyfish(nights.year, nights.conditions, zeroPoints, false);
    EXPECT_EQ(all.counted, 3 * 420);
    EXPECT_EQ(all.firstColumn, -180);

    // Without a zero point there is no brightness to count.
    EXPECT_EQ(sky::BuildJellyfish(nights.year, nights.conditions, sky::ZeroPoints(), true).counted,
              0);
}
