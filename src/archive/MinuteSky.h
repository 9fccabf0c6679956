// SPDX-License-Identifier: GPL-3.0-or-later
// The sky of the minutes a station stored without summing them up itself: those it
// back-filled from its day files (recorded while it did not publish, or before a restart),
// for which no minute message came. After each batch the collector works out their
// magnitude, limiting magnitude and condition as the station's live minute messages do
// (its zero points of the night, sky::LimitingMagnitude, sky::LiveConditions), from the
// station's description in the archive (`stations.description`) and the seconds the
// archive holds, and marks them `sky_derived`. A station's own minute message always wins:
// a minute it summed up is never worked out again, and its message replaces what was.
//
// Only minutes ended kSettleSeconds before the collector's clock are worked out: a live
// minute's message comes within seconds of its end. Those touched sooner are kept and
// worked out once they are that old, if still without a sky. A minute whose seconds come in
// several batches is worked out again with each. What waits in memory is not lost with the
// collector: at each connection, Resume() takes up again the minutes of the last
// kResumeHours that have good seconds and no sky, of the stations with a description.
//
// Cost, per station and batch of such minutes: a query for the minutes' seconds (and up to
// kLookBackMinutes before them, for the steadiness); per station and night, once a run,
// the clear-sky baseline from the kBaselineNights newest nights the archive holds before
// it, found by one probe of the primary key each and summed up by the server a minute at a
// time. Without a position a station's minutes get no condition, without a zero point no
// magnitude; a station without a description keeps its minutes as they are.
#pragma once

#include "archive/ArchiveBatch.h"
#include "core/sky/SkyCondition.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

class PgConnection;
struct StationDescription;

class MinuteSky {
public:
    static constexpr std::int64_t kSettleSeconds = 120;
    static constexpr int kLookBackMinutes = 30;
    static constexpr std::size_t kMaxWaiting = 200000;
    static constexpr std::int64_t kResumeHours = 6;

    explicit MinuteSky(PgConnection& connection)
        : connection_(connection) {}

    // After a batch with these readings was committed, at `nowUtc` (seconds): works out the
    // sky of the minutes they touched that have none of the station's. False with `why`
    // when the archive could not be read or written (the minutes are then tried again
    // after the next batch).
    bool Fill(const std::vector<archive::Reading>& readings, std::int64_t nowUtc,
              QString* why = nullptr);

    // Minutes touched too recently, still waiting.
    std::size_t Waiting() const { return waiting_.size(); }
    // Whether a waiting minute is old enough at `nowUtc`: Fill() with no readings then
    // works it out.
    bool Due(std::int64_t nowUtc) const {
        return !waiting_.empty() && waiting_.begin()->first + 60 <= nowUtc - kSettleSeconds;
    }
    // At a connection: the minutes a collector stopped before working out wait again. One
    // query, bounded by the minutes' primary key of each described station and by
    // kMaxWaiting rows.
    bool Resume(std::int64_t nowUtc, QString* why = nullptr);

private:
    using StationMinute = std::pair<QString, std::int64_t>; // a minute's start, UTC
    using WaitingMinute = std::pair<std::int64_t, QString>; // the oldest first

    bool FillStation(const QString& station, const StationDescription& description,
                     const std::vector<std::int64_t>& minutes, QString* why);
    bool FillNight(const QString& station, const StationDescription& description,
                   std::int64_t night, const std::vector<std::int64_t>& minutes, QString* why);
    bool Baseline(const QString& station, const StationDescription& description, std::int64_t night,
                  sky::ClearSkyBaseline* baseline, QString* why);
    bool Sums(const QString& station, std::int64_t from, std::int64_t to,
              std::vector<sky::MinuteSum>* sums, std::vector<double>* medians, QString* why);

    PgConnection& connection_;
    std::set<WaitingMinute> waiting_;
    struct Learned {
        std::int64_t night = 0;
        QByteArray description; // the one it was built for
        sky::ClearSkyBaseline baseline;
    };
    std::map<QString, Learned> baselines_;
};
