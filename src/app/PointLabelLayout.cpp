#include "PointLabelLayout.h"

#include <cmath>
#include <limits>

namespace {
constexpr double kMargin = 0.1; // of a label's width, on each side

struct Candidate {
    const SeriesStore* source = nullptr;
    std::size_t index = 0;
};

// The first point at or after x over all sources; on equal x the earlier source wins.
Candidate FirstAtOrAfter(const std::vector<const SeriesStore*>& sources, double x) {
    Candidate best;
    for (const SeriesStore* source : sources) {
        const std::size_t i = source->LowerBound(x);
        if (i == source->Size()) continue;
        if (best.source == nullptr || source->Key(i) < best.source->Key(best.index))
            best = {source, i};
    }
    return best;
}
} // namespace

std::vector<PlacedLabel> LayOutPointLabels(const std::vector<const SeriesStore*>& sources,
                                           const AxisScale& scale,
                                           const std::function<double(const QString&)>& textWidth,
                                           double minTextWidth) {
    std::vector<PlacedLabel> placed;
    if (!(scale.upper > scale.lower) || !(scale.width > 0)) return placed;
    double from = scale.lower;
    double occupiedTo = -std::numeric_limits<double>::infinity(); // pixel, margin included
    for (;;) {
        const Candidate c = FirstAtOrAfter(sources, from);
        if (c.source == nullptr) break;
        const double x = c.source->Key(c.index);
        if (x > scale.upper) break;
        const QString& text = c.source->Label(c.index);
        const double w = textWidth(text);
        const double centre = scale.ToPixel(x);
        const double halfSpan = w / 2 + kMargin * w;
        if (centre - halfSpan >= occupiedTo) {
            placed.push_back({x, text});
            occupiedTo = centre + halfSpan;
        }
        // No label centred before this pixel can clear the last one placed: jump there,
        // but always past this point.
        const double next = scale.ToCoord(occupiedTo + (0.5 + kMargin) * minTextWidth);
        from = next > x ? next : std::nextafter(x, std::numeric_limits<double>::infinity());
    }
    return placed;
}
