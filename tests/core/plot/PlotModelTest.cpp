// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/plot/PointLabelLayout.h"
#include "core/plot/SeriesStore.h"
#include "core/plot/ValueAxisTicks.h"

#include <gtest/gtest.h>

#include "PlotLabels.h"

#include <random>

namespace {

std::vector<double> Keys(const SeriesStore& store) {
    std::vector<double> keys;
    for (std::size_t i = 0; i < store.Size(); ++i)
        keys.push_back(store.Key(i));
    return keys;
}
} // namespace

TEST(SeriesStore, KeepsPointsInAscendingXWithTheirLabelsAndExtents) {
    SeriesStore store;
    EXPECT_FALSE(store.Keys().found);
    EXPECT_FALSE(store.Values(false).found);
    store.Add(10, 5, "a");
    store.Add(12, -2.5, "c");
    store.Add(11, 0, "b");    // out of order: inserted
    store.Add(12, 7, "c2");   // equal to the last: appended after it
    store.Add(3, 1, "early"); // before the first
    store.Add(11, 2, "b2");   // equal x in the middle: after the one already there
    EXPECT_EQ(Keys(store), (std::vector<double>{3, 10, 11, 11, 12, 12}));
    const std::vector<QString> labels{"early", "a", "b", "b2", "c", "c2"};
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_EQ(store.Label(i), labels[i]);
    EXPECT_EQ(store.LowerBound(11), 2u);
    EXPECT_EQ(store.LowerBound(11.5), 4u);
    EXPECT_EQ(store.LowerBound(13), 6u);

    EXPECT_DOUBLE_EQ(store.Keys().lower, 3);
    EXPECT_DOUBLE_EQ(store.Keys().upper, 12);
    EXPECT_DOUBLE_EQ(store.Values(false).lower, -2.5);
    EXPECT_DOUBLE_EQ(store.Values(false).upper, 7);
    EXPECT_DOUBLE_EQ(store.Values(true).lower, 1); // 0 and below are not positive
    EXPECT_DOUBLE_EQ(store.Values(true).upper, 7);

    store.Clear();
    EXPECT_TRUE(store.Empty());
    EXPECT_FALSE(store.Values(false).found);
    store.Add(0, 0, "x");
    EXPECT_FALSE(store.Values(true).found);
    EXPECT_TRUE(store.Values(false).found);
}

// The definition, walked point by point: what the jumping layout must reproduce.
std::vector<PlacedLabel> NaiveLayout(const std::vector<const SeriesStore*>& sources,
                                     const AxisScale& scale,
                                     const std::function<double(const QString&)>& width) {
    std::vector<std::pair<double, QString>> points;
    for (std::size_t s = 0; s < sources.size(); ++s)
        for (std::size_t i = 0; i < sources[s]->Size(); ++i)
            points.emplace_back(sources[s]->Key(i), sources[s]->Label(i));
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PlacedLabel> placed;
    double occupiedTo = -1e300;
    for (const auto& [x, text] : points) {
        if (x < scale.lower || x > scale.upper) continue;
        const double w = width(text);
        const double c = scale.ToPixel(x);
        if (c - 0.6 * w >= occupiedTo) {
            placed.push_back({x, text});
            occupiedTo = c + 0.6 * w;
        }
    }
    return placed;
}

TEST(PointLabelLayout, MatchesThePointByPointRuleAndNeverOverlaps) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        SeriesStore a;
        SeriesStore b;
        const int n = 200 + static_cast<int>(random() % 3000);
        for (int i = 0; i < n; ++i) {
            const int s = static_cast<int>(random() % 86400);
            (random() % 2 ? a : b).Add(s, 1, Hms(s) + QString(int(random() % 3), 'w'));
        }
        // Label widths vary between 8 and 10 characters of 6 pixels.
        const auto width = [](const QString& text) { return 6.0 * text.size(); };
        const AxisScale scale{double(random() % 40000), 40000 + double(random() % 46400), 40,
                              200 + double(random() % 1200)};
        const std::vector<const SeriesStore*> sources{&a, &b};
        const auto placed = LayOutPointLabels(sources, scale, width, 6.0 * 8);
        const auto expected = NaiveLayout(sources, scale, width);
        ASSERT_EQ(placed.size(), expected.size()) << "round " << round;
        for (std::size_t i = 0; i < placed.size(); ++i) {
            EXPECT_EQ(placed[i].x, expected[i].x);
            EXPECT_EQ(placed[i].text, expected[i].text);
            EXPECT_GE(placed[i].x, scale.lower);
            EXPECT_LE(placed[i].x, scale.upper);
            if (i == 0) continue;
            const double gap = scale.ToPixel(placed[i].x) - scale.ToPixel(placed[i - 1].x);
            EXPECT_GE(gap, 0.6 * (width(placed[i].text) + width(placed[i - 1].text)) - 1e-9);
        }
    }
}

TEST(PointLabelLayout, SameXShowsOneLabelAndEmptyOrDegenerateRangesShowNone) {
    SeriesStore a;
    a.Add(100, 1, "first");
    a.Add(100, 1, "second");
    const auto width = [](const QString&) { return 10.0; };
    const auto placed = LayOutPointLabels({&a}, {0, 200, 0, 600}, width, 10);
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].text, "first");
    EXPECT_TRUE(LayOutPointLabels({&a}, {100, 100, 0, 600}, width, 10).empty());
    EXPECT_TRUE(LayOutPointLabels({&a}, {101, 200, 0, 600}, width, 10).empty());
    SeriesStore none;
    EXPECT_TRUE(LayOutPointLabels({&none}, {0, 200, 0, 600}, width, 10).empty());
}

TEST(ValueTicks, LinearStepIsAMinimumWidenedUntilLabelsFit) {
    ValueTickRequest r;
    r.lower = 0;
    r.upper = 100000;
    r.minStep = 10000;
    r.pixelLength = 300;
    r.minSpacing = 20; // at most 15 labels
    EXPECT_EQ(ValueTicks(r), (std::vector<double>{0, 10000, 20000, 30000, 40000, 50000, 60000,
                                                  70000, 80000, 90000, 100000}));
    r.upper = 1000000; // 10000 would give 101 labels: 20000 gives 51, 50000 gives 21, 100000 fits
    EXPECT_EQ(ValueTicks(r).size(), 11u);
    EXPECT_DOUBLE_EQ(ValueTicks(r)[1], 100000);

    r = {};
    r.lower = 18.25;
    r.upper = 18.75;
    r.minStep = 0.1;
    r.pixelLength = 300;
    r.minSpacing = 20;
    const auto ticks = ValueTicks(r);
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_NEAR(ticks[0], 18.3, 1e-9);
    EXPECT_NEAR(ticks[4], 18.7, 1e-9);
    r.lower = 18.31; // a step that no label lands in gives none
    r.upper = 18.39;
    EXPECT_TRUE(ValueTicks(r).empty());
}

TEST(ValueTicks, LogarithmicUsesOneTwoFiveThenDecadesThenEveryNthDecade) {
    ValueTickRequest r;
    r.logarithmic = true;
    r.lower = 1;
    r.upper = 100;
    r.pixelLength = 400; // 200 px a decade: 1, 2, 5 fit
    r.minSpacing = 20;
    EXPECT_EQ(ValueTicks(r), (std::vector<double>{1, 2, 5, 10, 20, 50, 100}));
    r.upper = 1e6; // 67 px a decade: 2 would stand 20 px above 1
    r.minSpacing = 25;
    EXPECT_EQ(ValueTicks(r), (std::vector<double>{1, 10, 100, 1e3, 1e4, 1e5, 1e6}));
    r.lower = 1e-3;
    r.upper = 1e12; // 27 px a decade: the decades alone
    EXPECT_EQ(ValueTicks(r).size(), 16u);
    r.pixelLength = 150; // 10 px a decade: every 2nd
    r.minSpacing = 20;
    const auto every2 = ValueTicks(r);
    ASSERT_EQ(every2.size(), 8u); // 1e-2, 1, 1e2 ... 1e12
    EXPECT_DOUBLE_EQ(every2.front(), 0.01);
    r.lower = -1; // not a logarithmic range
    EXPECT_TRUE(ValueTicks(r).empty());
}

TEST(FormatGroupedNumber, GroupsDigitsKeepsAtMostThreeDecimals) {
    const QString dot = ".";
    const QString comma = ",";
    EXPECT_EQ(FormatGroupedNumber(0, dot, comma), "0");
    EXPECT_EQ(FormatGroupedNumber(1000, dot, comma), "1,000");
    EXPECT_EQ(FormatGroupedNumber(1234567.5, dot, comma), "1,234,567.5");
    EXPECT_EQ(FormatGroupedNumber(999, dot, comma), "999");
    EXPECT_EQ(FormatGroupedNumber(0.1 + 0.2, dot, comma), "0.3");
    EXPECT_EQ(FormatGroupedNumber(0.12345, dot, comma), "0.123");
    EXPECT_EQ(FormatGroupedNumber(-12345.678, ",", "."), "-12.345,678");
    EXPECT_EQ(FormatGroupedNumber(-0.0001, dot, comma), "0");
    EXPECT_EQ(FormatGroupedNumber(1e-3, dot, QString(QChar(0xA0))), "0.001");
    EXPECT_EQ(FormatGroupedNumber(100000, dot, QString(QChar(0xA0))),
              QString("100") + QChar(0xA0) + "000");
}
