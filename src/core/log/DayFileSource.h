// SPDX-License-Identifier: GPL-3.0-or-later
// The day files of one station as a source of lines: a folder's "yyyymmdd.txt" files or
// files named one by one. Files are read through one cache, so that counting the newest
// days for the list and showing them reads each file once; a file is counted again when
// it changes on disk.
#pragma once

#include "core/log/DayFileCache.h"
#include "core/log/DayFileSet.h"
#include "core/log/RecordSource.h"

#include <deque>
#include <map>
#include <utility>

class DayFileSource : public RecordSource {
public:
    explicit DayFileSource(DayFileSet files);

    const DayFileSet& Files() const { return files_; }
    const DayFileSet* DayFiles() const override { return &files_; }

    QString Name() const override;
    QStringList Stations() const override { return {QString()}; }
    SpanLines Read(const QString& station, const TimeSpan& span) override;
    bool Changed(const QString& station, const SpanLines& lines) override;
    // The newest line in the last dated file or in any undated one; for a last dated file
    // without lines, the middle of its day.
    std::optional<WallSeconds> Newest(const QString& station) override;
    bool Rescan() override;
    std::vector<SourceDay> Days() const override;
    bool CountNext() override;
    QStringList WatchedPaths() const override;
    QString ExportFolder() const override { return files_.Folder(); }

private:
    struct FileSummary {
        FileStamp stamp;
        std::int64_t day = DayFileSet::kUndated; // of the name
        std::vector<DaySummary> days;
        QString problem;
        bool read = false;
    };

    // Takes the set's files, keeping the counts of those unchanged on disk.
    void ListFiles();
    void Summarise(const QString& path);

    DayFileSet files_;
    DayFileCache cache_;
    std::map<QString, FileSummary> summaries_;
    std::deque<QString> pending_; // newest first
    // The files the last span was read from, with their stamps then.
    std::vector<std::pair<QString, FileStamp>> lastRead_;
};
