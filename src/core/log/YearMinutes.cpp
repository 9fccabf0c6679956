// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log/YearMinutes.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace yearminutes {

int NightsOfYearEndingWith(std::int64_t lastNight) {
    const CivilDate date = CivilFromDays(lastNight);
    const int day = std::min(date.day, DaysInMonth(date.year - 1, date.month));
    return int(lastNight - DaysFromCivil(date.year - 1, date.month, day));
}

YearMinutes Build(const DayFileSet& files, std::int64_t firstNight, int nights,
                  const MinuteCache& cache, std::int64_t today, unsigned threads) {
    YearMinutes year;
    year.firstNight = firstNight;
    year.nights = std::max(nights, 0);
    year.cells.assign(std::size_t(year.nights) * YearMinutes::kRows, YearCell{});
    const WallSeconds from = StartOfDay(firstNight) + kSecondsPerDay / 2;
    const WallSeconds to = from + WallSeconds(year.nights) * kSecondsPerDay;
    const std::vector<DayFileSet::File> sources = files.FilesFor(from, to);

    // Each file on its own, on every core: the reading and summing is nearly all the work.
    std::vector<minutes::FileSummary> summaries(sources.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < sources.size(); i = next++) {
            const DayFileSet::File& file = sources[i];
            const bool beingWritten = file.day != DayFileSet::kUndated && file.day >= today;
            summaries[i] = cache.Get(file.path, !beingWritten);
        }
    };
    if (threads == 0) threads = std::max(1U, std::thread::hardware_concurrency());
    threads = unsigned(std::min<std::size_t>(threads, sources.size()));
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    helpers.clear();

    // A minute found in several files (an earlier day's lines saved into the next day's
    // file as well) is taken from the file holding most of its lines: copies count once.
    const WallMinute first = MinuteOf(from);
    const WallMinute end = MinuteOf(to);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const minutes::FileSummary& file = summaries[i];
        if (file.status != dayreader::FileStatus::Read) {
            if (file.status != dayreader::FileStatus::Missing) year.problems << file.problem;
            continue;
        }
        ++year.filesRead;
        year.filesFromCache += file.fromCache;
        year.skipped += file.summary.skipped;
        const auto& entries = file.summary.minutes;
        auto it = std::lower_bound(entries.begin(), entries.end(), first,
                                   [](const MinuteEntry& e, WallMinute m) { return e.minute < m; });
        for (; it != entries.end() && it->minute < end; ++it) {
            YearCell& cell = year.cells[std::size_t(it->minute - first)];
            if (it->lines <= cell.lines) continue;
            cell = YearCell{it->median, it->lines, it->failed};
        }
    }
    for (const YearCell& cell : year.cells) {
        year.lines += cell.lines;
        year.failed += cell.failed;
    }
    return year;
}

} // namespace yearminutes
