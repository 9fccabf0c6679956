// SPDX-License-Identifier: GPL-3.0-or-later
// Nights of day-file lines from the emulated sensor's light model with clouds, and the
// truth of each minute, for scoring the sky classifier (its tests and its benchmark).
// The emulator's own model runs here second by second, as the logger would record it: the
// mean is the count scaled by its range.
//
// The station stands at 52° N on the Greenwich meridian, on UTC, in March and April 2026:
// its astronomical night falls where the emulated night is (the emulator's Sun is a
// simple curve of the time of day). New Moon on 19 March, full Moon on 2 April.
#pragma once

#include "CloudModel.h"
#include "core/astro/Observer.h"
#include "core/log/DayRecord.h"
#include "core/sky/SkyCondition.h"

#include <QTimeZone>

#include <vector>

struct EmulatedNight {
    std::int64_t day = 0;             // the evening's day
    std::vector<DayRecord> lines;     // 12:00 to 12:00
    std::vector<sky::Minute> minutes; // as the classifier sees them
    std::vector<bool> cloudyTruth;    // per minute of `minutes`
};

struct NightScore {
    int darkMinutes = 0; // dark, the Moon down, light read: what is decided by the light
    int right = 0;
    int clearMinutes = 0; // of those, clear in truth
    int clearCalledCloudy = 0;
};

const astro::Observer& EmulatedObserver();
QTimeZone EmulatedZone();

// `nights` nights of a site under random clouds from `seed`, the first on `firstDay`
// (default 12 March 2026).
std::vector<EmulatedNight> EmulateNights(Site site, std::uint64_t seed, int nights,
                                         std::int64_t firstDay = DaysFromCivil(2026, 3, 12));

// The same under a given sky, read by a sensor of zero point `zeroPoint` (the emulator's
// --zero-point) with a noise of its own from `noiseSeed`: two calls with the same clouds
// and other zero points are two instruments side by side.
std::vector<EmulatedNight> EmulateNights(const CloudModel& clouds, int nights,
                                         std::int64_t firstDay, double zeroPoint,
                                         std::uint32_t noiseSeed = 20090126);

// Day files of emulated nights in `folder` (yyyymmdd.txt, as the daily log writes them).
bool WriteDayFiles(const QString& folder, const std::vector<EmulatedNight>& nights);

// The classifier's score on one night against its truth.
NightScore ScoreNight(const EmulatedNight& night, const std::vector<sky::Condition>& conditions);
