// SPDX-License-Identifier: GPL-3.0-or-later
// The network's archive as a source of lines for the viewer: every station it holds,
// their days, and any station's span. A station's days are counted once, then only from
// its newest day on when the archive is looked at again, so that following a growing
// archive costs a query per station and not a count of every line. What the archive
// could not answer is said in the span's problems, as a file that could not be read is.
//
// The archive is asked on a thread of its own: a window waits only as long as it chose
// (AnswerLater) and hears when a late answer came; a program without a window waits
// until the archive answers or its connection's time limits give it up.
#pragma once

#include "archive/ArchiveAsker.h"
#include "archive/ArchiveReader.h"
#include "core/log/RecordSource.h"

#include <deque>
#include <map>
#include <memory>

class ArchiveSource : public RecordSource {
public:
    explicit ArchiveSource(std::unique_ptr<ArchiveReader> reader);

    QString Name() const override { return name_; }
    QStringList Stations() const override { return stations_; }
    SpanLines Read(const QString& station, const TimeSpan& span) override;
    bool Changed(const QString& station, const SpanLines& lines) override;
    std::optional<WallSeconds> Newest(const QString& station) override;
    bool Rescan() override;
    std::vector<SourceDay> Days() const override;
    bool CountNext() override;
    QStringList WatchedPaths() const override { return {}; }
    int PollInterval() const override { return kPollMs; }
    void AnswerLater(int patienceMs, std::function<void()> answered) override;
    QString Trouble() const override;

    static constexpr int kPollMs = 5000;
    static QString NoAnswerText() { return QStringLiteral("The archive does not answer"); }

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
    // Notes the outcome of a question: the archive's words when it failed.
    void Heard(const QString& problem) { problem_ = problem; }

    QString name_;
    std::unique_ptr<ArchiveAsker> asker_;
    QStringList stations_;
    std::map<QString, Counted> counted_;
    std::deque<QString> pending_;
    std::map<QString, ReadStamp> lastRead_;
    QString problem_; // the archive's answer to the last question, when it failed
};
