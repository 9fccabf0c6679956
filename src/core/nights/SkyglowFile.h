// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of a span in the skyglow community's exchange format, the "community standard
// for skyglow observations", version 1.0, that the skyglow archives and networks take:
// ASCII, CR LF, no tabs, a header of 35 lines each starting with "# " and at most 150
// characters, then one line per second:
//
//   UTC date and time;local date and time;temperature;counts;range;MSAS
//   2026-01-10T22:00:00.000;2026-01-10T23:00:00.000;-2.5;41;5;18.64
//
// The format's readers split on ';' and take every field as a number, so every line has
// all six, each a number: MSAS is the zero point of the line's own date less 2.5 log10
// counts; for a count of 0 (darker than the sensor tells) it is the magnitude of one
// count, the darkest the sensor can tell; without a zero point for that date it is 0.00,
// which the header explains. A temperature that failed while the light was read is
// written -273.1 (the day files' value for it) and the line kept; seconds without light
// are left out. An unknown position is written 0, 0, 0 (readers stop at a blank one, or
// put a default place in), and the header says it is unknown.
//
// The header's free values come from station.conf; what the station does not know is left
// blank. A value that makes its line longer than 150 characters is refused (HeaderError),
// never cut. Local times are the day files' own; UTC follows from the station's time zone,
// so the repeated hour at the end of daylight saving appears twice in local time and once
// in UTC.
#pragma once

#include "core/log/DayRecord.h"
#include "core/station/StationDescription.h"

#include <QByteArray>
#include <QStringList>

#include <stdexcept>
#include <vector>

namespace skyglow {

// A header line that would be longer than the format allows; what() names the line.
class HeaderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kHeaderLines = 35;
inline constexpr int kMaxHeaderLine = 150;

// The 35 header lines, without line ends. Throws HeaderError.
QStringList Header(const StationDescription& station, const QString& softwareVersion);

// The whole file: the header, then the good lines of `records` (sorted by wall time, as a
// span's lines come) in order of UTC. Throws HeaderError.
QByteArray File(const std::vector<DayRecord>& records, const StationDescription& station,
                const QString& softwareVersion);

// Writes the file, replacing it whole; false, with the reason in `why`, when it fails.
bool Write(const QString& path, const std::vector<DayRecord>& records,
           const StationDescription& station, const QString& softwareVersion,
           QString* why = nullptr);

} // namespace skyglow
