// SPDX-License-Identifier: GPL-3.0-or-later
// Another instrument's skyglow file as a reference to calibrate against: its calibrated
// magnitudes (MSAS) become lines in the station's own wall clock, so that its minutes
// pair with the station's. A line's count stands for its magnitude on a scale of zero
// point 30 (MSAS 21 is 3981 counts), fine enough for the classifier and for the median;
// lines without a magnitude (MSAS 0 or less: none known) are left out.
#pragma once

#include "core/log/DayRecord.h"
#include "core/nights/SkyglowReader.h"
#include "core/sky/ZeroPoints.h"

#include <QTimeZone>

#include <optional>
#include <vector>

namespace sky {

struct ReferenceLines {
    std::vector<DayRecord> lines; // sorted by wall time
    ZeroPoints zeroPoints;        // what turns their counts back into the file's magnitudes
};

inline constexpr double kSkyglowReferenceZeroPoint = 30;

// None, with the reason, when no line has a magnitude.
std::optional<ReferenceLines> ReferenceFromSkyglow(const skyglow::Parsed& file,
                                                   const QTimeZone& stationZone, QString* why);

} // namespace sky
