// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the station's time zone (station.conf's `timezone`) tells the same clock as the
// computer's. The day files are written on the computer's clock, and everything that turns
// their stamps into UTC (the readings on the network, the sky in the viewer) reads them in
// the station's zone: two zones that differ would put every line hours off. Two names of
// one zone, or two zones that keep the same offsets around now, agree.
#pragma once

#include <QString>
#include <QTimeZone>

#include <cstdint>

namespace zoneagreement {

// How far around `nowUtc` (seconds since 1970) the offsets are compared: the days a
// logger runs through before it is started again, and the past days it may still send.
inline constexpr std::int64_t kBefore = 400 * 86400;
inline constexpr std::int64_t kAfter = 2 * 366 * 86400;

// Empty when the two zones have the same UTC offset at every moment from
// nowUtc - Before to nowUtc + After; else a line saying where they first differ, e.g.
// "Asia/Kolkata is UTC+05:30 and UTC is UTC+00:00 on 2026-12-08".
QString Difference(const QTimeZone& station, const QTimeZone& computer, std::int64_t nowUtc);

} // namespace zoneagreement
