// SPDX-License-Identifier: GPL-3.0-or-later
#include "ArchiveSource.h"

ArchiveSource::ArchiveSource(std::unique_ptr<ArchiveReader> reader)
    : reader_(std::move(reader)) {
    Rescan();
}

QString ArchiveSource::Name() const {
    return QStringLiteral("Archive %1").arg(reader_->Describe());
}

SpanLines ArchiveSource::Read(const QString& station, const TimeSpan& span) {
    SpanLines lines;
    lines.span = span;
    try {
        lastRead_[station] = {span, reader_->SpanStamp(station, span)};
        lines.records = reader_->Span(station, span);
    } catch (const ArchiveError& error) {
        lastRead_.erase(station);
        lines.problems << QString::fromStdString(error.what());
    }
    return lines;
}

bool ArchiveSource::Changed(const QString& station, const SpanLines& lines) {
    const auto found = lastRead_.find(station);
    if (found == lastRead_.end() || !(found->second.span == lines.span)) return true;
    try {
        return reader_->SpanStamp(station, lines.span) != found->second.stamp;
    } catch (const ArchiveError&) {
        return false; // still away: the lines shown stay
    }
}

std::optional<WallSeconds> ArchiveSource::Newest(const QString& station) {
    try {
        return reader_->Newest(station);
    } catch (const ArchiveError&) {
        return std::nullopt;
    }
}

bool ArchiveSource::Rescan() {
    try {
        stations_ = reader_->Stations();
        problem_.clear();
    } catch (const ArchiveError& error) {
        problem_ = QString::fromStdString(error.what());
        return false;
    }
    for (auto it = counted_.begin(); it != counted_.end();)
        it = stations_.contains(it->first) ? std::next(it) : counted_.erase(it);
    pending_.assign(stations_.begin(), stations_.end());
    for (const QString& station : stations_)
        counted_[station].waiting = true;
    return true;
}

bool ArchiveSource::CountNext() {
    if (pending_.empty()) return false;
    const QString station = pending_.front();
    pending_.pop_front();
    Counted& counted = counted_[station];
    // Days before the newest one counted cannot grow but by late lines of a station that
    // was cut off; they are counted again when the archive is opened again.
    const std::int64_t from =
        counted.days.empty() ? DaysFromCivil(1, 1, 1) : counted.days.rbegin()->first;
    try {
        for (const DaySummary& day : reader_->Days(station, from))
            counted.days[day.day] = day;
        counted.problem.clear();
    } catch (const ArchiveError& error) {
        counted.problem = QString::fromStdString(error.what());
    }
    counted.waiting = false;
    return !pending_.empty();
}

std::vector<SourceDay> ArchiveSource::Days() const {
    std::vector<SourceDay> days;
    for (const QString& station : stations_) {
        const auto found = counted_.find(station);
        if (found == counted_.end()) continue;
        const Counted& counted = found->second;
        for (auto it = counted.days.rbegin(); it != counted.days.rend(); ++it)
            days.push_back({station, it->second.day, it->second.lines, it->second.first,
                            it->second.last, false, counted.problem});
    }
    return days;
}
