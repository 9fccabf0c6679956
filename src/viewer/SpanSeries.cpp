// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SpanSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

SpanSeries::SpanSeries(std::vector<DayRecord> records)
    : all_(std::move(records)) {
    // Of equal stamps the line written later is drawn.
    for (std::size_t i = 1; i < all_.size(); ++i) {
        if (all_[i].time != all_[i - 1].time) continue;
        drawn_.reserve(all_.size());
        for (std::size_t k = 0; k < all_.size(); ++k)
            if (k + 1 == all_.size() || all_[k + 1].time != all_[k].time)
                drawn_.push_back(std::uint32_t(k));
        break;
    }
    for (std::size_t i = 0; i < DrawnCount(); ++i)
        failed_ += Drawn(i).Failed() ? 1 : 0;
}

template <typename Value> QVector<QCPGraphData> SpanSeries::Curve(Value value) const {
    QVector<QCPGraphData> points;
    points.reserve(qsizetype(DrawnCount() - failed_) + 256);
    WallSeconds previous = 0;
    bool any = false;
    for (std::size_t i = 0; i < DrawnCount(); ++i) {
        const DayRecord& record = Drawn(i);
        if (record.Failed()) continue;
        if (any && record.time - previous > 1)
            points.push_back(QCPGraphData(0.5 * double(previous + record.time), kNaN));
        points.push_back(QCPGraphData(double(record.time), value(record)));
        previous = record.time;
        any = true;
    }
    return points;
}

QVector<QCPGraphData> SpanSeries::Counts(bool logarithmic) const {
    return Curve([logarithmic](const DayRecord& r) {
        const double mean = double(r.mean);
        return logarithmic && mean <= 0 ? kLogFloor : mean;
    });
}

QVector<QCPGraphData> SpanSeries::Magnitudes(const sky::ZeroPoints& zeroPoints) const {
    return Curve(
        [&zeroPoints](const DayRecord& r) { return zeroPoints.MagnitudeOf(r).value_or(kNaN); });
}

QVector<QCPGraphData> SpanSeries::Temperatures() const {
    return Curve([](const DayRecord& r) { return r.Temperature(); });
}

QVector<QCPGraphData> SpanSeries::Ranges() const {
    return Curve([](const DayRecord& r) { return double(r.range); });
}

QVector<QCPGraphData> SpanSeries::Failures(double y) const {
    QVector<QCPGraphData> points;
    const std::size_t count = DrawnCount();
    for (std::size_t i = 0; i < count;) {
        if (!Drawn(i).Failed()) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < count && Drawn(j + 1).Failed() && Drawn(j + 1).time == Drawn(j).time + 1)
            ++j;
        if (!points.isEmpty()) points.push_back(QCPGraphData(double(Drawn(i).time) - 0.5, kNaN));
        points.push_back(QCPGraphData(double(Drawn(i).time), y));
        points.push_back(QCPGraphData(double(Drawn(j).time), y));
        i = j + 1;
    }
    return points;
}

const DayRecord* SpanSeries::At(double t, double tolerance) const {
    // The first drawn line at or after t, and the one before it.
    std::size_t low = 0, high = DrawnCount();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (double(Drawn(middle).time) < t)
            low = middle + 1;
        else
            high = middle;
    }
    const DayRecord* best = nullptr;
    double distance = std::max(tolerance, 0.5);
    if (low < DrawnCount() && double(Drawn(low).time) - t <= distance) {
        best = &Drawn(low);
        distance = double(Drawn(low).time) - t;
    }
    if (low > 0 && t - double(Drawn(low - 1).time) <= distance) best = &Drawn(low - 1);
    return best;
}
