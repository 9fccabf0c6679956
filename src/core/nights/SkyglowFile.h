// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of a span in the skyglow community's exchange format, the "community standard
// for skyglow observations", version 1.0, that the skyglow archives and networks take:
// ASCII, CR LF, no tabs, a header of 35 lines each starting with "# " and at most 150
// characters, then one line per second:
//
//   UTC date and time;local date and time;temperature;counts;range[;MSAS]
//   2026-01-10T22:00:00.000;2026-01-10T23:00:00.000;-2.5;41;5;18.64
//
// The header's free values come from station.conf; what the station does not know is left
// blank. Failed seconds (no reading) are left out; MSAS (zero_point - 2.5 log10 counts) is
// a field only with a zero point, and blank for a count of 0. Local times are the day
// files' own; UTC follows from the station's time zone, so the repeated hour at the end of
// daylight saving appears twice in local time and once in UTC.
#pragma once

#include "DayRecord.h"
#include "StationDescription.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace skyglow {

inline constexpr int kHeaderLines = 35;
inline constexpr int kMaxHeaderLine = 150;

// The 35 header lines, without line ends.
QStringList Header(const StationDescription& station, const QString& softwareVersion);

// The whole file: the header, then the good lines of `records` (sorted by wall time, as a
// span's lines come) in order of UTC.
QByteArray File(const std::vector<DayRecord>& records, const StationDescription& station,
                const QString& softwareVersion);

// Writes the file, replacing it whole; the reason when it fails, else an empty string.
QString Write(const QString& path, const std::vector<DayRecord>& records,
              const StationDescription& station, const QString& softwareVersion);

} // namespace skyglow
