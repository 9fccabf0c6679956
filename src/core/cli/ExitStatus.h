// SPDX-License-Identifier: GPL-3.0-or-later
// The exit statuses every Nocturo program returns, and the table of them that each
// program's --help ends with.
#pragma once

#include <QString>

namespace exitstatus {

inline constexpr int kOk = 0; // all went well
inline constexpr int kAlert =
    1; // something an alert should see: a station offline, a run that failed
inline constexpr int kUsage = 2; // a wrong command line, or a file it names that cannot be used
inline constexpr int kUnreachable = 3; // a server (the broker, the archive) that cannot be reached

// The table for --help.
QString Table();

} // namespace exitstatus
