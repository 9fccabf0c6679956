// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot/PlotPage.h"
#include "PlotRig.h"
#include "WindowTestSupport.h"
#include "app/plot/PlotChart.h"
#include "app/plot/PlotGraphs.h"
#include "core/plot/PointLabelLayout.h"

#include <QAction>
#include <QTabBar>
#include <QTest>
#include <gtest/gtest.h>

#include "PlotLabels.h"

namespace {

// The "Logarithmic" item as the window starts with it.
struct LogarithmicItem : QAction {
    LogarithmicItem() {
        setCheckable(true);
        setChecked(true);
    }
};

// A page as the window holds it, shown at the window's plot size.
struct PageRig {
    LogarithmicItem logarithmic;
    PlotPage page;
    PageRig()
        : page(logarithmic) {
        page.resize(632, 400);
    }
    void Records(int from, int to, double mean = 1000, double temperature = 20, double range = 1) {
        for (int s = from; s <= to; ++s)
            page.AddRecordPoints(s, mean, temperature, range, Hms(s));
    }
    void Show() {
        page.show();
        page.Chart().replot();
    }
    void PickTab(int index) {
        QTabBar& tabs = page.TabSet();
        QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(index).center());
    }
    std::vector<bool> Drawn() const {
        return {page.Series(1).visible(), page.Series(2).visible(), page.Series(3).visible()};
    }
    // The command as the menu runs it: the item flips its check mark, then the handler.
    std::string Logarithmic() {
        logarithmic.setChecked(!logarithmic.isChecked());
        try {
            page.MILogarithmicClick();
        } catch (const NocturoError& e) {
            return e.what();
        }
        return {};
    }
    bool AxisIsLog() const { return page.Chart().yAxis->scaleType() == QCPAxis::stLogarithmic; }
};

int Points(const PlotPage& page, int series) {
    return page.Series(series).data()->size();
}
} // namespace

TEST(PlotRecords, OnePointPerSeriesPerActiveSecondAndTheEmpties) {
    PlotRig rig({2024, 3, 1, 12, 0, 0, 100});
    PlotPage& page = rig.form->Plot();
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(Points(page, i), 0);                      // start-up emptied them
    EXPECT_DOUBLE_EQ(page.Chart().yAxis->range().lower, 1); // an empty logarithmic axis
    EXPECT_DOUBLE_EQ(page.Chart().yAxis->range().upper, 10);
    rig.SetLight(250, 1);
    rig.SetTemperature(-2.5);
    rig.Second(); // the first pass closes no second
    rig.Second();
    rig.Second();
    ASSERT_EQ(Points(page, 1), 2);
    for (int i = 1; i <= 3; ++i)
        ASSERT_EQ(Points(page, i), 2);
    const double x = 12 * 3600 + 3; // the second of the closing pass
    EXPECT_EQ(page.Series(1).data()->at(1)->key, x);
    EXPECT_EQ(page.Series(2).data()->at(1)->value, -2.5);
    EXPECT_EQ(page.Series(3).data()->at(1)->value, 1);
    EXPECT_GT(page.Series(1).data()->at(1)->value, 0);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(page.Store(i).Label(1), "12:00:03");

    rig.pipes.attached = false; // no reading, no point
    rig.pipes.queueFault(FakePipeLibrary::Fault::Timeout, 4);
    rig.Second();
    rig.Second();
    EXPECT_EQ(Points(page, 1), 2);

    WindowWidgets(*rig.form).MIClear->trigger();
    EXPECT_EQ(Points(page, 1), 0);
    EXPECT_EQ(Points(page, 2), 2);
    EXPECT_EQ(Points(page, 3), 2);
    page.ClearAllSeries(); // the roll-over's hook
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(Points(page, i), 0);
}

TEST(PlotRecords, OutOfOrderAndEqualXAreInsertedInOrder) {
    PageRig rig;
    rig.Records(86390, 86399);
    rig.page.AddRecordPoints(5, 1, 1, 1, Hms(5)); // after a missed roll-over
    rig.page.AddRecordPoints(86395, 2, 2, 2, Hms(86395));
    const auto& data = *rig.page.Series(1).data();
    ASSERT_EQ(data.size(), 12);
    for (int i = 1; i < data.size(); ++i)
        EXPECT_LE(data.at(i - 1)->key, data.at(i)->key);
    EXPECT_EQ(data.at(0)->key, 5);
    EXPECT_EQ(rig.page.Store(1).Label(0), "00:00:05");
    EXPECT_DOUBLE_EQ(rig.page.Chart().xAxis->range().lower, 5);
    EXPECT_DOUBLE_EQ(rig.page.Chart().xAxis->range().upper, 86399);
}

TEST(PlotTabs, StartDrawsAllThreeThenEachTabItsSeriesTitleAndStep) {
    PageRig rig;
    rig.Records(100, 200);
    rig.Show();
    QCPAxis* value = rig.page.Chart().yAxis;
    EXPECT_EQ(rig.page.TabSet().currentIndex(), 0);
    EXPECT_EQ(rig.Drawn(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(value->label(), "counts");
    EXPECT_TRUE(rig.AxisIsLog());
    EXPECT_EQ(rig.page.ValueLabelStep(), 1000);

    rig.PickTab(0); // the selected tab: nothing runs
    EXPECT_EQ(rig.Drawn(), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(rig.page.ValueLabelStep(), 1000);

    rig.PickTab(1);
    EXPECT_EQ(rig.page.TabSet().currentIndex(), 1);
    EXPECT_EQ(rig.Drawn(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(value->label(), "Temperature");
    EXPECT_DOUBLE_EQ(rig.page.ValueLabelStep(), 0.1);
    EXPECT_TRUE(value->tickLabels());

    const char* const texts[] = {"Lux", "mag", "lim. mag"};
    for (int tab = 3; tab <= 5; ++tab) {
        rig.PickTab(tab);
        EXPECT_EQ(rig.Drawn(), (std::vector<bool>{false, false, false}));
        EXPECT_EQ(value->label(), texts[tab - 3]);
        EXPECT_DOUBLE_EQ(rig.page.ValueLabelStep(), 0.1);
        rig.page.Chart().replot();
        EXPECT_FALSE(value->tickLabels());
        EXPECT_FALSE(rig.page.Chart().xAxis->tickLabels());
    }

    rig.PickTab(2);
    EXPECT_EQ(rig.Drawn(), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(value->label(), "Range");
    EXPECT_EQ(rig.page.ValueLabelStep(), 1);
    rig.PickTab(0); // "Range then counts": the counts alone
    EXPECT_EQ(rig.Drawn(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(value->label(), "counts");
    EXPECT_EQ(rig.page.ValueLabelStep(), 10000);
}

TEST(PlotTabs, ClearOnTheTemperatureTabEmptiesTheCountsOnly) {
    PageRig rig;
    rig.Records(0, 9);
    rig.PickTab(1);
    rig.page.MIClearClick();
    EXPECT_EQ(Points(rig.page, 2), 10);
    rig.PickTab(0);
    EXPECT_EQ(Points(rig.page, 1), 0);
    rig.Records(10, 10);
    EXPECT_EQ(Points(rig.page, 1), 1);
}

TEST(PlotLogarithmic, RefusedBelowZeroAndTheCheckMarkFollowsTheAxis) {
    PageRig rig;
    rig.Records(0, 59, 1000, -2.5);
    rig.PickTab(1);
    EXPECT_EQ(rig.Logarithmic(), ""); // off
    EXPECT_FALSE(rig.AxisIsLog());
    EXPECT_FALSE(rig.logarithmic.isChecked());
    EXPECT_EQ(rig.Logarithmic(), "Logarithmic Axis Min and Max values should be >= 0");
    EXPECT_FALSE(rig.AxisIsLog());
    EXPECT_FALSE(rig.logarithmic.isChecked()); // matches the axis
    EXPECT_EQ(rig.Logarithmic(), "Logarithmic Axis Min and Max values should be >= 0");
    EXPECT_FALSE(rig.logarithmic.isChecked());

    rig.PickTab(0); // the counts alone are positive
    EXPECT_EQ(rig.Logarithmic(), "");
    EXPECT_TRUE(rig.AxisIsLog());
    EXPECT_TRUE(rig.logarithmic.isChecked());

    rig.PickTab(3); // nothing drawn: all three count, the temperature among them
    EXPECT_EQ(rig.Logarithmic(), "");
    EXPECT_EQ(rig.Logarithmic(), "Logarithmic Axis Min and Max values should be >= 0");
    EXPECT_FALSE(rig.logarithmic.isChecked());
}

TEST(PlotLogarithmic, TheWindowShowsTheRefusalAndUnchecksTheItem) {
    PlotRig rig({2024, 1, 15, 6, 0, 0, 500});
    rig.SetTemperature(-2.5);
    for (int i = 0; i < 5; ++i)
        rig.Second();
    QAction* item = WindowWidgets(*rig.form).MILogarithmic;
    ASSERT_TRUE(item->isChecked());
    item->trigger(); // linear
    item->trigger(); // log refused: all three drawn, the temperature below 0
    ASSERT_EQ(rig.errors.messages.size(), 1u);
    EXPECT_EQ(rig.errors.messages[0], "Logarithmic Axis Min and Max values should be >= 0");
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(rig.form->Plot().Chart().yAxis->scaleType(), QCPAxis::stLinear);
}

TEST(PlotLogarithmic, ZeroAndBelowAreDrawnOnTheBottomEdge) {
    PageRig rig;
    for (int s = 0; s <= 20; ++s) {
        const double mean = s >= 8 && s <= 12 ? 0 : 1000 + 50 * s;
        rig.page.AddRecordPoints(s, mean, 1, 1, Hms(s));
    }
    rig.PickTab(2);
    rig.PickTab(0); // the red series alone
    rig.Show();
    const QImage image = rig.page.Chart().toPixmap().toImage();
    if (qEnvironmentVariableIsSet("PLOT_TEST_IMAGES")) image.save("/tmp/plot_clamp.png");
    QCPAxis* time = rig.page.Chart().xAxis;
    const QRect plotArea = rig.page.Chart().axisRect()->rect();
    int redOnEdge = 0;
    for (int px = int(time->coordToPixel(8.5)); px <= int(time->coordToPixel(11.5)); ++px) {
        const QColor c = image.pixelColor(px, plotArea.bottom());
        const QColor above = image.pixelColor(px, plotArea.bottom() - 1);
        if ((c.red() > 200 && c.green() < 120) || (above.red() > 200 && above.green() < 120))
            ++redOnEdge;
    }
    EXPECT_GE(redOnEdge, int(time->coordToPixel(11.5)) - int(time->coordToPixel(8.5)) - 1);
    EXPECT_EQ(rig.page.Series(1).data()->at(10)->value, 0); // the data keep their 0
    // Not on the edge where the values are positive.
    const QColor middle = image.pixelColor(int(time->coordToPixel(3)), plotArea.bottom());
    EXPECT_FALSE(middle.red() > 200 && middle.green() < 120);
}

TEST(PlotTimeAxis, LabelsArePointLabelsAscendingApartAndRightOnTheFirstDraw) {
    PageRig rig;
    rig.Records(3600, 3600 + 1799);
    rig.Show(); // one draw only
    PlotChart& chart = rig.page.Chart();
    QCPAxis* time = chart.xAxis;
    const QVector<double> ticks = time->tickVector();
    const QVector<QString> labels = time->tickVectorLabels();
    ASSERT_GE(ticks.size(), 4);
    ASSERT_EQ(ticks.size(), labels.size());
    EXPECT_EQ(ticks.front(), 3600);
    const QFontMetrics metrics(time->tickLabelFont());
    const QFontMetricsF metricsF(time->tickLabelFont());
    // As drawn, in whole pixels; and as laid out, the characters' advances summed.
    const auto drawnWidth = [&](const QString& t) {
        return double(metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip, t).width());
    };
    const auto width = [&](const QString& t) {
        double w = 0;
        for (QChar c : t)
            w += metricsF.horizontalAdvance(c);
        return w;
    };
    for (int i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(labels[i], Hms(int(ticks[i])));
        if (i == 0) continue;
        EXPECT_GT(ticks[i], ticks[i - 1]);
        const double gap = time->coordToPixel(ticks[i]) - time->coordToPixel(ticks[i - 1]);
        EXPECT_GE(gap, 0.6 * (drawnWidth(labels[i]) + drawnWidth(labels[i - 1])) - 1);
    }
    // The layout of the rectangle actually drawn, not of the one before the first layout.
    const QRect rect = chart.axisRect()->rect();
    const SeriesStore& store = rig.page.Store(1);
    const auto expected = LayOutPointLabels(
        {&rig.page.Store(1), &rig.page.Store(2), &rig.page.Store(3)},
        {time->range().lower, time->range().upper, double(rect.left()), double(rect.width())},
        width, 0);
    ASSERT_EQ(std::size_t(ticks.size()), expected.size());
    for (int i = 0; i < ticks.size(); ++i)
        EXPECT_EQ(ticks[i], expected[std::size_t(i)].x);
    // A label stands for the next point that fits: no room for one before it.
    EXPECT_LT(time->coordToPixel(ticks[1]) - time->coordToPixel(ticks[0]),
              1.2 * width(labels[0]) + 2 * (time->coordToPixel(1) - time->coordToPixel(0)));
    EXPECT_GT(store.Size(), std::size_t(ticks.size()));
}

TEST(PlotMouse, DragsZoomRestoreAndScrollAndTheViewStaysWhilePointsArrive) {
    PageRig rig;
    rig.Records(0, 599, 1000, 20, 1);
    rig.PickTab(1); // temperature, linear
    rig.Logarithmic();
    rig.page.Series(2).data()->clear();
    rig.page.ClearAllSeries();
    for (int s = 0; s < 600; ++s)
        rig.page.AddRecordPoints(s, 1000, 10 + s / 60.0, 1, Hms(s));
    rig.Show();
    PlotChart& chart = rig.page.Chart();
    QCPAxis* x = chart.xAxis;
    QCPAxis* y = chart.yAxis;
    const QCPRange autoX = x->range();
    const QCPRange autoY = y->range();
    const QRect area = chart.axisRect()->rect();
    const auto drag = [&](Qt::MouseButton button, QPoint from, QPoint to) {
        QTest::mousePress(&chart, button, {}, from);
        QTest::mouseMove(&chart, (from + to) / 2);
        QTest::mouseMove(&chart, to);
        QTest::mouseRelease(&chart, button, {}, to);
    };

    const QPoint a = area.topLeft() + QPoint(100, 50);
    drag(Qt::LeftButton, a, a + QPoint(16, 100)); // not far enough right
    drag(Qt::LeftButton, a, a + QPoint(100, 16)); // not far enough down
    EXPECT_TRUE(chart.AutomaticView());
    EXPECT_EQ(x->range(), autoX);

    const QPoint b = a + QPoint(200, 150);
    const double x1 = x->pixelToCoord(a.x()), x2 = x->pixelToCoord(b.x());
    const double y1 = y->pixelToCoord(b.y()), y2 = y->pixelToCoord(a.y());
    drag(Qt::LeftButton, a, b);
    EXPECT_FALSE(chart.AutomaticView());
    EXPECT_NEAR(x->range().lower, x1, 1e-6);
    EXPECT_NEAR(x->range().upper, x2, 1e-6);
    EXPECT_NEAR(y->range().lower, y1, 1e-6);
    EXPECT_NEAR(y->range().upper, y2, 1e-6);

    const QCPRange zoomed = x->range();
    rig.page.AddRecordPoints(700, 1000, 50, 1, Hms(700)); // outside the view: it stays
    EXPECT_EQ(x->range(), zoomed);

    chart.replot();
    const double perPixelX = x->pixelToCoord(area.left() + 1) - x->pixelToCoord(area.left());
    const double perPixelY = y->pixelToCoord(area.top()) - y->pixelToCoord(area.top() + 1);
    const QCPRange beforeX = x->range(), beforeY = y->range();
    drag(Qt::RightButton, b, b + QPoint(-40, 30)); // content follows the mouse
    EXPECT_NEAR(x->range().lower, beforeX.lower + 40 * perPixelX, 1e-6);
    EXPECT_NEAR(x->range().upper, beforeX.upper + 40 * perPixelX, 1e-6);
    EXPECT_NEAR(y->range().lower, beforeY.lower + 30 * perPixelY, 1e-6);
    EXPECT_FALSE(chart.AutomaticView());

    drag(Qt::LeftButton, b, b + QPoint(-30, 40)); // left and down: restores as well
    EXPECT_TRUE(chart.AutomaticView());
    EXPECT_EQ(x->range(), QCPRange(0, 700)); // with the point that came meanwhile
    EXPECT_NEAR(y->range().upper, 50, 1e-9);

    drag(Qt::LeftButton, a, b);
    drag(Qt::LeftButton, b, a); // up and left
    EXPECT_TRUE(chart.AutomaticView());
    rig.page.AddRecordPoints(800, 1000, 20, 1, Hms(800));
    EXPECT_EQ(x->range().upper, 800);
    (void)autoY;
}

TEST(PlotLogarithmic, WhileZoomedTheRangeOnViewDecides) {
    PageRig rig;
    rig.Records(0, 599, 1000, -2.5);
    for (int s = 600; s < 1200; ++s)
        rig.page.AddRecordPoints(s, 1000, 5 + s / 100.0, 1, Hms(s));
    rig.PickTab(1);
    rig.Logarithmic(); // linear
    rig.Show();
    PlotChart& chart = rig.page.Chart();
    // Zoom onto the warm half, all above 0.
    const QPoint from(int(chart.xAxis->coordToPixel(700)), int(chart.yAxis->coordToPixel(15)));
    const QPoint to(int(chart.xAxis->coordToPixel(1100)), int(chart.yAxis->coordToPixel(8)));
    QTest::mousePress(&chart, Qt::LeftButton, {}, from);
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, to);
    ASSERT_FALSE(chart.AutomaticView());
    EXPECT_EQ(rig.Logarithmic(), "");
    EXPECT_TRUE(rig.AxisIsLog());
}
