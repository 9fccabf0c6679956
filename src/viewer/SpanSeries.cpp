#include "SpanSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

SpanSeries::SpanSeries(const std::vector<DayRecord>& records) {
    drawn_.reserve(records.size());
    for (const DayRecord& record : records) {
        // Records come by time; of equal stamps the later written is drawn.
        if (!drawn_.empty() && drawn_.back().time == record.time)
            drawn_.back() = record;
        else
            drawn_.push_back(record);
    }
    failed_ = std::size_t(
        std::count_if(drawn_.begin(), drawn_.end(), [](const DayRecord& r) { return r.Failed(); }));
}

template <typename Value> QVector<QCPGraphData> SpanSeries::Curve(Value value) const {
    QVector<QCPGraphData> points;
    points.reserve(qsizetype(drawn_.size() - failed_) + 256);
    WallSeconds previous = 0;
    bool any = false;
    for (const DayRecord& record : drawn_) {
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

QVector<QCPGraphData> SpanSeries::Temperatures() const {
    return Curve([](const DayRecord& r) { return r.Temperature(); });
}

QVector<QCPGraphData> SpanSeries::Ranges() const {
    return Curve([](const DayRecord& r) { return double(r.range); });
}

QVector<QCPGraphData> SpanSeries::Failures(double y) const {
    QVector<QCPGraphData> points;
    for (std::size_t i = 0; i < drawn_.size();) {
        if (!drawn_[i].Failed()) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < drawn_.size() && drawn_[j + 1].Failed() &&
               drawn_[j + 1].time == drawn_[j].time + 1)
            ++j;
        if (!points.isEmpty()) points.push_back(QCPGraphData(double(drawn_[i].time) - 0.5, kNaN));
        points.push_back(QCPGraphData(double(drawn_[i].time), y));
        points.push_back(QCPGraphData(double(drawn_[j].time), y));
        i = j + 1;
    }
    return points;
}

const DayRecord* SpanSeries::At(double t, double tolerance) const {
    const auto after =
        std::lower_bound(drawn_.begin(), drawn_.end(), t,
                         [](const DayRecord& r, double v) { return double(r.time) < v; });
    const DayRecord* best = nullptr;
    double distance = std::max(tolerance, 0.5);
    if (after != drawn_.end() && double(after->time) - t <= distance) {
        best = &*after;
        distance = double(after->time) - t;
    }
    if (after != drawn_.begin() && t - double((after - 1)->time) <= distance) best = &*(after - 1);
    return best;
}
