// SPDX-License-Identifier: GPL-3.0-or-later
// The strip of the sky's conditions under the counts of a SpanChart: one thin band on the
// chart's time axis, each minute coloured by its condition (day, civil, nautical and
// astronomical twilight, moonlit, clear, cloudy, unknown; a minute without a line left
// blank), with the legend of the colours below it. Hidden until it has conditions to show.
#pragma once

#include "core/sky/NightConditions.h"

#include <QColor>

#include <array>
#include <vector>

class QCPAxisRect;
class QCPColorMap;
class QCPLegend;
class SpanChart;

class ConditionStrip {
public:
    // Adds the strip (hidden) to `chart`, which must outlive it.
    explicit ConditionStrip(SpanChart& chart);

    // The minutes of the chart's span; empty: the strip is hidden.
    void Show(const std::vector<sky::TimedCondition>& minutes);
    void Hide() { Show({}); }
    bool Shown() const { return shown_; }
    const std::vector<sky::TimedCondition>& Minutes() const { return minutes_; }
    QCPAxisRect* Rect() const { return rect_; }

    static QColor ColourOf(sky::Condition condition);

private:
    void SetVisible(bool visible);

    SpanChart& chart_;
    QCPAxisRect* rect_ = nullptr;
    QCPColorMap* map_ = nullptr;
    QCPLegend* legend_ = nullptr;
    std::vector<sky::TimedCondition> minutes_;
    bool shown_ = false;
};
