// SPDX-License-Identifier: GPL-3.0-or-later
// A span's lines and what the chart draws of them: for each time stamp the line written
// last, the good ones as three curves that break wherever a second has no line, and the
// failed ones as runs of marks along the time axis. The lines are held once: the drawn
// ones are all of them unless stamps repeat, and then an index says which.
#pragma once

#include "core/log/LogSpan.h"
#include "core/sky/ZeroPoints.h"

#include <qcustomplot.h>

#include <cstdint>
#include <vector>

class SpanSeries {
public:
    SpanSeries() = default;
    // `records` in time order, as a span's lines come.
    explicit SpanSeries(std::vector<DayRecord> records);

    // Every line, equal stamps included.
    const std::vector<DayRecord>& All() const { return all_; }

    // Curves of mean counts (on a logarithmic axis, counts of 0 or less are drawn at
    // kLogFloor, the bottom of such an axis), temperatures in °C and ranges. A NaN point
    // in the middle of each missing stretch breaks the line there, and keeps it broken
    // when the plot thins out dense points.
    QVector<QCPGraphData> Counts(bool logarithmic) const;
    // Magnitudes (zero point - 2.5 log10 of the mean count); none for a count of 0.
    QVector<QCPGraphData> Magnitudes(const sky::ZeroPoints& zeroPoints) const;
    QVector<QCPGraphData> Temperatures() const;
    QVector<QCPGraphData> Ranges() const;
    // Runs of failed seconds: a pair of points (start, end of the run) each, NaN between.
    QVector<QCPGraphData> Failures(double y) const;

    // The drawn line at `t` or nearest to it within `tolerance` seconds; null when none.
    const DayRecord* At(double t, double tolerance) const;
    std::size_t DrawnCount() const { return drawn_.empty() ? all_.size() : drawn_.size(); }
    const DayRecord& Drawn(std::size_t i) const {
        return drawn_.empty() ? all_[i] : all_[drawn_[i]];
    }
    std::size_t FailedCount() const { return failed_; }

    static constexpr double kLogFloor = 0.5;

private:
    template <typename Value> QVector<QCPGraphData> Curve(Value value) const;

    std::vector<DayRecord> all_;
    std::vector<std::uint32_t> drawn_; // indexes of the drawn lines; empty: all of them
    std::size_t failed_ = 0;
};
