// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's QCustomPlot parts: a line graph that keeps points of 0 or less on view on a
// logarithmic axis, and the time axis labelled with the points' own labels. The value
// axis's labels are the charts' common ValueTicker.
#pragma once

#include "core/plot/SeriesStore.h"

#include <qcustomplot.h>

#include <vector>

// Draws points whose y is 0 or less on the bottom edge of the plot area while its value
// axis is logarithmic; the data keep their values.
class ClampedGraph : public QCPGraph {
public:
    ClampedGraph(QCPAxis* keyAxis, QCPAxis* valueAxis);

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;
};

// Labels the time axis with the labels of the points of the drawn series; none while
// those hold no point.
class PointLabelTicker : public QCPAxisTicker {
public:
    explicit PointLabelTicker(QCPAxis* axis)
        : axis_(axis) {}
    void SetSources(std::vector<const SeriesStore*> sources) { sources_ = std::move(sources); }

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

private:
    QCPAxis* axis_;
    std::vector<const SeriesStore*> sources_;
};
