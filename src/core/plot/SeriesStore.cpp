// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/plot/SeriesStore.h"

#include <algorithm>

namespace {
void Widen(ValueExtent& extent, double v) {
    if (!extent.found) {
        extent = {true, v, v};
        return;
    }
    extent.lower = std::min(extent.lower, v);
    extent.upper = std::max(extent.upper, v);
}
} // namespace

void SeriesStore::Add(double x, double y, const QString& label) {
    if (keys_.empty() || x >= keys_.back()) {
        keys_.push_back(x);
        labels_.push_back(label);
    } else {
        const auto at = std::upper_bound(keys_.begin(), keys_.end(), x);
        const auto index = at - keys_.begin();
        keys_.insert(at, x);
        labels_.insert(labels_.begin() + index, label);
    }
    Widen(values_, y);
    if (y > 0) Widen(positive_, y);
}

void SeriesStore::Clear() {
    keys_.clear();
    labels_.clear();
    values_ = {};
    positive_ = {};
}

std::size_t SeriesStore::LowerBound(double x) const {
    return static_cast<std::size_t>(std::lower_bound(keys_.begin(), keys_.end(), x) -
                                    keys_.begin());
}

ValueExtent SeriesStore::Keys() const {
    if (keys_.empty()) return {};
    return {true, keys_.front(), keys_.back()};
}

ValueExtent Union(const ValueExtent& a, const ValueExtent& b) {
    if (!a.found) return b;
    if (!b.found) return a;
    return {true, std::min(a.lower, b.lower), std::max(a.upper, b.upper)};
}
