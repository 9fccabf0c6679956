// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/LiveSkyCondition.h"

#include "core/astro/SkyTrack.h"
#include "core/log/DayFileCache.h"
#include "core/log/DayFileSet.h"
#include "core/log/DayRecord.h"
#include "core/log/LogSpan.h"
#include "core/sky/ZeroPoints.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <set>
#include <utility>

namespace {

// A night with fewer dark minutes than this (a restart late in the night) adds nothing the
// baseline can use.
constexpr std::size_t kMinNightMinutes = 60;

} // namespace

LiveSkyCondition::LiveSkyCondition(astro::Observer observer, QTimeZone zone)
    : observer_(observer)
    , zone_(std::move(zone)) {}

LiveSkyCondition::~LiveSkyCondition() {
    // Ends with the reading of the files, which holds nothing of the station's.
    if (learning_.valid()) learning_.wait();
}

std::vector<std::vector<sky::Minute>> LiveSkyCondition::PastNights(const QString& dataDirectory,
                                                                   std::int64_t night, int count,
                                                                   const astro::Observer& observer,
                                                                   const QTimeZone& zone) {
    const DayFileSet files = DayFileSet::FromFolder(dataDirectory);
    // A night's lines are in the files of its evening's day and of the next.
    std::set<std::int64_t> candidates;
    for (const DayFileSet::File& f : files.Files()) {
        if (f.day == DayFileSet::kUndated) continue;
        for (const std::int64_t n : {f.day - 1, f.day})
            if (n < night) candidates.insert(n);
    }
    std::vector<std::vector<sky::Minute>> nights;
    DayFileCache cache(4);
    for (auto n = candidates.rbegin(); n != candidates.rend() && int(nights.size()) < count; ++n) {
        const TimeSpan span = TimeSpan::Of(SpanKind::Night, *n);
        const SpanLines lines = AssembleSpan(files, cache, span);
        if (lines.records.empty()) continue;
        nights.push_back(sky::NightMinutes(span, lines.records, observer, zone));
    }
    std::reverse(nights.begin(), nights.end());
    return nights;
}

void LiveSkyCondition::LearnBaseline(const QString& dataDirectory, std::int64_t nowUtc) {
    const WallSeconds wall =
        nowUtc + zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(nowUtc, Qt::UTC));
    learning_ = std::async(std::launch::async, &LiveSkyCondition::PastNights, dataDirectory,
                           sky::NightOf(wall), kBaselineNights, observer_, zone_);
}

void LiveSkyCondition::AwaitLearning() {
    if (!learning_.valid()) return;
    learning_.wait();
    TakeLearned();
}

void LiveSkyCondition::TakeLearned() {
    if (!learning_.valid() ||
        learning_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    std::vector<std::vector<sky::Minute>> learned = learning_.get();
    // Nights recorded since the start came after the ones read.
    for (auto n = learned.rbegin(); n != learned.rend(); ++n)
        nights_.push_front(std::move(*n));
    while (int(nights_.size()) > kBaselineNights)
        nights_.pop_front();
    baseline_ = sky::ClearSkyBaseline::Build({nights_.begin(), nights_.end()});
}

void LiveSkyCondition::NightEnded() {
    if (minutes_.size() < kMinNightMinutes) return;
    nights_.push_back(std::move(minutes_));
    while (int(nights_.size()) > kBaselineNights)
        nights_.pop_front();
    baseline_ = sky::ClearSkyBaseline::Build({nights_.begin(), nights_.end()});
}

QString LiveSkyCondition::ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) {
    TakeLearned();
    const std::int64_t start = utcMinuteEnd / 1000 - 60;
    const WallSeconds wall =
        start + zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(start, Qt::UTC));
    const std::int64_t night = sky::NightOf(wall);
    if (night != night_ || minutes_.size() > 25 * 60) {
        if (night > night_ && !minutes_.empty()) NightEnded();
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
