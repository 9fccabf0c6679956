// SPDX-License-Identifier: GPL-3.0-or-later
// Every station's health at a glance, as the collector's status table has it: online or
// offline, link up or down with its hint, the age of the last reading, the lines of the
// last hour against 3600, the last event; a station online but silent for longer than
// five minutes is flagged. The table is read again every few seconds while it is open.
#pragma once

#include "ArchiveReader.h"

#include <QDialog>
#include <QTimer>

#include <memory>

class QLabel;
class QMainWindow;
class QTableWidget;

class HealthDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr std::int64_t kStaleAfter = 5 * 60; // seconds

    // Reads through a connection of its own, so it outlives any source the window shows.
    HealthDialog(std::unique_ptr<ArchiveReader> reader, QWidget* parent = nullptr);

    // Reads the stations again.
    void Refresh();
    QTableWidget& Table() const { return *table_; }
    QString SummaryText() const;

private:
    std::unique_ptr<ArchiveReader> reader_;
    QTableWidget* table_;
    QLabel* summary_;
    QTimer timer_;
};

// "12 s", "4 min", "3 h 20 min", "2 d 5 h".
QString HealthAgeText(std::int64_t seconds);

// Adds "Stations' Health…" (Ctrl+H) to the window's View menu, for the stations of the
// archive at `address`.
void AddHealthAction(QMainWindow& window, const QString& address);
