// SPDX-License-Identifier: GPL-3.0-or-later
// The side list of the days a source holds: date, number of lines, first and last time,
// and the station when the source holds named ones; newest first. Days are listed at
// once; their lines are counted a part of the source at a time while the window stays
// responsive. Several rows may be picked (Ctrl or Shift and a click): their stations are
// shown together, on the day of the current row.
#pragma once

#include "core/log/LogSpan.h"
#include "core/log/RecordSource.h"

#include <QTimer>
#include <QTreeWidget>

#include <cstdint>
#include <map>
#include <utility>

class DayList : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kDate, kLines, kFirst, kLast, kStation };

    explicit DayList(const QString& timeSeparator, QWidget* parent = nullptr);

    // Lists the days of `source`, which outlives the list or is replaced before it goes,
    // and counts what it has not counted yet.
    void SetSource(RecordSource* source);
    // Lists the days again, as the source knows them now, and counts what waits.
    void Update();
    // Marks the rows of the stations' day as picked, the first one current, without
    // DayPicked.
    void Select(std::int64_t day, const QStringList& stations = {QString()});
    // Counts every part still waiting, now.
    void SummariseAll();
    // The day and the station a row stands for.
    static std::int64_t DayOfRow(const QTreeWidgetItem* item);
    static QString StationOfRow(const QTreeWidgetItem* item);
    // The row of a station's day; null when not listed.
    QTreeWidgetItem* Row(std::int64_t day, const QString& station = QString()) const;

signals:
    // A day picked, with the stations of the rows picked (in the order of the source).
    void DayPicked(std::int64_t day);
    void StationsPicked(std::int64_t day, const QStringList& stations);

private:
    void UpdateRows();
    void SummariseNext();
    void Picked();
    QTreeWidgetItem* RowFor(std::int64_t day, const QString& station);

    RecordSource* source_ = nullptr;
    QString separator_;
    // Newest day first, then stations by name.
    using Key = std::pair<std::int64_t, QString>;
    struct NewestFirst {
        bool operator()(const Key& a, const Key& b) const {
            return a.first != b.first ? a.first > b.first : a.second < b.second;
        }
    };
    std::map<Key, QTreeWidgetItem*, NewestFirst> rows_;
    QTimer timer_;
    std::int64_t selectedDay_ = 0;
    QStringList selectedStations_; // empty: none
    std::pair<std::int64_t, QStringList> lastPicked_;
};
