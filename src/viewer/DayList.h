// SPDX-License-Identifier: GPL-3.0-or-later
// The side list of the days found: date, number of lines, first and last time, newest
// first. Dated files are listed at once; their lines are counted a file at a time while
// the window stays responsive, newest first, and counted again when a file changes.
#pragma once

#include "DayFileCache.h"
#include "DayFileSet.h"
#include "LogSpan.h"

#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

class DayList : public QTreeWidget {
    Q_OBJECT
public:
    // Files are read through `cache`, which the view of a span shares: the newest files,
    // counted first, are then not read a second time to be shown.
    DayList(DayFileCache& cache, const QString& timeSeparator, QWidget* parent = nullptr);

    // Lists the days of `files`; files counted before and unchanged are not read again.
    void SetFiles(const DayFileSet& files);
    // Marks the row of a day as current, without DayPicked.
    void Select(std::int64_t day);
    // Counts every file still waiting, now.
    void SummariseAll();
    bool Pending() const { return !pending_.empty(); }
    // The day a row stands for.
    static std::int64_t DayOfRow(const QTreeWidgetItem* item);

signals:
    void DayPicked(std::int64_t day);

private:
    struct FileSummary {
        FileStamp stamp;
        std::int64_t day = DayFileSet::kUndated; // of the name
        std::vector<DaySummary> days;
        QString problem;
        bool read = false;
    };

    void SummariseNext();
    void Summarise(const QString& path);
    void UpdateRows();
    QTreeWidgetItem* RowFor(std::int64_t day);

    DayFileCache& cache_;
    QString separator_;
    std::map<QString, FileSummary> files_;
    std::map<std::int64_t, QTreeWidgetItem*, std::greater<>> rows_; // newest first
    std::deque<QString> pending_;
    QTimer timer_;
    std::int64_t selected_ = DayFileSet::kUndated;
};
