// SPDX-License-Identifier: GPL-3.0-or-later
// The plot's QCustomPlot parts: a line graph that keeps points of 0 or less on view on a
// logarithmic axis, the time axis labelled with the points' own labels, and the value
// axis with a minimum label step and the user's number separators.
#pragma once

#include "SeriesStore.h"

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

// Value labels at multiples of a minimum step (widened when they would not fit) on a
// linear scale, at 1-2-5 or decades on a logarithmic one, written "#,##0.###".
class ValueAxisTicker : public QCPAxisTicker {
public:
    explicit ValueAxisTicker(QCPAxis* axis)
        : axis_(axis) {}
    void SetStep(double step) { step_ = step; }
    double Step() const { return step_; }
    void SetSeparators(const QString& decimal, const QString& group);

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

private:
    QCPAxis* axis_;
    double step_ = 1000;
    QString decimal_ = QStringLiteral(".");
    QString group_ = QStringLiteral(",");
};
