// SPDX-License-Identifier: GPL-3.0-or-later
#include "DayList.h"

#include "ViewerTexts.h"

#include <QHeaderView>

#include <algorithm>

namespace {
enum Column { kDate, kLines, kFirst, kLast };
constexpr int kDayRole = Qt::UserRole + 1;

struct DayTotal {
    std::int64_t lines = 0;
    WallSeconds first = 0, last = 0;
    bool waiting = false; // a file of the day is still to be read
    QStringList problems;
};
} // namespace

DayList::DayList(DayFileCache& cache, const QString& timeSeparator, QWidget* parent)
    : QTreeWidget(parent)
    , cache_(cache)
    , separator_(timeSeparator) {
    setColumnCount(4);
    setHeaderLabels({QStringLiteral("Day"), QStringLiteral("Lines"), QStringLiteral("First"),
                     QStringLiteral("Last")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &DayList::SummariseNext);
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { emit DayPicked(DayOfRow(item)); });
    // A click or the arrow keys move the current row; Enter shows it again.
    connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item) emit DayPicked(DayOfRow(item));
    });
}

std::int64_t DayList::DayOfRow(const QTreeWidgetItem* item) {
    return item ? item->data(kDate, kDayRole).toLongLong() : DayFileSet::kUndated;
}

void DayList::SetFiles(const DayFileSet& files) {
    std::map<QString, FileSummary> kept;
    pending_.clear();
    // Newest first, so the days a user looks at first are counted first.
    for (auto it = files.Files().rbegin(); it != files.Files().rend(); ++it) {
        auto found = files_.find(it->path);
        FileSummary summary;
        if (found != files_.end() && found->second.stamp == dayreader::StampOf(it->path))
            summary = found->second;
        summary.day = it->day;
        if (!summary.read) pending_.push_back(it->path);
        kept.emplace(it->path, std::move(summary));
    }
    files_ = std::move(kept);
    UpdateRows();
    if (!pending_.empty()) timer_.start();
}

void DayList::Summarise(const QString& path) {
    const auto found = files_.find(path);
    if (found == files_.end()) return;
    const DayFileCache::Entry read = cache_.Get(path);
    FileSummary& summary = found->second;
    summary.stamp = read->stamp;
    summary.problem = read->status == dayreader::FileStatus::Read ? QString() : read->problem;
    summary.days = SummariseDays(read->contents);
    summary.read = true;
}

void DayList::SummariseNext() {
    if (pending_.empty()) {
        timer_.stop();
        return;
    }
    const QString path = pending_.front();
    pending_.pop_front();
    Summarise(path);
    UpdateRows();
}

void DayList::SummariseAll() {
    while (!pending_.empty()) {
        Summarise(pending_.front());
        pending_.pop_front();
    }
    timer_.stop();
    UpdateRows();
}

QTreeWidgetItem* DayList::RowFor(std::int64_t day) {
    const auto found = rows_.find(day);
    if (found != rows_.end()) return found->second;
    auto* item = new QTreeWidgetItem;
    item->setText(kDate, IsoDate(day));
    item->setData(kDate, kDayRole, qlonglong(day));
    for (int column : {kLines, kFirst, kLast})
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    const auto next = rows_.emplace(day, item).first;
    // Rows stand newest first, as the map orders them.
    const int index = int(std::distance(rows_.begin(), next));
    insertTopLevelItem(index, item);
    return item;
}

void DayList::UpdateRows() {
    std::map<std::int64_t, DayTotal> totals;
    for (const auto& [path, summary] : files_) {
        if (summary.day != DayFileSet::kUndated) {
            DayTotal& total = totals[summary.day];
            if (!summary.problem.isEmpty()) total.problems << summary.problem;
            total.waiting = total.waiting || !summary.read;
        }
        if (!summary.read) continue;
        for (const DaySummary& day : summary.days) {
            // A dated file's row counts its own day; lines of other days in it are shown
            // with those days, not listed under its name.
            if (summary.day != DayFileSet::kUndated && day.day != summary.day) continue;
            DayTotal& total = totals[day.day];
            if (total.lines == 0) {
                total.first = day.first;
                total.last = day.last;
            }
            total.lines += day.lines;
            total.first = std::min(total.first, day.first);
            total.last = std::max(total.last, day.last);
        }
    }
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (totals.count(it->first)) {
            ++it;
            continue;
        }
        delete it->second;
        it = rows_.erase(it);
    }
    const QSignalBlocker block(this);
    for (const auto& [day, total] : totals) {
        QTreeWidgetItem* item = RowFor(day);
        item->setText(kLines, total.waiting && total.lines == 0 ? QStringLiteral("\u2026")
                                                                : QString::number(total.lines));
        item->setText(kFirst, total.lines > 0 ? ClockText(total.first, separator_) : QString());
        item->setText(kLast, total.lines > 0 ? ClockText(total.last, separator_) : QString());
        item->setToolTip(kDate, total.problems.join(QLatin1Char('\n')));
    }
    if (selected_ != DayFileSet::kUndated) Select(selected_);
}

void DayList::Select(std::int64_t day) {
    selected_ = day;
    const QSignalBlocker block(this);
    const auto found = rows_.find(day);
    if (found == rows_.end()) {
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(found->second);
    scrollToItem(found->second);
}
