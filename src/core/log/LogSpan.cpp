// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/LogSpan.h"

#include <algorithm>
#include <map>
#include <tuple>

TimeSpan TimeSpan::Of(SpanKind kind, std::int64_t day) {
    TimeSpan span;
    span.kind = kind;
    span.day = day;
    switch (kind) {
    case SpanKind::Day:
        span.from = StartOfDay(day);
        span.to = StartOfDay(day + 1);
        break;
    case SpanKind::Night:
        span.from = StartOfDay(day) + kSecondsPerDay / 2;
        span.to = StartOfDay(day + 1) + kSecondsPerDay / 2;
        break;
    case SpanKind::Week:
        span.from = StartOfDay(day - 6);
        span.to = StartOfDay(day + 1);
        break;
    }
    return span;
}

TimeSpan TimeSpan::Stepped(int steps) const {
    return Of(kind, day + std::int64_t(steps) * (kind == SpanKind::Week ? 7 : 1));
}

namespace {

struct Placed {
    DayRecord record;
    std::uint32_t file;
};

// Within each run of equal stamps, a line that another file holds as well is kept once:
// for each set of equal values, the lines of the file holding the most copies stay.
// O(k log k) for a run of k lines, whatever the files hold.
void DropCopies(std::vector<Placed>& placed) {
    std::vector<bool> drop(placed.size(), false);
    bool any = false;
    std::vector<std::size_t> order;
    for (std::size_t a = 0; a < placed.size();) {
        std::size_t b = a + 1;
        bool manyFiles = false;
        while (b < placed.size() && placed[b].record.time == placed[a].record.time) {
            manyFiles = manyFiles || placed[b].file != placed[a].file;
            ++b;
        }
        if (manyFiles) {
            order.resize(b - a);
            for (std::size_t i = 0; i < order.size(); ++i)
                order[i] = a + i;
            const auto key = [&placed](std::size_t i) {
                const DayRecord& r = placed[i].record;
                return std::tuple(r.mean, r.temperatureTenths, r.range, placed[i].file);
            };
            std::stable_sort(order.begin(), order.end(),
                             [&key](std::size_t x, std::size_t y) { return key(x) < key(y); });
            for (std::size_t g = 0; g < order.size();) {
                std::size_t h = g; // a group of equal values: [g, h), by file
                const auto& r = placed[order[g]].record;
                while (h < order.size() && placed[order[h]].record == r)
                    ++h;
                std::size_t best = g, bestCount = 0;
                for (std::size_t f = g; f < h;) {
                    std::size_t e = f;
                    while (e < h && placed[order[e]].file == placed[order[f]].file)
                        ++e;
                    if (e - f > bestCount) {
                        best = f;
                        bestCount = e - f;
                    }
                    f = e;
                }
                for (std::size_t i = g; i < h; ++i)
                    if (placed[order[i]].file != placed[order[best]].file)
                        drop[order[i]] = any = true;
                g = h;
            }
        }
        a = b;
    }
    if (!any) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < placed.size(); ++i)
        if (!drop[i]) placed[kept++] = placed[i];
    placed.resize(kept);
}

} // namespace

SpanLines AssembleSpan(const DayFileSet& files, DayFileCache& cache, const TimeSpan& span) {
    SpanLines lines;
    lines.span = span;
    const std::int64_t firstDay = DayOf(span.from);
    const std::int64_t lastDay = DayOf(span.to - 1);
    std::vector<Placed> placed;
    std::uint32_t index = 0;
    for (const DayFileSet::File& file : files.FilesFor(span.from, span.to)) {
        const DayFileCache::Entry read = cache.Get(file.path);
        lines.sources.emplace_back(file.path, read->stamp);
        if (read->status != dayreader::FileStatus::Read) {
            if (read->status != dayreader::FileStatus::Missing) lines.problems << read->problem;
            continue;
        }
        const DayFileContents& contents = read->contents;
        const bool own =
            file.day == DayFileSet::kUndated || (file.day >= firstDay && file.day <= lastDay);
        if (own && contents.skipped > 0) {
            if (lines.skipped.count == 0) {
                lines.skipped.firstFile = file.path;
                lines.skipped.firstLine = contents.firstSkippedLine;
            }
            lines.skipped.count += contents.skipped;
        }
        if (placed.empty()) placed.reserve(std::size_t(span.to - span.from) + 16);
        for (const DayRecord& record : contents.records)
            if (span.Contains(record.time)) placed.push_back({record, index});
        ++index;
    }
    const auto byTime = [](const Placed& a, const Placed& b) {
        return a.record.time < b.record.time;
    };
    if (!std::is_sorted(placed.begin(), placed.end(), byTime))
        std::stable_sort(placed.begin(), placed.end(), byTime);
    if (index > 1) DropCopies(placed);
    lines.records.reserve(placed.size());
    for (const Placed& p : placed)
        lines.records.push_back(p.record);
    return lines;
}

bool SourcesChanged(const SpanLines& lines, const DayFileSet& files) {
    const std::vector<DayFileSet::File> now = files.FilesFor(lines.span.from, lines.span.to);
    if (now.size() != lines.sources.size()) return true;
    for (std::size_t i = 0; i < now.size(); ++i) {
        const auto& [path, stamp] = lines.sources[i];
        if (now[i].path != path || dayreader::StampOf(path) != stamp) return true;
    }
    return false;
}

std::vector<DaySummary> SummariseDays(const DayFileContents& contents) {
    std::map<std::int64_t, DaySummary> days;
    DaySummary* current = nullptr; // lines of one day mostly follow one another
    for (const DayRecord& record : contents.records) {
        const std::int64_t day = DayOf(record.time);
        if (current == nullptr || current->day != day) {
            auto [it, inserted] = days.try_emplace(day);
            current = &it->second;
            if (inserted) {
                current->day = day;
                current->first = current->last = record.time;
            }
        }
        DaySummary& summary = *current;
        ++summary.lines;
        summary.first = std::min(summary.first, record.time);
        summary.last = std::max(summary.last, record.time);
    }
    std::vector<DaySummary> summaries;
    summaries.reserve(days.size());
    for (const auto& [day, summary] : days)
        summaries.push_back(summary);
    return summaries;
}
