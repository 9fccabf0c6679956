// SPDX-License-Identifier: GPL-3.0-or-later
// The plot with a full day in each series (3 x 86,400 points), all three drawn on the
// logarithmic axis as at start, the chart 632 x 400: one record's points with the redraw
// that follows them, one zoom or restore drag with its redraw, and a full redraw.
#include "app/plot/PlotChart.h"
#include "app/plot/PlotPage.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

namespace {
QString Hms(int s) {
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600 % 24, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

struct FullDay {
    QAction logarithmic;
    std::unique_ptr<PlotPage> page;
    int next = 0;

    FullDay() {
        logarithmic.setCheckable(true);
        logarithmic.setChecked(true);
        page = std::make_unique<PlotPage>(logarithmic);
        page->resize(632 + 32, 400);
        for (next = 0; next < 86400; ++next)
            Add();
        page->show();
        QApplication::processEvents();
        page->Chart().replot();
    }
    void Add() {
        const double t = next / 86400.0;
        const double counts = 20 + 50000 * std::pow(std::sin(M_PI * t), 4) + 30 * std::sin(next);
        page->AddRecordPoints(next, std::round(counts), 10 + 5 * std::sin(2 * M_PI * t),
                              counts > 5000 ? 2 : 1, Hms(next));
    }
};

// Built once, shared by the three measurements, gone before the application.
std::unique_ptr<FullDay> day;

FullDay& Day() {
    if (!day) day = std::make_unique<FullDay>();
    return *day;
}

void BM_AddRecordAndReplot(benchmark::State& state) {
    FullDay& day = Day();
    for (auto _ : state) {
        ++day.next;
        day.Add();
        day.page->Chart().replot();
    }
}
BENCHMARK(BM_AddRecordAndReplot)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ZoomStep(benchmark::State& state) {
    FullDay& day = Day();
    PlotChart& chart = day.page->Chart();
    const QRect area = chart.axisRect()->rect();
    const QPoint a = area.topLeft() + QPoint(area.width() / 3, area.height() / 4);
    const QPoint b = area.topLeft() + QPoint(area.width() * 2 / 3, area.height() * 3 / 4);
    bool zoom = true;
    for (auto _ : state) {
        // Alternately into the middle and back to the automatic view.
        const QPoint from = zoom ? a : b;
        const QPoint to = zoom ? b : a;
        QTest::mousePress(&chart, Qt::LeftButton, {}, from);
        QTest::mouseRelease(&chart, Qt::LeftButton, {}, to);
        chart.replot();
        zoom = !zoom;
    }
    if (!chart.AutomaticView()) chart.RestoreAutomaticView();
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_FullReplot(benchmark::State& state) {
    PlotChart& chart = Day().page->Chart();
    for (auto _ : state)
        chart.replot();
}
BENCHMARK(BM_FullReplot)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    day.reset();
    return 0;
}
