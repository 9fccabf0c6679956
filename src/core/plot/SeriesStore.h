// SPDX-License-Identifier: GPL-3.0-or-later
// The labels and value extent of one plot series, kept in step with the series' points.
// Points are held in ascending x; a point whose x is not below the last one's is an
// append, an earlier one is inserted after any points with the same x.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

struct ValueExtent {
    bool found = false;
    double lower = 0;
    double upper = 0;
};

class SeriesStore {
public:
    void Add(double x, double y, const QString& label);
    void Clear();

    std::size_t Size() const { return keys_.size(); }
    bool Empty() const { return keys_.empty(); }
    double Key(std::size_t i) const { return keys_[i]; }
    const QString& Label(std::size_t i) const { return labels_[i]; }
    // Index of the first point whose x is at least `x` (Size() when there is none).
    std::size_t LowerBound(double x) const;

    // Smallest and largest x.
    ValueExtent Keys() const;
    // Smallest and largest y; with positiveOnly, of the y above 0 only.
    ValueExtent Values(bool positiveOnly) const { return positiveOnly ? positive_ : values_; }

private:
    std::vector<double> keys_;
    std::vector<QString> labels_;
    ValueExtent values_;
    ValueExtent positive_;
};

// The union of several extents (those not found are ignored).
ValueExtent Union(const ValueExtent& a, const ValueExtent& b);
