// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ArchiveSource.h"

namespace {

QString Key(const char* question, const QString& station, const TimeSpan& span) {
    return QStringLiteral("%1|%2|%3|%4")
        .arg(QLatin1String(question), station)
        .arg(span.from)
        .arg(span.to);
}

QString Words(const ArchiveError& error) {
    return QString::fromStdString(error.what());
}

struct SpanAnswer {
    std::pair<std::int64_t, std::int64_t> stamp;
    std::vector<DayRecord> records;
};

} // namespace

ArchiveSource::ArchiveSource(std::unique_ptr<ArchiveReader> reader)
    : name_(QStringLiteral("Archive %1").arg(reader->Describe()))
    , asker_(std::make_unique<ArchiveAsker>(std::move(reader))) {
    Rescan();
}

void ArchiveSource::AnswerLater(int patienceMs, std::function<void()> answered) {
    asker_->AnswerLater(patienceMs, std::move(answered));
}

QString ArchiveSource::Trouble() const {
    return asker_->Waiting() ? NoAnswerText() : problem_;
}

SpanLines ArchiveSource::Read(const QString& station, const TimeSpan& span) {
    SpanLines lines;
    lines.span = span;
    lastRead_.erase(station);
    try {
        std::optional<SpanAnswer> answer = asker_->Ask<SpanAnswer>(
            Key("read", station, span), [station, span](ArchiveReader& reader) {
                SpanAnswer a;
                a.stamp = reader.SpanStamp(station, span);
                a.records = reader.Span(station, span);
                return a;
            });
        if (!answer) {
            lines.problems << NoAnswerText();
            return lines;
        }
        lastRead_[station] = {span, answer->stamp};
        lines.records = std::move(answer->records);
        Heard({});
    } catch (const ArchiveError& error) {
        lines.problems << Words(error);
        Heard(Words(error));
    }
    return lines;
}

bool ArchiveSource::Changed(const QString& station, const SpanLines& lines) {
    const auto found = lastRead_.find(station);
    if (found == lastRead_.end() || !(found->second.span == lines.span)) return true;
    try {
        const TimeSpan span = lines.span;
        const std::optional<std::pair<std::int64_t, std::int64_t>> stamp =
            asker_->Ask<std::pair<std::int64_t, std::int64_t>>(
                Key("stamp", station, span),
                [station, span](ArchiveReader& reader) { return reader.SpanStamp(station, span); });
        if (!stamp) return false; // still away: the lines shown stay
        Heard({});
        return *stamp != found->second.stamp;
    } catch (const ArchiveError& error) {
        Heard(Words(error));
        return false;
    }
}

std::optional<WallSeconds> ArchiveSource::Newest(const QString& station) {
    try {
        const std::optional<std::optional<WallSeconds>> newest =
            asker_->Ask<std::optional<WallSeconds>>(
                Key("newest", station, {}),
                [station](ArchiveReader& reader) { return reader.Newest(station); });
        if (!newest) return std::nullopt;
        Heard({});
        return *newest;
    } catch (const ArchiveError& error) {
        Heard(Words(error));
        return std::nullopt;
    }
}

bool ArchiveSource::Rescan() {
    try {
        const std::optional<QStringList> stations = asker_->Ask<QStringList>(
            Key("stations", {}, {}), [](ArchiveReader& reader) { return reader.Stations(); });
        if (!stations) return false;
        stations_ = *stations;
        Heard({});
    } catch (const ArchiveError& error) {
        Heard(Words(error));
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
    Counted& counted = counted_[station];
    // Days before the newest one counted cannot grow but by late lines of a station that
    // was cut off; they are counted again when the archive is opened again.
    const std::int64_t from =
        counted.days.empty() ? DaysFromCivil(1, 1, 1) : counted.days.rbegin()->first;
    try {
        const std::optional<std::vector<DaySummary>> days = asker_->Ask<std::vector<DaySummary>>(
            Key("days", station, {SpanKind::Day, 0, from, 0}),
            [station, from](ArchiveReader& reader) { return reader.Days(station, from); });
        // Unanswered: the station is counted when the archive answers and is looked at again.
        if (!days) return false;
        for (const DaySummary& day : *days)
            counted.days[day.day] = day;
        counted.problem.clear();
        Heard({});
    } catch (const ArchiveError& error) {
        counted.problem = Words(error);
        Heard(Words(error));
    }
    pending_.pop_front();
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
