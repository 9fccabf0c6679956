// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot/PlotPage.h"

#include "app/plot/PlotChart.h"
#include "app/plot/PlotGraphs.h"
#include "chart/ValueTicker.h"
#include "core/NocturoError.h"
#include "core/text/Formats.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLocale>
#include <QTabBar>
#include <QVBoxLayout>

namespace {
constexpr int kTabStripWidth = 32;
// Label step of the value axis per tab; the tabs after these keep the step they find.
constexpr std::array<double, 3> kTabSteps{10000, 0.1, 1};
constexpr double kStartStep = 1000;
const char* const kTabTexts[] = {"counts", "Temperature", "Range", "Lux", "mag", "lim. mag"};

// The automatic range of one axis from an extent; a single value gets room around it.
void SetAutomaticRange(QCPAxis* axis, const ValueExtent& extent) {
    const bool log = axis->scaleType() == QCPAxis::stLogarithmic;
    if (!extent.found) {
        if (log) axis->setRange(1, 10);
        return;
    }
    double lower = extent.lower;
    double upper = extent.upper;
    if (!(upper > lower)) {
        if (log) {
            lower /= 2;
            upper *= 2;
        } else {
            lower -= 1;
            upper += 1;
        }
    }
    axis->setRange(lower, upper);
}
} // namespace

PlotPage::PlotPage(QAction& logarithmic, QWidget* parent)
    : QWidget(parent)
    , logarithmic_(logarithmic)
    , Chart1(new PlotChart(this))
    , TabSet1(new QTabBar(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Chart1, 1);
    auto* strip = new QWidget(this);
    strip->setFixedWidth(kTabStripWidth);
    auto* stripLayout = new QVBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->addWidget(TabSet1);
    stripLayout->addStretch(1);
    layout->addWidget(strip);

    SetUpChart();
    SetUpTabs();
    ClearAllSeries();
}

PlotPage::~PlotPage() {
    Follow(nullptr);
}

void PlotPage::Follow(Station* station) {
    if (station_ != nullptr) {
        station_->RemoveObserver(this);
        station_->Log().RemoveObserver(this);
    }
    station_ = station;
    if (station_ != nullptr) {
        station_->AddObserver(this);
        station_->Log().AddObserver(this);
    }
}

void PlotPage::RecordForPlot(const SecondRecord& record) {
    AddRecordPoints(
        record.newSecond, record.mean, record.temperature, record.range,
        FormatDateTime(record.timeStamp, QStringLiteral("hh:nn:ss"), station_->Regional()));
}

void PlotPage::SetUpChart() {
    Chart1->setBackground(Qt::white);
    Chart1->setCursor(Qt::CrossCursor);
    Chart1->legend->setVisible(false);
    Chart1->setPlottingHint(QCP::phFastPolylines, true);
    Chart1->SetRestoreHandler([this] {
        ApplyAutomaticRange();
        Chart1->replot(QCustomPlot::rpQueuedReplot);
    });

    QCPAxis* time = Chart1->xAxis;
    QCPAxis* value = Chart1->yAxis;
    time->setLabel(QStringLiteral("Time"));
    timeTicker_.reset(new PointLabelTicker(time));
    time->setTicker(timeTicker_);
    value->setLabel(QString::fromLatin1(kTabTexts[0]));
    valueTicker_.reset(new ValueTicker(value, ValueTicker::kPlotSpacing));
    valueTicker_->SetStep(kStartStep);
    value->setTicker(valueTicker_);
    value->setScaleType(logarithmic_.isChecked() ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    const QLocale locale = QLocale::system();
    SetNumberSeparators(locale.decimalPoint(), locale.groupSeparator());

    const std::array<QColor, 3> colours{QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
    for (std::size_t i = 0; i < series_.size(); ++i) {
        auto* graph = new ClampedGraph(time, value);
        graph->setPen(QPen(colours[i]));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        series_[i] = graph;
    }
    Series1 = series_[0];
}

void PlotPage::SetUpTabs() {
    TabSet1->setShape(QTabBar::RoundedEast);
    QFont font = TabSet1->font();
    font.setPixelSize(11);
    TabSet1->setFont(font);
    TabSet1->setExpanding(false);
    TabSet1->setUsesScrollButtons(true);
    for (const char* text : kTabTexts)
        TabSet1->addTab(QString::fromLatin1(text));
    TabSet1->setCurrentIndex(0);
    // Attached after the first selection so that start-up runs no change: all three
    // series stay drawn until another tab is picked.
    connect(TabSet1, &QTabBar::currentChanged, this, [this](int index) {
        bool allow = true;
        TabSet1Change(index, allow);
    });
}

ClampedGraph& PlotPage::Series(int number) const {
    return *series_.at(static_cast<std::size_t>(number - 1));
}

const SeriesStore& PlotPage::Store(int number) const {
    return stores_.at(static_cast<std::size_t>(number - 1));
}

double PlotPage::ValueLabelStep() const {
    return valueTicker_->Step();
}

void PlotPage::SetNumberSeparators(const QString& decimal, const QString& group) {
    valueTicker_->SetSeparators(decimal, group);
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}

void PlotPage::AddRecordPoints(double x, double mean, double temperature, double range,
                               const QString& label) {
    const std::array<double, 3> values{mean, temperature, range};
    for (std::size_t i = 0; i < series_.size(); ++i) {
        series_[i]->addData(x, values[i]);
        stores_[i].Add(x, values[i], label);
    }
    Changed();
}

void PlotPage::ClearAllSeries() {
    for (std::size_t i = 0; i < series_.size(); ++i) {
        series_[i]->data()->clear();
        stores_[i].Clear();
    }
    Changed();
}

void PlotPage::MIClearClick() {
    Series1->data()->clear();
    stores_[0].Clear();
    Changed();
}

void PlotPage::TabSet1Change(int NewTab, bool& /*AllowChange*/) {
    for (ClampedGraph* graph : series_)
        graph->setVisible(false);
    if (NewTab >= 0 && NewTab < static_cast<int>(series_.size())) {
        series_[static_cast<std::size_t>(NewTab)]->setVisible(true);
        valueTicker_->SetStep(kTabSteps[static_cast<std::size_t>(NewTab)]);
    }
    Chart1->yAxis->setLabel(TabSet1->tabText(NewTab));
    Changed();
}

void PlotPage::MILogarithmicClick() {
    QCPAxis* axis = Chart1->yAxis;
    const bool wantLog = logarithmic_.isChecked();
    if (wantLog) {
        // While zoomed or scrolled, the range on view decides; else the drawn values.
        ValueExtent extent{true, axis->range().lower, axis->range().upper};
        if (Chart1->AutomaticView()) {
            extent = {};
            for (int i : DrawnSeries())
                extent = Union(extent, stores_[std::size_t(i)].Values(false));
        }
        if (extent.found && (extent.lower < 0 || extent.upper < 0)) {
            logarithmic_.setChecked(false);
            throw NocturoError("Logarithmic Axis Min and Max values should be >= 0");
        }
    }
    axis->setScaleType(wantLog ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    Changed();
}

std::vector<int> PlotPage::DrawnSeries() const {
    std::vector<int> drawn;
    for (std::size_t i = 0; i < series_.size(); ++i)
        if (series_[i]->visible()) drawn.push_back(static_cast<int>(i));
    if (drawn.empty()) drawn = {0, 1, 2};
    return drawn;
}

bool PlotPage::AnyDrawn() const {
    for (const ClampedGraph* graph : series_)
        if (graph->visible()) return true;
    return false;
}

void PlotPage::UpdateAxes() {
    const bool drawn = AnyDrawn();
    std::vector<const SeriesStore*> sources;
    if (drawn)
        for (int i : DrawnSeries())
            sources.push_back(&stores_[std::size_t(i)]);
    timeTicker_->SetSources(std::move(sources));
    Chart1->xAxis->setTickLabels(drawn);
    Chart1->yAxis->setTickLabels(drawn);
    if (Chart1->AutomaticView()) ApplyAutomaticRange();
}

void PlotPage::ApplyAutomaticRange() {
    const bool log = Chart1->yAxis->scaleType() == QCPAxis::stLogarithmic;
    ValueExtent keys;
    ValueExtent values;
    ValueExtent anyValue;
    for (int i : DrawnSeries()) {
        const SeriesStore& store = stores_[std::size_t(i)];
        keys = Union(keys, store.Keys());
        values = Union(values, store.Values(log));
        anyValue = Union(anyValue, store.Values(false));
    }
    if (keys.found) SetAutomaticRange(Chart1->xAxis, keys);
    // With no value at all a logarithmic axis still spans a decade of counts (1 to 10),
    // rather than the chart's own default of thousandths.
    if (values.found || anyValue.found || log) SetAutomaticRange(Chart1->yAxis, values);
}

void PlotPage::Changed() {
    UpdateAxes();
    Chart1->replot(QCustomPlot::rpQueuedReplot);
}
