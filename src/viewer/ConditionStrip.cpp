// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ConditionStrip.h"

#include "viewer/SpanChart.h"

#include <cmath>
#include <limits>

namespace {
// The conditions in the order of their values on the map (sky::Condition's own order).
constexpr int kConditions = 9;
// The strip's row and the legend's, below the counts panel (row 1 of the layout).
constexpr int kStripRow = 2;
constexpr int kLegendRow = 3;

const char* const kLegendNames[kConditions] = {
    "no line", "unknown", "day",   "civil twilight", "nautical twilight", "astronomical twilight",
    "moonlit", "clear",   "cloudy"};
} // namespace

QColor ConditionStrip::ColourOf(sky::Condition condition) {
    switch (condition) {
    case sky::Condition::NoLine:
        return QColor(255, 255, 255);
    case sky::Condition::Unknown:
        return QColor(235, 150, 150);
    case sky::Condition::Day:
        return QColor(255, 236, 160);
    case sky::Condition::CivilTwilight:
        return QColor(175, 205, 240);
    case sky::Condition::NauticalTwilight:
        return QColor(110, 150, 215);
    case sky::Condition::AstronomicalTwilight:
        return QColor(60, 85, 165);
    case sky::Condition::Moonlit:
        return QColor(215, 200, 110);
    case sky::Condition::Clear:
        return QColor(15, 20, 60);
    case sky::Condition::Cloudy:
        return QColor(165, 165, 165);
    }
    return Qt::white;
}

ConditionStrip::ConditionStrip(SpanChart& chart)
    : chart_(chart) {
    rect_ = new QCPAxisRect(&chart, false);
    QCPAxis* time = rect_->addAxis(QCPAxis::atBottom);
    QCPAxis* band = rect_->addAxis(QCPAxis::atLeft);
    band->setRange(0, 1);
    band->setTicks(false);
    band->setTickLabels(false);
    band->setLabel(QStringLiteral("sky"));
    band->grid()->setVisible(false);
    time->setTicks(false);
    time->setTickLabels(false);
    time->grid()->setVisible(false);
    rect_->setMinimumSize(0, 14);
    rect_->setMaximumSize(QWIDGETSIZE_MAX, 14);
    rect_->setMinimumMargins(QMargins(0, 2, 0, 2));
    // Left and right margins as the panels have them, so the minutes line up with the curves.
    rect_->setMarginGroup(QCP::msLeft | QCP::msRight,
                          chart.PanelRect(SpanChart::Counts)->marginGroup(QCP::msLeft));
    map_ = new QCPColorMap(time, band);
    map_->setInterpolate(false);
    map_->setTightBoundary(false);
    QCPColorGradient gradient;
    gradient.clearColorStops();
    for (int i = 0; i < kConditions; ++i)
        gradient.setColorStopAt(double(i) / (kConditions - 1),
                                ColourOf(sky::Condition(std::uint8_t(i))));
    gradient.setLevelCount(kConditions);
    gradient.setNanHandling(QCPColorGradient::nhTransparent);
    map_->setGradient(gradient);
    map_->setDataRange(QCPRange(0, kConditions - 1));
    map_->setName(QStringLiteral("sky conditions"));
    map_->removeFromLegend();

    legend_ = new QCPLegend;
    // In the layout once, so that the legend and its items belong to the chart; then out
    // of it until there are conditions to show.
    QCPLayoutGrid* layout = chart.plotLayout();
    layout->insertRow(kStripRow);
    layout->addElement(kStripRow, 0, rect_);
    layout->insertRow(kLegendRow);
    layout->addElement(kLegendRow, 0, legend_);
    // On the layer the chart draws legends on; its items take the legend's layer.
    legend_->setLayer(QStringLiteral("legend"));
    legend_->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend_->setWrap(kConditions);
    legend_->setBorderPen(Qt::NoPen);
    legend_->setBrush(Qt::NoBrush);
    legend_->setIconSize(14, 10);
    legend_->setRowSpacing(0);
    legend_->setColumnSpacing(10);
    legend_->setMargins(QMargins(4, 0, 4, 0));
    for (int i = 1; i < kConditions; ++i) { // no line is the blank: needs no entry
        auto* swatch = new QCPBars(time, band);
        swatch->setName(QString::fromLatin1(kLegendNames[i]));
        swatch->setBrush(ColourOf(sky::Condition(std::uint8_t(i))));
        swatch->setPen(QPen(QColor(90, 90, 90), 0.5));
        swatch->setVisible(false);
        legend_->addItem(new QCPPlottableLegendItem(legend_, swatch));
    }
    // Follows the panels' time axis: zoom and pan move the strip with the curves.
    QObject::connect(chart.TimeAxis(SpanChart::Counts),
                     qOverload<const QCPRange&>(&QCPAxis::rangeChanged), time,
                     qOverload<const QCPRange&>(&QCPAxis::setRange));
    time->setRange(chart.TimeAxis(SpanChart::Counts)->range());
    layout->take(legend_);
    layout->take(rect_);
    layout->simplify();
    rect_->setVisible(false);
    legend_->setVisible(false);
}

void ConditionStrip::SetVisible(bool visible) {
    if (visible == shown_) return;
    shown_ = visible;
    QCPLayoutGrid* layout = chart_.plotLayout();
    if (visible) {
        layout->insertRow(kStripRow);
        layout->addElement(kStripRow, 0, rect_);
        layout->setRowStretchFactor(kStripRow, 0.01);
        layout->insertRow(kLegendRow);
        layout->addElement(kLegendRow, 0, legend_);
        layout->setRowStretchFactor(kLegendRow, 0.01);
    } else {
        layout->take(legend_);
        layout->take(rect_);
        layout->simplify();
    }
    rect_->setVisible(visible);
    legend_->setVisible(visible);
}

void ConditionStrip::Show(const std::vector<sky::TimedCondition>& minutes) {
    minutes_ = minutes;
    const TimeSpan& span = chart_.Span();
    const int cells = int((span.to - span.from) / 60);
    if (minutes_.empty() || cells <= 0) {
        SetVisible(false);
        chart_.replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    SetVisible(true);
    QCPColorMapData* data = map_->data();
    // Two rows, each half the band's height, so that the cells fill it from 0 to 1.
    data->setSize(cells, 2);
    data->setRange(QCPRange(double(span.from) + 30, double(span.to) - 30), QCPRange(0.25, 0.75));
    data->fill(std::numeric_limits<double>::quiet_NaN());
    for (const sky::TimedCondition& m : minutes_) {
        const WallSeconds cell = (m.wall - span.from) / 60;
        if (cell < 0 || cell >= cells || m.condition == sky::Condition::NoLine) continue;
        // A quarter above the level so that the gradient's steps never round it down.
        const double value = double(int(m.condition)) + 0.25;
        data->setCell(int(cell), 0, value);
        data->setCell(int(cell), 1, value);
    }
    chart_.replot(QCustomPlot::rpQueuedReplot);
}
