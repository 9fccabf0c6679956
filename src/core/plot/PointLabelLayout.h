// SPDX-License-Identifier: GPL-3.0-or-later
// Which point labels the time axis shows: taken point by point in ascending x within the
// visible range, each centred under its point, and one that would overlap the label
// before it (with a margin of a tenth of a label's width on each side) left out. The
// cost grows with the labels placed, not with the points: after each placed label the
// search jumps to the first point far enough to the right.
#pragma once

#include "core/plot/SeriesStore.h"

#include <QString>

#include <functional>
#include <vector>

// A linear axis: coordinates lower..upper drawn over pixels left..left+width.
struct AxisScale {
    double lower = 0;
    double upper = 1;
    double left = 0;
    double width = 1;

    double ToPixel(double x) const { return left + (x - lower) / (upper - lower) * width; }
    double ToCoord(double pixel) const { return lower + (pixel - left) / width * (upper - lower); }
};

struct PlacedLabel {
    double x;
    QString text;
};

// Lays out the labels of the points of `sources` (merged in ascending x) that lie within
// the scale's range. `textWidth` gives a label's width in pixels; `minTextWidth` is no
// wider than any label, and sets how far the search may jump past a placed label.
std::vector<PlacedLabel> LayOutPointLabels(const std::vector<const SeriesStore*>& sources,
                                           const AxisScale& scale,
                                           const std::function<double(const QString&)>& textWidth,
                                           double minTextWidth);
