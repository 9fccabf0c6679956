// SPDX-License-Identifier: GPL-3.0-or-later
// LiveStation: what an observatory wants to know of the station now: the link, the newest
// reading (when, its count, range, temperature and sky brightness), how many there were,
// and the sky condition of the last complete minute. It follows a Station as any view
// does and tells its listeners after every change; it never changes what is recorded.
#pragma once

#include "core/log/DayRecord.h"
#include "core/station/Station.h"
#include "core/station/StationDescription.h"

#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class SkyConditionSource;

// The summary of the last complete minute: what the logger publishes once a minute.
struct LiveMinute {
    std::int64_t endMs = 0;            // UTC ms of the minute's end
    std::optional<double> medianCount; // of its seconds whose light was read
    int goodSeconds = 0;
    std::optional<double> magnitude; // of the median, by that night's zero point
    QString condition;               // as in LiveState
};

struct LiveState {
    QString station; // its name on the network
    bool linkUp = false;
    QString hint;                              // why the link is down, as far as told
    std::int64_t readings = 0;                 // seconds with a good reading since the start
    std::optional<std::int64_t> lastReadingMs; // UTC ms of the newest good reading
    std::int32_t count = 0;                    // its mean range-scaled count
    std::int32_t range = 0;
    std::optional<double> temperature;       // °C; none when the sensor's failed
    std::optional<double> magnitude;         // mag/arcsec²; none without a zero point
    QString condition;                       // the last minute's; empty: not known
    std::optional<std::int64_t> conditionMs; // UTC ms of that minute's end
    std::optional<LiveMinute> minute;        // the last complete minute's summary
};

// Whether an observatory may observe at `nowMs` by the station's rules, and why not (empty
// when it may).
bool SafeToObserve(const LiveState& state, const StationDescription::Safety& rule,
                   std::int64_t nowMs, QString* why = nullptr);

class LiveStation : private StationObserver {
public:
    using UtcClock = std::function<std::int64_t()>; // ms since 1970
    using Listener = std::function<void(const LiveState&)>;

    // `sky` may be null: the condition is then never known.
    LiveStation(Station& station, const StationDescription& description, UtcClock clock,
                SkyConditionSource* sky);
    ~LiveStation() override;
    LiveStation(const LiveStation&) = delete;
    LiveStation& operator=(const LiveStation&) = delete;

    // The station's thread only.
    const LiveState& State() const { return state_; }
    void AddListener(Listener listener) { listeners_.push_back(std::move(listener)); }
    bool IsSafe(QString* why = nullptr) const {
        return SafeToObserve(state_, description_.safety, clock_(), why);
    }

    // Any thread.
    LiveState Copy() const;
    const StationDescription& Description() const { return description_; }
    std::int64_t NowMs() const { return clock_(); }

private:
    void RecordTaken(const SecondRecord& record) override;
    void LinkChanged(bool up, const QString& hint) override;
    void Tell();
    void EndMinute(std::int64_t minute);
    // The UTC second of a day-file stamp, read in the station's zone.
    std::int64_t UtcOfStamp(WallSeconds wall, std::int64_t nowSecond) const;

    // How far back a clock set back may stamp seconds that are then left out of the
    // minutes, in minutes; further back, the minutes start over.
    static constexpr std::int64_t kSetBackMinutes = 2;

    Station& station_;
    StationDescription description_;
    QTimeZone zone_; // the station's wall clock, for its zero points' nights
    UtcClock clock_;
    SkyConditionSource* sky_;
    LiveState state_;
    mutable std::mutex mutex_; // held while state_ changes, and by Copy()
    std::vector<Listener> listeners_;
    // The minute being gathered for the sky condition.
    std::int64_t minute_ = -1; // UTC minutes since 1970
    std::vector<double> minuteCounts_;
    double minuteCelsius_ = 0;
    int minuteWarm_ = 0; // seconds of the minute whose temperature was read
};
