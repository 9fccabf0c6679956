// SPDX-License-Identifier: GPL-3.0-or-later
// Faults to show the recovery with: a timetable such as
// "10:unplug,15:replug,30:silent,35:answer,40:short,45:normal,50:late" (seconds since
// start, fractions allowed), and the same actions from single keys.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class FaultAction {
    Unplug, // the device goes away
    Replug, // and comes back
    Silent, // the sensor stops answering
    Answer, // and answers again
    Short,  // replies come one byte short
    Normal, // full replies, answering
    Late,   // the next reply comes after the reader's time-out
};

struct FaultEvent {
    double at; // seconds since start
    FaultAction action;
};

// Parses a timetable; on a bad entry returns nothing and says why in `error`.
std::optional<std::vector<FaultEvent>> parseFaultScript(const std::string& text,
                                                        std::string& error);
std::optional<FaultAction> faultActionForName(const std::string& name);
// u, p, s, a, h, n, l.
std::optional<FaultAction> faultActionForKey(char key);
const char* faultActionName(FaultAction action);
