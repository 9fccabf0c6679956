// SPDX-License-Identifier: GPL-3.0-or-later
#include "LiveSkyCondition.h"

#include "DayRecord.h"
#include "SkyTrack.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

LiveSkyCondition::LiveSkyCondition(astro::Observer observer, QTimeZone zone)
    : observer_(observer)
    , zone_(std::move(zone)) {}

QString LiveSkyCondition::ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) {
    const std::int64_t start = utcMinuteEnd / 1000 - 60;
    const WallSeconds wall =
        start + zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(start, Qt::UTC));
    // A night runs from 12:00 of its evening's day to 12:00 of the next.
    const std::int64_t night = DayOf(wall - kSecondsPerDay / 2);
    if (night != night_ || minutes_.size() > 25 * 60) {
        night_ = night;
        minutes_.clear();
    }
    const astro::SkyTrack track(observer_, start + 30, 60, 1);
    sky::Minute minute;
    minute.wall = wall;
    minute.ofNight = std::int32_t((wall - (StartOfDay(night) + kSecondsPerDay / 2)) / 60);
    minute.sunAltitude = track.SunAltitude(0);
    minute.moonUp = track.MoonUp(0);
    minute.moonLit = float(track.MoonIlluminated(double(start + 30)));
    minute.lines = std::uint8_t(std::clamp(seconds, 0, 60));
    minute.lightSeconds = minute.lines;
    minute.count = float(meanCount);
    minutes_.push_back(minute);

    switch (sky::Classify(minutes_, baseline_).back()) {
    case sky::Condition::Day:
        return QStringLiteral("day");
    case sky::Condition::CivilTwilight:
    case sky::Condition::NauticalTwilight:
    case sky::Condition::AstronomicalTwilight:
        return QStringLiteral("twilight");
    case sky::Condition::Moonlit:
        return QStringLiteral("moonlit");
    case sky::Condition::Clear:
        return QStringLiteral("clear");
    case sky::Condition::Cloudy:
        return QStringLiteral("cloudy");
    case sky::Condition::NoLine:
    case sky::Condition::Unknown:
        break;
    }
    return {};
}
