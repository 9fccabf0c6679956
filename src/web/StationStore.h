// SPDX-License-Identifier: GPL-3.0-or-later
// The web service's view of its source, safe to use from the HTTP server's threads: one
// station's day files (one reader, taken in turn) or the network's archive (a connection
// per thread that asks, up to a bound). Stations are known by their names: a folder's by
// its station.conf (or the default name), an archive's as it holds them.
#pragma once

#include "core/NocturoError.h"

#include "archive/ArchiveReader.h"
#include "archive/StationHealth.h"
#include "core/log/RecordSource.h"
#include "core/station/StationDescription.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The archive could not be reached: a server out of reach, not a wrong command line.
class ArchiveUnreachable : public NocturoError {
public:
    using NocturoError::NocturoError;
};

struct StoreOptions {
    QString folder;                 // the day files of one station, or
    std::optional<QString> archive; // the archive at this PostgreSQL address
    QString describeFolder;         // with an archive: NAME/station.conf under it
    int connections = 4;            // archive connections at most
    std::int64_t staleAfter = 120;  // seconds without a reading before a station is stale
};

class StationStore {
public:
    // Throws NocturoError (the archive cannot be reached, a wrong station.conf).
    explicit StationStore(StoreOptions options);
    ~StationStore();

    bool IsArchive() const { return options_.archive.has_value(); }
    QString Name() const;
    QStringList Stations();
    bool Has(const QString& station);
    // Position, zone and zero point; the defaults (and the name) when nothing says more.
    StationDescription Describe(const QString& station) const;

    // `complete`, when given, says whether the span's lines are final: the archive confirms
    // every line of the station up to past the span's end, and that end has passed. Day
    // files never say so (nothing marks a day file as done).
    SpanLines Read(const QString& station, const TimeSpan& span, bool* complete = nullptr);
    // The archive's newest night of the station that is final (see Read()) and holds a line
    // of it, as far as the confirmation and the offset of that line tell; none from day
    // files, or when the archive confirms nothing of the station.
    std::optional<std::int64_t> NewestFinalNight(const QString& station);
    // The archive's minute summaries of the nights [firstNight, lastNight]: each minute's
    // start on the station's wall clock (by the offset of its lines in that hour of UTC, else
    // in the nearest hour with lines, else by its described time zone) and its median count
    // (NaN where it has none), in order. Nothing from day files.
    std::vector<std::pair<WallSeconds, double>>
    NightMinuteMedians(const QString& station, std::int64_t firstNight, std::int64_t lastNight);
    // The station's days with lines, newest first.
    std::vector<SourceDay> Days(const QString& station);
    // Every station's health as `nocturo-collect --status` words it; `now` in UTC seconds.
    std::vector<StationHealth> Health(std::int64_t* now);
    std::int64_t StaleAfter() const { return options_.staleAfter; }

private:
    // What one call reads through: the folder's source, or a connection to the archive
    // asked directly (one question per call, on the caller's thread).
    struct Slot {
        std::unique_ptr<RecordSource> source;
        std::unique_ptr<ArchiveReader> reader;
    };
    class Lease;
    Slot Open() const;
    QStringList ArchiveStations();

    StoreOptions options_;
    StationDescription folderStation_;
    std::vector<StationDescription> described_;
    mutable std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<Slot> idle_;
    int open_ = 0;
    // The archive's stations, asked again after a second: every request names stations,
    // and many at once would otherwise each ask the archive first.
    std::mutex stationsMutex_;
    QStringList stations_;
    std::chrono::steady_clock::time_point stationsAsked_;
    // What the archive's own `stations.description` says, by station.
    std::map<QString, StationDescription> archiveDescribed_;
    // The archive's days of each station, as counted so far.
    std::mutex daysMutex_;
    std::map<QString, std::map<std::int64_t, DaySummary>> days_;
};
