// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot/PlotGraphs.h"

#include "core/plot/PointLabelLayout.h"

#include <QFontMetricsF>

#include <algorithm>
#include <array>

ClampedGraph::ClampedGraph(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPGraph(keyAxis, valueAxis) {}

void ClampedGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                        const QCPGraphDataContainer::const_iterator& begin,
                                        const QCPGraphDataContainer::const_iterator& end) const {
    QCPGraph::getOptimizedLineData(lineData, begin, end);
    const QCPAxis* axis = valueAxis();
    if (lineData == nullptr || axis == nullptr || axis->scaleType() != QCPAxis::stLogarithmic)
        return;
    // The lowest pixel row the plot area shows: its clip ends one row above the axis
    // line (antialiased lines are drawn half a pixel lower, filling that row).
    const QRect area = axis->axisRect()->rect();
    const double bottom = axis->pixelToCoord(area.bottom() - 1);
    for (QCPGraphData& point : *lineData)
        if (point.value <= 0) point.value = bottom;
}

namespace {
// Label widths as the sum of their characters' advances, each looked up once per draw:
// the layout may try many labels, and laying out each text would cost more than the
// whole redraw.
class LabelWidths {
public:
    explicit LabelWidths(const QFont& font)
        : metrics_(font) {
        ascii_.fill(-1);
    }
    double Advance(QChar c) {
        if (c.unicode() >= ascii_.size()) return metrics_.horizontalAdvance(c);
        double& advance = ascii_[c.unicode()];
        if (advance < 0) advance = metrics_.horizontalAdvance(c);
        return advance;
    }
    double Width(const QString& text) {
        double width = 0;
        for (QChar c : text)
            width += Advance(c);
        return width;
    }
    // The narrowest a label like `sample` can be: its digits as narrow as the narrowest
    // digit, its other characters (separators) as they are. All labels come from one
    // pattern, so with the usual equal-width digits this is every label's width.
    double Narrowest(const QString& sample) {
        double digit = Advance(QLatin1Char('0'));
        for (char d = '1'; d <= '9'; ++d)
            digit = std::min(digit, Advance(QLatin1Char(d)));
        double width = 0;
        for (QChar c : sample)
            width += c.isDigit() ? digit : Advance(c);
        return width;
    }

private:
    QFontMetricsF metrics_;
    std::array<double, 128> ascii_{};
};
} // namespace

void PointLabelTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
                                QVector<double>& ticks, QVector<double>* subTicks,
                                QVector<QString>* tickLabels) {
    ticks.clear();
    if (subTicks != nullptr) subTicks->clear();
    if (tickLabels != nullptr) tickLabels->clear();
    const QString* sample = nullptr;
    for (const SeriesStore* source : sources_)
        if (!source->Empty()) sample = &source->Label(0);
    if (sample == nullptr) return;

    const QRect rect = axis_->axisRect()->rect();
    AxisScale scale{range.lower, range.upper, double(rect.left()), double(rect.width())};
    if (axis_->rangeReversed()) std::swap(scale.lower, scale.upper);
    LabelWidths widths(axis_->tickLabelFont());
    const auto width = [&widths](const QString& text) { return widths.Width(text); };
    for (const PlacedLabel& label :
         LayOutPointLabels(sources_, scale, width, widths.Narrowest(*sample))) {
        ticks.push_back(label.x);
        if (tickLabels != nullptr) tickLabels->push_back(label.text);
    }
}
