// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/LiveSkyCondition.h"

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

LiveSkyCondition::LiveSkyCondition(astro::Observer observer, QTimeZone zone)
    : observer_(observer)
    , zone_(zone)
    , conditions_(observer, std::move(zone)) {}

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
    conditions_.AddPastNights(learning_.get());
}

QString LiveSkyCondition::ConditionOf(std::int64_t utcMinuteEnd, double meanCount, int seconds) {
    TakeLearned();
    return conditions_.ConditionOf(utcMinuteEnd, meanCount, seconds);
}
