// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's window: the days found down the left, the chart of the span shown, the
// toolbar that switches between a day, a night, a week and a year of nights and steps to
// the previous or next one (also Page Up and Page Down), and a status bar with the line under the
// pointer and the lines that were not read. It follows the day files being written.
#pragma once

#include "DayFileCache.h"
#include "DayFileSet.h"
#include "LogSpan.h"
#include "MinuteCache.h"
#include "RegionalSettings.h"
#include "SkyOverlay.h"
#include "ViewerOptions.h"

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QTimer>

class DayList;
class QAction;
class QLabel;
class QStackedWidget;
class SpanChart;
class YearChart;

class ViewerWindow : public QMainWindow {
    Q_OBJECT
public:
    ViewerWindow(const ViewerOptions& options, std::int64_t today, QWidget* parent = nullptr);
    ~ViewerWindow() override;

    void OpenFolder(const QString& folder);
    void OpenFiles(const QStringList& paths);
    void ShowSpan(const TimeSpan& span, bool keepView = false);
    void Step(int steps);
    void SetKind(SpanKind kind);
    // The Year view: the nights of the year ending with the night of `lastNight`.
    void ShowYear(std::int64_t lastNight);
    bool YearShown() const { return yearShown_; }
    // Reads again what changed on disk: the folder's list and the files of the span.
    void Refresh();
    // Writes the chart as shown (PNG, SVG, PDF) or the span's lines (CSV); the reason
    // when it failed, else an empty string.
    QString ExportTo(const QString& path);
    // How long after a change on disk the view reads again.
    void SetRefreshDelay(int ms) { refreshTimer_.setInterval(ms); }

    SpanChart& Chart() const { return *chart_; }
    YearChart& Year() const { return *year_; }
    DayList& Days() const { return *days_; }
    // The span shown, and what was read for it; its lines are in Records().
    const SpanLines& Lines() const { return lines_; }
    const std::vector<DayRecord>& Records() const;
    const SkyOverlay& Sky() const { return sky_; }
    QString SkyStatusText() const;
    QString ReadoutText() const;
    QString NotesText() const;

private:
    void BuildActions();
    void SetFiles(DayFileSet files);
    void Watch();
    void ShowReadout(double t, double secondsPerPixel);
    void ShowSummary();
    void AskExport();
    void AskNightFigures();
    void AskSkyglowExport();
    void ShowSkyStatus();
    TimeSpan NewestSpan(SpanKind kind);

    std::int64_t today_;
    RegionalSettings settings_;
    DayFileSet files_;
    DayFileCache cache_;
    SpanLines lines_;
    SpanKind kind_ = SpanKind::Night;
    SkyOverlay sky_;

    SpanChart* chart_;
    YearChart* year_;
    QStackedWidget* charts_;
    MinuteCache minuteCache_;
    bool yearShown_ = false;
    DayList* days_;
    QLabel* readout_;
    QLabel* notes_;
    QLabel* skyStatus_;
    QAction* kindActions_[4] = {}; // day, night, week, year
    QAction* logarithmic_ = nullptr;
    QAction* magnitude_ = nullptr;
    QFileSystemWatcher watcher_;
    QTimer refreshTimer_;
};
