// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/DayList.h"

#include "viewer/ViewerTexts.h"

#include <QHeaderView>

#include <algorithm>

namespace {
constexpr int kDayRole = Qt::UserRole + 1;
constexpr int kStationRole = Qt::UserRole + 2;
} // namespace

DayList::DayList(const QString& timeSeparator, QWidget* parent)
    : QTreeWidget(parent)
    , separator_(timeSeparator) {
    setColumnCount(5);
    setHeaderLabels({QStringLiteral("Day"), QStringLiteral("Lines"), QStringLiteral("First"),
                     QStringLiteral("Last"), QStringLiteral("Station")});
    // The station, when there are named ones, reads first.
    header()->moveSection(kStation, 0);
    setColumnHidden(kStation, true);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    timer_.setInterval(0);
    connect(&timer_, &QTimer::timeout, this, &DayList::SummariseNext);
    // A click or the arrow keys move the current row and what is picked; Enter shows it
    // again.
    connect(this, &QTreeWidget::itemActivated, this, [this] {
        lastPicked_ = {};
        Picked();
    });
    connect(this, &QTreeWidget::currentItemChanged, this, &DayList::Picked);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &DayList::Picked);
}

std::int64_t DayList::DayOfRow(const QTreeWidgetItem* item) {
    return item ? item->data(kDate, kDayRole).toLongLong() : 0;
}

QString DayList::StationOfRow(const QTreeWidgetItem* item) {
    return item ? item->data(kDate, kStationRole).toString() : QString();
}

void DayList::SetSource(RecordSource* source) {
    source_ = source;
    for (auto& [key, item] : rows_)
        delete item;
    rows_.clear();
    lastPicked_ = {};
    const QStringList stations = source ? source->Stations() : QStringList();
    setColumnHidden(kStation, stations.size() == 1 && stations.front().isEmpty());
    Update();
}

void DayList::Update() {
    UpdateRows();
    if (source_) timer_.start();
}

void DayList::UpdateRows() {
    std::map<Key, const SourceDay*, NewestFirst> days;
    const std::vector<SourceDay> listed = source_ ? source_->Days() : std::vector<SourceDay>();
    for (const SourceDay& day : listed)
        days.emplace(Key(day.day, day.station), &day);
    for (auto it = rows_.begin(); it != rows_.end();) {
        if (days.count(it->first)) {
            ++it;
            continue;
        }
        delete it->second;
        it = rows_.erase(it);
    }
    const QSignalBlocker block(this);
    for (const auto& [key, day] : days) {
        QTreeWidgetItem* item = RowFor(day->day, day->station);
        item->setText(kLines, day->waiting && day->lines == 0 ? QStringLiteral("\u2026")
                                                              : QString::number(day->lines));
        item->setText(kFirst, day->lines > 0 ? ClockText(day->first, separator_) : QString());
        item->setText(kLast, day->lines > 0 ? ClockText(day->last, separator_) : QString());
        item->setToolTip(kDate, day->problem);
    }
    if (!selectedStations_.isEmpty()) Select(selectedDay_, selectedStations_);
}

void DayList::SummariseNext() {
    const bool more = source_ && source_->CountNext();
    if (!more) timer_.stop();
    UpdateRows();
}

void DayList::SummariseAll() {
    while (source_ && source_->CountNext()) {
    }
    timer_.stop();
    UpdateRows();
}

QTreeWidgetItem* DayList::RowFor(std::int64_t day, const QString& station) {
    const Key key(day, station);
    const auto found = rows_.find(key);
    if (found != rows_.end()) return found->second;
    auto* item = new QTreeWidgetItem;
    item->setText(kDate, IsoDate(day));
    item->setText(kStation, station);
    item->setData(kDate, kDayRole, qlonglong(day));
    item->setData(kDate, kStationRole, station);
    for (int column : {kLines, kFirst, kLast})
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    const auto next = rows_.emplace(key, item).first;
    // Rows stand newest first, as the map orders them.
    const int index = int(std::distance(rows_.begin(), next));
    insertTopLevelItem(index, item);
    return item;
}

QTreeWidgetItem* DayList::Row(std::int64_t day, const QString& station) const {
    const auto found = rows_.find(Key(day, station));
    return found == rows_.end() ? nullptr : found->second;
}

void DayList::Select(std::int64_t day, const QStringList& stations) {
    selectedDay_ = day;
    selectedStations_ = stations;
    lastPicked_ = {day, stations};
    const QSignalBlocker block(this);
    clearSelection();
    QTreeWidgetItem* current = nullptr;
    for (const QString& station : stations) {
        QTreeWidgetItem* item = Row(day, station);
        if (!item) continue;
        if (!current) current = item;
        item->setSelected(true);
    }
    if (!current) {
        setCurrentItem(nullptr);
        return;
    }
    setCurrentItem(current, 0, QItemSelectionModel::NoUpdate);
    scrollToItem(current);
}

void DayList::Picked() {
    // A click moves the current row before the selection, the arrow keys the selection
    // before the current row: only once both have moved is the pick complete.
    QTreeWidgetItem* current = currentItem();
    if (!current || !current->isSelected()) return;
    QStringList stations;
    // The current row's station first, then the others picked, in the source's order.
    stations << StationOfRow(current);
    const QStringList all = source_ ? source_->Stations() : QStringList();
    QStringList others;
    for (const QTreeWidgetItem* item : selectedItems())
        if (!stations.contains(StationOfRow(item)) && !others.contains(StationOfRow(item)))
            others << StationOfRow(item);
    std::sort(others.begin(), others.end(), [&all](const QString& a, const QString& b) {
        return all.indexOf(a) < all.indexOf(b);
    });
    stations << others;
    const std::pair<std::int64_t, QStringList> picked(DayOfRow(current), stations);
    if (picked == lastPicked_) return;
    lastPicked_ = picked;
    emit StationsPicked(picked.first, picked.second);
    emit DayPicked(picked.first);
}
