// SPDX-License-Identifier: GPL-3.0-or-later
// The sky drawn under a span's curves: the time axis of every panel shaded by the Sun's
// light (day unshaded; civil, nautical and astronomical twilight, night ever darker), the
// Moon's altitude as a thin curve on its own scale at the right of the counts panel, and
// the Moon's illuminated fraction for the title. Needs the station's position: from
// --location, else from station.conf beside the day files; without one nothing is drawn
// and StatusText() says how to give one.
#pragma once

#include "core/astro/Observer.h"
#include "core/log/LogSpan.h"
#include "core/station/StationDescription.h"

#include <QString>

#include <optional>
#include <vector>

class QCPAbstractItem;
class QCPCurve;
class SpanChart;

class SkyOverlay {
public:
    // `location`: a position given on the command line, which wins over station.conf.
    explicit SkyOverlay(std::optional<astro::Observer> location = std::nullopt);

    // Reads station.conf in `folder` (none: the defaults). A wrong file is told by
    // StatusText() and leaves the station's defaults.
    void SetFolder(const QString& folder);
    const StationDescription& Station() const { return station_; }
    std::optional<astro::Observer> Position() const;
    // The station's zero points, each magnitude taking the one of its own date; none when
    // station.conf gives no zero point.
    const sky::ZeroPoints* ZeroPoints() const {
        return station_.zeroPoints.Empty() ? nullptr : &station_.zeroPoints;
    }
    // What is wrong with station.conf, if anything.
    const QString& Problem() const { return problem_; }

    // "Night 2026-01-18 to 2026-01-19 · Moon 3% illuminated" (the title as given without
    // a position).
    QString Title(const TimeSpan& span, const QString& title) const;
    // Shades and the Moon's curve for the span; removes them without a position.
    void Draw(SpanChart& chart, const TimeSpan& span);
    void Clear(SpanChart& chart);
    // Where the sky comes from, or how to give a position, or what is wrong in station.conf.
    QString StatusText() const;

private:
    std::optional<astro::Observer> location_;
    StationDescription station_;
    QString problem_;
    std::vector<QCPAbstractItem*> shades_;
    QCPCurve* moon_ = nullptr;
};

// The directory whose station.conf describes these files: the folder, else the first
// file's directory.
QString StationFolder(const QString& folder, const QStringList& files);
