#include "PlotGraphs.h"

#include "PointLabelLayout.h"
#include "ValueAxisTicks.h"

#include <QFontMetrics>

#include <algorithm>

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
// The narrowest a label of `sample`'s length can be: every character as narrow as the
// narrowest digit or separator the labels use.
double NarrowestLabel(const QFontMetrics& metrics, const QString& sample) {
    int narrowest = metrics.horizontalAdvance(QLatin1Char('0'));
    for (QChar c : QStringLiteral("0123456789") + sample)
        narrowest = std::min(narrowest, metrics.horizontalAdvance(c));
    return 0.9 * narrowest * sample.size();
}
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
    const QFontMetrics metrics(axis_->tickLabelFont());
    const auto width = [&metrics](const QString& text) {
        return double(metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip, text).width());
    };
    for (const PlacedLabel& label :
         LayOutPointLabels(sources_, scale, width, NarrowestLabel(metrics, *sample))) {
        ticks.push_back(label.x);
        if (tickLabels != nullptr) tickLabels->push_back(label.text);
    }
}

void ValueAxisTicker::SetSeparators(const QString& decimal, const QString& group) {
    decimal_ = decimal;
    group_ = group;
}

void ValueAxisTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
                               QVector<double>& ticks, QVector<double>* subTicks,
                               QVector<QString>* tickLabels) {
    ticks.clear();
    if (subTicks != nullptr) subTicks->clear();
    if (tickLabels != nullptr) tickLabels->clear();
    const QFontMetrics metrics(axis_->tickLabelFont());
    ValueTickRequest request;
    request.lower = range.lower;
    request.upper = range.upper;
    request.logarithmic = axis_->scaleType() == QCPAxis::stLogarithmic;
    request.minStep = step_;
    request.pixelLength = axis_->axisRect()->rect().height();
    request.minSpacing = 1.5 * metrics.height();
    for (double tick : ValueTicks(request)) {
        ticks.push_back(tick);
        if (tickLabels != nullptr)
            tickLabels->push_back(FormatGroupedNumber(tick, decimal_, group_));
    }
}
