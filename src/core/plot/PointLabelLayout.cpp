// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/plot/PointLabelLayout.h"

#include <cmath>
#include <limits>

namespace {
constexpr double kMargin = 0.1; // of a label's width, on each side
} // namespace

std::vector<PlacedLabel> LayOutPointLabels(const std::vector<const SeriesStore*>& sources,
                                           const AxisScale& scale,
                                           const std::function<double(const QString&)>& textWidth,
                                           double minTextWidth) {
    std::vector<PlacedLabel> placed;
    if (!(scale.upper > scale.lower) || !(scale.width > 0)) return placed;
    // One cursor per source; the next point is the smallest x under the cursors, the
    // earlier source first on equal x.
    std::vector<std::size_t> at;
    for (const SeriesStore* source : sources)
        at.push_back(source->LowerBound(scale.lower));
    double occupiedTo = -std::numeric_limits<double>::infinity(); // pixel, margin included
    for (;;) {
        std::size_t best = sources.size();
        for (std::size_t s = 0; s < sources.size(); ++s)
            if (at[s] < sources[s]->Size() &&
                (best == sources.size() || sources[s]->Key(at[s]) < sources[best]->Key(at[best])))
                best = s;
        if (best == sources.size()) break;
        const SeriesStore& source = *sources[best];
        const double x = source.Key(at[best]);
        if (x > scale.upper) break;
        const QString& text = source.Label(at[best]);
        const double w = textWidth(text);
        const double centre = scale.ToPixel(x);
        const double halfSpan = w / 2 + kMargin * w;
        if (centre - halfSpan >= occupiedTo) {
            placed.push_back({x, text});
            occupiedTo = centre + halfSpan;
        }
        ++at[best];
        // No label centred before this coordinate can clear the last one placed: jump
        // every cursor there.
        const double from = scale.ToCoord(occupiedTo + (0.5 + kMargin) * minTextWidth);
        if (from > x)
            for (std::size_t s = 0; s < sources.size(); ++s)
                if (at[s] < sources[s]->Size() && sources[s]->Key(at[s]) < from)
                    at[s] = sources[s]->LowerBound(from);
    }
    return placed;
}
