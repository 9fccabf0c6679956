// What the chart draws of a span's lines: for each time stamp the line written last,
// the good ones as three curves that break wherever a second has no line, and the failed
// ones as runs of marks along the time axis.
#pragma once

#include "LogSpan.h"

#include <qcustomplot.h>

#include <cstdint>
#include <vector>

class SpanSeries {
public:
    SpanSeries() = default;
    explicit SpanSeries(const std::vector<DayRecord>& records);

    // Curves of mean counts (on a logarithmic axis, counts of 0 or less are drawn at
    // kLogFloor, the bottom of such an axis), temperatures in °C and ranges. A NaN point
    // in the middle of each missing stretch breaks the line there, and keeps it broken
    // when the plot thins out dense points.
    QVector<QCPGraphData> Counts(bool logarithmic) const;
    QVector<QCPGraphData> Temperatures() const;
    QVector<QCPGraphData> Ranges() const;
    // Runs of failed seconds: a pair of points (start, end of the run) each, NaN between.
    QVector<QCPGraphData> Failures(double y) const;

    // The drawn line at `t` or nearest to it within `tolerance` seconds; null when none.
    const DayRecord* At(double t, double tolerance) const;
    const std::vector<DayRecord>& Drawn() const { return drawn_; }
    std::size_t FailedCount() const { return failed_; }

    static constexpr double kLogFloor = 0.5;

private:
    template <typename Value> QVector<QCPGraphData> Curve(Value value) const;

    std::vector<DayRecord> drawn_; // one per stamp, ascending
    std::size_t failed_ = 0;
};
