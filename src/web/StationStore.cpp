// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationStore.h"

#include "ArchiveReader.h"
#include "ArchiveSource.h"
#include "DayFileSource.h"
#include "NocturoError.h"
#include "PgConnection.h"
#include "ZoneClock.h"

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
            source_ = std::move(store.idle_.back());
            store.idle_.pop_back();
            return;
        }
        ++store.open_;
        lock.unlock();
        try {
            source_ = store.Open();
        } catch (...) {
            lock.lock();
            --store.open_;
            store.returned_.notify_one();
            throw;
        }
    }
    ~Lease() {
        std::lock_guard lock(store_.mutex_);
        if (source_ && std::uncaught_exceptions() == 0)
            store_.idle_.push_back(std::move(source_));
        else
            --store_.open_;
        store_.returned_.notify_one();
    }
    RecordSource& operator*() { return *source_; }
    RecordSource* operator->() { return source_.get(); }

private:
    StationStore& store_;
    std::unique_ptr<RecordSource> source_;
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
            if (!QFile::exists(root.filePath(sub + "/" + stationdescription::FileName))) continue;
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
    Lease first(*this);
    first->Rescan();
}

StationStore::~StationStore() = default;

std::unique_ptr<RecordSource> StationStore::Open() const {
    if (!IsArchive())
        return std::make_unique<DayFileSource>(DayFileSet::FromFolder(options_.folder));
    try {
        return std::make_unique<ArchiveSource>(std::make_unique<ArchiveReader>(*options_.archive));
    } catch (const ArchiveError& error) {
        throw ArchiveUnreachable(std::string("the archive cannot be reached: ") + error.what());
    }
}

QString StationStore::Name() const {
    return IsArchive() ? QStringLiteral("archive") : options_.folder;
}

QString StationStore::SourceName(const QString& station) const {
    return IsArchive() ? station : QString();
}

QStringList StationStore::Stations() {
    if (!IsArchive()) return {folderStation_.name};
    Lease source(*this);
    source->Rescan();
    return source->Stations();
}

bool StationStore::Has(const QString& station) {
    return Stations().contains(station);
}

StationDescription StationStore::Describe(const QString& station) const {
    if (!IsArchive()) return folderStation_;
    for (const StationDescription& d : described_)
        if (d.name == station) return d;
    StationDescription plain;
    plain.name = station;
    return plain;
}

SpanLines StationStore::Read(const QString& station, const TimeSpan& span) {
    Lease source(*this);
    SpanLines lines = source->Read(SourceName(station), span);
    return lines;
}

std::vector<SourceDay> StationStore::Days(const QString& station) {
    Lease source(*this);
    source->Rescan();
    while (source->CountNext()) {
    }
    std::vector<SourceDay> days;
    for (SourceDay& day : source->Days())
        if (day.station == SourceName(station)) days.push_back(std::move(day));
    return days;
}

std::vector<StationHealth> StationStore::Health(std::int64_t* now) {
    *now = QDateTime::currentSecsSinceEpoch();
    if (IsArchive()) {
        PgConnection connection;
        if (!connection.Open(*options_.archive))
            throw ArchiveUnreachable("the archive cannot be reached: " +
                                     connection.Error().toStdString());
        QString why;
        auto health = stationhealth::Read(connection, now, &why);
        if (!health) throw NocturoError("the archive cannot be read: " + why.toStdString());
        return *health;
    }
    // A station's own folder: fresh lines say it is online; its last hour counted from them.
    StationHealth health;
    health.name = folderStation_.name;
    Lease source(*this);
    source->Rescan();
    const std::optional<WallSeconds> newest = source->Newest(QString());
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
        health.linesLastHour = std::int64_t(source->Read(QString(), hour).records.size());
    }
    return {health};
}
