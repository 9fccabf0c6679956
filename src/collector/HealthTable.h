// SPDX-License-Identifier: GPL-3.0-or-later
// `nocturo-collect --status`: every station's health as a text table, one line a station,
// with the sky of its last minute, and whether any needs attention (offline by its last
// will, or online and silent).
#pragma once

#include "archive/StationHealth.h"

#include <QString>

#include <vector>

struct HealthReport {
    QString table;
    int offline = 0;
    int stale = 0;
    bool Alert() const { return offline > 0 || stale > 0; }
};

// `now` and `staleAfter` in seconds. Beside each station's health, the magnitude and the
// condition of its newest minute among `skies`.
HealthReport MakeHealthReport(const std::vector<StationHealth>& stations, std::int64_t now,
                              std::int64_t staleAfter,
                              const std::vector<stationhealth::StationSky>& skies = {});

// "42 s", "7 min", "3 h", "12 d".
using stationhealth::AgeText;
