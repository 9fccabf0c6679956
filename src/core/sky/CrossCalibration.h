// SPDX-License-Identifier: GPL-3.0-or-later
// The zero point of a station from a calibrated reference photometer beside it, as the
// field calibrates: over the minutes when both see a steady, dark, moonless, clear sky,
// the reference's magnitude plus 2.5 log10 of the station's count is the station's zero
// point; their median is the answer, and 1.4826 times their median absolute deviation its
// scatter (the standard deviation a normal scatter would have, untouched by the few
// minutes a passing cloud or a lamp spoils at one of the two).
//
// A minute counts when, at both instruments, it and the minute before and after it are
// clear (sky::Classify: the Sun below -18°, the Moon down, the sky steady and on its
// clear-sky level) and both read light. With fewer than the minutes asked for, there is
// no zero point, and the refusal says how many minutes there were and what kept the
// others out.
#pragma once

#include "core/astro/Observer.h"
#include "core/log/DayRecord.h"
#include "core/sky/SkyCondition.h"
#include "core/sky/ZeroPoints.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <optional>
#include <vector>

namespace sky {

inline constexpr int kMinCalibrationMinutes = 30;

// Why the minutes with light at both were kept out, or used.
struct CalibrationTally {
    int paired = 0;      // minutes with light read at both
    int notDark = 0;     // day or twilight
    int moonlit = 0;     // the Moon above the horizon
    int cloudy = 0;      // cloudy (or too few seconds) at the station or the reference
    int edge = 0;        // clear at both, but next to a minute that is not
    int noMagnitude = 0; // the reference has no zero point for the night
    int used = 0;
};

struct Calibration {
    std::optional<double> zeroPoint; // none: refused
    double scatter = 0;              // 1.4826 MAD of the minutes' zero points, mag
    double error = 0;                // of the median: 1.2533 scatter / sqrt(minutes)
    int minutes = 0;
    int nights = 0;              // nights that gave minutes
    std::int64_t firstNight = 0; // evening's day of the first night that gave minutes
    std::int64_t lastNight = 0;
    CalibrationTally tally;
    QString refusal; // why there is no zero point
};

// One night of both instruments' lines, in the station's wall clock, 12:00 to 12:00.
struct CalibrationNight {
    std::int64_t night = 0; // the evening's day
    std::vector<DayRecord> station;
    std::vector<DayRecord> reference;
};

// Classifies both instruments' nights (each against a clear-sky baseline of its own
// nights), pairs their minutes and gives the station's zero point. `reference` holds the
// reference's zero points over time.
Calibration Calibrate(const std::vector<CalibrationNight>& nights, const ZeroPoints& reference,
                      const astro::Observer& where, const QTimeZone& zone,
                      int minMinutes = kMinCalibrationMinutes);

// The pairing itself, for nights already classified: minute i of both is the same minute
// (NightMinutes of the same night, place and zone).
class CalibrationPairs {
public:
    void AddNight(std::int64_t night, const std::vector<Minute>& station,
                  const std::vector<Condition>& stationConditions,
                  const std::vector<Minute>& reference,
                  const std::vector<Condition>& referenceConditions, const ZeroPoints& zeroPoints);
    Calibration Result(int minMinutes = kMinCalibrationMinutes) const;

private:
    std::vector<double> zeroPoints_; // one a minute used
    CalibrationTally tally_;
    std::vector<std::int64_t> nights_;
};

// "zero_point = 24.30 from 2026-03-12": the station.conf line for a calibration that gave
// a zero point, dated from its first night.
QString ZeroPointLine(const Calibration& calibration);
// The result in words: the zero point, its scatter and what it rests on, or the refusal.
QString CalibrationText(const Calibration& calibration);

} // namespace sky
