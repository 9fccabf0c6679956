// SPDX-License-Identifier: GPL-3.0-or-later
#include "observatory/LiveStation.h"

#include "observatory/SkyConditionSource.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

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
    // The minute of the record's own second, which the pass that closed it may follow
    // into the next minute.
    const int behind = (record.newSecond - record.second + 86400) % 86400;
    const std::int64_t utcSecond = now / 1000 - behind;
    const std::int64_t minute = utcSecond / 60;
    if (minute_ >= 0 && minute != minute_) EndMinute(minute_);
    if (minute != minute_) {
        minute_ = minute;
        minuteCounts_.clear();
        minuteCelsius_ = 0;
        minuteWarm_ = 0;
    }
    minuteCounts_.push_back(record.mean);
    if (record.temperature > -273.0f) {
        minuteCelsius_ += record.temperature;
        ++minuteWarm_;
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
        const QDateTime utc = QDateTime::fromSecsSinceEpoch(utcSecond, Qt::UTC);
        const std::int64_t wall = utcSecond + zone_.offsetFromUtc(utc);
        state_.magnitude =
            description_.zeroPoints.MagnitudeAt(wall, record.mean, state_.temperature);
    }
    Tell();
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
