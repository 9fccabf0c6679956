// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/ValueTicker.h"

#include "core/plot/ValueAxisTicks.h"

#include <QFontMetrics>

void ValueTicker::SetSeparators(const QString& decimal, const QString& group) {
    decimal_ = decimal;
    group_ = group;
}

void ValueTicker::generate(const QCPRange& range, const QLocale&, QChar, int,
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
    request.minSpacing = spacing_ * metrics.height();
    for (double tick : ValueTicks(request)) {
        ticks.push_back(tick);
        if (tickLabels != nullptr)
            tickLabels->push_back(FormatGroupedNumber(tick, decimal_, group_));
    }
}
