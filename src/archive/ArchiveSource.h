// SPDX-License-Identifier: GPL-3.0-or-later
// The network's archive as a source of lines for the viewer: every station it holds,
// their days, and any station's span. A station's days are counted once, then only from
// its newest day on when the archive is looked at again, so that following a growing
// archive costs a query per station and not a count of every line. What the archive
// could not answer is said in the span's problems, as a file that could not be read is.
#pragma once

#include "ArchiveReader.h"
#include "RecordSource.h"

#include <deque>
#include <map>
#include <memory>

class ArchiveSource : public RecordSource {
public:
    explicit ArchiveSource(std::unique_ptr<ArchiveReader> reader);

    ArchiveReader& Reader() const { return *reader_; }

    QString Name() const override;
    QStringList Stations() const override { return stations_; }
    SpanLines Read(const QString& station, const TimeSpan& span) override;
    bool Changed(const QString& station, const SpanLines& lines) override;
    std::optional<WallSeconds> Newest(const QString& station) override;
    bool Rescan() override;
    std::vector<SourceDay> Days() const override;
    bool CountNext() override;
    QStringList WatchedPaths() const override { return {}; }
    int PollInterval() const override { return kPollMs; }

    static constexpr int kPollMs = 5000;

private:
    struct Counted {
        std::map<std::int64_t, DaySummary> days;
        QString problem;
        bool waiting = true;
    };
    struct ReadStamp {
        TimeSpan span;
        std::pair<std::int64_t, std::int64_t> stamp;
    };

    std::unique_ptr<ArchiveReader> reader_;
    QStringList stations_;
    std::map<QString, Counted> counted_;
    std::deque<QString> pending_;
    std::map<QString, ReadStamp> lastRead_;
    QString problem_; // the archive's answer to the last listing, when it failed
};
