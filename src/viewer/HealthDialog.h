// SPDX-License-Identifier: GPL-3.0-or-later
// Every station's health at a glance, the table `nocturo-collect --status` prints: online or
// offline (by its last will), the link and its hint, the age of the last reading, the lines
// of the last hour against 3600, the last event; a station online but silent for longer than
// five minutes is stale. Offline and stale rows are red. The table is read again every few
// seconds while it is open.
#pragma once

#include "archive/PgConnection.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QMainWindow;
class QTableWidget;

class HealthDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr std::int64_t kStaleAfter = 5 * 60; // seconds

    // Reads the archive at `address` through a connection of its own, so it outlives any
    // source the window shows; an archive away is said below the table, and asked again.
    explicit HealthDialog(const QString& address, QWidget* parent = nullptr);

    // Reads the stations again.
    void Refresh();
    QTableWidget& Table() const { return *table_; }
    QString SummaryText() const;

private:
    QString address_;
    PgConnection connection_;
    QTableWidget* table_;
    QLabel* summary_;
    QTimer timer_;
};

// Adds "Stations' Health…" (Ctrl+H) to the window's View menu, for the stations of the
// archive at `address`.
void AddHealthAction(QMainWindow& window, const QString& address);
