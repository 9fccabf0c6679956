// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/DayFileSource.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

DayFileSource::DayFileSource(DayFileSet files)
    : files_(std::move(files)) {
    ListFiles();
}

QString DayFileSource::Name() const {
    return files_.IsFolder() ? QDir::toNativeSeparators(files_.Folder())
                             : QStringLiteral("%1 files").arg(files_.Files().size());
}

SpanLines DayFileSource::Read(const QString&, const TimeSpan& span) {
    SpanLines lines = AssembleSpan(files_, cache_, span);
    lastRead_ = lines.sources;
    return lines;
}

bool DayFileSource::Changed(const QString&, const SpanLines& lines) {
    return SourcesChanged(lines, files_);
}

std::optional<WallSeconds> DayFileSource::Newest(const QString&) {
    std::optional<WallSeconds> newest;
    const auto consider = [&](const DayFileSet::File& file) {
        for (const DayRecord& record : cache_.Get(file.path)->contents.records)
            if (!newest || record.time > *newest) newest = record.time;
    };
    const DayFileSet::File* lastDated = nullptr;
    for (const DayFileSet::File& file : files_.Files()) {
        if (file.day == DayFileSet::kUndated)
            consider(file);
        else
            lastDated = &file;
    }
    if (lastDated && !newest) {
        consider(*lastDated);
        if (!newest) newest = StartOfDay(lastDated->day) + kSecondsPerDay / 2;
    }
    return newest;
}

bool DayFileSource::Rescan() {
    files_.Rescan();
    ListFiles(); // new files are listed, changed ones counted again
    return true;
}

void DayFileSource::ListFiles() {
    std::map<QString, FileSummary> kept;
    pending_.clear();
    // Newest first, so the days a user looks at first are counted first.
    for (auto it = files_.Files().rbegin(); it != files_.Files().rend(); ++it) {
        auto found = summaries_.find(it->path);
        FileSummary summary;
        if (found != summaries_.end() && found->second.stamp == dayreader::StampOf(it->path))
            summary = found->second;
        summary.day = it->day;
        if (!summary.read) pending_.push_back(it->path);
        kept.emplace(it->path, std::move(summary));
    }
    summaries_ = std::move(kept);
}

void DayFileSource::Summarise(const QString& path) {
    const auto found = summaries_.find(path);
    if (found == summaries_.end()) return;
    const DayFileCache::Entry read = cache_.Get(path);
    FileSummary& summary = found->second;
    summary.stamp = read->stamp;
    summary.problem = read->status == dayreader::FileStatus::Read ? QString() : read->problem;
    summary.days = SummariseDays(read->contents);
    summary.read = true;
}

bool DayFileSource::CountNext() {
    if (pending_.empty()) return false;
    const QString path = pending_.front();
    pending_.pop_front();
    Summarise(path);
    return !pending_.empty();
}

std::vector<SourceDay> DayFileSource::Days() const {
    std::map<std::int64_t, SourceDay, std::greater<>> totals;
    const auto total = [&totals](std::int64_t day) -> SourceDay& {
        SourceDay& row = totals[day];
        row.day = day;
        return row;
    };
    for (const auto& [path, summary] : summaries_) {
        if (summary.day != DayFileSet::kUndated) {
            SourceDay& row = total(summary.day);
            if (!summary.problem.isEmpty())
                row.problem +=
                    (row.problem.isEmpty() ? QString() : QStringLiteral("\n")) + summary.problem;
            row.waiting = row.waiting || !summary.read;
        }
        if (!summary.read) continue;
        for (const DaySummary& day : summary.days) {
            // A dated file's row counts its own day; lines of other days in it are shown
            // with those days, not listed under its name.
            if (summary.day != DayFileSet::kUndated && day.day != summary.day) continue;
            SourceDay& row = total(day.day);
            if (row.lines == 0) {
                row.first = day.first;
                row.last = day.last;
            }
            row.lines += day.lines;
            row.first = std::min(row.first, day.first);
            row.last = std::max(row.last, day.last);
        }
    }
    std::vector<SourceDay> days;
    days.reserve(totals.size());
    for (auto& [day, row] : totals)
        days.push_back(std::move(row));
    return days;
}

QStringList DayFileSource::WatchedPaths() const {
    QStringList wanted;
    if (files_.IsFolder()) wanted << files_.Folder();
    for (const auto& [path, stamp] : lastRead_) {
        if (stamp.size >= 0) wanted << path;
        if (!files_.IsFolder()) wanted << QFileInfo(path).absolutePath();
    }
    wanted.removeDuplicates();
    return wanted;
}
