// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/sky/LiveConditions.h"

#include "core/astro/SkyTrack.h"
#include "core/log/DayRecord.h"
#include "core/sky/ZeroPoints.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace sky {

namespace {

// A night with fewer dark minutes than this (a restart late in the night) adds nothing the
// baseline can use.
constexpr std::size_t kMinNightMinutes = 60;

} // namespace

QString MinuteConditionName(Condition condition) {
    switch (condition) {
    case Condition::Day:
        return QStringLiteral("day");
    case Condition::CivilTwilight:
    case Condition::NauticalTwilight:
    case Condition::AstronomicalTwilight:
        return QStringLiteral("twilight");
    case Condition::Moonlit:
        return QStringLiteral("moonlit");
    case Condition::Clear:
        return QStringLiteral("clear");
    case Condition::Cloudy:
        return QStringLiteral("cloudy");
    case Condition::NoLine:
    case Condition::Unknown:
        break;
    }
    return {};
}

LiveConditions::LiveConditions(astro::Observer observer, QTimeZone zone)
    : observer_(observer)
    , zone_(std::move(zone)) {}

void LiveConditions::AddPastNights(std::vector<std::vector<Minute>> nights) {
    // Nights ended since the minutes began came after the ones given.
    for (auto n = nights.rbegin(); n != nights.rend(); ++n)
        nights_.push_front(std::move(*n));
    while (int(nights_.size()) > kBaselineNights)
        nights_.pop_front();
    baseline_ = ClearSkyBaseline::Build({nights_.begin(), nights_.end()});
}

void LiveConditions::NightEnded() {
    if (minutes_.size() < kMinNightMinutes) return;
    nights_.push_back(std::move(minutes_));
    while (int(nights_.size()) > kBaselineNights)
        nights_.pop_front();
    baseline_ = ClearSkyBaseline::Build({nights_.begin(), nights_.end()});
}

QString LiveConditions::ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) {
    const std::int64_t start = utcMinuteEnd / 1000 - 60;
    const WallSeconds wall =
        start + zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(start, Qt::UTC));
    const std::int64_t night = NightOf(wall);
    if (night != night_ || minutes_.size() > 25 * 60) {
        if (night > night_ && !minutes_.empty()) NightEnded();
        night_ = night;
        minutes_.clear();
    }
    const astro::SkyTrack track(observer_, start + 30, 60, 1);
    Minute minute;
    minute.wall = wall;
    minute.ofNight = std::int32_t((wall - (StartOfDay(night) + kSecondsPerDay / 2)) / 60);
    minute.sunAltitude = track.SunAltitude(0);
    minute.moonUp = track.MoonUp(0);
    minute.moonLit = float(track.MoonIlluminated(double(start + 30)));
    minute.lines = std::uint8_t(std::clamp(seconds, 0, 60));
    minute.lightSeconds = minute.lines;
    minute.count = float(meanCount);
    minutes_.push_back(minute);
    return MinuteConditionName(Classify(minutes_, baseline_).back());
}

} // namespace sky
