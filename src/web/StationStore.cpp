// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/StationStore.h"

#include "archive/ArchiveReader.h"
#include "archive/PgConnection.h"
#include "core/NocturoError.h"
#include "core/astro/ZoneClock.h"
#include "core/log/DayFileSource.h"
#include "core/station/ArchivedDescription.h"

#include <QDateTime>
#include <QDir>

// A source taken from the pool for one call, given back when it ends. A source that threw
// is dropped: its connection may be broken.
class StationStore::Lease {
public:
    explicit Lease(StationStore& store)
        : store_(store) {
        std::unique_lock lock(store.mutex_);
        store.returned_.wait(
            lock, [&] { return !store.idle_.empty() || store.open_ < store.options_.connections; });
        if (!store.idle_.empty()) {
            slot_ = std::move(store.idle_.back());
            store.idle_.pop_back();
            return;
        }
        ++store.open_;
        lock.unlock();
        try {
            slot_ = store.Open();
        } catch (...) {
            lock.lock();
            --store.open_;
            store.returned_.notify_one();
            throw;
        }
    }
    ~Lease() {
        std::lock_guard lock(store_.mutex_);
        if ((slot_.source || slot_.reader) && std::uncaught_exceptions() == 0)
            store_.idle_.push_back(std::move(slot_));
        else
            --store_.open_;
        store_.returned_.notify_one();
    }
    RecordSource& Source() { return *slot_.source; }
    ArchiveReader& Reader() { return *slot_.reader; }

private:
    StationStore& store_;
    Slot slot_;
};

StationStore::StationStore(StoreOptions options)
    : options_(std::move(options)) {
    if (!IsArchive()) {
        options_.connections = 1; // one cache of the files, read in turn
        try {
            folderStation_ = stationdescription::Load(options_.folder);
        } catch (const StationDescriptionError& error) {
            throw NocturoError(error.what());
        }
        if (folderStation_.name.isEmpty()) folderStation_.name = stationdescription::DefaultName();
    } else if (!options_.describeFolder.isEmpty()) {
        const QDir root(options_.describeFolder);
        for (const QString& sub : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            if (!QFile::exists(root.filePath(sub + "/" + stationdescription::kFileName))) continue;
            try {
                StationDescription d = stationdescription::Load(root.filePath(sub));
                if (d.name.isEmpty()) d.name = sub;
                described_.push_back(d);
            } catch (const StationDescriptionError& error) {
                throw NocturoError(error.what());
            }
        }
    }
    // Fails now, with the reason, rather than on the first request.
    if (IsArchive()) {
        ArchiveStations();
    } else {
        Lease first(*this);
        first.Source().Rescan();
    }
}

StationStore::~StationStore() = default;

StationStore::Slot StationStore::Open() const {
    Slot slot;
    if (!IsArchive()) {
        slot.source = std::make_unique<DayFileSource>(DayFileSet::FromFolder(options_.folder));
        return slot;
    }
    try {
        slot.reader = std::make_unique<ArchiveReader>(*options_.archive);
    } catch (const ArchiveError& error) {
        throw ArchiveUnreachable(std::string("the archive cannot be reached: ") + error.what());
    }
    return slot;
}

QString StationStore::Name() const {
    return IsArchive() ? QStringLiteral("archive") : options_.folder;
}

QStringList StationStore::ArchiveStations() {
    std::lock_guard asking(stationsMutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!stations_.isEmpty() && now - stationsAsked_ < std::chrono::seconds(1)) return stations_;
    Lease lease(*this);
    try {
        stations_ = lease.Reader().Stations();
        std::map<QString, StationDescription> described;
        for (const auto& [name, text] : lease.Reader().Descriptions()) {
            std::optional<StationDescription> d = stationdescription::FromArchive(name, text);
            if (d) described[name] = *d;
        }
        std::lock_guard lock(mutex_);
        archiveDescribed_ = std::move(described);
    } catch (const ArchiveError& error) {
        throw ArchiveUnreachable(std::string("the archive cannot be read: ") + error.what());
    }
    stationsAsked_ = now;
    return stations_;
}

QStringList StationStore::Stations() {
    if (!IsArchive()) return {folderStation_.name};
    return ArchiveStations();
}

bool StationStore::Has(const QString& station) {
    return Stations().contains(station);
}

StationDescription StationStore::Describe(const QString& station) const {
    if (!IsArchive()) return folderStation_;
    // The folder given on the command line first: it is the operator's word here.
    for (const StationDescription& d : described_)
        if (d.name == station) return d;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = archiveDescribed_.find(station); it != archiveDescribed_.end())
            return it->second;
    }
    StationDescription plain;
    plain.name = station;
    return plain;
}

SpanLines StationStore::Read(const QString& station, const TimeSpan& span, bool* complete) {
    if (complete) *complete = false;
    Lease lease(*this);
    if (!IsArchive()) return lease.Source().Read(QString(), span);
    SpanLines lines;
    lines.span = span;
    try {
        // The confirmation is read with the span's bounds, before its lines: every line it
        // covers was stored before them, so a span that ends before it is read whole.
        std::optional<std::int64_t> confirmed;
        std::int64_t utcEnd = 0;
        lines.records = lease.Reader().Span(station, span, complete ? &utcEnd : nullptr,
                                            complete ? &confirmed : nullptr);
        if (complete)
            *complete = confirmed && utcEnd > 0 && *confirmed >= utcEnd &&
                        utcEnd <= QDateTime::currentSecsSinceEpoch();
    } catch (const ArchiveError& error) {
        // Said in the span's problems, as a file that could not be read is.
        lines.problems << QString::fromStdString(error.what());
    }
    return lines;
}

std::optional<std::int64_t> StationStore::NewestFinalNight(const QString& station) {
    if (!IsArchive()) return std::nullopt;
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    std::optional<ArchiveReader::ConfirmedLine> line;
    {
        Lease lease(*this);
        try {
            line = lease.Reader().NewestConfirmed(station, now);
        } catch (const ArchiveError& error) {
            throw NocturoError(std::string("the archive cannot be read: ") + error.what());
        }
    }
    if (!line) return std::nullopt;
    // A night is read up to its end less the zone offset of its lines and an hour (see
    // ArchiveReader::Span), and final once that is past the confirmation and the clock: the
    // last night ending an hour before the confirmed second, in the wall time of the
    // station's line there. Not after the night of that line: the nights after it are empty.
    const std::int64_t hour = 3600;
    const WallSeconds finalUpTo = std::min(line->confirmed, now) + (line->wall - line->utc) - hour;
    const std::int64_t lastFinal = DayOf(finalUpTo - kSecondsPerDay / 2) - 1;
    return std::min(lastFinal, DayOf(line->wall - kSecondsPerDay / 2));
}

std::vector<std::pair<WallSeconds, double>>
StationStore::NightMinuteMedians(const QString& station, std::int64_t firstNight,
                                 std::int64_t lastNight) {
    if (!IsArchive()) return {};
    const WallSeconds from = TimeSpan::Of(SpanKind::Night, firstNight).from;
    const WallSeconds to = TimeSpan::Of(SpanKind::Night, lastNight).to;
    // Wider by the widest zone offset on either side, as a span's lines are read.
    const std::int64_t widest = 26 * 3600;
    const std::int64_t utcFrom = from - widest, utcTo = to + widest;
    std::vector<std::pair<std::int64_t, double>> minutes;
    std::vector<std::optional<std::int64_t>> offsets;
    {
        Lease lease(*this);
        try {
            minutes = lease.Reader().MinuteMedians(station, utcFrom, utcTo);
            if (minutes.empty()) return {};
            offsets = lease.Reader().HourOffsets(station, utcFrom, utcTo);
        } catch (const ArchiveError& error) {
            throw NocturoError(std::string("the archive cannot be read: ") + error.what());
        }
    }
    // Hours without lines take the offset of the nearest hour before with lines, else after.
    const auto carry = [](auto begin, auto end) {
        std::optional<std::int64_t> carried;
        for (auto it = begin; it != end; ++it) {
            if (*it)
                carried = *it;
            else
                *it = carried;
        }
    };
    carry(offsets.begin(), offsets.end());
    carry(offsets.rbegin(), offsets.rend());
    const QTimeZone zone = Describe(station).TimeZone();
    const std::int64_t firstHour = utcFrom - ((utcFrom % 3600) + 3600) % 3600;
    std::vector<std::pair<WallSeconds, double>> walls;
    walls.reserve(minutes.size());
    for (const auto& [utc, median] : minutes) {
        const std::size_t hour = std::size_t((utc - firstHour) / 3600);
        // Without a line in reach, the described zone's offset, asked once an hour.
        if (hour < offsets.size() && !offsets[hour])
            offsets[hour] = QDateTime::fromSecsSinceEpoch(utc, zone).offsetFromUtc();
        const std::int64_t offset = hour < offsets.size() && offsets[hour]
                                        ? *offsets[hour]
                                        : QDateTime::fromSecsSinceEpoch(utc, zone).offsetFromUtc();
        const WallSeconds wall = utc + offset;
        if (wall >= from && wall < to) walls.emplace_back(wall, median);
    }
    return walls;
}

std::vector<SourceDay> StationStore::Days(const QString& station) {
    Lease lease(*this);
    std::vector<SourceDay> days;
    if (!IsArchive()) {
        RecordSource& source = lease.Source();
        source.Rescan();
        while (source.CountNext()) {
        }
        for (SourceDay& day : source.Days())
            days.push_back(std::move(day));
        return days;
    }
    // Counted once, then from the newest day counted on: days before it grow only by late
    // lines of a station that was cut off, which a restart counts.
    std::lock_guard counting(daysMutex_);
    std::map<std::int64_t, DaySummary>& counted = days_[station];
    const std::int64_t from = counted.empty() ? DaysFromCivil(1, 1, 1) : counted.rbegin()->first;
    try {
        // Nothing new since the last count (the newest line, found by the index, is the one
        // counted last): the count stands.
        const std::optional<WallSeconds> newest = lease.Reader().Newest(station);
        const bool same = !counted.empty() && newest && *newest == counted.rbegin()->second.last;
        if (!same)
            for (const DaySummary& d : lease.Reader().Days(station, from))
                counted[d.day] = d;
    } catch (const ArchiveError& error) {
        throw NocturoError(std::string("the archive cannot be read: ") + error.what());
    }
    for (auto it = counted.rbegin(); it != counted.rend(); ++it)
        days.push_back({station,
                        it->second.day,
                        it->second.lines,
                        it->second.first,
                        it->second.last,
                        false,
                        {}});
    return days;
}

std::vector<StationHealth> StationStore::Health(std::int64_t* now) {
    *now = QDateTime::currentSecsSinceEpoch();
    if (IsArchive()) {
        PgConnection connection;
        QString why;
        if (!connection.Open(*options_.archive, &why))
            throw ArchiveUnreachable("the archive cannot be reached: " + why.toStdString());
        auto health = stationhealth::Read(connection, now, &why);
        if (!health) throw NocturoError("the archive cannot be read: " + why.toStdString());
        return *health;
    }
    // A station's own folder: fresh lines say it is online; its last hour counted from them.
    StationHealth health;
    health.name = folderStation_.name;
    Lease lease(*this);
    RecordSource& source = lease.Source();
    source.Rescan();
    const std::optional<WallSeconds> newest = source.Newest(QString());
    if (newest) {
        const QTimeZone zone = folderStation_.TimeZone();
        const auto clock = astro::ZoneClock::AroundWall(zone, *newest - 3600, *newest + 1);
        health.lastReading = clock.UtcOf(*newest);
        const bool fresh = *now - *health.lastReading <= options_.staleAfter;
        if (fresh) {
            health.online = true;
            health.linkUp = true;
        }
        const WallSeconds nowWall =
            *now + QDateTime::fromSecsSinceEpoch(*now, zone).offsetFromUtc();
        const TimeSpan hour{SpanKind::Day, DayOf(nowWall), nowWall - 3600, nowWall + 1};
        health.linesLastHour = std::int64_t(source.Read(QString(), hour).records.size());
    }
    return {health};
}
