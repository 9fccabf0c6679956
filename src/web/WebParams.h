// SPDX-License-Identifier: GPL-3.0-or-later
// The checks of the API's parameters: dates, spans and their bounds, station names.
#pragma once

#include "core/log/LogSpan.h"
#include "http/HttpRequest.h"

#include <QString>
#include <QStringList>

namespace webparams {

inline constexpr int kMaxStations = 8;
inline constexpr int kMaxDays = 31;
inline constexpr int kSecondsUpTo = 3; // days shown second by second

// yyyy-mm-dd (1970 to 2199) as days since 1970-01-01; 400 otherwise.
std::int64_t Date(const HttpRequest& request, const QString& name);
// date=…&kind=night|day|week, or date=…&days=N.
TimeSpan SpanOf(const HttpRequest& request);
// A name of 1 to 64 of a-z 0-9 _ - (400 otherwise).
QString StationName(const QString& value);
// "a,b,c": up to kMaxStations names, each once.
QStringList StationList(const QString& value);

} // namespace webparams
