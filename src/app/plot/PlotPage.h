// SPDX-License-Identifier: GPL-3.0-or-later
// The plot page: one chart of the day's records against the time of day, Series1 (mean
// count, red), Series2 (temperature, green) and Series3 (range, blue), and the tab strip
// TabSet1 down the right edge that picks what is drawn and names the value axis.
#pragma once

#include "core/log/DailyLog.h"
#include "core/plot/SeriesStore.h"
#include "core/station/Station.h"

#include <QWidget>

#include <array>

class ClampedGraph;
class PlotChart;
class PointLabelTicker;
class QAction;
class QTabBar;
class ValueTicker;

class PlotPage : public QWidget, private StationObserver, private DailyLogObserver {
public:
    // `logarithmic` is the checkable "Logarithmic" menu item; its check mark always
    // matches the value axis.
    explicit PlotPage(QAction& logarithmic, QWidget* parent = nullptr);
    ~PlotPage() override;
    PlotPage(const PlotPage&) = delete;
    PlotPage& operator=(const PlotPage&) = delete;

    // One point per series for a completed second: x the second of the day, all three
    // with the same label. Hidden series receive their points as well.
    void AddRecordPoints(double x, double mean, double temperature, double range,
                         const QString& label);
    // Empties Series1, Series2 and Series3 (start-up and the day's roll-over).
    void ClearAllSeries();
    // Takes the station's records for the plot, labelled with its regional settings, and
    // empties itself when the station's log rolls over; nullptr stops following.
    void Follow(Station* station);

    // The "Logarithmic" command, after the item flipped its check mark: sets the value
    // axis's scale to match. Refusing the logarithmic scale (values below 0 in view)
    // unchecks the item again and throws NocturoError.
    void MILogarithmicClick();
    // The "Clear" command: empties Series1 alone.
    void MIClearClick();
    // The tab strip's change: runs only when a tab other than the selected one is picked.
    void TabSet1Change(int NewTab, bool& AllowChange);

    // Separators of the value labels.
    void SetNumberSeparators(const QString& decimal, const QString& group);

    PlotChart& Chart() const { return *Chart1; }
    QTabBar& TabSet() const { return *TabSet1; }
    // 1: Series1 (counts), 2: Series2 (temperature), 3: Series3 (range).
    ClampedGraph& Series(int number) const;
    const SeriesStore& Store(int number) const;
    double ValueLabelStep() const;

private:
    void RecordForPlot(const SecondRecord& record) override;
    void LineAppended(const QString&) override {}
    void Emptied() override { ClearAllSeries(); }
    void Loaded(const QByteArray&) override {}

    void SetUpChart();
    void SetUpTabs();
    std::vector<int> DrawnSeries() const; // indexes 0..2; all three when none is drawn
    bool AnyDrawn() const;
    void UpdateAxes();
    void ApplyAutomaticRange();
    void Changed();

    QAction& logarithmic_;
    PlotChart* Chart1;
    QTabBar* TabSet1;
    ClampedGraph* Series1;
    std::array<ClampedGraph*, 3> series_{};
    std::array<SeriesStore, 3> stores_;
    QSharedPointer<PointLabelTicker> timeTicker_;
    QSharedPointer<ValueTicker> valueTicker_;
    Station* station_ = nullptr;
};
