// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/LiveStation.h"

#include "core/log/DailyLog.h"
#include "observatory/SkyConditionSource.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdlib>

LiveStation::LiveStation(Station& station, const StationDescription& description, UtcClock clock,
                         SkyConditionSource* sky)
    : station_(station)
    , description_(description)
    , zone_(description.TimeZone())
    , clock_(std::move(clock))
    , sky_(sky) {
    state_.station = description.name;
    state_.linkUp = station.LinkUp();
    station_.AddObserver(this);
}

LiveStation::~LiveStation() {
    station_.RemoveObserver(this);
}

bool SafeToObserve(const LiveState& state, const StationDescription::Safety& rule,
                   std::int64_t nowMs, QString* why) {
    auto no = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!state.linkUp) return no(QStringLiteral("the sensor is not connected"));
    if (!state.lastReadingMs) return no(QStringLiteral("no reading yet"));
    if (nowMs - *state.lastReadingMs > rule.freshSeconds * 1000LL)
        return no(QStringLiteral("the newest reading is older than %1 s").arg(rule.freshSeconds));
    if (state.condition.isEmpty()) return no(QStringLiteral("the sky condition is not known"));
    if (!rule.conditions.contains(state.condition))
        return no(QStringLiteral("the sky is %1").arg(state.condition));
    if (rule.darkerThan) {
        if (!state.magnitude) return no(QStringLiteral("no sky brightness (no zero point)"));
        if (*state.magnitude < *rule.darkerThan)
            return no(
                QStringLiteral("the sky is brighter than %1 mag/arcsec²").arg(*rule.darkerThan));
    }
    if (why) why->clear();
    return true;
}

void LiveStation::RecordTaken(const SecondRecord& record) {
    // A second whose light could not be read says nothing of the sky.
    if (!record.deviceActive || record.range == 0) return;
    const std::int64_t now = clock_();
    // The second counts in the minute its day-file line is stamped with, as the archive
    // and every reader of the day files count it, whenever it is handed on.
    const WallSeconds wall = DailyLog::LineStamp(record);
    const std::int64_t utcSecond = UtcOfStamp(wall, now / 1000);
    const std::int64_t minute = utcSecond / 60;
    // A minute is told once a second of a later one comes. The stamps only go back when
    // the clock is set back: a second stamped up to kSetBackMinutes before the minute
    // gathered is left out of the minutes, its minute told already; a clock set back
    // further starts the minutes over at its stamp, the minute left unfinished untold.
    const bool setBack = minute_ >= 0 && minute < minute_;
    const bool gathered = !(setBack && minute_ - minute <= kSetBackMinutes);
    if (gathered && minute != minute_) {
        if (!setBack && minute_ >= 0) EndMinute(minute_);
        minute_ = minute;
        minuteCounts_.clear();
        minuteCelsius_ = 0;
        minuteWarm_ = 0;
    }
    if (gathered) {
        minuteCounts_.push_back(record.mean);
        if (record.temperature > -273.0f) {
            minuteCelsius_ += record.temperature;
            ++minuteWarm_;
        }
    }

    {
        std::lock_guard lock(mutex_);
        ++state_.readings;
        state_.lastReadingMs = now;
        state_.count = record.mean;
        state_.range = record.range;
        state_.temperature = record.temperature > -273.0f
                                 ? std::optional<double>(std::round(record.temperature * 10) / 10)
                                 : std::nullopt;
        // The zero point of the night the second belongs to, by the station's own clock.
        state_.magnitude =
            description_.zeroPoints.MagnitudeAt(wall, record.mean, state_.temperature);
    }
    Tell();
}

std::int64_t LiveStation::UtcOfStamp(WallSeconds wall, std::int64_t nowSecond) const {
    // The offsets a day either side (no zone changes twice within two days); a reading
    // holds when the offset at the instant it gives is the one it was made with. Where the
    // end of daylight saving repeats an hour, both hold: the stamp was just written, so the
    // instant nearer the clock is the one. A stamp in the hour its start skips is read
    // with the offset before, as the archive's reader does.
    const auto offsetAt = [this](std::int64_t utc) {
        return zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc()));
    };
    const int before = offsetAt(wall - kSecondsPerDay);
    const int after = offsetAt(wall + kSecondsPerDay);
    const std::int64_t withBefore = wall - before;
    if (before == after) return withBefore;
    const std::int64_t withAfter = wall - after;
    const bool beforeHolds = offsetAt(withBefore) == before;
    const bool afterHolds = offsetAt(withAfter) == after;
    if (beforeHolds && afterHolds)
        return std::llabs(withBefore - nowSecond) < std::llabs(withAfter - nowSecond) ? withBefore
                                                                                      : withAfter;
    return afterHolds && !beforeHolds ? withAfter : withBefore;
}

void LiveStation::EndMinute(std::int64_t minute) {
    if (minuteCounts_.empty()) return;
    const std::int64_t end = (minute + 1) * 60000;
    LiveMinute summary;
    summary.endMs = end;
    summary.goodSeconds = int(minuteCounts_.size());
    std::vector<double>& counts = minuteCounts_;
    std::sort(counts.begin(), counts.end());
    const std::size_t half = counts.size() / 2;
    summary.medianCount = counts.size() % 2 ? counts[half] : (counts[half - 1] + counts[half]) / 2;
    double sum = 0;
    for (const double count : counts)
        sum += count;
    const std::int64_t start = minute * 60;
    const WallSeconds wall =
        start + zone_.offsetFromUtc(QDateTime::fromSecsSinceEpoch(start, Qt::UTC));
    const std::optional<double> celsius =
        minuteWarm_ > 0 ? std::optional<double>(minuteCelsius_ / minuteWarm_) : std::nullopt;
    summary.magnitude = description_.zeroPoints.MagnitudeAt(wall, *summary.medianCount, celsius);
    // The classifier works on the mean, as the figures and the views do.
    if (sky_)
        summary.condition =
            sky_->ConditionOf(end, sum / double(counts.size()), summary.goodSeconds);
    std::lock_guard lock(mutex_);
    if (sky_) {
        state_.condition = summary.condition;
        state_.conditionMs = end;
    }
    state_.minute = std::move(summary);
}

LiveState LiveStation::Copy() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void LiveStation::LinkChanged(bool up, const QString& hint) {
    std::unique_lock lock(mutex_);
    state_.linkUp = up;
    state_.hint = up ? QString() : hint;
    lock.unlock();
    Tell();
}

void LiveStation::Tell() {
    for (const Listener& listener : listeners_)
        listener(state_);
}
