// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's window offscreen, used as a user would: a folder of three day files, the
// nights stepped through with Page Up and Page Down, zoomed with the wheel and a dragged
// rectangle, panned, read under the pointer, following a file as the station saves it,
// and exported.
#include "viewer/ViewerWindow.h"
#include "DayFiles.h"
#include "QtPrinters.h"
#include "viewer/DayList.h"
#include "viewer/SpanChart.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kHour = 3600;

WallSeconds At(int day, int h, int m = 0, int s = 0) {
    return StartOfDay(DaysFromCivil(2009, 1, day)) + h * kHour + m * 60 + s;
}

// 26th: a full day but for 20:00 to 21:00. 27th: a full day with ten failed seconds from
// 02:00:00 and nothing from 05:00 to 05:10. 28th: from midnight to 10:00, still written.
struct Station {
    QTemporaryDir dir;
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    Station() {
        using namespace dayfiles;
        EXPECT_TRUE(Write(Path("20090126.txt"), Lines(2009, 1, 26, 0, 20 * kHour) +
                                                    Lines(2009, 1, 26, 21 * kHour, 24 * kHour)));
        std::string day27 = Lines(2009, 1, 27, 0, 2 * kHour);
        for (int s = 2 * kHour; s < 2 * kHour + 10; ++s)
            day27 += FailedLine(2009, 1, 27, s);
        day27 += Lines(2009, 1, 27, 2 * kHour + 10, 5 * kHour) +
                 Lines(2009, 1, 27, 5 * kHour + 600, 24 * kHour);
        EXPECT_TRUE(Write(Path("20090127.txt"), day27));
        EXPECT_TRUE(Write(Path("20090128.txt"), Lines(2009, 1, 28, 0, 10 * kHour)));
    }
};

struct Viewer {
    Station station;
    ViewerOptions options;
    std::unique_ptr<ViewerWindow> window;
    Viewer() {
        options.folder = station.dir.path();
        window = std::make_unique<ViewerWindow>(options, DaysFromCivil(2009, 1, 28));
        window->resize(1200, 800);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        Chart().replot();
    }
    SpanChart& Chart() const { return window->Chart(); }
    int PixelOf(WallSeconds t) const {
        return int(std::lround(Chart().TimeAxis(SpanChart::Counts)->coordToPixel(double(t))));
    }
    int MiddleOf(SpanChart::Panel panel) const {
        return Chart().PanelRect(panel)->rect().center().y();
    }
    void Wheel(QPoint at, int notches) {
        QWheelEvent event(at, Chart().mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&Chart(), &event);
    }
    void MoveTo(QPoint at) {
        QMouseEvent move(QEvent::MouseMove, at, Chart().mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&Chart(), &move);
    }
    double ValueAt(SpanChart::Panel panel, WallSeconds t) const {
        const auto data = Chart().Graph(panel)->data();
        const auto it = data->findBegin(double(t), false);
        return it != data->constEnd() && it->key == double(t) ? it->value : -1;
    }
};

// Whether the curve is broken between two times: a NaN point lies between them.
bool BrokenBetween(const QCPGraph* graph, WallSeconds a, WallSeconds b) {
    const auto data = graph->data();
    for (auto it = data->findBegin(double(a), false); it != data->constEnd() && it->key < b; ++it)
        if (std::isnan(it->value)) return true;
    return false;
}

TEST(ViewerWindow, OpensAFolderAndStepsThroughTheNights) {
    Viewer viewer;
    // The newest line is of the 28th's morning: the night of the 27th.
    const SpanLines& lines = viewer.window->Lines();
    const std::vector<DayRecord>& records = viewer.window->Records();
    EXPECT_EQ(lines.span, TimeSpan::Of(SpanKind::Night, DaysFromCivil(2009, 1, 27)));
    EXPECT_EQ(records.size(), std::size_t(12 * kHour + 10 * kHour));

    DayList& days = viewer.window->Days();
    days.SummariseAll();
    ASSERT_EQ(days.topLevelItemCount(), 3);
    const QStringList row28{"2009-01-28", "36000", "00:00:00", "09:59:59"};
    for (int column = 0; column < 4; ++column)
        EXPECT_EQ(days.topLevelItem(0)->text(column), row28[column]);
    EXPECT_EQ(days.topLevelItem(2)->text(0), QStringLiteral("2009-01-26"));
    EXPECT_EQ(days.topLevelItem(2)->text(1), QStringLiteral("82800"));
    EXPECT_EQ(days.currentItem(), days.topLevelItem(1));

    // Page Up: the night before, from two files, with the hour missing on the 26th and
    // the failed seconds and missing minutes on the 27th.
    QTest::keyClick(viewer.window.get(), Qt::Key_PageUp);
    EXPECT_EQ(lines.span, TimeSpan::Of(SpanKind::Night, DaysFromCivil(2009, 1, 26)));
    EXPECT_EQ(records.size(), std::size_t(11 * kHour + 12 * kHour - 600));
    EXPECT_EQ(records.front().time, At(26, 12));
    EXPECT_EQ(records.back().time, At(27, 11, 59, 59));
    EXPECT_EQ(days.currentItem(), days.topLevelItem(2));
    for (SpanChart::Panel panel : {SpanChart::Counts, SpanChart::Temperature, SpanChart::Range}) {
        QCPGraph* graph = viewer.Chart().Graph(panel);
        EXPECT_TRUE(BrokenBetween(graph, At(26, 19, 59, 59), At(26, 21))) << panel;
        EXPECT_TRUE(BrokenBetween(graph, At(27, 1, 59, 59), At(27, 2, 0, 10))) << panel;
        EXPECT_TRUE(BrokenBetween(graph, At(27, 4, 59, 59), At(27, 5, 10))) << panel;
        EXPECT_FALSE(BrokenBetween(graph, At(26, 21), At(27, 1, 59, 59))) << panel;
    }
    // The failed seconds are no curve points but one run of marks on the time axis.
    EXPECT_EQ(viewer.ValueAt(SpanChart::Counts, At(27, 2, 0, 5)), -1);
    const auto marks = viewer.Chart().FailureMarks()->data();
    ASSERT_EQ(marks->size(), 2);
    EXPECT_EQ(marks->at(0)->key, double(At(27, 2)));
    EXPECT_EQ(marks->at(1)->key, double(At(27, 2, 0, 9)));
    EXPECT_EQ(viewer.ValueAt(SpanChart::Range, At(26, 12)), dayfiles::Daylight(12 * kHour).range);

    // Page Down twice, the second time from the list: the night of the 28th has no lines
    // yet (its morning belongs to the night before).
    QTest::keyClick(viewer.window.get(), Qt::Key_PageDown);
    days.setFocus();
    QTest::keyClick(&days, Qt::Key_PageDown);
    EXPECT_EQ(lines.span.day, DaysFromCivil(2009, 1, 28));
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(viewer.window->ReadoutText().startsWith(
        QStringLiteral("No lines between 2009-01-28 12:00:00")));

    // The day toggle keeps the date; picking a row in the list shows that day.
    viewer.window->SetKind(SpanKind::Day);
    EXPECT_EQ(lines.span, TimeSpan::Of(SpanKind::Day, DaysFromCivil(2009, 1, 28)));
    EXPECT_EQ(records.size(), std::size_t(10 * kHour));
    QTreeWidgetItem* row26 = days.topLevelItem(2);
    QTest::mouseClick(days.viewport(), Qt::LeftButton, {}, days.visualItemRect(row26).center());
    EXPECT_EQ(lines.span, TimeSpan::Of(SpanKind::Day, DaysFromCivil(2009, 1, 26)));
    EXPECT_EQ(records.size(), std::size_t(23 * kHour));
    QTest::keyClick(&days, Qt::Key_Up);
    EXPECT_EQ(lines.span, TimeSpan::Of(SpanKind::Day, DaysFromCivil(2009, 1, 27)));
}

TEST(ViewerWindow, ZoomsPansAndReadsUnderThePointer) {
    Viewer viewer;
    viewer.window->ShowSpan(TimeSpan::Of(SpanKind::Night, DaysFromCivil(2009, 1, 26)));
    SpanChart& chart = viewer.Chart();
    chart.replot();
    const QCPRange whole = chart.TimeRange();
    EXPECT_EQ(whole.lower, double(At(26, 12)));
    EXPECT_EQ(whole.upper, double(At(27, 12)));
    const double countsTop = chart.ValueAxis(SpanChart::Counts)->range().upper;

    // One notch of the wheel over midnight zooms about midnight, which stays in place.
    const int y = viewer.MiddleOf(SpanChart::Counts);
    const int midnight = viewer.PixelOf(At(27, 0));
    viewer.Wheel(QPoint(midnight, y), 1);
    EXPECT_NEAR(chart.TimeRange().size(), 0.8 * whole.size(), 1);
    EXPECT_NEAR(chart.TimeAxis(SpanChart::Counts)->coordToPixel(double(At(27, 0))), midnight, 1);
    // The three panels share the time axis.
    EXPECT_EQ(chart.TimeAxis(SpanChart::Range)->range(), chart.TimeRange());

    // A rectangle from 22:00 to 02:00 in the counts panel: the night's dark hours, whose
    // counts the value axis fits.
    const QPoint from(viewer.PixelOf(At(26, 22)), y - 40);
    const QPoint to(viewer.PixelOf(At(27, 2)), y + 40);
    QTest::mousePress(&chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(&chart, to);
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, to);
    const double secondsPerPixel =
        chart.TimeRange().size() / chart.PanelRect(SpanChart::Counts)->width();
    EXPECT_NEAR(chart.TimeRange().lower, double(At(26, 22)), 2 * secondsPerPixel + 60);
    EXPECT_NEAR(chart.TimeRange().upper, double(At(27, 2)), 2 * secondsPerPixel + 60);
    // The temperature panel refits to the lines in view; the counts panel keeps the
    // values dragged over.
    const QCPRange temperatures = chart.ValueAxis(SpanChart::Temperature)->range();
    EXPECT_LT(temperatures.upper, 8);
    EXPECT_LT(chart.ValueAxis(SpanChart::Counts)->range().upper, countsTop);

    // A right-button drag of 100 pixels to the left moves the time range later.
    const QCPRange before = chart.TimeRange();
    const QPoint start(600, viewer.MiddleOf(SpanChart::Temperature));
    QTest::mousePress(&chart, Qt::RightButton, {}, start);
    QTest::mouseMove(&chart, start - QPoint(100, 0));
    QTest::mouseRelease(&chart, Qt::RightButton, {}, start - QPoint(100, 0));
    const double moved = 100.0 / chart.PanelRect(SpanChart::Counts)->width() * before.size();
    EXPECT_NEAR(chart.TimeRange().lower, before.lower + moved, 1);
    EXPECT_NEAR(chart.TimeRange().size(), before.size(), 1e-6);

    // Under the pointer: a good second, a failed one, a missing one. Zoomed in to
    // minutes around them, each pixel is below a second.
    chart.SetTimeRange(QCPRange(double(At(27, 1, 59, 40)), double(At(27, 2, 0, 40))));
    chart.replot();
    viewer.MoveTo(QPoint(viewer.PixelOf(At(27, 1, 59, 50)), y));
    EXPECT_TRUE(
        viewer.window->ReadoutText().startsWith(QStringLiteral("2009-01-27 01:59:50   counts ")))
        << viewer.window->ReadoutText().toStdString();
    viewer.MoveTo(QPoint(viewer.PixelOf(At(27, 2, 0, 5)), y));
    EXPECT_EQ(viewer.window->ReadoutText(),
              QStringLiteral("2009-01-27 02:00:05   sensor failed (-273.1 \u00B0C, range 0)"));
    chart.SetTimeRange(QCPRange(double(At(27, 4, 59)), double(At(27, 5, 11))));
    chart.replot();
    viewer.MoveTo(QPoint(viewer.PixelOf(At(27, 5, 5)), y));
    EXPECT_EQ(viewer.window->ReadoutText(), QStringLiteral("2009-01-27 05:05:00   no line"));

    // A double click shows the whole night again, every value axis fitted.
    QTest::mouseDClick(&chart, Qt::LeftButton, {}, QPoint(500, y));
    EXPECT_EQ(chart.TimeRange(), whole);
    EXPECT_DOUBLE_EQ(chart.ValueAxis(SpanChart::Counts)->range().upper, countsTop);

    // Linear counts: the same curve on a linear axis.
    EXPECT_EQ(chart.ValueAxis(SpanChart::Counts)->scaleType(), QCPAxis::stLogarithmic);
    QTest::keyClick(viewer.window.get(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(chart.ValueAxis(SpanChart::Counts)->scaleType(), QCPAxis::stLinear);
    EXPECT_LT(chart.ValueAxis(SpanChart::Counts)->range().lower, 20);
}

TEST(ViewerWindow, FollowsTheFileBeingWrittenAndKeepsTheZoom) {
    Viewer viewer;
    viewer.window->SetRefreshDelay(0);
    viewer.window->ShowSpan(TimeSpan::Of(SpanKind::Day, DaysFromCivil(2009, 1, 28)));
    SpanChart& chart = viewer.Chart();
    const QCPRange zoom(double(At(28, 8)), double(At(28, 12)));
    chart.SetTimeRange(zoom);
    EXPECT_EQ(viewer.window->Records().size(), std::size_t(10 * kHour));

    // The station saves: half an hour more, and a garbage line among them.
    ASSERT_TRUE(dayfiles::Replace(viewer.station.Path("20090128.txt"),
                                  dayfiles::Lines(2009, 1, 28, 0, 10 * kHour) + "garbage\r\n" +
                                      dayfiles::Lines(2009, 1, 28, 10 * kHour, 10 * kHour + 1800)));
    QTRY_COMPARE_WITH_TIMEOUT(viewer.window->Records().size(), std::size_t(10 * kHour + 1800),
                              10000);
    EXPECT_EQ(chart.TimeRange(), zoom);
    EXPECT_GT(viewer.ValueAt(SpanChart::Counts, At(28, 10, 29, 59)), 0);
    EXPECT_EQ(viewer.window->NotesText(),
              QStringLiteral(
                  "1 line skipped that is not a log line, the first in 20090128.txt, line 36001"));

    // The next day's file appears: listed, and counted.
    ASSERT_TRUE(
        dayfiles::Write(viewer.station.Path("20090129.txt"), dayfiles::Lines(2009, 1, 29, 0, 60)));
    DayList& days = viewer.window->Days();
    QTRY_COMPARE_WITH_TIMEOUT(days.topLevelItemCount(), 4, 10000);
    days.SummariseAll();
    EXPECT_EQ(days.topLevelItem(0)->text(1), QStringLiteral("60"));
    EXPECT_EQ(days.topLevelItem(1)->text(1), QStringLiteral("37800"));
}

TEST(ViewerWindow, ExportsWhatItShows) {
    Viewer viewer;
    QTemporaryDir out;
    QString why;
    for (const char* name : {"night.png", "night.svg", "night.pdf", "night.csv"})
        EXPECT_TRUE(viewer.window->ExportTo(out.filePath(QString::fromLatin1(name)), &why))
            << name << ": " << why.toStdString();
    const QImage png(out.filePath(QStringLiteral("night.png")));
    EXPECT_EQ(png.size(), viewer.Chart().size());
    QFile svg(out.filePath(QStringLiteral("night.svg")));
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg"));
    QFile pdf(out.filePath(QStringLiteral("night.pdf")));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    QFile csv(out.filePath(QStringLiteral("night.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().count("\r\n"), qsizetype(viewer.window->Records().size()) + 1);
    for (const char* name : {"night.gif", "none/night.png"}) {
        why.clear();
        EXPECT_FALSE(viewer.window->ExportTo(out.filePath(QString::fromLatin1(name)), &why))
            << name;
        EXPECT_NE(why, QString()) << name;
    }
}

} // namespace
